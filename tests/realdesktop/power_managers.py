#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Veluna against a desktop's own power manager, set to suspend after one minute idle.

Two private desktops run side by side with the same power manager: a control one without
Veluna, and one where Veluna is pressed awake as a user would (Return in its main window).
  1. the control desktop suspends (a logind Suspend call) once idle;
  2. the held one does not, for as long as the control took plus a margin;
  3. after Return again, the held one suspends in its turn;
  4. no logind "sleep" lock in "block" mode is ever taken on Veluna's behalf, so the user can
     still suspend by hand; the desktop's own view of the hold is read and checked as well.
gnome-session never suspends by itself, so on GNOME only the locks and the session manager's
view are checked, in one desktop.

Run with Debian's /usr/bin/python3, with tests/e2e on PYTHONPATH for the private desktops.
"""

import argparse
import ctypes
import dataclasses
import datetime
import os
import re
import subprocess
import sys
import time

import dbus

from harness import LOGIND, MOCK, Desktop, TestFailure, log, run_guarded

IDLE_MINUTES = 1
MARGIN = 15  # seconds the held desktop must stay awake beyond the control's suspend
GRACE = 40  # seconds beyond the idle time a suspend may take on a loaded machine
SETTLE = 8  # seconds after a press before the desktop's view is read (KDE enforces after 5 s)
SEATS = "/run/systemd/seats"
CLONE_NEWNS = 0x00020000
POWERDEVIL = "/usr/lib/x86_64-linux-gnu/libexec/org_kde_powerdevil"
GNOME_SESSION = "/usr/libexec/gnome-session-binary"
SESSION_MANAGER = ("org.gnome.SessionManager", "/org/gnome/SessionManager")
POLICY_AGENT = ("org.kde.Solid.PowerManagement.PolicyAgent",
                "/org/kde/Solid/PowerManagement/PolicyAgent")
POWER_MANAGEMENT = ("org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit")


class World(Desktop):
    """One private desktop with a power manager: the session bus may start the desktop's own
    services (dconf, xfconfd); logind (logging its calls), UPower and polkit are mocks."""

    BUDGET = 280.0  # CTest allows 300 s

    def __init__(self, name, desktop):
        super().__init__(name=name)
        self.env.update(desktop.env, LANG="C.UTF-8", USER="root",
                        XDG_CONFIG_DIRS=self.path("xdg"))
        os.mkdir(self.env["XDG_CONFIG_DIRS"])
        self.calls_log = self.path("logind-calls.log")

    def start_system_mocks(self, with_session):
        self.start_mocks(
            (LOGIND, "system", ["--template", "logind", "-l", self.calls_log]),
            ("org.freedesktop.UPower", "system", [
                "--template", "upower", "-p", '{"DaemonVersion": "0.99.20", "OnBattery": false}']),
            ("org.freedesktop.PolicyKit1", "system", ["--template", "polkitd"]))
        self.system_bus.get_object("org.freedesktop.PolicyKit1",
                                   "/org/freedesktop/PolicyKit1/Authority").AllowUnknown(
            True, dbus_interface=MOCK)
        if with_session:
            self.logind.AddSession("auto", "seat0", dbus.UInt32(os.getuid()), "root", True,
                                   dbus_interface=MOCK)

    def check_running(self):
        for name, process in self.processes:
            if process.poll() is not None:
                raise TestFailure(f"{self.name}: {name} ended with status {process.returncode}")

    def logind_calls(self, method):
        """(wall-clock time, arguments) of each call of method in logind's call log."""
        calls = []
        with open(self.calls_log, encoding="utf-8") as f:
            for line in f:
                stamp, _, rest = line.partition(" ")
                if rest.startswith(method + " ") or rest.strip() == method:
                    calls.append((float(stamp), re.findall(r'"([^"]*)"', rest)))
        return calls

    def screensaver_timeout(self):
        found = re.search(r"timeout:\s*(\d+)", self.run("xset", "q"))
        return int(found.group(1)) if found else None

    def reset_idle(self):
        """Real input through the X server: what an idle monitor counts as the user being back."""
        self.run("xdotool", "key", "shift")

    def press_return(self, window):
        self.press(window, "Return")
        return time.time()


