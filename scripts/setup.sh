#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages Veluna needs (only those missing), then configures and builds.
# Usage: scripts/setup.sh <build-dir> [run|test]
set -euo pipefail

build_dir=${1:?usage: setup.sh <build-dir> [run|test]}
purpose=${2:-run}
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(g++ cmake ninja-build
  qt6-base-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  qt6-translations-l10n qt6-qpa-plugins qt6-wayland libgl-dev dbus dbus-bin help2man
  libboost1.81-dev libssl-dev libqt6sql6-sqlite libqt6sql6-psql)
if [ "$purpose" = test ]; then
  packages+=(python3-dbusmock xvfb xauth openbox xdotool imagemagick x11-utils
    desktop-file-utils appstream lintian dpkg-dev git
    powerdevil mate-session-manager mate-power-manager xfce4-power-manager xfconf gnome-session-bin
    x11-xserver-utils libglib2.0-bin dconf-service
    sway grim wtype swayidle postgresql)
fi

fail() { echo "setup: $*" >&2; exit 1; }

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing missing packages: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    sudo=()
  elif command -v sudo >/dev/null; then
    sudo=(sudo)
  else
    fail "these packages are missing and I am neither root nor able to sudo: ${missing[*]}"
  fi
  "${sudo[@]}" apt-get update -q || fail "apt-get update failed (is the network to Debian's mirrors up?)"
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
    "${missing[@]}" || fail "apt-get could not install: ${missing[*]}"
else
  echo "setup: all ${#packages[@]} required packages are installed"
fi

build_type=${VELUNA_BUILD_TYPE:-RelWithDebInfo}
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" ||
  fail "cmake could not configure the project in $build_dir"
cmake --build "$build_dir" --parallel 2 || fail "the build failed"
