#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Veluna against a desktop's own power manager, set to suspend after one minute idle.

On a private desktop with that power manager, Veluna is pressed awake as a user would (Return
in its main window):
  1. the desktop does not suspend (no logind Suspend call) for the idle time and the longest a
     suspend may take beyond it;
  2. after Return again, it suspends within that time;
  3. no logind "sleep" lock in "block" mode is taken on Veluna's behalf, so the user can still
     suspend by hand.
gnome-session never suspends by itself, so on GNOME the session manager's own view (held, then
not) stands for 1 and 2.

Run with Debian's /usr/bin/python3, with tests/e2e on PYTHONPATH for the private desktops.
"""

import datetime
import os
import re
import sys
import time
from pathlib import Path

import dbus

from harness import LOGIND, MOCK, Desktop, check, run_script

IDLE_MINUTES = 1
GRACE = 40  # seconds beyond the idle time a suspend may take on a loaded machine
POWERDEVIL = "/usr/lib/x86_64-linux-gnu/libexec/org_kde_powerdevil"
GNOME_SESSION = "/usr/libexec/gnome-session-binary"
SESSION_MANAGER = "org.gnome.SessionManager"


# Each desktop's power manager:
#   env: the session's environment; files: path in the world: text; commands: run before the
#   services start;
#   services: started in order, each (name, argv, environment, the bus name it owns once ready);
#   in the environment, "{root}" stands for the world's folder, "{dpms_standin}" for the stand-in;
#   holds: whether the desktop's own view says it is held, where its suspending or not cannot;
#   idle: seconds idle before a suspend (None: it never suspends by itself);
#   logind_session: whether logind must list the user's session.
DESKTOPS = {
    "kde": dict(
        env={"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true", "KDE_SESSION_VERSION": "5"},
        files={"config/powermanagementprofilesrc": "".join(
            f"[{profile}][SuspendSession]\nidleTime={IDLE_MINUTES * 60000}\n"
            "suspendThenHibernate=false\nsuspendType=1\n\n"
            for profile in ("AC", "Battery", "LowBattery"))},
        services=[("powerdevil", [POWERDEVIL], {}, "org.kde.Solid.PowerManagement.PolicyAgent")],
        idle=60, logind_session=True),
    "mate": dict(
        env={"XDG_CURRENT_DESKTOP": "MATE"},
        commands=[["gsettings", "set", "org.mate." + schema, key, value]
                  for schema, key, value in (setting.split() for setting in (
                      "session required-components-list []", "session default-session []",
                      "session gnome-compat-startup []", f"session idle-delay {IDLE_MINUTES}",
                      "power-manager sleep-computer-ac 10", "power-manager lock-suspend false",
                      "power-manager lock-use-screensaver false"))],
        services=[("mate-session", ["mate-session", "--debug"], {}, SESSION_MANAGER),
                  ("mate-power-manager", ["mate-power-manager"], {}, "org.mate.PowerManager")],
        idle=60 + 10),  # the session's idle delay, then the power manager's sleep delay
    "xfce": dict(
        env={"XDG_CURRENT_DESKTOP": "XFCE"},
        commands=[["xfconf-query", "-c", "xfce4-power-manager", "-n", "-p",
                   f"/xfce4-power-manager/{prop}", "-t", kind, "-s", value]
                  for prop, kind, value in (setting.split() for setting in (
                      f"inactivity-on-ac uint {IDLE_MINUTES}", "inactivity-sleep-mode-on-ac uint 1",
                      "lock-screen-suspend-hibernate bool false", f"blank-on-ac int {IDLE_MINUTES}",
                      "dpms-enabled bool true"))],
        # Xvfb lacks the DPMS extension the manager needs: the stand-in provides it.
        services=[("xfce4-power-manager", ["xfce4-power-manager", "--debug"],
                   {"LD_PRELOAD": "{dpms_standin}"}, "org.freedesktop.PowerManagement")],
        idle=60),
    "gnome": dict(
        env={"XDG_CURRENT_DESKTOP": "GNOME"},
        files={"share/gnome-session/sessions/test.session":
               "[GNOME Session]\nName=test\nRequiredComponents=\nDesktopName=Test\n"},
        services=[("gnome-session", [GNOME_SESSION, "--builtin", "--session=test",
                                     "--disable-acceleration-check"],
                   {"XDG_DATA_DIRS": "{root}/share:/usr/share"}, SESSION_MANAGER)],
        idle=None,
        # IsInhibited(8): the session held idle, its flag for Veluna on GNOME.
        holds=lambda world: bool(world.session_bus.get_object(
            SESSION_MANAGER, "/org/gnome/SessionManager").IsInhibited(
                dbus.UInt32(8), dbus_interface=SESSION_MANAGER, timeout=5))),
}


class World(Desktop):
    """One private desktop with a power manager: the session bus may start the desktop's own
    services (dconf, xfconfd); logind (logging its calls), UPower and polkit are mocks."""

    def open(self, manager, standin):
        self.env.update(manager["env"], LANG="C.UTF-8", USER="root", XDG_CONFIG_DIRS=self.path("x"))
        os.mkdir(self.env["XDG_CONFIG_DIRS"])
        self.calls_log = self.path("logind-calls.log")
        self.start_buses(activation=True)
        self.start_display()
        self.start_mocks(
            (LOGIND, "system", ["--template", "logind", "-l", self.calls_log]),
            ("org.freedesktop.UPower", "system", [
                "--template", "upower", "-p", '{"DaemonVersion": "0.99.20", "OnBattery": false}']),
            ("org.freedesktop.PolicyKit1", "system", ["--template", "polkitd"]))
        self.system_bus.get_object("org.freedesktop.PolicyKit1",
                                   "/org/freedesktop/PolicyKit1/Authority").AllowUnknown(
            True, dbus_interface=MOCK)
        if manager.get("logind_session"):
            self.logind.AddSession("auto", "seat0", dbus.UInt32(os.getuid()), "root", True,
                                   dbus_interface=MOCK)
        for path, text in manager.get("files", {}).items():
            Path(self.path(path)).parent.mkdir(parents=True, exist_ok=True)
            Path(self.path(path)).write_text(text, encoding="utf-8")
        for command in manager.get("commands", []):
            self.run(*command)
        for service, argv, env, ready in manager["services"]:
            self.start(service, argv, **{key: value.format(root=self.root, dpms_standin=standin)
                                         for key, value in env.items()})
            self.wait(f"{ready} on the bus", lambda: self.session_bus.name_has_owner(ready))

    def logind_calls(self, method):
        """The arguments of each call of method in logind's call log, with its wall-clock time."""
        return [(float(line.split(" ", 1)[0]), re.findall(r'"([^"]*)"', line))
                for line in Path(self.calls_log).read_text(encoding="utf-8").splitlines()
                if re.match(rf"\S+ {method}\b", line)]

    def suspended_after(self, since):
        """Seconds from since to the first Suspend call after it, or None; fails at once if a
        process of this desktop has ended."""
        for name, process in self.processes:
            check(process.poll() is None, f"{self.name}: {name} ended ({process.returncode})")
        return next((stamp - since for stamp, _ in self.logind_calls("Suspend")
                     if stamp >= since), None)

    def sleep_locks(self):
        return {tuple(arguments) for _, arguments in self.logind_calls("Inhibit")
                if "sleep" in arguments[0].split(":") and arguments[3] == "block"}



