#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Whole-program runs of Veluna on a private desktop (see harness.py), driven the way a user
and a desktop shell would.

--desktop VALUE runs a whole session with XDG_CURRENT_DESKTOP=VALUE ("unset" for none; Qt picks
its platform theme, and so its key handling, from it):
  1. first launch: the welcome dialog appears; Return takes its default button (standard app)
     and does nothing else;
  2. the home view is shown (a screenshot is kept); one Return keeps the computer awake: one
     logind "idle" block inhibitor named Veluna (never "sleep"), one Inhibit call, still held
     once a second press would have come and gone;
  3. Ctrl+W switches to menu-bar mode once: the setting is saved, the window comes back and
     stays, and the tray item registers with the watcher; its dbusmenu lists the awake toggle
     and the durations, and clicking the toggle releases and takes the inhibitor again;
  4. Ctrl+Q quits with status 0 and leaves no inhibitor behind.

--quit PATH launches a returning user while awake, quits by one of QUIT_PATHS and checks that
quitting left the display mode alone: exit status 0, the stored "VLMenuBarMode" as it was, no
inhibitor left, and the next launch shows the main window again in Dock mode (and stays in the
tray in menu-bar mode, the only mode with a tray menu to quit from).

Run with Debian's /usr/bin/python3 (it has python3-dbus and python3-dbusmock).
"""

import argparse
import os
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

import dbus

from harness import IDLE_LOCK, LOGIND_MOCK, SETTLE, WATCHER_MOCK, Desktop, check, log, run_guarded


# ---------------------------------------------------------------- logind and the tray

def read_texts(translations):
    """The program's texts by id, as a translation file (veluna_en.ts) gives them."""
    return {m.get("id"): m.findtext("translation") or m.findtext("source")
            for m in ET.parse(translations).getroot().iter("message")}


def check_awake_settled(desktop, inhibit_calls, after):
    """Still awake once a second, unwanted press would have released it, from inhibit_calls."""
    desktop.wait(f"Inhibit call {inhibit_calls} after {after}",
                 lambda: desktop.inhibit_calls() >= inhibit_calls)
    time.sleep(SETTLE)
    calls, held = desktop.inhibit_calls(), desktop.inhibitors()
    log(f"{SETTLE}s after {after}: {calls} Inhibit call(s) in all, logind holds {held}")
    check(calls == inhibit_calls and held == IDLE_LOCK,
          f"{after} must leave the computer awake after exactly {inhibit_calls} Inhibit "
          f"call(s) in all; logind's mock logged {calls} and holds {held}")


def menu_entries(menu):
    """The menu's visible top-level entries, separators left out."""
    _, (_, _, children) = menu.GetLayout(0, -1, dbus.Array([], signature="s"),
                                         signature="iias", timeout=5)
    return [{"id": int(entry_id), "label": str(props.get("label", "")).strip(),
             "enabled": bool(props.get("enabled", True))}
            for entry_id, props, _ in children
            if props.get("visible", True) and props.get("type", "") != "separator"]


def wait_for_toggle(desktop, menu, label):
    """The menu's entries, once the first one, the awake toggle, reads label."""
    def probe():
        entries = menu_entries(menu)
        if not entries or entries[0]["label"] != label:
            raise LookupError(f"the menu reads {[e['label'] for e in entries]}")
        return entries
    return desktop.wait(f'the first tray menu entry to read "{label}"', probe)


def click(menu, entries, label):
    entry = next((e for e in entries if e["label"] == label), None)
    check(entry, f'the tray menu has no "{label}" entry: {[e["label"] for e in entries]}')
    log(f"clicking tray menu entry {entry['id']} ({label!r})")
    menu.Event(entry["id"], "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
               signature="isvu", timeout=5)


def check_tray_menu(texts, entries):
    labels = [e["label"] for e in entries]
    log(f"tray menu: {labels}")
    wanted = [texts["awake.duration_" + name] for name in (
        "unlimited", "30_min", "1_hour", "2_hours", "4_hours", "custom")]
    missing = [t for t in wanted + [texts["menu.open_app"], texts["menu.quit"]] if t not in labels]
    check(not missing, f"the tray menu lacks {missing}; it has {labels}")
    heading = texts["awake.menu_duration_header"]
    check([e for e in entries if e["label"] == heading and not e["enabled"]],
          f'the tray menu lacks a disabled "{heading}" heading')


# ------------------------------------------------------------------------ whole session

def run_session(args, desktop, texts):
    log("step 1: first launch; the welcome dialog takes its default button (standard app)")
    _, main = desktop.first_launch(args.veluna)

    log("step 2: the home view; one Return keeps the computer awake, and it stays awake")
    desktop.screenshot(main, args.screenshot)
    desktop.press(main, "Return")
    check_awake_settled(desktop, 1, "one Return in the main window")

    log("step 3: Ctrl+W switches to menu-bar mode; the tray menu is read and clicked")
    menu = desktop.menu_bar_mode(main)
    entries = wait_for_toggle(desktop, menu, texts["awake.button_stop"])
    check_tray_menu(texts, entries)
    click(menu, entries, texts["awake.button_stop"])
    desktop.wait_for_lock(held=False)
    click(menu, wait_for_toggle(desktop, menu, texts["awake.button_start"]),
          texts["awake.button_start"])
    check_awake_settled(desktop, 2, "the tray menu's toggle")
    wait_for_toggle(desktop, menu, texts["awake.button_stop"])

    log("step 4: Ctrl+Q quits")
    quit_by_key(desktop, texts)
    desktop.wait_for_clean_exit("Ctrl+Q")


