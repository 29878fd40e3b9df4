#!/usr/bin/python3
"""Whole-program run of Veluna as a native Wayland client under headless sway.

Starts sway (as nobody when run as root: sway refuses root), a private session bus and a private
system bus with logind (with its BlockInhibited property), a desktop portal that answers Inhibit
as sway's portals do (without doing anything), a StatusNotifierWatcher and
`swayidle -w timeout 3 'echo IDLE'`; then drives the real veluna binary with
QT_QPA_PLATFORM=wayland and XDG_CURRENT_DESKTOP=sway:

  1. first launch: the welcome dialog and then the main window map with the desktop id as their
     app_id; Return on the dialog takes its default button (standard app); swayidle still fires;
  2. a screenshot of the home view is kept; Return keeps the computer awake, which must be a
     logind "idle" block lock, and swayidle stops firing;
  3. Ctrl+W switches to menu-bar mode and the tray item registers with the watcher;
  4. a second launch hands over to the first (org.freedesktop.Application.Activate) and exits;
  5. SIGTERM: veluna exits with 0, no lock is left, and swayidle fires again.

Run with Debian's /usr/bin/python3. Every wait is bounded; everything started here is stopped in
the end, even on failure. The private-desktop plumbing is shared with the X11 run in tests/e2e.
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import time
import traceback

import dbus
import dbus.bus

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
# pylint: disable=wrong-import-position
import desktop_session as e2e  # noqa: E402
from desktop_session import TestFailure, check, log  # noqa: E402

e2e.STEP_TIMEOUT = 15.0
e2e.TOTAL_BUDGET = 55.0  # CTest allows 90 s
IDLE_TIMEOUT = 3  # seconds of no input before swayidle runs its command
QUIET = IDLE_TIMEOUT + 2.0  # with no lock, swayidle would have fired within this
PORTAL = "org.freedesktop.portal.Desktop"
ACTIVATE = "interface=org.freedesktop.Application; member=Activate"
NOBODY = 65534


class SwayDesktop(e2e.Desktop):
    """The X11 run's desktop, with sway for the display, swaymsg for windows and wtype for keys."""

    def __init__(self):
        super().__init__()
        os.chmod(self.root, 0o711)  # sway, as nobody, must reach its own folders inside
        self.last_input = time.monotonic()

    def start_compositor(self):
        run, home, config = (os.path.join(self.root, name) for name in
                             ("swayrun", "swayhome", "sway.conf"))
        with open(config, "w", encoding="utf-8") as f:
            f.write("xwayland disable\noutput HEADLESS-1 mode 1280x900 position 0 0\n")
        as_root = os.geteuid() == 0
        for folder in (run, home):
            os.mkdir(folder, 0o700)
            if as_root:
                os.chown(folder, NOBODY, NOBODY)
        # A change of user clears the parent-death signal, so setpriv sets it again.
        as_nobody = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups",
                     "--pdeathsig=SIGKILL"] if as_root else []
        self.start("sway", ["env", "-i", "PATH=/usr/bin:/bin", f"HOME={home}",
                            f"XDG_RUNTIME_DIR={run}", "WLR_BACKENDS=headless",
                            "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"]
                   + as_nobody + ["sway", "-c", config])
        self.env["WAYLAND_DISPLAY"] = os.path.join(run, "wayland-1")
        self.env["SWAYSOCK"] = self.wait("sway's IPC socket", lambda: next(
            (os.path.join(run, n) for n in os.listdir(run) if n.startswith("sway-ipc.")), None))
        self.wait("sway's headless output", lambda: "HEADLESS-1" in self.run(
            "swaymsg", "-t", "get_outputs", check_status=False))

    def start_mocks(self, templates, system_bus, session_bus):
        mock = ["/usr/bin/python3", "-m", "dbusmock"]
        self.start("logind-mock", mock + ["--system", "--template",
                                          os.path.join(templates, "logind_blockinhibited.py")])
        self.start("portal-mock", mock + ["--session", "--template",
                                          os.path.join(templates, "inhibitor.py")],
                   VELUNA_MOCK_SERVICE=PORTAL)
        self.start("watcher-mock", mock + ["--session", e2e.WATCHER, e2e.WATCHER_PATH,
                                           e2e.WATCHER])
        self.start("activate-monitor", ["dbus-monitor", "--address",
                                        self.env["DBUS_SESSION_BUS_ADDRESS"],
                                        "interface='org.freedesktop.Application'"])
        for bus, name in ((system_bus, e2e.LOGIND), (session_bus, PORTAL),
                          (session_bus, e2e.WATCHER)):
            self.wait(f"{name}'s mock", lambda bus=bus, name=name: bus.name_has_owner(name))
        watcher = dbus.Interface(session_bus.get_object(e2e.WATCHER, e2e.WATCHER_PATH),
                                 "org.freedesktop.DBus.Mock")
        watcher.AddProperties(e2e.WATCHER, dbus.Dictionary({
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
            "RegisteredStatusNotifierItems": dbus.Array([], signature="s"),
        }, signature="sv"), timeout=10)
        watcher.AddMethod(e2e.WATCHER, e2e.REGISTER, "s", "", "", timeout=10)
        self.start("swayidle", ["swayidle", "-w", "timeout", str(IDLE_TIMEOUT), "echo IDLE"])
        return watcher

    def log_lines(self, name, marker):
        with open(os.path.join(self.logs, name + ".log"), encoding="utf-8", errors="replace") as f:
            return [line for line in f if marker in line]

    def idle_firings(self):
        return len(self.log_lines("swayidle", "IDLE"))

    # -------------------------------------------------------------------------- windows

    def views(self, process):
        found = []

        def walk(node):
            if node.get("pid") == process.pid:
                found.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(json.loads(self.run("swaymsg", "-r", "-t", "get_tree")))
        return found

    def find_view(self, main):
        """veluna's 430x665 main window (main=True) or another of its windows, if mapped."""
        for view in self.views(self.veluna):
            size = (view["window_rect"]["width"], view["window_rect"]["height"])
            if view["visible"] and (size == e2e.MAIN_WINDOW_SIZE) == main:
                return view
        return None

    def press(self, view, *keys):
        """wtype's keys to the view, once sway has focused it."""
        def focused():
            self.run("swaymsg", f"[con_id={view['id']}]", "focus", check_status=False)
            return any(v["focused"] for v in self.views(self.veluna) if v["id"] == view["id"])
        self.wait(f"sway to focus view {view['id']} ({view['name']!r})", focused)
        log(f"pressing {' '.join(keys)} in view {view['id']}")
        self.run("wtype", "-s", "150", *keys)
        self.last_input = time.monotonic()

    def screenshot(self, view, path):
        """The view as grim sees it, once the amber button is painted in it."""
        x, y = (view["rect"][k] + view["window_rect"][k] for k in ("x", "y"))
        width, height = e2e.MAIN_WINDOW_SIZE

        def painted():
            self.run("grim", "-g", f"{x},{y} {width}x{height}", path, timeout=15)
            return float(self.run("convert", path, "-alpha", "off", "-fuzz", "12%", "-fill",
                                  "black", "+opaque", e2e.AMBER, "-fill", "white", "-opaque",
                                  e2e.AMBER, "-colorspace", "Gray", "-format", "%[fx:mean]",
                                  "info:")) > 0.01
        self.wait("a painted home view with the amber button in grim's screenshot", painted)
        log(f"screenshot of the home view saved to {path}")

    def close(self, failed, failure_screenshot):
        if failed and failure_screenshot and "SWAYSOCK" in self.env:
            try:
                self.run("grim", failure_screenshot, timeout=15)
                log(f"screenshot of the screen at the failure: {failure_screenshot}")
            except Exception as error:  # pylint: disable=broad-except
                log(f"no screenshot of the screen: {error}")
        super().close(failed, None)


