#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds and runs every test through CTest.
set -euo pipefail
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VELUNA_BUILD_DIR:-$source_dir/build}
"$source_dir/scripts/setup.sh" "$build_dir" test
cd "$build_dir"
ctest --output-on-failure --timeout 300 --parallel 2 "$@"
