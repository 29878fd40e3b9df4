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
     stays, and the tray item registers with the watcher; clicking its dbusmenu's awake toggle
     releases and takes the inhibitor again (the menu's entries are tst_appdelegate's);
  4. Ctrl+Q quits with status 0 and leaves no inhibitor behind.

--quit PATH launches a returning user while awake, quits by one of QUIT_PATHS and checks that
quitting left the display mode alone: exit status 0, the stored "VLMenuBarMode" as it was (what
the next launch shows follows from it: tst_appdelegate), and no inhibitor left.

Run with Debian's /usr/bin/python3 (it has python3-dbus and python3-dbusmock).
"""

import os
import signal
import sys

from harness import IDLE_LOCK, SETTLE, Desktop, check, log, read_texts, run_script


def check_awake_settled(desktop, inhibit_calls, after):
    """Still awake once a second, unwanted press would have released it, from inhibit_calls."""
    desktop.wait(f"Inhibit call {inhibit_calls} after {after}",
                 lambda: desktop.inhibit_calls() >= inhibit_calls)

    def settled():
        calls, held = desktop.inhibit_calls(), desktop.inhibitors()
        check(calls == inhibit_calls and held == IDLE_LOCK,
              f"{after} must leave the computer awake after exactly {inhibit_calls} Inhibit "
              f"call(s) in all; logind's mock logged {calls} and holds {held}")
    desktop.stays(SETTLE, settled)


def run_session(args, desktop, texts):
    log("step 1: first launch; the welcome dialog takes its default button (standard app)")
    _, main = desktop.first_launch(args.veluna)

    log("step 2: the home view; one Return keeps the computer awake, and it stays awake")
    desktop.screenshot(main, args.screenshot)
    desktop.press(main, "Return")
    check_awake_settled(desktop, 1, "one Return in the main window")

    log("step 3: Ctrl+W switches to menu-bar mode; the tray menu's toggle is clicked")
    desktop.menu_bar_mode(main)
    desktop.tray_click(texts["awake.button_stop"], lambda: desktop.inhibitors() == [])
    desktop.tray_click(texts["awake.button_start"], lambda: desktop.inhibit_calls() >= 2)
    check_awake_settled(desktop, 2, "the tray menu's toggle")

    log("step 4: Ctrl+Q quits")
    quit_by_key(desktop, texts)
    desktop.wait_for_clean_exit("Ctrl+Q")


def quit_by_key(desktop, _texts):
    desktop.press(desktop.wait("the main window", desktop.find_main_window), "ctrl+q")


def quit_from_tray(desktop, texts):
    desktop.tray_click(texts["menu.quit"], lambda: desktop.veluna.poll() is not None)


def quit_by_signal(signum):
    def send(desktop, _texts):
        log(f"sending {signum.name} to veluna (pid {desktop.veluna.pid})")
        os.kill(desktop.veluna.pid, signum)
    return send


ONBOARDED = {"VLOnboarded": True}
# name: (the settings file before the launch, how the user or the session quits)
QUIT_PATHS = {
    "ctrl_q": (ONBOARDED, quit_by_key),
    "sigterm": (dict(ONBOARDED, VLMenuBarMode=False), quit_by_signal(signal.SIGTERM)),
    "sighup": (ONBOARDED, quit_by_signal(signal.SIGHUP)),  # how a logout ends the session
    # The tray item exists in menu-bar mode only; the main window is open while it quits.
    "tray_quit": (dict(ONBOARDED, VLMenuBarMode=True), quit_from_tray),
}


def run_quit(args, desktop, texts):
    before, quit_by = QUIT_PATHS[args.quit]
    mode = before.get("VLMenuBarMode", "(absent)")
    log(f"launch with {before}, awake, then quit by {args.quit}")
    desktop.write_settings(before)
    desktop.launch(args.veluna)
    if mode is True:
        desktop.tray_click(texts["menu.open_app"], desktop.find_main_window)
        desktop.tray_click(texts["awake.button_start"], lambda: desktop.inhibitors() == IDLE_LOCK)
    else:
        desktop.press(desktop.wait("the main window", desktop.find_main_window), "Return")
    desktop.wait_for_lock(held=True)
    quit_by(desktop, texts)
    desktop.wait_for_clean_exit(args.quit)
    after = desktop.settings().get("VLMenuBarMode", "(absent)")
    check(after == mode, f'quitting by {args.quit} changed "VLMenuBarMode" from {mode} to {after}')


def run(args):
    texts = read_texts(args.translations)
    log(f"private desktop, XDG_CURRENT_DESKTOP={args.desktop}")
    with Desktop(None if args.desktop == "unset" else args.desktop,
                 failure_screenshot=args.failure_screenshot) as desktop:
        desktop.start_x11()
        (run_quit if args.quit else run_session)(args, desktop, texts)


if __name__ == "__main__":
    sys.exit(run_script(__doc__, run, ["veluna", "translations", "desktop"],
                        ["screenshot", "quit", "failure-screenshot"], outputs=("screenshot",)))