# ---------------------------------------------------------------------------------- test

def block_inhibited(system_bus):
    return str(system_bus.get_object(e2e.LOGIND, "/org/freedesktop/login1").Get(
        "org.freedesktop.login1.Manager", "BlockInhibited",
        dbus_interface="org.freedesktop.DBus.Properties", timeout=5))


def portal_holds(session_bus):
    return [str(s) for s in session_bus.get_object(PORTAL, "/org/freedesktop/portal/desktop")
            .State(dbus_interface="org.freedesktop.DBus.Mock", timeout=5)]


def wait_for_lock(desktop, system_bus, session_bus, held):
    try:
        e2e.wait_for_inhibitor(desktop, system_bus, held)
    except TestFailure as error:
        raise TestFailure(f"{error}; the portal holds {portal_holds(session_bus)}") from None
    idle_locked = "idle" in block_inhibited(system_bus).split(":")
    check(idle_locked == held, f"logind's BlockInhibited reads {block_inhibited(system_bus)!r}")


def wait_for_idle_firing(desktop, since):
    desktop.wait("swayidle to fire", lambda: desktop.idle_firings() > since)
    log(f"swayidle fired ({desktop.idle_firings()} times so far)")


def check_app_id(view, desktop_id):
    check(view["app_id"] == desktop_id,
          f"view {view['name']!r} has app_id {view['app_id']!r}, not {desktop_id!r}")


