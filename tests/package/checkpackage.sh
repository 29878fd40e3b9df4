#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages with scripts/package.sh, runs lintian on each (any error fails),
# then installs each one on this machine with apt-get, checks what it put there, removes and
# purges it, and checks that nothing it listed is left. Needs root (CI runs on a throwaway
# machine); whatever happens, the machine is left without the packages, their user and state.
# Usage: checkpackage.sh <source-dir> <build-dir> <version> <desktop-id>
set -uo pipefail

source_dir=$1 build_dir=$2 version=$3 desktop_id=$4
export DEBIAN_FRONTEND=noninteractive
failures=0
installed=()

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
is_installed() { dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null | grep -qx installed; }

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing packages needs root"
  exit 77
fi
for tool in lintian dpkg-shlibdeps apt-get; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (scripts/setup.sh <build-dir> test)"; exit 1; }
done
for package in veluna veluna-server; do
  if dpkg-query -W "$package" >/dev/null 2>&1; then
    echo "FAIL: $package is already on this machine; this test installs and purges its own"
    exit 1
  fi
done

restore() {
  for package in "${installed[@]}"; do
    dpkg-query -W "$package" >/dev/null 2>&1 && apt-get purge -y -q "$package" >/dev/null
  done
  if getent passwd veluna-server >/dev/null; then deluser --system veluna-server >/dev/null; fi
  if getent group veluna-server >/dev/null; then delgroup --system veluna-server >/dev/null; fi
}
trap restore EXIT

mapfile -t debs < <("$source_dir/scripts/package.sh" "$build_dir")
[ ${#debs[@]} -gt 0 ] || { echo "FAIL: scripts/package.sh made no package"; exit 1; }

for deb in "${debs[@]}"; do
  echo "== lintian $(basename "$deb")"
  report=$(lintian --no-tag-display-limit "$deb" 2>&1)
  [ -n "$report" ] && printf '%s\n' "$report"
  grep -q '^E: ' <<<"$report" && fail "lintian reports errors on $(basename "$deb")"
done

# What the installed veluna must offer: it runs, and the desktop finds its entry and icons.
check_veluna() {
  local answer
  answer=$(/usr/bin/veluna --version 2>&1)
  [ "$answer" = "veluna $version" ] || fail "/usr/bin/veluna --version says '$answer', not 'veluna $version'"
  for file in "/usr/share/applications/$desktop_id.desktop" \
    "/usr/share/metainfo/$desktop_id.metainfo.xml" \
    "/usr/share/icons/hicolor/scalable/apps/$desktop_id.svg" \
    "/usr/share/icons/hicolor/48x48/apps/$desktop_id.png" \
    /usr/share/doc/veluna/copyright /usr/share/doc/veluna/changelog.gz; do
    [ -f "$file" ] || fail "veluna installed no $file"
  done
}

check_veluna_server() {
  getent passwd veluna-server >/dev/null || fail "veluna-server installed no veluna-server user"
  [ "$(stat -c %U /var/lib/veluna-server 2>/dev/null)" = veluna-server ] ||
    fail "/var/lib/veluna-server is missing or not owned by veluna-server"
  [ -f /usr/lib/systemd/system/veluna-server.service ] || fail "no veluna-server.service unit"
}

check_purged_veluna_server() {
  getent passwd veluna-server >/dev/null && fail "the veluna-server user outlived the purge"
  [ -e /var/lib/veluna-server ] && fail "/var/lib/veluna-server outlived the purge"
}

# Installs, checks, removes and purges one package; every path it listed must go, except folders
# that were there before it came.
round_trip() {
  local package=$1 deb=$2 listed path
  installed+=("$package")
  echo "== apt-get install ./$(basename "$deb")"
  if ! apt-get install -y -q "$deb"; then
    fail "apt-get could not install $deb"
    return
  fi
  is_installed "$package" || fail "$package is not installed after apt-get install"
  listed=$(dpkg -L "$package")
  "check_${package//-/_}"
  apt-get remove -y -q "$package" >/dev/null || fail "apt-get remove $package failed"
  apt-get purge -y -q "$package" >/dev/null || fail "apt-get purge $package failed"
  while read -r path; do
    [ "$path" = /. ] && continue
    if [ -e "$path" ] && [ ! -d "$path" ]; then fail "$path outlived apt-get remove $package"; fi
    if [ -d "$path" ] && ! grep -qx "$path" <<<"$preexisting"; then
      fail "the folder $path outlived apt-get remove $package"
    fi
  done <<<"$listed"
  if declare -F "check_purged_${package//-/_}" >/dev/null; then "check_purged_${package//-/_}"; fi
}

for deb in "${debs[@]}"; do
  package=$(dpkg-deb -f "$deb" Package)
  preexisting=$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ {print substr($6, 2)}' | sed 's#/$##' |
    while read -r dir; do [ -d "$dir" ] && echo "$dir"; done)
  round_trip "$package" "$deb"
done

if [ "$failures" -gt 0 ]; then
  echo "FAIL: $failures check(s) failed"
  exit 1
fi
echo "PASS: ${#debs[@]} package(s) built, lintian-clean, installed and removed without a trace"
