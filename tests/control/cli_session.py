#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The command line against the real program.

A private desktop with logind's mock, veluna started by `veluna start`, then every command
checked through what logind holds and what `veluna status --json` says; then run and watch, with
and without a running veluna.

Run with Debian's /usr/bin/python3, with tests/e2e on PYTHONPATH for the private desktop."""

import datetime
import json
import os
import signal
import subprocess
import sys

from harness import LOGIND_MOCK, Desktop, check, log, run_script


IN_TWO_HOURS = (datetime.datetime.now() + datetime.timedelta(hours=2)).strftime("%H:%M")
# words, exit status, whether logind holds Veluna's idle lock afterwards, minutes left (or None)
PERIOD_COMMANDS = [
    (["start", "30m"], 0, True, 30),
    (["extend", "15m"], 0, True, 45),
    (["stop"], 0, False, None),
    (["extend", "5m"], 1, False, None),  # nothing to extend
    (["toggle"], 0, True, None),
    (["toggle"], 0, False, None),
    (["until", IN_TWO_HOURS], 0, True, 120),
    (["stop"], 0, False, None),
]


class CommandLine:
    def __init__(self, desktop, binary):
        self.desktop = desktop
        self.binary = binary

    def __call__(self, *words, status=0):  # None for any status
        result = subprocess.run([self.binary, *words], env=self.desktop.env,
                                stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                timeout=30)
        log(f"veluna {' '.join(words)} -> {result.returncode} {result.stdout.strip()!r} "
            f"{result.stderr.strip()!r}")
        check(status in (result.returncode, None), f"veluna {' '.join(words)} exited "
              f"{result.returncode}, not {status}: {result.stderr.strip()}")
        return result

    def state(self):
        return json.loads(self("status", "--json", status=None).stdout)


def minutes_left(state):
    end = datetime.datetime.fromisoformat(state["endsAt"].replace("Z", "+00:00"))  # with offset
    return (end - datetime.datetime.now(datetime.timezone.utc)).total_seconds() / 60


def check_period_commands(veluna, desktop):
    desktop.monitor("properties", "type='signal',member='PropertiesChanged',"
                                  "arg0='app.plenox.Veluna.Control'")
    desktop.write_settings({"VLOnboarded": True})
    for words, status, held, minutes in PERIOD_COMMANDS:
        veluna(*words, status=status)
        desktop.wait_for_lock(held)
        state = veluna.state()
        check(state["active"] == held and state["version"] and (
            not held or state["holder"] == "logind"), f"{words}: {state}")
        check(not minutes or minutes - 2 < minutes_left(state) <= minutes,
              f"{words}: ends at {state['endsAt']}, not in {minutes} minutes")
    # one call for each start (start, toggle, until): extending moves the end of the lock held
    check(desktop.inhibit_calls() == 3, f"{desktop.inhibit_calls()} Inhibit calls for 3 starts")
    # start, extend, stop, toggle twice, until and stop: each one announced to listeners
    desktop.wait("the changes announced on the bus", lambda: desktop.output_of("properties")
                 .count("string \"EndsAt\"") >= 7)


def check_run_and_watch(veluna, desktop):
    veluna("run", "--", "sh", "-c", "exit 7", status=7)
    veluna("run", "--", "veluna-no-such-command", status=127)
    desktop.wait_for_lock(False)

    runner = subprocess.Popen([veluna.binary, "run", "--", "sleep", "60"], env=desktop.env,
                              start_new_session=True)
    desktop.wait("the run's hold", lambda: veluna.state()["active"])
    desktop.wait_for_lock(True)
    os.killpg(runner.pid, signal.SIGKILL)
    runner.wait()
    desktop.wait_for_lock(False)

    child = subprocess.Popen(["sleep", "1"])
    veluna("watch", str(child.pid))
    check(child.poll() is not None, "watch returned before its process ended")
    veluna("watch", str(child.pid), status=2)
    desktop.wait_for_lock(False)


def check_without_program(veluna, desktop, desktop_id):
    bus = desktop.session_bus
    os.kill(int(bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
                .GetConnectionUnixProcessID(bus.get_name_owner(desktop_id))), signal.SIGTERM)
    desktop.wait("veluna to quit", lambda: not bus.name_has_owner(desktop_id))
    veluna("status", status=3)
    runner = subprocess.Popen([veluna.binary, "run", "--", "sleep", "2"], env=desktop.env)
    desktop.wait_for_lock(True)
    check(runner.wait(timeout=20) == 0, "run without a program failed")
    desktop.wait_for_lock(False)
    check(not bus.name_has_owner(desktop_id), "run started the program")


def run(args):
    with Desktop() as desktop:
        desktop.start_x11(LOGIND_MOCK)
        veluna = CommandLine(desktop, args.veluna)
        check_period_commands(veluna, desktop)
        check_run_and_watch(veluna, desktop)
        check_without_program(veluna, desktop, args.desktop_id)


if __name__ == "__main__":
    sys.exit(run_script(__doc__, run, ["veluna", "desktop-id"], optional=()))
