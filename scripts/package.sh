#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds Veluna's Debian packages: configures <build-dir> if it is not yet, builds it, runs CPack
# into <build-dir>/packages, and prints the path of each .deb made (CPack's own report goes to
# stderr). Needs dpkg-dev for the dependencies dpkg-shlibdeps computes.
# Usage: scripts/package.sh <build-dir>
set -euo pipefail

build_dir=${1:?usage: package.sh <build-dir>}
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

fail() { echo "package: $*" >&2; exit 1; }

command -v dpkg-shlibdeps >/dev/null ||
  fail "dpkg-shlibdeps is missing: apt-get install dpkg-dev (or scripts/setup.sh <build-dir> test)"

# Packages install under /usr, and their configuration under /etc, which GNUInstallDirs gives only
# to a build whose prefix is /usr.
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_BUILD_TYPE="${VELUNA_BUILD_TYPE:-RelWithDebInfo}" >&2 ||
    fail "cmake could not configure the project in $build_dir"
elif ! grep -qx 'CMAKE_INSTALL_PREFIX:PATH=/usr' "$build_dir/CMakeCache.txt" ||
  [ ! -f "$build_dir/CPackConfig.cmake" ]; then
  cmake -S "$source_dir" -B "$build_dir" -DCMAKE_INSTALL_PREFIX=/usr >&2 ||
    fail "cmake could not configure the project in $build_dir"
fi
build_dir=$(cd "$build_dir" && pwd)
cmake --build "$build_dir" --parallel 2 >&2 || fail "the build failed"
out_dir=$build_dir/packages
rm -rf "$out_dir"
cpack --config "$build_dir/CPackConfig.cmake" -B "$out_dir" >&2 || fail "cpack failed"
rm -rf "$out_dir/_CPack_Packages"
debs=("$out_dir"/*.deb)
[ -e "${debs[0]}" ] || fail "cpack made no .deb in $out_dir"
printf '%s\n' "${debs[@]}"