def provide_seats_folder():
    """xfce4-power-manager and gnome-session talk to logind only where /run/systemd/seats exists.
    Where it does not (a container), this test makes one in a mount namespace of its own."""
    if os.path.isdir(SEATS):
        return
    if ctypes.CDLL(None, use_errno=True).unshare(CLONE_NEWNS) != 0:
        raise TestFailure(f"no {SEATS} and no mount namespace to make one in "
                          f"({os.strerror(ctypes.get_errno())})")
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)
    os.makedirs(os.path.dirname(SEATS), exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", os.path.dirname(SEATS)], check=True)
    os.makedirs(SEATS)


# ------------------------------------------------------------------ the desktops' views

def call(world, service, method, *args, interface=None):
    name, path = service
    return world.session_bus.get_object(name, path).get_dbus_method(
        method, interface or name)(*args, timeout=5)


def kde_view(world):
    view = {f"HasInhibition({policy})": bool(call(world, POLICY_AGENT, "HasInhibition",
                                                  dbus.UInt32(policy))) for policy in (1, 4)}
    view["PolicyAgent inhibitions"] = [tuple(map(str, inhibition)) for inhibition
                                       in call(world, POLICY_AGENT, "ListInhibitions")]
    return view


def session_manager_view(world):
    inhibitors = []
    for path in call(world, SESSION_MANAGER, "GetInhibitors"):
        inhibitor = dbus.Interface(world.session_bus.get_object(SESSION_MANAGER[0], path),
                                   SESSION_MANAGER[0] + ".Inhibitor")
        inhibitors.append((str(inhibitor.GetAppId()), int(inhibitor.GetFlags())))
    return {"IsInhibited(4)": bool(call(world, SESSION_MANAGER, "IsInhibited", dbus.UInt32(4))),
            "IsInhibited(8)": bool(call(world, SESSION_MANAGER, "IsInhibited", dbus.UInt32(8))),
            "session inhibitors (app, flags)": inhibitors}


def xfce_view(world):
    dpms = [line for line in world.output_of("xfce4-power-manager").splitlines()
            if line.startswith("dpms-standin:")]
    return {"HasInhibit": bool(call(world, POWER_MANAGEMENT, "HasInhibit",
                                    interface=POWER_MANAGEMENT[0] + ".Inhibit")),
            "last DPMS change": dpms[-1] if dpms else None}


# ------------------------------------------------------------------------- the desktops

@dataclasses.dataclass
class PowerManager:
    env: dict
    # Started in order, each (name, argv, environment, the bus name it owns once ready); in the
    # environment, "{root}" stands for the world's folder, "{dpms_standin}" for --dpms-standin.
    services: list
    view: callable
    held: dict  # what view() must say while Veluna holds the machine
    released: dict  # and once it is stopped
    idle: int = 60  # seconds idle before a suspend; None for a manager that never suspends
    logind_session: bool = False
    files: dict = dataclasses.field(default_factory=dict)  # path in the world: text
    commands: list = dataclasses.field(default_factory=list)  # run before the services start


DESKTOPS = {
    "kde": PowerManager(
        env={"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true", "KDE_SESSION_VERSION": "5"},
        files={"config/powermanagementprofilesrc": "".join(
            f"[{profile}][SuspendSession]\nidleTime={IDLE_MINUTES * 60000}\n"
            "suspendThenHibernate=false\nsuspendType=1\n\n"
            for profile in ("AC", "Battery", "LowBattery"))},
        services=[("powerdevil", [POWERDEVIL], {}, POLICY_AGENT[0])],
        view=kde_view, logind_session=True,
        # Suspend held (1 = InterruptSession); the screen left alone (4 = ChangeScreenSettings).
        held={"HasInhibition(1)": True, "HasInhibition(4)": False},
        released={"HasInhibition(1)": False}),
    "mate": PowerManager(
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
        view=session_manager_view,
        idle=60 + 10,  # the session's idle delay, then the power manager's sleep delay
        held={"IsInhibited(4)": True}, released={"IsInhibited(4)": False}),
    "xfce": PowerManager(
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
                   {"LD_PRELOAD": "{dpms_standin}"}, POWER_MANAGEMENT[0])],
        view=xfce_view, held={"HasInhibit": True}, released={"HasInhibit": False}),
    "gnome": PowerManager(
        env={"XDG_CURRENT_DESKTOP": "GNOME"},
        files={"share/gnome-session/sessions/test.session":
               "[GNOME Session]\nName=test\nRequiredComponents=\nDesktopName=Test\n"},
        services=[("gnome-session", [GNOME_SESSION, "--builtin", "--session=test",
                                     "--disable-acceleration-check"],
                   {"XDG_DATA_DIRS": "{root}/share:/usr/share"}, SESSION_MANAGER[0])],
        view=session_manager_view, idle=None,
        held={"IsInhibited(8)": True}, released={"IsInhibited(8)": False}),
}