def run(args):
    # gnome-session takes logind's locks only where this exists; without, its check would be void
    check(os.path.isdir("/run/systemd/seats"), "no /run/systemd/seats on this machine")
    manager, idle = DESKTOPS[args.desktop], DESKTOPS[args.desktop]["idle"]
    checked = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    with World(name=args.desktop) as world:
        world.open(manager, args.dpms_standin)
        # A returning user's launch (the update check just made, so no dialog comes up).
        world.write_settings({"VLOnboarded": True, "VLMenuBarMode": False, "VLKeepDisplay": False,
                              "VLUpdaterLastCheck": {"$date": checked}})
        world.launch(args.veluna)
        window = world.wait("veluna's main window", world.find_main_window)
        before = world.sleep_locks()
        # Return holds the machine for longer than a suspend may take; Return again lets it go.
        for held in (True, False):
            world.press(window, "Return")
            since = time.time()
            if "holds" in manager:  # where the desktop tells, once it says held (or not)
                world.wait(f"the desktop to say it is {'' if held else 'not '}held",
                           lambda: manager["holds"](world) == held)
            if idle and held:
                world.wait("no suspend while held", lambda: check(world.suspended_after(
                    since) is None, f"{world.name} suspended while Veluna held it"),
                    steady=idle + GRACE)
            elif idle:
                world.wait("a suspend once Veluna let go", lambda: world.suspended_after(since),
                           timeout=idle + GRACE)
        extra = world.sleep_locks() - before
        check(not extra, f"logind sleep locks in block mode taken while Veluna ran: {extra}")


if __name__ == "__main__":
    sys.exit(run_script(__doc__, run, ["desktop", "veluna", "dpms-standin"], optional=()))
