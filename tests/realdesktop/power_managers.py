#!/usr/bin/python3
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

Run with Debian's /usr/bin/python3 (it has python3-dbus and python3-dbusmock).
"""

import argparse
import datetime
import json
import os
import shutil
import signal
import sys
import tempfile
import time
import traceback

import dbus

from world import TestFailure, World, log, provide_seats_folder, wait_for

IDLE_MINUTES = 1
MARGIN = 15  # seconds the held desktop must stay awake beyond the control's suspend
GRACE = 40  # seconds beyond the idle time a suspend may take on a loaded machine
SETTLE = 8  # seconds after a press before the desktop's view is read (KDE enforces after 5 s)
POWERDEVIL = "/usr/lib/x86_64-linux-gnu/libexec/org_kde_powerdevil"
GNOME_SESSION = "/usr/libexec/gnome-session-binary"
SESSION_MANAGER = ("org.gnome.SessionManager", "/org/gnome/SessionManager")
POLICY_AGENT = ("org.kde.Solid.PowerManagement.PolicyAgent",
                "/org/kde/Solid/PowerManagement/PolicyAgent")
POWER_MANAGEMENT = ("org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit")


def call(world, service, method, *args, interface=None):
    name, path = service
    return world.session_bus.get_object(name, path).get_dbus_method(
        method, interface or name)(*args, timeout=5)


def session_manager_view(world):
    inhibitors = []
    for path in call(world, SESSION_MANAGER, "GetInhibitors"):
        inhibitor = dbus.Interface(world.session_bus.get_object(SESSION_MANAGER[0], path),
                                   SESSION_MANAGER[0] + ".Inhibitor")
        inhibitors.append((str(inhibitor.GetAppId()), int(inhibitor.GetFlags())))
    return {"IsInhibited(4)": bool(call(world, SESSION_MANAGER, "IsInhibited", dbus.UInt32(4))),
            "IsInhibited(8)": bool(call(world, SESSION_MANAGER, "IsInhibited", dbus.UInt32(8))),
            "session inhibitors (app, flags)": inhibitors}


# ---------------------------------------------------------------------------------- desktops

class Kde:
    env = {"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true", "KDE_SESSION_VERSION": "5"}
    idle = 60
    logind_session = True
    # Suspend held (1 = InterruptSession); the screen left alone (4 = ChangeScreenSettings).
    held = {"HasInhibition(1)": True, "HasInhibition(4)": False}
    released = {"HasInhibition(1)": False}

    @staticmethod
    def start(world, _args):
        groups = "".join(f"[{profile}][SuspendSession]\nidleTime={IDLE_MINUTES * 60000}\n"
                         "suspendThenHibernate=false\nsuspendType=1\n\n"
                         for profile in ("AC", "Battery", "LowBattery"))
        with open(world.path("config", "powermanagementprofilesrc"), "w", encoding="utf-8") as f:
            f.write(groups)
        world.start("powerdevil", [POWERDEVIL])
        return POLICY_AGENT[0]

    @staticmethod
    def view(world):
        view = {f"HasInhibition({policy})": bool(call(world, POLICY_AGENT, "HasInhibition",
                                                      dbus.UInt32(policy))) for policy in (1, 4)}
        view["PolicyAgent inhibitions"] = [tuple(map(str, inhibition)) for inhibition
                                           in call(world, POLICY_AGENT, "ListInhibitions")]
        return view


class Mate:
    env = {"XDG_CURRENT_DESKTOP": "MATE"}
    idle = 60 + 10  # the session's idle delay, then the power manager's sleep delay
    logind_session = False
    held = {"IsInhibited(4)": True}
    released = {"IsInhibited(4)": False}
    view = staticmethod(session_manager_view)

    @staticmethod
    def start(world, _args):
        for schema, key, value in (
                ("org.mate.session", "required-components-list", "[]"),
                ("org.mate.session", "default-session", "[]"),
                ("org.mate.session", "gnome-compat-startup", "[]"),
                ("org.mate.session", "idle-delay", str(IDLE_MINUTES)),
                ("org.mate.power-manager", "sleep-computer-ac", "10"),
                ("org.mate.power-manager", "action-sleep-type-ac", "suspend"),
                ("org.mate.power-manager", "lock-suspend", "false"),
                ("org.mate.power-manager", "lock-use-screensaver", "false")):
            world.run("gsettings", "set", schema, key, value)
        world.start("mate-session", ["mate-session", "--debug"])
        wait_for("mate-session on the session bus",
                 lambda: world.session_bus.name_has_owner(SESSION_MANAGER[0]))
        world.start("mate-power-manager", ["mate-power-manager"])
        return "org.mate.PowerManager"


class Xfce:
    env = {"XDG_CURRENT_DESKTOP": "XFCE"}
    idle = 60
    logind_session = False
    held = {"HasInhibit": True}
    released = {"HasInhibit": False}

    @staticmethod
    def start(world, args):
        for prop, kind, value in (("inactivity-on-ac", "uint", str(IDLE_MINUTES)),
                                  ("inactivity-sleep-mode-on-ac", "uint", "1"),
                                  ("lock-screen-suspend-hibernate", "bool", "false"),
                                  ("blank-on-ac", "int", str(IDLE_MINUTES)),
                                  ("dpms-enabled", "bool", "true")):
            world.run("xfconf-query", "-c", "xfce4-power-manager", "-n", "-p",
                      f"/xfce4-power-manager/{prop}", "-t", kind, "-s", value)
        world.start("xfce4-power-manager", ["xfce4-power-manager", "--debug"],
                    LD_PRELOAD=args.dpms_standin)
        return POWER_MANAGEMENT[0]

    @staticmethod
    def view(world):
        dpms = [line for line in world.output_of("xfce4-power-manager").splitlines()
                if line.startswith("dpms-standin:")]
        return {"HasInhibit": bool(call(world, POWER_MANAGEMENT, "HasInhibit",
                                        interface=POWER_MANAGEMENT[0] + ".Inhibit")),
                "last DPMS change": dpms[-1] if dpms else None}


class Gnome:
    env = {"XDG_CURRENT_DESKTOP": "GNOME"}
    idle = None  # gnome-session never suspends by itself
    logind_session = False
    held = {"IsInhibited(8)": True}
    released = {"IsInhibited(8)": False}
    view = staticmethod(session_manager_view)

    @staticmethod
    def start(world, _args):
        sessions = world.path("share", "gnome-session", "sessions")
        os.makedirs(sessions)
        with open(os.path.join(sessions, "test.session"), "w", encoding="utf-8") as f:
            f.write("[GNOME Session]\nName=test\nRequiredComponents=\nDesktopName=Test\n")
        world.env["XDG_DATA_DIRS"] = world.path("share") + ":/usr/share"
        world.start("gnome-session", [GNOME_SESSION, "--builtin", "--session=test",
                                      "--disable-acceleration-check"])
        return SESSION_MANAGER[0]


DESKTOPS = {"kde": Kde, "mate": Mate, "xfce": Xfce, "gnome": Gnome}


# ------------------------------------------------------------------------------------ worlds

def open_world(name, parent, desktop, args):
    world = World(name, parent)
    world.env.update(desktop.env)
    world.start_buses()
    world.start_display()
    world.start_system_mocks(desktop.logind_session)
    ready = desktop.start(world, args)
    wait_for(f"{ready} on the session bus", lambda: world.session_bus.name_has_owner(ready))
    return world


def start_veluna(world, binary):
    folder = world.path("config", "veluna")
    os.mkdir(folder)
    checked = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    with open(os.path.join(folder, "veluna.json"), "w", encoding="utf-8") as f:
        json.dump({"VLOnboarded": True, "VLMenuBarMode": False, "VLKeepDisplay": False,
                   "VLUpdaterLastCheck": {"$date": checked}}, f)
    pid = world.start("veluna", [binary], QT_QPA_PLATFORM="xcb").pid

    def main_window():
        world.check_running()
        for window in world.run("xdotool", "search", "--all", "--onlyvisible", "--pid",
                                str(pid), check_status=False).split():
            kind = world.run("xprop", "-id", window, "_NET_WM_WINDOW_TYPE")
            if "DIALOG" in kind:
                raise TestFailure("veluna opened a dialog: a returning user must see none")
            if "NORMAL" in kind:
                return window
        return None
    return wait_for("veluna's main window", main_window)


def press_return(world, window):
    def active():
        world.run("xdotool", "windowactivate", "--sync", window, timeout=5)
        return world.run("xdotool", "getactivewindow").strip() == window
    wait_for(f"window {window} to be active", active)
    world.run("xdotool", "key", "--clearmodifiers", "Return")
    world.tag("pressed Return in veluna's main window")
    return time.time()


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

    def tick(self, *worlds):
        for world in worlds:
            world.check_running()
            self.locks.setdefault(world.name, set()).update(world.inhibitors())
        time.sleep(1)

    def read_view(self, world, moment, expected):
        view = self.desktop.view(world)
        view["X screensaver timeout"] = world.screensaver_timeout()
        self.fact(f"{world.name}, {moment}: {view}")
        for key, value in expected.items():
            self.expect(view[key] == value, f"{moment}: {key} is {view[key]}, expected {value}")

    def first_suspend(self, world, since):
        times = [stamp for stamp, _ in world.logind_calls("Suspend") if stamp >= since]
        return times[0] - since if times else None


# ------------------------------------------------------------------------------------ phases

def held_phase(run, control, held, window):
    """Both desktops idle from the same moment; only the held one has Veluna awake."""
    idle = run.desktop.idle
    control.reset_idle()
    since_control = time.time()
    since_held = press_return(held, window)
    viewed = False
    took = early = None
    while early is None:
        run.tick(control, held)
        now = time.time()
        if not viewed and now >= since_held + SETTLE:
            run.read_view(held, "awake", run.desktop.held)
            run.fact(f"control, idle: X screensaver timeout {control.screensaver_timeout()}")
            viewed = True
        took = run.first_suspend(control, since_control)
        early = run.first_suspend(held, since_held)
        if now >= since_held + max(idle, took or idle + GRACE) + MARGIN:
            break
    run.expect(took is not None, f"the control desktop did not suspend within {idle + GRACE}s idle")
    if took is not None:
        run.fact(f"control: Suspend {took:.1f}s after the last input")
    run.expect(early is None,
               f"Suspend reached logind {early or 0:.1f}s after Veluna was pressed awake")
    if early is None:
        run.fact(f"held: no Suspend for {time.time() - since_held:.0f}s while awake")


def released_phase(run, held, window):
    idle = run.desktop.idle
    since = press_return(held, window)
    viewed = False
    while time.time() < since + idle + GRACE:
        run.tick(held)
        if not viewed and time.time() >= since + SETTLE:
            run.read_view(held, "stopped", run.desktop.released)
            viewed = True
        took = run.first_suspend(held, since)
        if took is not None:
            run.fact(f"held: Suspend {took:.1f}s after Veluna was stopped")
            return
    run.expect(False, f"no Suspend within {idle + GRACE}s after Veluna was stopped")


def lock_only_phases(run, held, window):
    for moment, expected in (("awake", run.desktop.held), ("stopped", run.desktop.released)):
        since = press_return(held, window)
        while time.time() < since + SETTLE:
            run.tick(held)
        run.read_view(held, moment, expected)


def check_sleep_locks(run):
    """No "sleep" lock in "block" mode in the held desktop beyond what the control one takes."""
    found = {name: {lock for lock in taken if "sleep" in lock[0].split(":") and lock[3] == "block"}
             for name, taken in run.locks.items()}
    extra = found["held"] - found.get("control", set())
    run.expect(not extra,
               f"logind sleep locks in block mode taken while Veluna ran: {sorted(extra)}")


def run_test(args, parent):
    desktop = DESKTOPS[args.desktop]
    run = Run(desktop)
    worlds = []
    try:
        if desktop.idle is not None:
            worlds.append(open_world("control", parent, desktop, args))
        held = open_world("held", parent, desktop, args)
        worlds.append(held)
        window = start_veluna(held, args.veluna)
        if desktop.idle is None:
            lock_only_phases(run, held, window)
        else:
            control = worlds[0]
            held_phase(run, control, held, window)
            run.collect_locks(control)
            control.close(show_logs=bool(run.failures))
            worlds.remove(control)
            released_phase(run, held, window)
        run.collect_locks(held)
        check_sleep_locks(run)
    finally:
        for world in worlds:
            world.close(show_logs=bool(run.failures) or sys.exc_info()[0] is not None)
    return run


def stop_on_signal(signum, _frame):
    raise TestFailure(f"interrupted by {signal.Signals(signum).name}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--desktop", required=True, choices=sorted(DESKTOPS))
    parser.add_argument("--veluna", required=True, help="the veluna binary")
    parser.add_argument("--dpms-standin", required=True, help="the DPMS stand-in library")
    args = parser.parse_args()
    tools = ("dbus-daemon", "Xvfb", "openbox", "xdotool", "xprop", "xset", "gsettings",
             "xfconf-query", "mate-session", "mate-power-manager", "xfce4-power-manager")
    missing = [t for t in tools if shutil.which(t) is None]
    missing += [p for p in (POWERDEVIL, GNOME_SESSION) if not os.path.exists(p)]
    if missing:
        print(f"FAIL: {', '.join(missing)} not installed (run scripts/setup.sh <build-dir> test)")
        return 1
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGINT, stop_on_signal)
    parent = tempfile.mkdtemp(prefix=f"veluna-{args.desktop}-")
    try:
        provide_seats_folder()
        run = run_test(args, parent)
    except Exception as error:  # pylint: disable=broad-except
        if not isinstance(error, TestFailure):
            traceback.print_exc(file=sys.stdout)
        print(f"FAIL: {error}", flush=True)
        return 1
    finally:
        shutil.rmtree(parent, ignore_errors=True)
    print("\n".join(["facts:"] + [f"  {fact}" for fact in run.facts]), flush=True)
    if run.failures:
        print("\n".join(["FAIL:"] + [f"  {failure}" for failure in run.failures]), flush=True)
        return 1
    log(f"PASS on {args.desktop}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
