#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Veluna on a private X desktop, driven the way a user and a desktop shell would.

The private desktop is harness.py's. A whole session with XDG_CURRENT_DESKTOP=--desktop
("unset" for none; Qt picks its platform theme, and so its key handling, from it):
  1. first launch: the welcome dialog appears; Return takes its default button (standard app)
     and does nothing else;
  2. on the home view one Return keeps the computer awake: one logind "idle" block inhibitor
     named Veluna (never "sleep"), one Inhibit call, still held once a second press would have
     come and gone;
  3. with --menu-bar, Ctrl+W switches to menu-bar mode once: the setting is saved, the window
     stays, and the tray item registers with the watcher (its menu's entries and what they do
     are tst_appdelegate's);
  4. it quits while awake by --quit, one of QUIT_PATHS: exit status 0 (killed outright, it
     cannot), no inhibitor left, and the stored "VLMenuBarMode" as it was (what the next launch
     shows follows from it: tst_appdelegate).

Run with Debian's /usr/bin/python3 (it has python3-dbus and python3-dbusmock).
"""

import signal
import sys

from harness import IDLE_LOCK, SETTLE, Desktop, check, log, TEXTS, run_script

# How the user or the session quits; the tray item exists in menu-bar mode only.
QUIT_PATHS = {
    "ctrl_q": lambda desktop: desktop.press(
        desktop.wait("the main window", desktop.find_main_window), "ctrl+q"),
    "sigterm": lambda desktop: desktop.veluna.send_signal(signal.SIGTERM),
    "sighup": lambda desktop: desktop.veluna.send_signal(signal.SIGHUP),  # a logout's way
    "tray_quit": lambda desktop: desktop.tray_click(
        TEXTS["menu.quit"], lambda: desktop.veluna.poll() is not None),
    "sigkill": lambda desktop: desktop.veluna.kill(),  # no clean exit, yet no lock may stay
}


def run(args):
    log(f"private desktop, XDG_CURRENT_DESKTOP={args.desktop}")
    with Desktop(None if args.desktop == "unset" else args.desktop,
                 failure_screenshot=args.failure_screenshot) as desktop:
        desktop.start_x11()
        log("step 1: first launch; the welcome dialog takes its default button (standard app)")
        _, main = desktop.first_launch(args.veluna)

        log("step 2: the home view; one Return keeps the computer awake, and it stays awake")
        desktop.press(main, "Return")
        desktop.wait("exactly one Inhibit call and the lock kept after one Return (a second "
                     "press would release it)", lambda: (desktop.inhibit_calls(),
                     desktop.inhibitors()) == (1, IDLE_LOCK), steady=SETTLE)
        if args.menu_bar:
            log("step 3: Ctrl+W switches to menu-bar mode")
            desktop.menu_bar_mode(main)

        log(f"step 4: quitting by {args.quit}")
        QUIT_PATHS[args.quit](desktop)
        if args.quit == "sigkill":
            check(desktop.wait_for_exit("SIGKILL") == -signal.SIGKILL, "SIGKILL did not end it")
            desktop.wait_for_lock(held=False)
        else:
            desktop.wait_for_clean_exit(args.quit)
        mode = desktop.settings().get("VLMenuBarMode")
        check(mode is args.menu_bar, f'quitting by {args.quit} left "VLMenuBarMode" at {mode}')


if __name__ == "__main__":
    sys.exit(run_script(__doc__, run, ["veluna", "desktop", "quit"], flags=("menu-bar",)))
