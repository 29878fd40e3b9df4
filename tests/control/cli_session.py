#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The command line against the real program: a private desktop with logind's mock, veluna
started by `veluna start`, then every command checked through what logind holds and what
`veluna status --json` says; then run and watch, with and without a running veluna.

Run with Debian's /usr/bin/python3, with tests/e2e on PYTHONPATH for the private desktop."""

import argparse
import datetime
import json
import os
import signal
import subprocess
import sys
import time

from harness import LOGIND_MOCK, Desktop, check, log, run_guarded


class CommandLine:
    def __init__(self, desktop, binary, desktop_id):
        self.desktop = desktop
        self.binary = binary
        self.desktop_id = desktop_id
        self.program_pid = None

    def run(self, *words, timeout=30):
        result = subprocess.run([self.binary, *words], env=self.desktop.env,
                                stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                timeout=timeout)
        log(f"veluna {' '.join(words)} -> {result.returncode} {result.stdout.strip()!r} "
            f"{result.stderr.strip()!r}")
        return result

    def expect(self, status, *words):
        result = self.run(*words)
        check(result.returncode == status,
              f"veluna {' '.join(words)} exited {result.returncode}, not {status}: "
              f"{result.stderr.strip()}")
        return result

    def status(self):
        return json.loads(self.expect_any(0, 1, "status", "--json").stdout)

    def expect_any(self, *statuses_and_words):
        statuses = [s for s in statuses_and_words if isinstance(s, int)]
        words = [w for w in statuses_and_words if isinstance(w, str)]
        result = self.run(*words)
        check(result.returncode in statuses, f"veluna {' '.join(words)} exited "
              f"{result.returncode}: {result.stderr.strip()}")
        return result

    def minutes_left(self, state):
        check(state["endsAt"] is not None, f"no end in {state}")
        end = datetime.datetime.fromisoformat(state["endsAt"].replace("Z", "+00:00"))
        check(end.tzinfo is not None, f"endsAt has no offset: {state['endsAt']}")
        return (end - datetime.datetime.now(datetime.timezone.utc)).total_seconds() / 60

    def find_program(self):
        bus = self.desktop.session_bus
        owner = bus.get_name_owner(self.desktop_id)
        self.program_pid = int(bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
                               .GetConnectionUnixProcessID(owner))
        return self.program_pid

    def stop_program(self):
        if self.program_pid:
            os.kill(self.program_pid, signal.SIGTERM)
            self.desktop.wait("veluna to quit", lambda: not self.desktop.session_bus
                              .name_has_owner(self.desktop_id))
            self.program_pid = None


def check_period_commands(cli, desktop):
    cli.expect(3, "status")
    desktop.start("properties", ["dbus-monitor", "--address",
                                 desktop.env["DBUS_SESSION_BUS_ADDRESS"],
                                 "type='signal',member='PropertiesChanged',"
                                 "arg0='app.plenox.Veluna.Control'"])
    desktop.write_settings({"VLOnboarded": True})
    cli.expect(0, "start", "30m")
    cli.find_program()
    desktop.wait_for_lock(True)
    check(desktop.inhibit_calls() == 1, f"{desktop.inhibit_calls()} Inhibit calls for one start")
    state = cli.status()
    check(state["active"] and state["holder"] == "logind" and state["version"], f"{state}")
    check(29 < cli.minutes_left(state) <= 30, f"30m ends at {state['endsAt']}")
    cli.expect(0, "extend", "15m")
    check(44 < cli.minutes_left(cli.status()) <= 45, "extend 15m did not add 15 minutes")
    cli.expect(0, "stop")
    desktop.wait_for_lock(False)
    check(not cli.status()["active"], "still active after stop")
    cli.expect(1, "extend", "5m")
    cli.expect(0, "toggle")
    desktop.wait_for_lock(True)
    cli.expect(0, "toggle")
    desktop.wait_for_lock(False)
    target = (datetime.datetime.now() + datetime.timedelta(hours=2)).strftime("%H:%M")
    cli.expect(0, "until", target)
    check(118 < cli.minutes_left(cli.status()) <= 120, f"until {target} ends elsewhere")
    cli.expect(0, "stop")
    desktop.wait_for_lock(False)
    # start, extend, stop, toggle twice, until and stop: each one announced to listeners
    desktop.wait("the changes announced on the bus", lambda: desktop.output_of("properties")
                 .count("string \"EndsAt\"") >= 7)


def check_run_and_watch(cli, desktop):
    inside = os.path.join(desktop.root, "inside.json")
    result = cli.run("run", "--", "sh", "-c", f'"$0" status --json > "{inside}"; exit 7',
                     cli.binary)
    check(result.returncode == 7, f"run exited {result.returncode}, not the command's 7")
    with open(inside, encoding="utf-8") as f:
        state = json.load(f)
    check(state["active"] and state["endsAt"] is None, f"not held while the command ran: {state}")
    desktop.wait_for_lock(False)

    runner = subprocess.Popen([cli.binary, "run", "--", "sleep", "60"], env=desktop.env,
                              start_new_session=True)
    desktop.wait("the run's hold", lambda: cli.status()["active"])
    os.killpg(runner.pid, signal.SIGKILL)
    runner.wait()
    desktop.wait("the killed run's hold to go", lambda: not cli.status()["active"])
    desktop.wait_for_lock(False)

    child = subprocess.Popen(["sleep", "1"])
    began = time.monotonic()
    cli.expect(0, "watch", str(child.pid))
    child.wait()
    check(time.monotonic() - began < 2.5, "watch outlived its process by more than a second")
    cli.expect(2, "watch", str(child.pid))
    desktop.wait_for_lock(False)


def check_without_program(cli, desktop):
    cli.stop_program()
    cli.expect(3, "status")
    runner = subprocess.Popen([cli.binary, "run", "--", "sleep", "2"], env=desktop.env)
    desktop.wait_for_lock(True)
    check(runner.wait(timeout=20) == 0, "run without a program failed")
    desktop.wait_for_lock(False)
    check(not desktop.session_bus.name_has_owner(cli.desktop_id), "run started the program")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--veluna", required=True, help="the veluna binary")
    parser.add_argument("--desktop-id", required=True)
    args = parser.parse_args()

    def body():
        with Desktop() as desktop:
            desktop.start_buses()
            desktop.start_display()
            desktop.start_mocks(LOGIND_MOCK)
            cli = CommandLine(desktop, args.veluna, args.desktop_id)
            try:
                check_period_commands(cli, desktop)
                check_run_and_watch(cli, desktop)
                check_without_program(cli, desktop)
            finally:
                if cli.program_pid:
                    os.kill(cli.program_pid, signal.SIGKILL)
        log("PASS: start, status, extend, stop, toggle, until, run and watch")
    return run_guarded("the command line", ("dbus-daemon", "Xvfb", "openbox"), body)


if __name__ == "__main__":
    sys.exit(main())
