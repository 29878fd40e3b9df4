#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Veluna against a desktop's own power manager, set to suspend after one minute idle.

Two private desktops run side by side with the same power manager: a control one without
Veluna, and one where Veluna is pressed awake as a user would (Return in its main window).
  1. the control desktop suspends (a logind Suspend call) once idle;
  2. the held one does not, for as long as the control took plus a margin, and the desktop's
     own view says it is held;
  3. after Return again, the desktop's view says so, and the held one suspends in its turn;
  4. no logind "sleep" lock in "block" mode is ever taken on Veluna's behalf, so the user can
     still suspend by hand.
gnome-session never suspends by itself, so on GNOME only the locks and the session manager's
view are checked, in one desktop.

Run with Debian's /usr/bin/python3, with tests/e2e on PYTHONPATH for the private desktops.
"""

import ctypes
import datetime
import os
import re
import subprocess
import sys
import time

import dbus

from harness import LOGIND, MOCK, Desktop, TestFailure, check, log, run_script

IDLE_MINUTES = 1
MARGIN = 15  # seconds the held desktop must stay awake beyond the control's suspend
GRACE = 40  # seconds beyond the idle time a suspend may take on a loaded machine
SEATS = "/run/systemd/seats"
POWERDEVIL = "/usr/lib/x86_64-linux-gnu/libexec/org_kde_powerdevil"
GNOME_SESSION = "/usr/libexec/gnome-session-binary"
SESSION_MANAGER = ("org.gnome.SessionManager", "/org/gnome/SessionManager")
POLICY_AGENT = ("org.kde.Solid.PowerManagement.PolicyAgent",
                "/org/kde/Solid/PowerManagement/PolicyAgent")


def provide_seats_folder():
    """xfce4-power-manager and gnome-session talk to logind only where /run/systemd/seats exists.
    Where it does not (a container), this test makes one in a mount namespace of its own."""
    if os.path.isdir(SEATS):
        return
    if ctypes.CDLL(None, use_errno=True).unshare(0x00020000) != 0:  # CLONE_NEWNS
        raise TestFailure(f"no {SEATS} and no mount namespace to make one in "
                          f"({os.strerror(ctypes.get_errno())})")
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)
    os.makedirs(os.path.dirname(SEATS), exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", os.path.dirname(SEATS)], check=True)
    os.makedirs(SEATS)


def reading(service, method, *args):
    """What one D-Bus call of the desktop says about holds, as a reader of a World."""
    name, path = service
    return lambda world: bool(world.session_bus.get_object(name, path).get_dbus_method(
        method, name)(*args, timeout=5))


# Each desktop's power manager:
#   env: the session's environment; files: path in the world: text; commands: run before the
#   services start;
#   services: started in order, each (name, argv, environment, the bus name it owns once ready);
#   in the environment, "{root}" stands for the world's folder, "{dpms_standin}" for the stand-in;
#   view: label: (reader, what it reads while Veluna holds the machine, and once it let go; None
#   for "not checked"), where the manager's suspending or not does not already tell;
#   idle: seconds idle before a suspend (None: it never suspends by itself);
#   logind_session: whether logind must list the user's session.
DESKTOPS = {
    "kde": dict(
        env={"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true", "KDE_SESSION_VERSION": "5"},
        files={"config/powermanagementprofilesrc": "".join(
            f"[{profile}][SuspendSession]\nidleTime={IDLE_MINUTES * 60000}\n"
            "suspendThenHibernate=false\nsuspendType=1\n\n"
            for profile in ("AC", "Battery", "LowBattery"))},
        services=[("powerdevil", [POWERDEVIL], {}, POLICY_AGENT[0])],
        idle=60, logind_session=True,
        # Suspend held (1 = InterruptSession); the screen left alone (4 = ChangeScreenSettings).
        view={"HasInhibition(1)": (reading(POLICY_AGENT, "HasInhibition", dbus.UInt32(1)),
                                   True, False),
              "HasInhibition(4)": (reading(POLICY_AGENT, "HasInhibition", dbus.UInt32(4)),
                                   False, None)}),
    "mate": dict(
        env={"XDG_CURRENT_DESKTOP": "MATE"},
        commands=[["gsettings", "set", schema, key, value] for schema, key, value in (
            ("org.mate.session", "required-components-list", "[]"),
            ("org.mate.session", "default-session", "[]"),
            ("org.mate.session", "gnome-compat-startup", "[]"),
            ("org.mate.session", "idle-delay", str(IDLE_MINUTES)),
            ("org.mate.power-manager", "sleep-computer-ac", "10"),
            ("org.mate.power-manager", "action-sleep-type-ac", "suspend"),
            ("org.mate.power-manager", "lock-suspend", "false"),
            ("org.mate.power-manager", "lock-use-screensaver", "false"))],
        services=[("mate-session", ["mate-session", "--debug"], {}, SESSION_MANAGER[0]),
                  ("mate-power-manager", ["mate-power-manager"], {}, "org.mate.PowerManager")],
        idle=60 + 10),  # the session's idle delay, then the power manager's sleep delay
    "xfce": dict(
        env={"XDG_CURRENT_DESKTOP": "XFCE"},
        commands=[["xfconf-query", "-c", "xfce4-power-manager", "-n", "-p",
                   f"/xfce4-power-manager/{prop}", "-t", kind, "-s", value]
                  for prop, kind, value in (("inactivity-on-ac", "uint", str(IDLE_MINUTES)),
                                            ("inactivity-sleep-mode-on-ac", "uint", "1"),
                                            ("lock-screen-suspend-hibernate", "bool", "false"),
                                            ("blank-on-ac", "int", str(IDLE_MINUTES)),
                                            ("dpms-enabled", "bool", "true"))],
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
                   {"XDG_DATA_DIRS": "{root}/share:/usr/share"}, SESSION_MANAGER[0])],
        idle=None,
        view={"IsInhibited(8)": (reading(SESSION_MANAGER, "IsInhibited", dbus.UInt32(8)),
                                 True, False)}),
}


class World(Desktop):
    """One private desktop with a power manager: the session bus may start the desktop's own
    services (dconf, xfconfd); logind (logging its calls), UPower and polkit are mocks."""

    def __init__(self, name, manager, dpms_standin):
        super().__init__(name=name)
        self.env.update(manager["env"], LANG="C.UTF-8", USER="root",
                        XDG_CONFIG_DIRS=self.path("xdg"))
        os.mkdir(self.env["XDG_CONFIG_DIRS"])
        self.calls_log = self.path("logind-calls.log")
        try:
            self.open(manager, dpms_standin)
        except BaseException:
            self.close(failed=True)
            raise

    def open(self, manager, dpms_standin):
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
            os.makedirs(os.path.dirname(self.path(path)), exist_ok=True)
            with open(self.path(path), "w", encoding="utf-8") as f:
                f.write(text)
        for command in manager.get("commands", []):
            self.run(*command)
        for service, argv, env, ready in manager["services"]:
            self.start(service, argv, **{key: value.format(root=self.root,
                       dpms_standin=dpms_standin) for key, value in env.items()})
            self.wait(f"{ready} on the session bus",
                      lambda r=ready: self.session_bus.name_has_owner(r))

    def logind_calls(self, method):
        """The arguments of each call of method in logind's call log, with its wall-clock time."""
        with open(self.calls_log, encoding="utf-8") as f:
            return [(float(line.split(" ", 1)[0]), re.findall(r'"([^"]*)"', line))
                    for line in f if re.match(rf"\S+ {method}\b", line)]

    def suspended_after(self, since):
        """Seconds from since to the first Suspend call after it, or None; fails at once if a
        process of this desktop has ended."""
        for name, process in self.processes:
            check(process.poll() is None, f"{self.name}: {name} ended ({process.returncode})")
        return next((stamp - since for stamp, _ in self.logind_calls("Suspend")
                     if stamp >= since), None)

    def stays_awake(self, since):
        took = self.suspended_after(since)
        if took is not None:
            raise TestFailure(f"the {self.name} desktop suspended {took:.1f}s after Return")

    def sleep_locks(self):
        return {tuple(arguments) for _, arguments in self.logind_calls("Inhibit")
                if "sleep" in arguments[0].split(":") and arguments[3] == "block"}

    def press_return(self, window, manager, phase):
        """Return in veluna's window; once the desktop has taken it in (KDE enforces after 5 s),
        its view reads as DESKTOPS says for phase (1 held, 2 let go)."""
        self.press(window, "Return")
        since = time.time()
        expected = {label: row[phase] for label, row in manager.get("view", {}).items()
                    if row[phase] is not None}

        def probe():
            seen = {label: manager["view"][label][0](self) for label in expected}
            if seen != expected:
                raise LookupError(f"the desktop reads {seen}")
            return True
        self.wait(f"the desktop to read {expected}", probe)
        return since


