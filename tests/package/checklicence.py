#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Every C++, CMake, shell and Python file git tracks in the source folder carries the licence's
SPDX line in its first lines, so that a file added without it fails the tests."""
import os
import re
import subprocess
import sys

SOURCE = re.compile(r"(\.(c|cc|cpp|cxx|h|hpp|cmake|sh|bash|py)(\.in)?|CMakeLists\.txt)$")

source_dir = sys.argv[1]
checked, missing = 0, []
for name in subprocess.run(["git", "-C", source_dir, "ls-files", "-z"], check=True,
                           capture_output=True, text=True).stdout.split("\0"):
    path = os.path.join(source_dir, name)
    if not name or not os.path.isfile(path):
        continue
    with open(path, encoding="utf-8", errors="replace") as file:
        head = "".join(file.readline() for _ in range(3))
    # By name, or by a shebang for scripts without a suffix (maintainer scripts, .ci/run).
    if SOURCE.search(name) or re.match(r"#!.*(sh|python)", head):
        checked += 1
        missing += [] if "SPDX-License-Identifier: MIT" in head else [name]
if missing or not checked:
    sys.exit("No SPDX-License-Identifier: MIT line in the first lines of:\n  " + "\n  ".join(
        missing or [f"(no tracked source file found in {source_dir})"]))
print(f"{checked} tracked source files carry the licence's SPDX line")