# ---------------------------------------------------------------------------- quitting

def quit_by_key(desktop, _texts):
    desktop.press(desktop.wait("the main window", desktop.find_main_window), "ctrl+q")


def quit_from_tray(desktop, texts):
    menu = desktop.tray_menu()
    for _ in range(5):  # a click on a just-rebuilt menu misses (see click_until)
        click(menu, wait_for_toggle(desktop, menu, texts["awake.button_stop"]), texts["menu.quit"])
        try:
            desktop.veluna.wait(timeout=1)
            return
        except subprocess.TimeoutExpired:
            pass


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


def click_until(desktop, menu, label, done):
    """Clicks the entry labelled label until done() holds. A click can miss: each change of
    state rebuilds the menu with new ids, and some changes (logind's answer) come late."""
    retry_at = 0.0

    def probe():
        nonlocal retry_at
        if done():
            return True
        if time.monotonic() >= retry_at:
            retry_at = time.monotonic() + 1.0
            click(menu, menu_entries(menu), label)
        return False
    desktop.wait(f'"{label}" in the tray menu to take effect', probe)


def become_awake(desktop, texts, menu_bar_mode):
    if menu_bar_mode:
        menu = desktop.tray_menu()
        click_until(desktop, menu, texts["menu.open_app"], desktop.find_main_window)
        click_until(desktop, menu, texts["awake.button_start"],
                    lambda: desktop.inhibitors() == IDLE_LOCK)
    else:
        desktop.press(desktop.wait("the main window", desktop.find_main_window), "Return")
    desktop.wait_for_lock(held=True)


def check_next_launch(desktop, binary, menu_bar_mode):
    desktop.launch(binary)
    if not menu_bar_mode:
        desktop.wait("the main window to show at the next launch", desktop.find_main_window)
    else:
        desktop.tray_menu()
        time.sleep(SETTLE)
        check(desktop.visible_windows() == [], "the next launch showed a window in menu-bar mode")
    log(f"the next launch starts {'in the tray' if menu_bar_mode else 'with its main window'}")


def run_quit(args, desktop, texts):
    before, quit_by = QUIT_PATHS[args.quit]
    desktop.write_settings(before)
    menu_bar_mode = before.get("VLMenuBarMode", False)
    log(f"launch with {before}, awake, then quit by {args.quit}")
    desktop.launch(args.veluna)
    become_awake(desktop, texts, menu_bar_mode)
    quit_by(desktop, texts)
    desktop.wait_for_clean_exit(args.quit)
    after = desktop.settings()
    log(f"settings after {args.quit}: {after}")
    check(after.get("VLMenuBarMode", "(absent)") == before.get("VLMenuBarMode", "(absent)"),
          f'quitting by {args.quit} changed "VLMenuBarMode" from '
          f'{before.get("VLMenuBarMode", "(absent)")} to {after.get("VLMenuBarMode", "(absent)")}')
    check_next_launch(desktop, args.veluna, menu_bar_mode)


# -------------------------------------------------------------------------------- main

def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--veluna", required=True, help="the veluna binary")
    parser.add_argument("--translations", required=True, help="resources/translations/veluna_en.ts")
    parser.add_argument("--desktop", default="unset",
                        help='XDG_CURRENT_DESKTOP for veluna, "unset" for none')
    scenario = parser.add_mutually_exclusive_group(required=True)
    scenario.add_argument("--screenshot", help="run a whole session; the home view's PNG")
    scenario.add_argument("--quit", choices=sorted(QUIT_PATHS), help="quit by this path")
    parser.add_argument("--failure-screenshot", help="where the screen's PNG goes on failure")
    args = parser.parse_args()
    texts = read_texts(args.translations)

    def body():
        log(f"private desktop, XDG_CURRENT_DESKTOP={args.desktop}")
        with Desktop(None if args.desktop == "unset" else args.desktop,
                     failure_screenshot=args.failure_screenshot) as desktop:
            desktop.start_buses()
            desktop.start_display()
            desktop.start_mocks(LOGIND_MOCK, WATCHER_MOCK)
            (run_quit if args.quit else run_session)(args, desktop, texts)
    tools = ("dbus-daemon", "Xvfb", "openbox", "xdotool", "xprop", "import", "convert", "identify")
    return run_guarded(f"quit by {args.quit}" if args.quit else f"session on {args.desktop}",
                       tools, body, stale=(args.screenshot, args.failure_screenshot))


if __name__ == "__main__":
    sys.exit(main())
