#!/usr/bin/python3
# SPDX-License-Identifier: MIT
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

Run with Debian's /usr/bin/python3, with tests/e2e on PYTHONPATH for the private desktop.
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import time

from harness import (LOGIND, MAIN_WINDOW_SIZE, MOCK, WATCHER_MOCK, Desktop, TestFailure, check,
                     exit_description, log, run_guarded)

IDLE_TIMEOUT = 3  # seconds of no input before swayidle runs its command
QUIET = IDLE_TIMEOUT + 2.0  # with no lock, swayidle would have fired within this
PORTAL = "org.freedesktop.portal.Desktop"
ACTIVATE = "interface=org.freedesktop.Application; member=Activate"
NOBODY = 65534


class SwayDesktop(Desktop):
    """The private desktop with sway for the display, swaymsg for windows, wtype for keys."""

    STEP_TIMEOUT = 15.0
    BUDGET = 55.0  # CTest allows 90 s
    APP_ENV = {"QT_QPA_PLATFORM": "wayland", "XDG_CURRENT_DESKTOP": "sway",
               "XDG_SESSION_TYPE": "wayland"}

    def __init__(self, failure_screenshot):
        super().__init__(failure_screenshot=failure_screenshot)
        os.chmod(self.root, 0o711)  # sway, as nobody, must reach its own folders inside
        self.last_input = time.monotonic()

    def start_compositor(self):
        run, home, config = (self.path(name) for name in ("swayrun", "swayhome", "sway.conf"))
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

    def start_services(self, templates):
        self.start_mocks(
            (LOGIND, "system", ["--template", os.path.join(templates, "logind_blockinhibited.py")]),
            (PORTAL, "session", ["--template", os.path.join(templates, "inhibitor.py")],
             {"VELUNA_MOCK_SERVICE": PORTAL}), WATCHER_MOCK)
        self.start("activate-monitor", ["dbus-monitor", "--address",
                                        self.env["DBUS_SESSION_BUS_ADDRESS"],
                                        "interface='org.freedesktop.Application'"])
        self.start("swayidle", ["swayidle", "-w", "timeout", str(IDLE_TIMEOUT), "echo IDLE"])

    def log_lines(self, name, marker):
        return [line for line in self.output_of(name).splitlines() if marker in line]

    def idle_firings(self):
        return len(self.log_lines("swayidle", "IDLE"))

    # -------------------------------------------------------------------------- windows

    def views(self):
        found = []

        def walk(node):
            if node.get("pid") == self.veluna.pid:
                found.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(json.loads(self.run("swaymsg", "-r", "-t", "get_tree")))
        return found

    def find_view(self, main):
        """veluna's 430x665 main window (main=True) or another of its windows, if mapped."""
        for view in self.views():
            size = (view["window_rect"]["width"], view["window_rect"]["height"])
            if view["visible"] and (size == MAIN_WINDOW_SIZE) == main:
                return view
        return None

    def find_dialog(self):
        return self.find_view(main=False)

    def find_main_window(self):
        return self.find_view(main=True)

    def press(self, window, keys):
        """wtype's keys (named as xdotool names them) to the view, once sway has focused it."""
        def focused():
            self.run("swaymsg", f"[con_id={window['id']}]", "focus", check_status=False)
            return any(v["focused"] for v in self.views() if v["id"] == window["id"])
        self.wait(f"sway to focus view {window['id']} ({window['name']!r})", focused)
        log(f"pressing {keys} in view {window['id']}")
        *modifiers, key = keys.split("+")
        self.run("wtype", "-s", "150", *(a for m in modifiers for a in ("-M", m)), "-k", key,
                 *(a for m in modifiers for a in ("-m", m)))
        self.last_input = time.monotonic()

    def capture(self, window, path):
        x, y = (window["rect"][k] + window["window_rect"][k] for k in ("x", "y"))
        self.run("grim", "-g", f"{x},{y} {MAIN_WINDOW_SIZE[0]}x{MAIN_WINDOW_SIZE[1]}", path,
                 timeout=15)

    def capture_screen(self, path):
        self.run("grim", path, timeout=15)

    # --------------------------------------------------------------------------- locks

    def wait_for_lock(self, held):
        """logind holds Veluna's idle lock (or none), and says so in BlockInhibited."""
        try:
            super().wait_for_lock(held)
        except TestFailure as error:
            raise TestFailure(f"{error}; the portal holds {self.portal_holds()}") from None
        blocked = str(self.logind.Get(f"{LOGIND}.Manager", "BlockInhibited", timeout=5,
                                      dbus_interface="org.freedesktop.DBus.Properties"))
        check(("idle" in blocked.split(":")) == held, f"logind's BlockInhibited reads {blocked!r}")

    def portal_holds(self):
        return [str(s) for s in self.session_bus.get_object(
            PORTAL, "/org/freedesktop/portal/desktop").State(dbus_interface=MOCK, timeout=5)]

    def wait_for_idle_firing(self, since):
        self.wait("swayidle to fire", lambda: self.idle_firings() > since)
        log(f"swayidle fired ({self.idle_firings()} times so far)")


