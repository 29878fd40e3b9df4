#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Installs the program's component of the build into a scratch prefix (emptied first) and checks
that it, its desktop entry, metainfo, icons and screenshot are where desktops look, filled in and
well formed, and that the entry and the metainfo pass desktop-file-validate and appstreamcli
--pedantic."""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
from pathlib import Path


def png_size(path):
    """A PNG's signature, then its IHDR chunk: width and height as 32-bit big-endian."""
    head = Path(path).read_bytes()[:24] if os.path.isfile(path) else b""
    return struct.unpack(">II", head[16:24]) if head[:8] == b"\x89PNG\r\n\x1a\n" else None


def validator_says(*command):
    if not shutil.which(command[0]):
        return [f"{command[0]} is not installed (scripts/setup.sh <build-dir> test)"]
    run = subprocess.run(command, capture_output=True, text=True)
    return [f"{command[0]} says:\n{run.stdout}{run.stderr}"] if run.returncode else []


def main():
    parser = argparse.ArgumentParser()
    for name in ("cmake", "build", "prefix", "bindir", "datadir", "id", "version", "date"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    shutil.rmtree(args.prefix, ignore_errors=True)
    subprocess.run([args.cmake, "--install", args.build, "--prefix", args.prefix, "--component",
                    "app"], check=True, stdout=subprocess.DEVNULL)
    share, id_ = os.path.join(args.prefix, args.datadir), args.id
    entry, metainfo = f"{share}/applications/{id_}.desktop", f"{share}/metainfo/{id_}.metainfo.xml"
    icons = f"{share}/icons/hicolor"
    failures = [f"missing {path}" for path in (
        os.path.join(args.prefix, args.bindir, "veluna"), entry, metainfo,
        f"{icons}/scalable/apps/{id_}.svg", f"{share}/man/man1/veluna.1",
        f"{share}/bash-completion/completions/veluna") if not os.path.isfile(path)]
    failures += [f"{icons}/{size}x{size}/apps/{id_}.png is not a {size}x{size} PNG"
                 for size in (16, 24, 32, 48, 64, 128, 256)
                 if png_size(f"{icons}/{size}x{size}/apps/{id_}.png") != (size, size)]
    screenshot = png_size(f"{share}/veluna/screenshots/main-window.png")
    failures += [] if screenshot else ["no PNG screenshot in veluna/screenshots"]
    # Filled in from the build: no placeholder left, and the values the rest of the install uses.
    entry_text, metainfo_text = (Path(p).read_text(encoding="utf-8") if os.path.isfile(p) else ""
                                 for p in (entry, metainfo))
    failures += [f"the desktop entry lacks {line!r}" for line in (
        f"\nIcon={id_}\n", "\nExec=veluna\n", "\nActions=keep-awake;allow-sleep;\n",
        "\nExec=veluna start\n", "\nExec=veluna stop\n", "\nName[fr]=Autoriser la veille\n")
        if line not in entry_text]
    failures += [f"the metainfo lacks {text}" for text in (
        f"<id>{id_}</id>", f'<release version="{args.version}" date="{args.date}">',
        f'<launchable type="desktop-id">{id_}.desktop</launchable>', '<developer id="app.plenox">',
        '<content_rating type="oars-1.1"/>', "<binary>veluna</binary>",
        *(f'<url type="{kind}">https://' for kind in ("homepage", "bugtracker", "help", "contact")),
        '<image type="source" width="%d" height="%d">https://' % (screenshot or (0, 0)))
        if text not in metainfo_text]
    if re.search("@[A-Z_]+@", entry_text + metainfo_text):
        failures.append("a placeholder was left unconfigured")
    failures += validator_says("desktop-file-validate", entry)
    failures += validator_says("appstreamcli", "validate", "--pedantic", "--no-net", metainfo)
    if failures:
        sys.exit("The installed files are not right:\n  " + "\n  ".join(failures))
    print(f"Installed files are complete in {args.prefix}")


if __name__ == "__main__":
    main()
