#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Takes the screenshot the metainfo announces, of the real program's main window.

A new user's first launch on a private X display in English, the main window captured once its
home view is painted. Each
fresh image is written to --output; the copy shipped in the sources (--shipped) must have the
same size, so a changed window cannot go out with an old picture. --update replaces the shipped
copy with the fresh one.

Run with Debian's /usr/bin/python3 (it has python3-dbus and python3-dbusmock)."""

import os
import shutil
import sys

from harness import Desktop, check, run_script


def run(args):
    with Desktop(failure_screenshot=args.failure_screenshot) as desktop:
        desktop.start_x11()
        desktop.screenshot(desktop.first_launch(args.veluna)[1], args.output)
        if args.update:
            shutil.copyfile(args.output, args.shipped)
        check(os.path.exists(args.shipped), f"no shipped screenshot at {args.shipped}; "
              f"run again with --update to ship {args.output}")
        fresh, shipped = desktop.image_size(args.output), desktop.image_size(args.shipped)
        check(shipped == fresh, f"the shipped screenshot {args.shipped} is {shipped}, the main "
              f"window now {fresh}: ship {args.output} (--update)")


if __name__ == "__main__":
    sys.exit(run_script(__doc__, run, ["veluna", "output", "shipped"], flags=("update",)))