# ---------------------------------------------------------------------------------- test

def check_app_id(view, desktop_id):
    check(view["app_id"] == desktop_id,
          f"view {view['name']!r} has app_id {view['app_id']!r}, not {desktop_id!r}")


def run_test(args, desktop):
    log("step 1: sway, private buses, logind, portal, tray watcher and swayidle")
    desktop.start_buses()
    desktop.start_compositor()
    desktop.start_services(args.templates)

    log("step 2: first launch; the welcome dialog takes its default button (standard app)")
    dialog, main = desktop.first_launch(args.veluna)
    check_app_id(dialog, args.desktop_id)
    check_app_id(main, args.desktop_id)
    log(f"main window mapped: app_id {main['app_id']!r}, rect {main['rect']}")
    desktop.wait_for_idle_firing(desktop.idle_firings())

    log("step 3: the home view; Return keeps the computer awake and swayidle quiet")
    desktop.screenshot(main, args.screenshot)
    desktop.press(main, "Return")
    desktop.wait_for_lock(held=True)
    firings = desktop.idle_firings()

    log("step 4: Ctrl+W switches to menu-bar mode; the tray item registers")
    desktop.menu_bar_mode(main)

    log("step 5: a second launch hands over to the first and exits")
    second = desktop.start("veluna-second", [args.veluna], **desktop.APP_ENV)
    try:
        status = second.wait(timeout=5)
    except subprocess.TimeoutExpired:
        raise TestFailure("a second veluna still runs 5 s after its launch") from None
    check(status == 0, f"the second veluna {exit_description(status)}; it must exit with 0")
    activations = desktop.wait("Activate to reach the running veluna",
                               lambda: desktop.log_lines("activate-monitor", ACTIVATE))
    check(f"destination={args.desktop_id} " in activations[0],
          f"Activate went elsewhere: {activations[0].strip()}")

    log("step 6: swayidle stays quiet while the lock is held")
    time.sleep(max(0.0, desktop.last_input + QUIET - time.monotonic()))
    check(desktop.idle_firings() == firings, "swayidle fired although Veluna holds the idle lock")
    desktop.wait_for_lock(held=True)

    log("step 7: SIGTERM quits with 0 and leaves no lock; swayidle fires again")
    desktop.veluna.send_signal(signal.SIGTERM)
    desktop.wait_for_clean_exit("SIGTERM")
    desktop.wait_for_idle_firing(firings)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--veluna", required=True, help="the veluna binary")
    parser.add_argument("--desktop-id", required=True, help="its desktop id (the app_id)")
    parser.add_argument("--templates", required=True, help="tests/dbus/templates")
    parser.add_argument("--screenshot", required=True, help="where the home view's PNG goes")
    parser.add_argument("--failure-screenshot", help="where the screen's PNG goes on failure")
    args = parser.parse_args()

    def body():
        with SwayDesktop(args.failure_screenshot) as desktop:
            run_test(args, desktop)
    tools = ("dbus-daemon", "dbus-monitor", "sway", "swaymsg", "swayidle", "wtype", "grim",
             "convert", "identify")
    return run_guarded("app_id, welcome dialog, home view, logind idle lock honoured by "
                       "swayidle, tray, single instance and SIGTERM all behave under Wayland",
                       tools, body, stale=(args.screenshot, args.failure_screenshot))


if __name__ == "__main__":
    sys.exit(main())
