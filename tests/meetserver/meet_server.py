#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Veluna and the maker's server for real.

The program built with its addresses on this machine, a real veluna-server on a temporary SQLite
file, veluna-admin for the maker's side, and a user on a private desktop:
  1. the user sends a problem report from the tray's dialog; the maker sees it as an open
     conversation, with the text and the e-mail address as typed;
  2. the maker's reply reaches the user as the new-message alert after the next launch's sync,
     and the user's copy records it as the one to acknowledge;
  3. a crash of the program shows up as a crash group once it is launched again.

Run with Debian's /usr/bin/python3, with tests/e2e on PYTHONPATH for the private desktop.
"""

import json
import signal
import socket
import sys
from pathlib import Path

from harness import Desktop, check, log, TEXTS, run_script

REPORT_TEXT = "The tray icon vanished after resume; 'quotes' & <tags> stay as typed"
REPORT_EMAIL = "  ada@example.org"
REPLY_TEXT = "Thanks! Fixed in 1.1, out today."


class Meeting(Desktop):
    def __init__(self, args):
        super().__init__(name="meet", failure_screenshot=args.failure_screenshot)
        self.args = args
        args.port = int(args.port)
        self.config = self.path("server.conf")
        Path(self.config).write_text(f"listen = 127.0.0.1\nport = {args.port}\n"
                                     f"database = {self.path('veluna.db')}\n", encoding="utf-8")

    def start_server(self):
        self.start("veluna-server", [self.args.server, "--config", self.config])
        self.wait(f"veluna-server on port {self.args.port}",
                  lambda: socket.create_connection(("127.0.0.1", self.args.port), timeout=1))

    def admin(self, *argv):
        return self.run(self.args.admin, "--config", self.config, *argv)

    def admin_json(self, *argv):
        return json.loads(self.admin(*argv, "--json"))

    def type_into(self, window, keys, text):
        self.press(window, keys)
        self.run("xdotool", "type", "--delay", "15", text)

    def relaunch(self, menu_bar_mode):
        self.write_settings(dict(self.settings(), VLMenuBarMode=menu_bar_mode))
        self.launch(self.args.veluna)


def report_problem(meeting):
    log("step 1: a problem report from the tray's dialog reaches the maker's inbox")
    dialog = meeting.tray_click(TEXTS["menu.report_problem"], meeting.find_dialog)
    meeting.type_into(dialog, "End", REPORT_TEXT)
    meeting.type_into(dialog, "Tab", REPORT_EMAIL)
    meeting.press(dialog, "Return")
    result = meeting.wait("the report's result alert", lambda: meeting.find_dialog((dialog,)))
    device = meeting.settings()["VLDeviceId"]
    conversations = meeting.admin_json("conversations")
    check([(c["device"], c["state"]) for c in conversations] == [(device, "open")],
          f"the maker's inbox must hold one open conversation with {device}: {conversations}")
    shown = meeting.admin("show", device)
    check(REPORT_TEXT in shown and REPORT_EMAIL.strip() in shown,
          f"veluna-admin show {device} lacks the report as typed:\n{shown}")
    meeting.press(result, "Return")
    return device


def reply_arrives(meeting, device):
    log("step 2: the maker's reply arrives after the next launch's sync")
    meeting.admin("reply", device, REPLY_TEXT)
    meeting.tray_click(TEXTS["menu.quit"], lambda: meeting.veluna.poll() is not None)
    meeting.wait_for_clean_exit("the tray's Quit")
    # The alert shows where the main window does; in the tray the message waits for a click.
    meeting.relaunch(menu_bar_mode=False)
    meeting.press(meeting.wait("the new-message alert", meeting.find_dialog), "Return")
    mid = next(m["id"] for m in meeting.admin_json("show", device)["messages"]
               if m["author"] == "maker")
    meeting.wait_for_setting("VLAckMessage", mid)


def crash_is_grouped(meeting):
    log("step 3: a crash shows up as a crash group after the next launch")
    meeting.veluna.send_signal(signal.SIGSEGV)
    status = meeting.wait_for_exit("SIGSEGV")
    check(status == -signal.SIGSEGV, f"veluna ended with {status} after SIGSEGV")
    meeting.relaunch(menu_bar_mode=True)
    groups = meeting.wait("a crash group", lambda: meeting.admin_json("crashes"))
    check(len(groups) == 1 and groups[0]["reports"] == 1 and "Signal 11" in groups[0]["message"],
          f"one group with one 'Signal 11' report expected, found {groups}")


def run(args):
    with Meeting(args) as meeting:
        meeting.start_server()
        meeting.start_x11()
        meeting.write_settings({"VLOnboarded": True, "VLMenuBarMode": True})
        meeting.launch(args.veluna)
        meeting.wait("the device's first sync", lambda: meeting.settings().get("VLDeviceId"))
        device = report_problem(meeting)
        reply_arrives(meeting, device)
        crash_is_grouped(meeting)


if __name__ == "__main__":
    sys.exit(run_script(__doc__, run, ["veluna", "server", "admin", "port"]))
