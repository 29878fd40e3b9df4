#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Veluna on a private X desktop, driven the way a user and a desktop shell would.

The private desktop is harness.py's.

--desktop VALUE runs a whole session with XDG_CURRENT_DESKTOP=VALUE ("unset" for none; Qt picks
its platform theme, and so its key handling, from it):
  1. first launch: the welcome dialog appears; Return takes its default button (standard app)
     and does nothing else;
  2. the home view is shown (a screenshot is kept); one Return keeps the computer awake: one
     logind "idle" block inhibitor named Veluna (never "sleep"), one Inhibit call, still held
     once a second press would have come and gone;
  3. Ctrl+W switches to menu-bar mode once: the setting is saved, the window comes back and
     stays, and the tray item registers with the watcher (its menu's entries and what they do
     are tst_appdelegate's; e2e_quit_tray_quit clicks them as a shell does);
  4. Ctrl+Q quits with status 0 and leaves no inhibitor behind.

--quit PATH launches a returning user while awake, quits by one of QUIT_PATHS and checks that
quitting left the display mode alone: exit status 0, the stored "VLMenuBarMode" as it was (what
the next launch shows follows from it: tst_appdelegate), and no inhibitor left.

Run with Debian's /usr/bin/python3 (it has python3-dbus and python3-dbusmock).
"""

import signal
import sys

from harness import IDLE_LOCK, SETTLE, Desktop, check, log, TEXTS, run_script


def run_session(args, desktop):
    log("step 1: first launch; the welcome dialog takes its default button (standard app)")
    _, main = desktop.first_launch(args.veluna)

    log("step 2: the home view; one Return keeps the computer awake, and it stays awake")
    desktop.screenshot(main, args.screenshot)
    desktop.press(main, "Return")
    desktop.wait("exactly one Inhibit call and the lock kept after one Return (a second press "
                 "would release it)", lambda: (desktop.inhibit_calls(), desktop.inhibitors())
                 == (1, IDLE_LOCK), steady=SETTLE)

    log("step 3: Ctrl+W switches to menu-bar mode")
    desktop.menu_bar_mode(main)

    log("step 4: Ctrl+Q quits")
    QUIT_PATHS["ctrl_q"][1](desktop)
    desktop.wait_for_clean_exit("Ctrl+Q")


ONBOARDED = {"VLOnboarded": True}
# name: (the settings file before the launch, how the user or the session quits)
QUIT_PATHS = {
    "ctrl_q": (ONBOARDED, lambda desktop: desktop.press(
        desktop.wait("the main window", desktop.find_main_window), "ctrl+q")),
    "sigterm": (dict(ONBOARDED, VLMenuBarMode=False),
                lambda desktop: desktop.veluna.send_signal(signal.SIGTERM)),
    # how a logout ends the session
    "sighup": (ONBOARDED, lambda desktop: desktop.veluna.send_signal(signal.SIGHUP)),
    # The tray item exists in menu-bar mode only; the main window is open while it quits.
    "tray_quit": (dict(ONBOARDED, VLMenuBarMode=True), lambda desktop: desktop.tray_click(
        TEXTS["menu.quit"], lambda: desktop.veluna.poll() is not None)),
}


def run_quit(args, desktop):
    before, quit_by = QUIT_PATHS[args.quit]
    mode = before.get("VLMenuBarMode", "(absent)")
    desktop.write_settings(before)
    desktop.launch(args.veluna)
    if mode is True:
        desktop.tray_click(TEXTS["menu.open_app"], desktop.find_main_window)
        desktop.tray_click(TEXTS["awake.button_start"], lambda: desktop.inhibitors() == IDLE_LOCK)
    else:
        desktop.press(desktop.wait("the main window", desktop.find_main_window), "Return")
    desktop.wait_for_lock(held=True)
    quit_by(desktop)
    desktop.wait_for_clean_exit(args.quit)
    after = desktop.settings().get("VLMenuBarMode", "(absent)")
    check(after == mode, f'quitting by {args.quit} changed "VLMenuBarMode" from {mode} to {after}')


def run(args):
    log(f"private desktop, XDG_CURRENT_DESKTOP={args.desktop}")
    with Desktop(None if args.desktop == "unset" else args.desktop,
                 failure_screenshot=args.failure_screenshot) as desktop:
        desktop.start_x11()
        (run_quit if args.quit else run_session)(args, desktop)


if __name__ == "__main__":
    sys.exit(run_script(__doc__, run, ["veluna", "desktop"],
                        ["screenshot", "quit", "failure-screenshot"], outputs=("screenshot",)))
