#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages with scripts/package.sh, runs lintian on each (any error fails),
# then installs each one on this machine with apt-get, checks what it put there, removes and
# purges it, and checks that nothing it listed is left. Needs root (CI runs on a throwaway
# machine); whatever happens, the machine is left without the packages, their user and state.
# Usage: checkpackage.sh <source-dir> <build-dir> <version>
set -uo pipefail

source_dir=$1 build_dir=$2 version=$3
export DEBIAN_FRONTEND=noninteractive
failures=0
installed=()

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing packages needs root"; exit 77; }
for tool in lintian dpkg-shlibdeps apt-get; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (scripts/setup.sh <build-dir> test)"; exit 1; }
done
for package in veluna veluna-server; do
  dpkg-query -W "$package" >/dev/null 2>&1 &&
    { echo "FAIL: $package is already on this machine; this test installs and purges its own"; exit 1; }
done

state_was_there=$([ -e /var/lib/veluna-server ] && echo yes)
restore() {
  for package in "${installed[@]}"; do
    dpkg-query -W "$package" >/dev/null 2>&1 && apt-get purge -y -q "$package" >/dev/null
  done
  ! getent passwd veluna-server >/dev/null || deluser --system veluna-server >/dev/null
  ! getent group veluna-server >/dev/null || delgroup --system veluna-server >/dev/null
  [ -n "$state_was_there" ] || rm -rf /var/lib/veluna-server
}
trap restore EXIT
trap 'exit 1' TERM INT HUP

mapfile -t debs < <("$source_dir/scripts/package.sh" "$build_dir")
[ ${#debs[@]} -gt 0 ] || { echo "FAIL: scripts/package.sh made no package"; exit 1; }

for deb in "${debs[@]}"; do
  echo "== lintian $(basename "$deb")"
  report=$(lintian --tag-display-limit 0 "$deb" 2>&1)
  [ -n "$report" ] && printf '%s\n' "$report"
  grep -q '^E: ' <<<"$report" && fail "lintian reports errors on $(basename "$deb")"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
    fail "$(basename "$deb") has version $(dpkg-deb -f "$deb" Version), the project $version"
done

# The installed veluna runs with the libraries its package depends on (what else its component
# installs, the desktop entry, metainfo and icons, is install_layout's; its copyright, lintian's).
check_veluna() { check_version veluna; }
check_version() {
  local answer
  answer=$("/usr/bin/$1" --version 2>&1)
  [ "$answer" = "$1 $version" ] || fail "/usr/bin/$1 --version says '$answer', not '$1 $version'"
}

# The server as its unit starts it: its user, its state folder, the installed configuration; it
# must answer over HTTP (an empty feed is a 503) and keep its database in the state folder.
check_veluna_server() {
  local port server answer
  getent passwd veluna-server >/dev/null || fail "veluna-server installed no veluna-server user"
  [ "$(stat -c %U /var/lib/veluna-server 2>/dev/null)" = veluna-server ] ||
    fail "/var/lib/veluna-server is missing or not owned by veluna-server"
  [ -f /usr/lib/systemd/system/veluna-server.service ] || fail "no veluna-server.service unit"
  for program in veluna-server veluna-admin; do
    check_version $program
    [ -f "/usr/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
  done
  port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  setpriv --reuid=veluna-server --regid=veluna-server --init-groups env -i \
    STATE_DIRECTORY=/var/lib/veluna-server VELUNA_SERVER_PORT="$port" QT_ENABLE_REGEXP_JIT=0 \
    /usr/bin/veluna-server --config /etc/veluna-server/veluna-server.conf &
  server=$!
  for _ in $(seq 100); do # until it listens, ten seconds at most
    answer=$( (exec 3<>"/dev/tcp/127.0.0.1/$port" &&
      printf 'GET /veluna/appcast.xml HTTP/1.0\r\n\r\n' >&3 && timeout 2 head -c 12 <&3) 2>/dev/null)
    [ -n "$answer" ] && break
    sleep 0.1
  done
  kill "$server" 2>/dev/null
  wait "$server"
  case ${answer#HTTP/1.? } in 200 | 503) ;; *) fail "the installed veluna-server did not answer on port $port ('$answer')" ;; esac
  [ "$(stat -c %U /var/lib/veluna-server/veluna.db 2>/dev/null)" = veluna-server ] ||
    fail "veluna-server kept no database of its own in /var/lib/veluna-server"
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
  apt-get install -y -q "$deb" || { fail "apt-get could not install $deb"; return; }
  dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed ||
    fail "$package is not installed after apt-get install"
  listed=$(dpkg -L "$package")
  zcat "/usr/share/doc/$package/changelog.gz" 2>/dev/null | head -n 1 | grep -q "^veluna ($version) " ||
    fail "/usr/share/doc/$package/changelog.gz does not start with release $version"
  "check_${package//-/_}"
  apt-get remove -y -q "$package" >/dev/null || fail "apt-get remove $package failed"
  # A package whose configuration files stay after removal is purged; one without is gone already.
  ! dpkg-query -W "$package" >/dev/null 2>&1 || apt-get purge -y -q "$package" >/dev/null ||
    fail "apt-get purge $package failed"
  dpkg-query -W "$package" >/dev/null 2>&1 && fail "dpkg still knows $package after the purge"
  while read -r path; do
    [ "$path" = /. ] && continue
    [ -e "$path" ] && [ ! -d "$path" ] && fail "$path outlived apt-get remove $package"
    [ -d "$path" ] && ! grep -qx "$path" <<<"$preexisting" &&
      fail "the folder $path outlived apt-get remove $package"
  done <<<"$listed"
  ! declare -F "check_purged_${package//-/_}" >/dev/null || "check_purged_${package//-/_}"
}

for deb in "${debs[@]}"; do
  package=$(dpkg-deb -f "$deb" Package)
  preexisting=$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ {print substr($6, 2)}' | sed 's#/$##' |
    while read -r dir; do [ -d "$dir" ] && echo "$dir"; done)
  round_trip "$package" "$deb"
done

[ "$failures" -eq 0 ] || { echo "FAIL: $failures check(s) failed"; exit 1; }
echo "PASS: ${#debs[@]} package(s) built with no lintian error, installed and removed without a trace"
