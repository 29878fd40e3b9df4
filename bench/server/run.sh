#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Load on veluna-server over loopback: sync requests from many device ids, at full speed (wrk)
# and at a fixed 300 requests/s (about a million installs syncing hourly), against SQLite and
# against a throwaway PostgreSQL. Prints one table; see bench/server/README.md.
#
#   bench/server/run.sh [build-dir]     (default: <repo>/build)
#
#   BENCH_SECONDS=N     length of each run (default 60)
#   BENCH_BACKENDS=...  "sqlite postgresql" (default both)
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/../.." && pwd)
BUILD=$(realpath -m "${1:-$REPO/build}")
SECONDS_PER_RUN=${BENCH_SECONDS:-60}
BACKENDS=${BENCH_BACKENDS:-sqlite postgresql}
PORT=${BENCH_PORT:-47731}
PG_BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)

for tool in wrk /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (apt-get install wrk)" >&2; exit 1; }
done
cmake --build "$BUILD" --parallel 2 --target veluna-server >/dev/null
SERVER=$BUILD/server/http/veluna-server
SCRATCH=$(mktemp -d /tmp/veluna-server-bench.XXXXXX)
chmod 755 "$SCRATCH"
SERVER_PID=
cleanup() {
  [[ -n $SERVER_PID ]] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
  if [[ -f $SCRATCH/pg/postmaster.pid ]]; then
    runuser -u postgres -- "$PG_BIN/pg_ctl" -D "$SCRATCH/pg" -m immediate stop >/dev/null || true
  fi
  rm -rf "$SCRATCH"
}
trap cleanup EXIT

start_postgresql() {
  mkdir "$SCRATCH/pg" && chown postgres "$SCRATCH/pg"
  runuser -u postgres -- "$PG_BIN/initdb" -D "$SCRATCH/pg" -A trust >/dev/null
  runuser -u postgres -- "$PG_BIN/pg_ctl" -D "$SCRATCH/pg" -l "$SCRATCH/pg/server.log" -w \
    -o "-k $SCRATCH/pg -c listen_addresses= -c max_connections=200" start >/dev/null
  runuser -u postgres -- "$PG_BIN/createdb" -h "$SCRATCH/pg" veluna
  echo "postgresql://postgres@/veluna?host=$SCRATCH/pg"
}

start_server() { # database
  cat > "$SCRATCH/server.conf" <<CONF
listen = 127.0.0.1
port = $PORT
database = $1
CONF
  "$SERVER" --config "$SCRATCH/server.conf" 2>"$SCRATCH/server.log" &
  SERVER_PID=$!
  for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/$PORT) 2>/dev/null && return 0
    sleep 0.1
  done
  echo "bench: the server did not start:" >&2; tail "$SCRATCH/server.log" >&2; exit 1
}

stop_server() {
  kill "$SERVER_PID"; wait "$SERVER_PID" || true; SERVER_PID=
}

rss_kib() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }

# Samples the server's resident size every second while a load runs: "first last peak" in KiB,
# first and last taken 5 s into and 5 s before the end of the run.
watch_rss() { # seconds
  local samples=() i
  for ((i = 0; i < $1; i++)); do samples+=("$(rss_kib "$SERVER_PID" VmRSS)"); sleep 1; done
  echo "${samples[5]:-0} ${samples[-5]:-0} $(rss_kib "$SERVER_PID" VmHWM)"
}

full_speed() {
  wrk -t2 -c64 -d"${SECONDS_PER_RUN}s" --latency -s "$HERE/sync.lua" \
    "http://127.0.0.1:$PORT/api/veluna/sync" >"$SCRATCH/wrk.txt" &
  local load=$!
  local rss; rss=$(watch_rss "$SECONDS_PER_RUN")
  wait "$load"
  local rate p50 p99 errors
  rate=$(awk '/^Requests\/sec/ { print $2 }' "$SCRATCH/wrk.txt")
  p50=$(awk '$1 == "50%" { print $2 }' "$SCRATCH/wrk.txt")
  p99=$(awk '$1 == "99%" { print $2 }' "$SCRATCH/wrk.txt")
  errors=$(awk '/Non-2xx/ { n += $NF } /Socket errors/ { gsub(",", ""); n += $4 + $6 + $8 + $10 }
                END { print n + 0 }' "$SCRATCH/wrk.txt")
  echo "$rate $p50 $p99 $errors $rss"
}

steady() {
  /usr/bin/python3 "$HERE/steadyload.py" --port "$PORT" --rate 300 --seconds "$SECONDS_PER_RUN" \
    >"$SCRATCH/steady.json" &
  local load=$!
  local rss; rss=$(watch_rss "$SECONDS_PER_RUN")
  wait "$load"
  /usr/bin/python3 -c 'import json,sys; r=json.load(open(sys.argv[1]));
print(r["rate"], str(r["p50_ms"])+"ms", str(r["p99_ms"])+"ms", r["errors"], end=" ")' \
    "$SCRATCH/steady.json"
  echo "$rss"
}

printf '%-11s %-10s %10s %9s %9s %7s %11s %11s %11s\n' backend load "req/s" p50 p99 errors \
  "RSS@5s KiB" "RSS@end KiB" "peak KiB"
for backend in $BACKENDS; do
  case $backend in
    sqlite) database=$SCRATCH/veluna.db ;;
    postgresql) database=$(start_postgresql) ;;
    *) echo "bench: unknown backend $backend" >&2; exit 2 ;;
  esac
  start_server "$database"
  read -r rate p50 p99 errors first last peak < <(full_speed)
  printf '%-11s %-10s %10s %9s %9s %7s %11s %11s %11s\n' "$backend" "full speed" "$rate" "$p50" \
    "$p99" "$errors" "$first" "$last" "$peak"
  read -r rate p50 p99 errors first last peak < <(steady)
  printf '%-11s %-10s %10s %9s %9s %7s %11s %11s %11s\n' "$backend" "300/s" "$rate" "$p50" \
    "$p99" "$errors" "$first" "$last" "$peak"
  stop_server
done