# ---------------------------------------------------------------------------- worlds

def open_world(name, desktop, args):
    world = World(name, desktop)
    try:
        world.start_buses(activation=True)
        world.start_display()
        world.start_system_mocks(desktop.logind_session)
        for path, text in desktop.files.items():
            os.makedirs(os.path.dirname(world.path(path)), exist_ok=True)
            with open(world.path(path), "w", encoding="utf-8") as f:
                f.write(text)
        for command in desktop.commands:
            world.run(*command)
        for service, argv, env, ready in desktop.services:
            world.start(service, argv, **{key: value.format(
                root=world.root, dpms_standin=args.dpms_standin) for key, value in env.items()})
            world.wait(f"{ready} on the session bus",
                       lambda r=ready: world.session_bus.name_has_owner(r))
    except BaseException:
        world.close(failed=True)
        raise
    return world


def start_veluna(world, binary):
    checked = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    world.write_settings({"VLOnboarded": True, "VLMenuBarMode": False, "VLKeepDisplay": False,
                          "VLUpdaterLastCheck": {"$date": checked}})
    world.launch(binary)

    def main_window():
        if world.find_dialog() is not None:
            raise TestFailure("veluna opened a dialog: a returning user must see none")
        return world.find_main_window()
    return world.wait("veluna's main window", main_window)


class Run:
    """The checks of one test: failures are gathered, so one run shows every broken point."""

    def __init__(self, desktop):
        self.desktop = desktop
        self.failures = []
        self.facts = []
        self.locks = {}  # world name -> every logind lock seen in it

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
            log(f"FAILED: {message}")

    def fact(self, message):
        self.facts.append(message)
        log(f"fact: {message}")

    def collect_locks(self, world):
        """Every logind lock seen in world: polled ones and those in logind's call log."""
        taken = self.locks.setdefault(world.name, set())
        taken |= {tuple(arguments) for _, arguments in world.logind_calls("Inhibit")}
        self.fact(f"{world.name}: logind locks seen {sorted(taken)}")

    def tick(self, worlds):
        for world in worlds:
            world.check_running()
            self.locks.setdefault(world.name, set()).update(world.all_inhibitors())
        time.sleep(1)

    def read_view(self, world, moment, expected):
        view = self.desktop.view(world)
        view["X screensaver timeout"] = world.screensaver_timeout()
        self.fact(f"{world.name}, {moment}: {view}")
        for key, value in expected.items():
            self.expect(view[key] == value, f"{moment}: {key} is {view[key]}, expected {value}")


# ---------------------------------------------------------------------------- phases

# moment, what the held desktop's view must say then, whether each world must suspend (where the
# desktop suspends by itself), the worlds closed afterwards
PHASES = (("awake", "held", {"control": True, "held": False}, ("control",)),
          ("stopped", "released", {"held": True}, ()))


def first_suspend(world, since):
    times = [stamp for stamp, _ in world.logind_calls("Suspend") if stamp >= since]
    return times[0] - since if times else None


