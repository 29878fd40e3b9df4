#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Takes the screenshots the metainfo announces: a new user's first launch of the real program on
a private X display in English, the main window captured once its home view is painted. Each
fresh image is written to --output; the copy shipped in the sources (--shipped) must have the
same size, so a changed window cannot go out with an old picture. --update replaces the shipped
copy with the fresh one.

Run with Debian's /usr/bin/python3 (it has python3-dbus and python3-dbusmock)."""

import argparse
import os
import shutil
import sys

from harness import LOGIND_MOCK, WATCHER_MOCK, Desktop, check, log, run_guarded


def image_size(desktop, path):
    return tuple(int(v) for v in desktop.run("identify", "-format", "%w %h", path).split())


def take(args, desktop):
    _, main = desktop.first_launch(args.veluna)
    desktop.screenshot(main, args.output)
    fresh = image_size(desktop, args.output)
    if args.update:
        shutil.copyfile(args.output, args.shipped)
        log(f"{args.shipped} replaced by the fresh {fresh[0]}x{fresh[1]} screenshot")
    check(os.path.exists(args.shipped), f"no shipped screenshot at {args.shipped}; "
          f"run again with --update to ship {args.output}")
    shipped = image_size(desktop, args.shipped)
    check(shipped == fresh, f"the shipped screenshot {args.shipped} is {shipped[0]}x{shipped[1]}, "
          f"the main window now {fresh[0]}x{fresh[1]}: ship {args.output} (--update)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--veluna", required=True, help="the veluna binary")
    parser.add_argument("--output", required=True, help="where the fresh main-window PNG goes")
    parser.add_argument("--shipped", required=True, help="the PNG shipped with the sources")
    parser.add_argument("--update", action="store_true", help="replace the shipped PNG")
    parser.add_argument("--failure-screenshot", help="where the screen's PNG goes on failure")
    args = parser.parse_args()

    def body():
        with Desktop(failure_screenshot=args.failure_screenshot) as desktop:
            desktop.start_buses()
            desktop.start_display()
            desktop.start_mocks(LOGIND_MOCK, WATCHER_MOCK)
            take(args, desktop)
    tools = ("dbus-daemon", "Xvfb", "openbox", "xdotool", "xprop", "import", "convert", "identify")
    return run_guarded("screenshots of the main window", tools, body,
                       stale=(args.output, args.failure_screenshot))


if __name__ == "__main__":
    sys.exit(main())