def start_veluna(world, binary):
    checked = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    world.write_settings({"VLOnboarded": True, "VLMenuBarMode": False, "VLKeepDisplay": False,
                          "VLUpdaterLastCheck": {"$date": checked}})
    world.launch(binary)

    def main_window():
        check(world.find_dialog() is None, "veluna opened a dialog: a returning user sees none")
        return world.find_main_window()
    return world.wait("veluna's main window", main_window)


def hold_and_release(manager, worlds, window):
    held, control, idle = worlds["held"], worlds.get("control"), manager["idle"]
    if control:
        control.run("xdotool", "key", "shift")  # the control's idle time starts with the hold's
        control_since = time.time()
    since = held.press_return(window, manager, 1)
    if control:
        def control_suspended():
            held.stays_awake(since)
            return control.suspended_after(control_since)
        took = held.wait("the control desktop to suspend", control_suspended, timeout=idle + GRACE)
        log(f"the control desktop suspended {took:.1f}s after its last input")
        held.stays(since + max(idle, took) + MARGIN - time.time(), lambda: held.stays_awake(since))
    since = held.press_return(window, manager, 2)
    if idle:
        took = held.wait("the held desktop to suspend once Veluna let go",
                         lambda: held.suspended_after(since), timeout=idle + GRACE)
        log(f"the held desktop suspended {took:.1f}s after Veluna let go")


def run_test(args):
    manager = DESKTOPS[args.desktop]
    worlds = {}
    try:
        for name in ("control", "held") if manager["idle"] else ("held",):
            worlds[name] = World(name, manager, args.dpms_standin)
        hold_and_release(manager, worlds, start_veluna(worlds["held"], args.veluna))
        taken = {name: world.sleep_locks() for name, world in worlds.items()}
        log(f"logind sleep locks in block mode: {taken}")
        extra = taken["held"] - taken.get("control", set())
        check(not extra, f"logind sleep locks in block mode taken while Veluna ran: {extra}")
    finally:
        for world in worlds.values():
            world.close(sys.exc_info()[0] is not None)


def run(args):
    provide_seats_folder()
    run_test(args)


if __name__ == "__main__":
    sys.exit(run_script(__doc__, run, ["desktop", "veluna", "dpms-standin"], optional=()))