def run_test(args, desktop):
    log("step 1: sway, private buses, logind, portal, tray watcher and swayidle")
    env = desktop.env
    env["DBUS_SESSION_BUS_ADDRESS"] = desktop.start_bus("session-bus")
    env["DBUS_SYSTEM_BUS_ADDRESS"] = desktop.start_bus("system-bus")
    desktop.start_compositor()
    session_bus = dbus.bus.BusConnection(env["DBUS_SESSION_BUS_ADDRESS"])
    system_bus = dbus.bus.BusConnection(env["DBUS_SYSTEM_BUS_ADDRESS"])
    watcher = desktop.start_mocks(args.templates, system_bus, session_bus)
    app = {"QT_QPA_PLATFORM": "wayland", "XDG_CURRENT_DESKTOP": "sway",
           "XDG_SESSION_TYPE": "wayland"}

    log("step 2: first launch; the welcome dialog takes its default button (standard app)")
    veluna = desktop.veluna = desktop.start("veluna", [args.veluna], **app)
    dialog = desktop.wait("the welcome dialog", lambda: desktop.find_view(main=False))
    check_app_id(dialog, args.desktop_id)
    desktop.press(dialog, "-k", "Return")
    desktop.wait("the welcome dialog to close", lambda: desktop.find_view(main=False) is None)
    desktop.wait_for_setting("VLOnboarded", True)
    desktop.wait_for_setting("VLMenuBarMode", False)
    main = desktop.wait("the 430x665 main window", lambda: desktop.find_view(main=True))
    check_app_id(main, args.desktop_id)
    log(f"main window mapped: app_id {main['app_id']!r}, rect {main['rect']}")
    check(e2e.veluna_inhibitors(system_bus) == [], "Veluna holds a lock before being asked to")
    wait_for_idle_firing(desktop, desktop.idle_firings())

    log("step 3: the home view; Return keeps the computer awake and swayidle quiet")
    desktop.screenshot(main, args.screenshot)
    desktop.press(main, "-k", "Return")
    wait_for_lock(desktop, system_bus, session_bus, held=True)
    firings = desktop.idle_firings()

    log("step 4: Ctrl+W switches to menu-bar mode; the tray item registers")
    check(not watcher.GetMethodCalls(e2e.REGISTER), "the tray item registered in Dock mode")
    desktop.press(main, "-M", "ctrl", "-k", "w", "-m", "ctrl")
    desktop.wait_for_setting("VLMenuBarMode", True)
    e2e.open_tray_menu(desktop, session_bus, watcher)

    log("step 5: a second launch hands over to the first and exits")
    second = desktop.start("veluna-second", [args.veluna], **app)
    try:
        status = second.wait(timeout=5)
    except subprocess.TimeoutExpired:
        raise TestFailure("a second veluna still runs 5 s after its launch") from None
    check(status == 0, f"the second veluna {e2e.exit_description(status)}; it must exit with 0")
    activations = desktop.wait("Activate to reach the running veluna",
                               lambda: desktop.log_lines("activate-monitor", ACTIVATE))
    check(f"destination={args.desktop_id} " in activations[0],
          f"Activate went elsewhere: {activations[0].strip()}")

    log("step 6: swayidle stays quiet while the lock is held")
    time.sleep(max(0.0, desktop.last_input + QUIET - time.monotonic()))
    check(desktop.idle_firings() == firings, "swayidle fired although Veluna holds the idle lock")
    wait_for_lock(desktop, system_bus, session_bus, held=True)

    log("step 7: SIGTERM quits with 0 and leaves no lock; swayidle fires again")
    veluna.send_signal(signal.SIGTERM)
    try:
        status = veluna.wait(timeout=e2e.STEP_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise TestFailure("veluna still runs after SIGTERM") from None
    check(status == 0, f"veluna {e2e.exit_description(status)} after SIGTERM; it must exit with 0")
    desktop.veluna = None
    wait_for_lock(desktop, system_bus, session_bus, held=False)
    wait_for_idle_firing(desktop, firings)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--veluna", required=True, help="the veluna binary")
    parser.add_argument("--desktop-id", required=True, help="its desktop id (the app_id)")
    parser.add_argument("--templates", required=True, help="tests/dbus/templates")
    parser.add_argument("--screenshot", required=True, help="where the home view's PNG goes")
    parser.add_argument("--failure-screenshot", help="where the screen's PNG goes on failure")
    args = parser.parse_args()
    missing = [tool for tool in ("dbus-daemon", "dbus-monitor", "sway", "swaymsg", "swayidle",
                                 "wtype", "grim", "convert") if shutil.which(tool) is None]
    if missing:
        print(f"FAIL: {', '.join(missing)} not installed (run scripts/setup.sh <build-dir> test)")
        return 1
    for stale in (args.screenshot, args.failure_screenshot):
        if stale and os.path.exists(stale):
            os.remove(stale)

    signal.signal(signal.SIGTERM, e2e.stop_on_signal)
    signal.signal(signal.SIGINT, e2e.stop_on_signal)
    desktop = SwayDesktop()
    reason = "interrupted"
    try:
        run_test(args, desktop)
        reason = None
    except TestFailure as error:
        reason = str(error)
    except Exception as error:  # pylint: disable=broad-except
        traceback.print_exc(file=sys.stdout)
        reason = f"the test itself broke: {type(error).__name__}: {error} (traceback above)"
    finally:
        desktop.close(reason is not None, args.failure_screenshot)
    if reason:
        print(f"FAIL (after {time.monotonic() - e2e.START:.1f}s): {reason}", flush=True)
        return 1
    log("PASS: app_id, welcome dialog, home view, logind idle lock honoured by swayidle, tray, "
        "single instance and SIGTERM all behave under Wayland")
    return 0


if __name__ == "__main__":
    sys.exit(main())
