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
  4. SIGTERM: veluna exits with 0, no lock is left, menu-bar mode is kept, and swayidle fires
     again.

Run with Debian's /usr/bin/python3, with tests/e2e on PYTHONPATH for the private desktop.
"""

import functools
import json
import os
import signal
import sys
from pathlib import Path

from harness import LOGIND, MAIN_WINDOW_SIZE, WATCHER_MOCK, Desktop, check, log, run_script

IDLE_TIMEOUT = 3  # seconds of no input before swayidle runs its command
QUIET = IDLE_TIMEOUT + 2.0  # with no lock, swayidle would fire within this of the last input
PORTAL = "org.freedesktop.portal.Desktop"
NOBODY = 65534


def nodes(tree):
    yield tree
    for child in tree.get("nodes", []) + tree.get("floating_nodes", []):
        yield from nodes(child)


class SwayDesktop(Desktop):
    """The private desktop with sway for the display, swaymsg for windows, wtype for keys."""

    STEP_TIMEOUT = 15.0
    APP_ENV = {"QT_QPA_PLATFORM": "wayland", "XDG_CURRENT_DESKTOP": "sway",
               "XDG_SESSION_TYPE": "wayland"}

    def __init__(self, failure_screenshot):
        super().__init__(failure_screenshot=failure_screenshot)
        os.chmod(self.root, 0o711)  # sway, as nobody, must reach its own folders inside

    def start_compositor(self):
        run, home, config = (self.path(name) for name in ("swayrun", "swayhome", "sway.conf"))
        Path(config).write_text("xwayland disable\noutput HEADLESS-1 mode 1280x900 position 0 0\n",
                                encoding="utf-8")
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

    def idle_firings(self):
        return self.output_of("swayidle").count("IDLE")

    # -------------------------------------------------------------------------- windows

    def visible_windows(self):
        """veluna's visible views in sway's tree (windows are views here)."""
        return [node for node in nodes(json.loads(self.run("swaymsg", "-r", "-t", "get_tree")))
                if node.get("pid") == self.veluna.pid and node["visible"]]

    def size_of(self, window):
        return window["window_rect"]["width"], window["window_rect"]["height"]

    def is_dialog(self, window):  # what is not the main window (Wayland has no window types)
        return self.size_of(window) != MAIN_WINDOW_SIZE

    def press(self, window, keys):
        """wtype's keys (named as xdotool names them) to the view, once sway has focused it."""
        def focused():
            self.run("swaymsg", f"[con_id={window['id']}]", "focus", check_status=False)
            return any(v["focused"] for v in self.visible_windows() if v["id"] == window["id"])
        self.wait(f"sway to focus view {window['id']} ({window['name']!r})", focused)
        log(f"pressing {keys} in view {window['id']}")
        *modifiers, key = keys.split("+")
        self.run("wtype", "-s", "150", *(a for m in modifiers for a in ("-M", m)), "-k", key,
                 *(a for m in modifiers for a in ("-m", m)))

    def capture(self, path, window=None):  # without a window, the whole screen
        x, y = (window["rect"][k] + window["window_rect"][k] for k in "xy") if window else (0, 0)
        where = ["-g", f"{x},{y} {MAIN_WINDOW_SIZE[0]}x{MAIN_WINDOW_SIZE[1]}"] if window else []
        self.run("grim", *where, path, timeout=15)

    def wait_for_idle_firing(self, since):
        self.wait(f"swayidle to fire after {since} times", lambda: self.idle_firings() > since)


def run(args):
    with SwayDesktop(args.failure_screenshot) as desktop:
        log("step 1: sway, private buses, logind, portal, tray watcher and swayidle")
        desktop.start_buses()
        desktop.start_compositor()
        template = functools.partial(os.path.join, args.templates)
        desktop.start_mocks(
            (LOGIND, "system", ["--template", template("logind_blockinhibited.py")]),
            (PORTAL, "session", ["--template", template("inhibitor.py")],
             {"VELUNA_MOCK_SERVICE": PORTAL}), WATCHER_MOCK)
        desktop.start("swayidle", ["swayidle", "-w", "timeout", str(IDLE_TIMEOUT), "echo IDLE"])

        log("step 2: first launch; the welcome dialog takes its default button (standard app)")
        dialog, main = desktop.first_launch(args.veluna)
        for view in (dialog, main):
            check(view["app_id"] == args.desktop_id,
                  f"view {view['name']!r} has app_id {view['app_id']!r}, not {args.desktop_id!r}")
        desktop.wait_for_idle_firing(desktop.idle_firings())

        log("step 3: the home view; Return keeps the computer awake and swayidle quiet")
        desktop.screenshot(main, args.screenshot)
        desktop.press(main, "Return")
        desktop.wait_for_lock(held=True)
        firings = desktop.idle_firings()

        log("step 4: Ctrl+W switches to menu-bar mode; the tray item registers")
        desktop.menu_bar_mode(main)

        log("step 5: swayidle stays quiet while the lock is held")
        desktop.wait("swayidle to stay quiet", lambda: check(desktop.idle_firings() == firings,
                     "swayidle fired although Veluna holds the idle lock"), steady=QUIET)
        desktop.wait_for_lock(held=True)

        log("step 6: SIGTERM quits with 0, no lock left, menu-bar mode kept; swayidle fires again")
        desktop.veluna.send_signal(signal.SIGTERM)
        desktop.wait_for_clean_exit("SIGTERM")
        check(desktop.settings()["VLMenuBarMode"] is True, "SIGTERM left menu-bar mode")
        desktop.wait_for_idle_firing(firings)


if __name__ == "__main__":
    sys.exit(run_script(__doc__, run, ["veluna", "desktop-id", "templates", "screenshot"]))