def phase_over(idle, suspends, took, elapsed):
    """Whether a phase, elapsed seconds after the held desktop's Return, has seen enough: a world
    suspended that must not; or those that must have, and the others stayed awake for as long
    (at least the idle time) plus MARGIN; or the idle time and GRACE have passed."""
    must_not = [name for name, suspending in suspends.items() if not suspending]
    if any(name in took for name in must_not):
        return True
    pending = [name for name, suspending in suspends.items() if suspending and name not in took]
    if not pending and not must_not:
        return True
    waited = idle + GRACE if pending else max([idle] + list(took.values()))
    return elapsed >= waited + (MARGIN if must_not else 0)


def watch(run, worlds, window, moment, expected, suspends):
    """Return in the held desktop's veluna, the other worlds idle from the same moment; the held
    desktop's view is read once settled, and Suspend calls are watched until phase_over."""
    held = worlds["held"]
    since = {}
    for name in suspends.keys() - {"held"}:
        worlds[name].reset_idle()
        since[name] = time.time()
    since["held"] = held.press_return(window)
    took, viewed = {}, False
    while not viewed or not phase_over(run.desktop.idle, suspends, took,
                                       time.time() - since["held"]):
        run.tick(worlds.values())
        if not viewed and time.time() >= since["held"] + SETTLE:
            run.read_view(held, moment, expected)
            for other in worlds.keys() - {"held"}:
                run.fact(f"{other}, idle: X screensaver timeout "
                         f"{worlds[other].screensaver_timeout()}")
            viewed = True
        for name in suspends.keys() - took.keys():
            seconds = first_suspend(worlds[name], since[name])
            if seconds is not None:
                took[name] = seconds
    for name, suspending in suspends.items():
        run.expect((name in took) == suspending, f"{moment}: the {name} desktop " + (
            f"did not suspend within {run.desktop.idle + GRACE}s idle" if suspending
            else f"suspended {took.get(name, 0):.1f}s after Veluna's Return"))
        run.fact(f"{moment}: {name} " + (f"suspended {took[name]:.1f}s after its last input"
                                         if name in took else "did not suspend for "
                                         f"{time.time() - since[name]:.0f}s"))


def check_sleep_locks(run):
    """No "sleep" lock in "block" mode in the held desktop beyond what the control one takes."""
    found = {name: {lock for lock in taken if "sleep" in lock[0].split(":") and lock[3] == "block"}
             for name, taken in run.locks.items()}
    extra = found["held"] - found.get("control", set())
    run.expect(not extra,
               f"logind sleep locks in block mode taken while Veluna ran: {sorted(extra)}")


def run_test(args):
    desktop = DESKTOPS[args.desktop]
    run = Run(desktop)
    worlds = {}
    try:
        for name in ("control", "held") if desktop.idle else ("held",):
            worlds[name] = open_world(name, desktop, args)
        window = start_veluna(worlds["held"], args.veluna)
        for moment, view, suspends, closing in PHASES:
            watch(run, worlds, window, moment, getattr(desktop, view),
                  suspends if desktop.idle else {})
            for name in set(closing) & worlds.keys():
                run.collect_locks(worlds[name])
                worlds.pop(name).close(bool(run.failures))
        run.collect_locks(worlds["held"])
        check_sleep_locks(run)
    finally:
        for world in worlds.values():
            world.close(bool(run.failures) or sys.exc_info()[0] is not None)
    print("\n".join(["facts:"] + [f"  {fact}" for fact in run.facts]), flush=True)
    if run.failures:
        raise TestFailure("\n".join([""] + [f"  {failure}" for failure in run.failures]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--desktop", required=True, choices=sorted(DESKTOPS))
    parser.add_argument("--veluna", required=True, help="the veluna binary")
    parser.add_argument("--dpms-standin", required=True, help="the DPMS stand-in library")
    args = parser.parse_args()
    tools = ("dbus-daemon", "Xvfb", "openbox", "xdotool", "xprop", "xset", "gsettings",
             "xfconf-query", "mate-session", "mate-power-manager", "xfce4-power-manager",
             POWERDEVIL, GNOME_SESSION)

    def body():
        provide_seats_folder()
        run_test(args)
    return run_guarded(f"{args.desktop}'s power manager", tools, body)


if __name__ == "__main__":
    sys.exit(main())
