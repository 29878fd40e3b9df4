#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures Veluna against a bare Qt widgets program on a private X display and private buses:
# start-up time to a mapped window, peak RSS, and wake-ups (context switches) per minute while
# idle and while awake. Prints one table and a verdict; see bench/README.md.
#
#   bench/run.sh [build-dir]      (default: <repo>/build-bench)
#
# Environment knobs:
#   BENCH_QUICK=1             20 s observation windows instead of 120 s
#   BENCH_OBSERVE_SECONDS=N   observation window length (overrides BENCH_QUICK)
#   BENCH_REPS=N              start-up repetitions per program (default 5)
#   BENCH_SETTLE_SECONDS=N    wait after the window shows before reading VmHWM (default 1)
#   BENCH_AFTERMATH_SECONDS=N the idle window starts N s after the window shows (default 35)
#   BENCH_FIRST_LAUNCH=1      launch as a first run (the update check 60 s after start
#                             then falls in the idle window)
#   BENCH_LOGIND=0            do not start the mock logind on the private system bus
#   BENCH_KEEP=1              keep the scratch folder (logs, homes) instead of deleting it
#   BENCH_TOOLS_BUILD_DIR=D   where bench/ (bare program + mapwatch) is built
#                             (default: <build-dir>/bench-tools)
set -uo pipefail

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(dirname "$BENCH_DIR")
BUILD_DIR=$(realpath -m "${1:-$REPO_DIR/build-bench}")
TOOLS_BUILD_DIR=$(realpath -m "${BENCH_TOOLS_BUILD_DIR:-$BUILD_DIR/bench-tools}")
REPS=${BENCH_REPS:-5}
if [[ -n ${BENCH_OBSERVE_SECONDS:-} ]]; then
    OBSERVE=$BENCH_OBSERVE_SECONDS
elif [[ ${BENCH_QUICK:-0} == 1 ]]; then
    OBSERVE=20
else
    OBSERVE=120
fi
SETTLE=${BENCH_SETTLE_SECONDS:-1}
# Before an observation window: time for the program (or the awake switch) to finish its
# immediate work (first paint, D-Bus replies).
OBSERVE_SETTLE=3
# Start-up leaves one-off timed work behind (Qt's pool threads, for one, exit after 30 s
# without work); the idle window starts this many seconds after the window shows, and what
# happens from OBSERVE_SETTLE up to then is reported on its own line.
AFTERMATH=${BENCH_AFTERMATH_SECONDS:-35}
USE_LOGIND=${BENCH_LOGIND:-1}
FIRST_LAUNCH=${BENCH_FIRST_LAUNCH:-0}
MAP_TIMEOUT=30
SCREEN_W=1280
SCREEN_H=1024

log() { printf '[bench] %s\n' "$*" >&2; }
die() {
    printf '[bench] FAILED: %s\n' "$*" >&2
    exit 1
}

for n in REPS OBSERVE AFTERMATH; do
    [[ ${!n} =~ ^[1-9][0-9]*$ ]] || die "$n must be a positive whole number (got '${!n}')"
done
[[ $SETTLE =~ ^[0-9]+([.][0-9]+)?$ ]] || die "BENCH_SETTLE_SECONDS must be a number"

# ---------------------------------------------------------------------------------------------
# Process bookkeeping: every background process goes into STARTED; on exit (normal, error,
# Ctrl+C or SIGTERM) they and all their descendants (e.g. services the private buses started)
# are sent SIGTERM, then SIGKILL if still there after two seconds.
STARTED=()
RUN_DIR=""

descendants_of() {
    # Prints the pids of all descendants of the given pids.
    local -A children=()
    local stat rest pid ppid
    for stat in /proc/[0-9]*/stat; do
        { read -r rest < "$stat"; } 2> /dev/null || continue
        pid=${stat#/proc/}
        pid=${pid%/stat}
        rest=${rest##*) }
        read -r _ ppid _ <<< "$rest"
        children[$ppid]+="$pid "
    done
    local queue=("$@") p c
    while ((${#queue[@]})); do
        p=${queue[0]}
        queue=("${queue[@]:1}")
        for c in ${children[$p]:-}; do
            echo "$c"
            queue+=("$c")
        done
    done
}

alive() { [[ -e /proc/$1 ]] && ! grep -q '^State:.*Z' "/proc/$1/status" 2> /dev/null; }

stop_pids() {
    # SIGTERM, wait up to 2 s, then SIGKILL; only pids > 1 that are not this shell.
    local pids=() p
    for p in "$@"; do
        [[ $p =~ ^[0-9]+$ ]] && ((p > 1 && p != $$)) && pids+=("$p")
    done
    ((${#pids[@]})) || return 0
    kill -TERM "${pids[@]}" 2> /dev/null
    local i
    for ((i = 0; i < 40; i++)); do
        local left=0
        for p in "${pids[@]}"; do alive "$p" && left=1; done
        ((left)) || break
        sleep 0.05
    done
    for p in "${pids[@]}"; do alive "$p" && kill -KILL "$p" 2> /dev/null; done
    return 0
}

cleanup() {
    local status=$?
    trap - EXIT INT TERM
    if ((${#STARTED[@]})); then
        local all=()
        mapfile -t all < <(descendants_of "${STARTED[@]}")
        # Programs and helpers first (newest first), the display and buses last.
        local reversed=() i
        for ((i = ${#STARTED[@]} - 1; i >= 0; i--)); do reversed+=("${STARTED[i]}"); done
        stop_pids "${all[@]}" "${reversed[@]}"
        wait 2> /dev/null
    fi
    if [[ -n $RUN_DIR && -d $RUN_DIR ]]; then
        if [[ ${BENCH_KEEP:-0} == 1 ]]; then
            log "scratch folder kept: $RUN_DIR"
        else
            rm -rf "$RUN_DIR"
        fi
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'log "interrupted"; exit 130' INT
trap 'log "terminated"; exit 143' TERM

# sleep that lets the INT/TERM traps run at once.
pause() {
    sleep "$1" &
    local p=$!
    STARTED+=("$p")
    wait "$p"
    forget_pid "$p"
}

forget_pid() {
    local keep=() p
    for p in "${STARTED[@]}"; do [[ $p != "$1" ]] && keep+=("$p"); done
    STARTED=("${keep[@]}")
}

# ---------------------------------------------------------------------------------------------
# 1. Builds.
for tool in cmake ninja Xvfb openbox xdotool xprop dbus-daemon dbus-send; do
    command -v "$tool" > /dev/null || die "$tool is not installed"
done

log "building bench/ (bare program, mapwatch) in $TOOLS_BUILD_DIR"
if [[ ! -f $TOOLS_BUILD_DIR/CMakeCache.txt ]]; then
    mkdir -p "$TOOLS_BUILD_DIR" || die "cannot create $TOOLS_BUILD_DIR"
    cmake -S "$BENCH_DIR" -B "$TOOLS_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        > "$TOOLS_BUILD_DIR/configure.log" 2>&1 \
        || { cat "$TOOLS_BUILD_DIR/configure.log" >&2; die "configuring bench/"; }
fi
ninja -C "$TOOLS_BUILD_DIR" -j2 >&2 || die "building bench/"
BARE_BIN=$TOOLS_BUILD_DIR/bare/bench-bare
MAPWATCH=$TOOLS_BUILD_DIR/mapwatch/mapwatch
[[ -x $BARE_BIN && -x $MAPWATCH ]] || die "bench/ build produced no bench-bare or mapwatch"

find_veluna() {
    local candidate
    for candidate in "$BUILD_DIR/app/veluna" "$BUILD_DIR/veluna"; do
        [[ -x $candidate && -f $candidate ]] && { echo "$candidate"; return 0; }
    done
    [[ -d $BUILD_DIR ]] || return 1
    find "$BUILD_DIR" -maxdepth 3 -path "$TOOLS_BUILD_DIR" -prune -o \
        -type f -name veluna -perm -u+x -print -quit
}

VELUNA_BIN=$(find_veluna)
if [[ -z $VELUNA_BIN ]]; then
    log "no veluna in $BUILD_DIR: building it (RelWithDebInfo, -j2)"
    if [[ ! -f $BUILD_DIR/CMakeCache.txt ]]; then
        cmake -S "$REPO_DIR" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2 \
            || die "configuring Veluna in $BUILD_DIR"
    fi
    cmake --build "$BUILD_DIR" --target veluna --parallel 2 >&2 || die "building veluna"
    VELUNA_BIN=$(find_veluna)
    [[ -n $VELUNA_BIN ]] || die "the veluna target built, but no veluna executable is in $BUILD_DIR"
fi
VELUNA_BUILD_TYPE=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt" 2> /dev/null)
VELUNA_BUILT=$(date -r "$VELUNA_BIN" '+%Y-%m-%d %H:%M:%S')
log "veluna: $VELUNA_BIN (build type ${VELUNA_BUILD_TYPE:-unknown}, built $VELUNA_BUILT)"
case ${VELUNA_BUILD_TYPE:-} in
    RelWithDebInfo | Release | MinSizeRel) ;;
    *) log "WARNING: $BUILD_DIR is a '${VELUNA_BUILD_TYPE:-unknown}' build; figures for an unoptimised build are not comparable" ;;
esac

# ---------------------------------------------------------------------------------------------
# 2. Private display, window manager and buses.
RUN_DIR=$(mktemp -d "${TMPDIR:-/tmp}/veluna-bench.XXXXXX") || die "mktemp"
mkdir -p "$RUN_DIR/session-home"

wait_for_file_line() {
    # wait_for_file_line FILE PID SECONDS: until FILE has a first line, or PID dies.
    local i
    for ((i = 0; i < $3 * 100; i++)); do
        [[ -s $1 ]] && head -n1 "$1" | grep -q . && return 0
        alive "$2" || return 1
        sleep 0.01
    done
    return 1
}

log "starting Xvfb"
Xvfb -displayfd 3 -screen 0 "${SCREEN_W}x${SCREEN_H}x24" -nolisten tcp -noreset \
    3> "$RUN_DIR/display" > "$RUN_DIR/xvfb.log" 2>&1 &
XVFB_PID=$!
STARTED+=("$XVFB_PID")
wait_for_file_line "$RUN_DIR/display" "$XVFB_PID" 10 \
    || { cat "$RUN_DIR/xvfb.log" >&2; die "Xvfb did not start"; }
DISPLAY=":$(head -n1 "$RUN_DIR/display")"
export DISPLAY
log "display $DISPLAY"

HOME=$RUN_DIR/session-home openbox --sm-disable > "$RUN_DIR/openbox.log" 2>&1 &
STARTED+=($!)
wm_up=0
for ((i = 0; i < 1000; i++)); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id'; then
        wm_up=1
        break
    fi
    sleep 0.01
done
((wm_up)) || { cat "$RUN_DIR/openbox.log" >&2; die "openbox did not start"; }
# Keep the pointer off every window: hover effects and tool tips start timers.
xdotool mousemove "$((SCREEN_W - 1))" "$((SCREEN_H - 1))" || die "xdotool mousemove"

start_bus() {
    # start_bus NAME: a private bus (session configuration); prints its address.
    dbus-daemon --session --nofork --print-address=1 > "$RUN_DIR/$1.address" 2> "$RUN_DIR/$1.log" &
    local pid=$!
    STARTED+=("$pid")
    wait_for_file_line "$RUN_DIR/$1.address" "$pid" 10 || return 1
}
start_bus session-bus || die "the private session bus did not start"
start_bus system-bus || die "the private system bus did not start"
SESSION_BUS=$(head -n1 "$RUN_DIR/session-bus.address")
SYSTEM_BUS=$(head -n1 "$RUN_DIR/system-bus.address")

bus_has_name() {
    dbus-send --bus="$1" --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$2" 2> /dev/null | grep -q true
}

LOGIND=0
if [[ $USE_LOGIND == 1 ]]; then
    if /usr/bin/python3 -c 'import dbusmock' 2> /dev/null; then
        DBUS_SYSTEM_BUS_ADDRESS=$SYSTEM_BUS /usr/bin/python3 -m dbusmock --system \
            --template logind > "$RUN_DIR/logind.log" 2>&1 &
        LOGIND_PID=$!
        STARTED+=("$LOGIND_PID")
        for ((i = 0; i < 200; i++)); do
            bus_has_name "$SYSTEM_BUS" org.freedesktop.login1 && { LOGIND=1; break; }
            alive "$LOGIND_PID" || break
            sleep 0.05
        done
        ((LOGIND)) || { cat "$RUN_DIR/logind.log" >&2; die "the mock logind did not start"; }
        log "mock logind on the private system bus"
    else
        log "WARNING: /usr/bin/python3 has no dbusmock: no logind; Veluna may not go awake"
    fi
fi

logind_inhibitors() {
    # The mock logind's inhibitors, one "what who why mode" line each.
    dbus-send --bus="$SYSTEM_BUS" --print-reply --dest=org.freedesktop.login1 \
        /org/freedesktop/login1 org.freedesktop.login1.Manager.ListInhibitors 2> /dev/null \
        | grep -c 'struct {' || true
}

# ---------------------------------------------------------------------------------------------
# Launching a program: fresh HOME and XDG folders each time, a fixed environment, and
# mapwatch timing exec -> viewable window on X events.
LAUNCH_SEQ=0
PROG_PID=""
WATCH_PID=""
PROG_WIN=""
PROG_MS=""
PROG_CPU=""

launch() {
    # launch NAME BINARY: sets PROG_PID, WATCH_PID, PROG_WIN, PROG_MS, PROG_CPU.
    local name=$1 bin=$2
    LAUNCH_SEQ=$((LAUNCH_SEQ + 1))
    local home=$RUN_DIR/home/$name-$LAUNCH_SEQ
    mkdir -p "$home/.config/veluna" "$home/.cache" "$home/.local/share" "$home/run"
    chmod 700 "$home/run"
    # A returning user's settings: onboarding answered and, unless BENCH_FIRST_LAUNCH=1, an
    # update check made just now (a first launch checks for updates 60 s after start).
    local seed='"VLOnboarded": true, "VLMenuBarMode": false'
    [ "$FIRST_LAUNCH" = 1 ] ||
        seed="$seed, \"VLUpdaterLastCheck\": {\"\$date\": \"$(date -u +%Y-%m-%dT%H:%M:%SZ)\"}"
    printf '{%s}\n' "$seed" > "$home/.config/veluna/veluna.json"
    local fifo=$RUN_DIR/report-$LAUNCH_SEQ
    mkfifo "$fifo" || die "mkfifo"
    env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" USER="${USER:-bench}" \
        XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
        XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run" \
        DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 \
        DBUS_SESSION_BUS_ADDRESS="$SESSION_BUS" DBUS_SYSTEM_BUS_ADDRESS="$SYSTEM_BUS" \
        "$MAPWATCH" -t "$MAP_TIMEOUT" -o "$fifo" "$bin" \
        > "$RUN_DIR/$name-$LAUNCH_SEQ.log" 2>&1 &
    WATCH_PID=$!
    STARTED+=("$WATCH_PID")
    PROG_PID="" PROG_WIN="" PROG_MS="" PROG_CPU=""
    # Read-write, so opening cannot block should mapwatch never open its end.
    local fd word1 word2 word3 word4 word5 waited=0
    exec {fd}<> "$fifo"
    while :; do
        if ! read -r -t 1 -u "$fd" word1 word2 word3 word4 word5; then
            waited=$((waited + 1))
            if ! alive "$WATCH_PID" || ((waited > MAP_TIMEOUT + 5)); then
                break
            fi
            continue
        fi
        case $word1 in
            pid) PROG_PID=$word2; STARTED+=("$PROG_PID") ;;
            mapped)
                PROG_MS=$word2
                PROG_WIN=$word3
                PROG_CPU=$word5
                [[ $word4 == 430x665 ]] \
                    || log "WARNING: $name's first window is $word4, not 430x665"
                break
                ;;
            exited | timeout)
                exec {fd}<&-
                cat "$RUN_DIR/$name-$LAUNCH_SEQ.log" >&2
                die "$name: no window appeared ($word1 $word2)"
                ;;
        esac
    done
    exec {fd}<&-
    rm -f "$fifo"
    [[ -n $PROG_PID && -n $PROG_MS ]] || {
        cat "$RUN_DIR/$name-$LAUNCH_SEQ.log" >&2
        die "$name: mapwatch reported nothing"
    }
}

quit_program() {
    # SIGTERM to the program (mapwatch then exits with it), SIGKILL after 3 s.
    local i
    kill -TERM "$PROG_PID" 2> /dev/null
    for ((i = 0; i < 300; i++)); do
        alive "$WATCH_PID" || break
        sleep 0.01
    done
    alive "$PROG_PID" && kill -KILL "$PROG_PID" 2> /dev/null
    alive "$WATCH_PID" && kill -KILL "$WATCH_PID" 2> /dev/null
    wait "$WATCH_PID" 2> /dev/null
    forget_pid "$PROG_PID"
    forget_pid "$WATCH_PID"
}

hwm_kib() { sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status"; }

# Voluntary + involuntary context switches of each thread alive now: "tid count name" lines.
thread_switches() {
    # "tid switches involuntary name" for each thread of PID alive now, where switches is
    # voluntary + involuntary context switches.
    local task tid k v n i name
    for task in /proc/"$1"/task/*; do
        tid=${task##*/}
        n=0
        i=0
        while read -r k v; do
            case $k in
                voluntary_ctxt_switches:) n=$((n + v)) ;;
                nonvoluntary_ctxt_switches:) n=$((n + v)) i=$v ;;
            esac
        done 2> /dev/null < "$task/status" || continue
        { read -r name < "$task/comm"; } 2> /dev/null || name=unknown
        echo "$tid $n $i ${name// /_}"
    done
}

now_ns() {
    local us=${EPOCHREALTIME/[.,]/}
    echo $((us * 1000))
}

OBS_RATE=""
OBS_TOTAL=""
OBS_DETAIL=""
observe() {
    # observe PID SECONDS: context switches (OBS_TOTAL, and per minute: OBS_RATE) over
    # SECONDS, summed over threads.
    # Per thread: its count at the end minus its count at the start (all of it for a thread
    # born during the window). A thread that ends during the window takes its counter with it,
    # so the threads are sampled every second (reading /proc does not wake the program) and
    # an ended thread counts up to its last sample plus one for the wake-up that ended it.
    local pid=$1 seconds=$2
    local -A before=() last=() before_inv=() last_inv=() tname=() born_tids=() now_alive=()
    local tid n inv name
    while read -r tid n inv name; do
        before[$tid]=$n
        before_inv[$tid]=$inv
        last[$tid]=$n
        last_inv[$tid]=$inv
        tname[$tid]=$name
    done < <(thread_switches "$pid")
    local t0 t1 now left step
    t0=$(now_ns)
    while :; do
        now=$(now_ns)
        left=$((t0 + seconds * 1000000000 - now))
        if ((left > 0)); then
            step=$((left < 1000000000 ? left : 1000000000))
            pause "$(printf '0.%09d' "$step" | sed 's/^0\.1000000000$/1/')"
        else
            t1=$now
        fi
        alive "$pid" || die "the program ended during an observation window"
        now_alive=()
        while read -r tid n inv name; do
            if [[ -z ${before[$tid]+set} ]]; then # born during the window
                before[$tid]=0
                before_inv[$tid]=0
                born_tids[$tid]=1
            fi
            last[$tid]=$n
            last_inv[$tid]=$inv
            tname[$tid]=$name
            now_alive[$tid]=1
        done < <(thread_switches "$pid")
        ((left > 0)) || break
    done
    local -A by_name=()
    local total=0 involuntary=0 threads=0 ended=0 delta
    for tid in "${!last[@]}"; do
        delta=$((last[$tid] - before[$tid]))
        involuntary=$((involuntary + last_inv[$tid] - before_inv[$tid]))
        if [[ -n ${now_alive[$tid]:-} ]]; then
            threads=$((threads + 1))
        else
            ended=$((ended + 1))
            delta=$((delta + 1))
        fi
        total=$((total + delta))
        name=${tname[$tid]}
        ((delta)) && by_name[$name]=$((${by_name[$name]:-0} + delta))
    done
    OBS_TOTAL=$total
    OBS_RATE=$(awk -v n="$total" -v ns="$((t1 - t0))" 'BEGIN { printf "%.2f", n * 60e9 / ns }')
    OBS_DETAIL="$total in $(awk -v ns="$((t1 - t0))" 'BEGIN { printf "%.1f", ns / 1e9 }') s"
    ((involuntary)) && OBS_DETAIL+=" ($involuntary of them involuntary: preempted while running)"
    OBS_DETAIL+=", $threads threads at the end"
    if ((${#by_name[@]})); then
        local parts=()
        for name in "${!by_name[@]}"; do parts+=("$name ${by_name[$name]}"); done
        OBS_DETAIL+=" [by thread: $(printf '%s, ' "${parts[@]}" | sed 's/, $//')]"
    fi
    ((${#born_tids[@]})) && OBS_DETAIL+="; ${#born_tids[@]} thread(s) started during the window"
    ((ended)) && OBS_DETAIL+="; $ended thread(s) ended during the window (each counted +1 for its last wake-up)"
    return 0
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# ---------------------------------------------------------------------------------------------
# 3. Start-up time and peak RSS: one discarded warm-up launch each (page cache, font caches),
# then REPS launches each, interleaved so drift hits both alike.
declare -A START_MS=() START_CPU=() PEAK_KIB=()
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
for name in bare veluna; do
    bin=$BARE_BIN
    [[ $name == veluna ]] && bin=$VELUNA_BIN
    log "warm-up launch: $name"
    launch "$name" "$bin"
    pause "$SETTLE"
    quit_program
done
for ((rep = 1; rep <= REPS; rep++)); do
    for name in bare veluna; do
        bin=$BARE_BIN
        [[ $name == veluna ]] && bin=$VELUNA_BIN
        launch "$name" "$bin"
        pause "$SETTLE"
        alive "$PROG_PID" || die "$name ended right after start-up"
        hwm=$(hwm_kib "$PROG_PID")
        START_MS[$name]+="$PROG_MS "
        START_CPU[$name]+="$PROG_CPU "
        PEAK_KIB[$name]+="$hwm "
        log "run $rep/$REPS $name: window after $PROG_MS ms ($PROG_CPU ms CPU), VmHWM $hwm kB"
        quit_program
    done
done

# ---------------------------------------------------------------------------------------------
# 4. Wake-ups: after start-up, idle, then after pressing Return in the window (Veluna:
# awake; the bare program: its button flips a label, the same X traffic without an engine).
((AFTERMATH > OBSERVE_SETTLE)) || die "BENCH_AFTERMATH_SECONDS must be more than $OBSERVE_SETTLE"
declare -A IDLE=() AWAKE=() IDLE_DETAIL=() AWAKE_DETAIL=() AFTER=() AFTER_DETAIL=()
AWAKE_HELD=""
for name in bare veluna; do
    bin=$BARE_BIN
    [[ $name == veluna ]] && bin=$VELUNA_BIN
    launch "$name" "$bin"
    pause "$OBSERVE_SETTLE"
    log "$name: observing the time after start-up (${OBSERVE_SETTLE}-${AFTERMATH} s)"
    observe "$PROG_PID" $((AFTERMATH - OBSERVE_SETTLE))
    AFTER[$name]=$OBS_TOTAL
    AFTER_DETAIL[$name]=$OBS_DETAIL
    log "$name after start-up: $OBS_TOTAL ($OBS_DETAIL)"
    log "$name: observing idle for $OBSERVE s"
    observe "$PROG_PID" "$OBSERVE"
    IDLE[$name]=$OBS_RATE
    IDLE_DETAIL[$name]=$OBS_DETAIL
    log "$name idle: ${OBS_RATE}/min ($OBS_DETAIL)"

    held_before=0
    ((LOGIND)) && held_before=$(logind_inhibitors)
    xdotool windowactivate --sync "$PROG_WIN" key --clearmodifiers Return \
        || die "xdotool could not press Return in $name's window"
    pause "$OBSERVE_SETTLE"
    log "$name: observing after Return for $OBSERVE s"
    observe "$PROG_PID" "$OBSERVE"
    AWAKE[$name]=$OBS_RATE
    AWAKE_DETAIL[$name]=$OBS_DETAIL
    if [[ $name == veluna ]] && ((LOGIND)); then
        held_after=$(logind_inhibitors)
        if ((held_after > held_before)); then
            AWAKE_HELD="yes: the mock logind lists $((held_after - held_before)) new inhibition(s) at the end of the window"
            inhibit_call=$(grep -m1 ' Inhibit ' "$RUN_DIR/logind.log" | cut -d' ' -f2-)
            [[ -n $inhibit_call ]] && AWAKE_HELD+=" ($inhibit_call)"
        else
            AWAKE_HELD="NO: the mock logind lists no inhibition from Veluna at the end of the window"
        fi
    fi
    log "$name after Return: ${OBS_RATE}/min ($OBS_DETAIL)"
    quit_program
done

# ---------------------------------------------------------------------------------------------
# 5. Table and verdict.
# shellcheck disable=SC2086
bare_ms=$(median ${START_MS[bare]})
# shellcheck disable=SC2086
veluna_ms=$(median ${START_MS[veluna]})
LOAD_AFTER=$(cut -d' ' -f1-3 /proc/loadavg)
# shellcheck disable=SC2086
bare_cpu=$(median ${START_CPU[bare]})
# shellcheck disable=SC2086
veluna_cpu=$(median ${START_CPU[veluna]})
# shellcheck disable=SC2086
bare_kib=$(median ${PEAK_KIB[bare]})
# shellcheck disable=SC2086
veluna_kib=$(median ${PEAK_KIB[veluna]})

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 == 0) { print (a + 0 == 0) ? "-" : "n/a" } else printf "%.2f\n", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

start_ratio=$(ratio "$veluna_ms" "$bare_ms")
rss_ratio=$(ratio "$veluna_kib" "$bare_kib")

echo
echo "Veluna vs. a bare Qt widgets window ($REPS launches each, medians; observation windows ${OBSERVE} s)"
echo "veluna: $VELUNA_BIN (${VELUNA_BUILD_TYPE:-unknown build type}, built $VELUNA_BUILT)"
echo
printf '%-24s %12s %12s %14s\n' "" "bare" "veluna" "veluna/bare"
printf '%-24s %12s %12s %14s\n' "start ms (median)" "$bare_ms" "$veluna_ms" "$start_ratio"
printf '%-24s %12s %12s %14s\n' "(start CPU ms, median)" "$bare_cpu" "$veluna_cpu" \
    "$(ratio "$veluna_cpu" "$bare_cpu")"
printf '%-24s %12s %12s %14s\n' "peak RSS MiB" "$(mib "$bare_kib")" "$(mib "$veluna_kib")" "$rss_ratio"
printf '%-24s %12s %12s %14s\n' "idle wakeups/min" "${IDLE[bare]}" "${IDLE[veluna]}" \
    "$(ratio "${IDLE[veluna]}" "${IDLE[bare]}")"
printf '%-24s %12s %12s %14s\n' "awake wakeups/min" "${AWAKE[bare]}" "${AWAKE[veluna]}" \
    "$(ratio "${AWAKE[veluna]}" "${AWAKE[bare]}")"
printf '%-24s %12s %12s %14s\n' "(wakeups ${OBSERVE_SETTLE}-${AFTERMATH} s, count)" "${AFTER[bare]}" \
    "${AFTER[veluna]}" "$(ratio "${AFTER[veluna]}" "${AFTER[bare]}")"
echo
echo "start ms, all runs:  bare ${START_MS[bare]}| veluna ${START_MS[veluna]}"
echo "start CPU ms, all:   bare ${START_CPU[bare]}| veluna ${START_CPU[veluna]}"
echo "load average (1/5/15 min) before the launches: $LOAD_BEFORE; after: $LOAD_AFTER on $(nproc) CPUs"
if awk -v l="${LOAD_BEFORE%% *}" -v n="$(nproc)" 'BEGIN { exit !(l > n) }'; then
    echo "WARNING: the machine was busy (load above its CPU count): the wall-clock start times are"
    echo "         unreliable, the CPU row is the steadier comparison; run again when it is quiet."
fi
echo "VmHWM kB, all runs:  bare ${PEAK_KIB[bare]}| veluna ${PEAK_KIB[veluna]}"
echo "wake-ups ${OBSERVE_SETTLE}-${AFTERMATH} s after the window showed:"
echo "        bare ${AFTER_DETAIL[bare]}"
echo "        veluna ${AFTER_DETAIL[veluna]}"
echo "idle:   bare ${IDLE_DETAIL[bare]}"
echo "        veluna ${IDLE_DETAIL[veluna]}"
echo "awake:  bare ${AWAKE_DETAIL[bare]}"
echo "        veluna ${AWAKE_DETAIL[veluna]}"
if ((LOGIND)); then
    echo "veluna held an inhibition while awake: $AWAKE_HELD"
else
    echo "veluna held an inhibition while awake: unknown (no mock logind)"
fi

if ((OBSERVE < 61)); then
    echo "note: a ${OBSERVE} s window can hold no engine tick (once a minute) or one; the awake figure"
    echo "      means little below the default 120 s."
elif awk -v a="${AWAKE[veluna]}" -v b="${AWAKE[bare]}" 'BEGIN { exit !(a - b < 0.5) }'; then
    echo "note: no once-a-minute engine tick showed while awake."
fi

verdicts=()
missed=()
judge() {
    # judge LABEL OK(0/1) TEXT
    if [[ $2 == 1 ]]; then
        verdicts+=("$1 met ($3)")
    else
        verdicts+=("$1 MISSED ($3)")
        missed+=("$1")
    fi
}
le() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a + 0 <= b + 0) }' && echo 1 || echo 0; }
judge "start" "$(le "$veluna_ms" "$(awk -v b="$bare_ms" 'BEGIN { print 1.5 * b }')")" \
    "${start_ratio}x, target <= 1.5x"
judge "peak RSS" "$(le "$veluna_kib" "$(awk -v b="$bare_kib" 'BEGIN { print 1.5 * b }')")" \
    "${rss_ratio}x, target <= 1.5x"
judge "idle" "$(le "${IDLE[veluna]}" "${IDLE[bare]}")" \
    "${IDLE[veluna]}/min vs bare ${IDLE[bare]}/min, target <= bare"
awake_excess=$(awk -v a="${AWAKE[veluna]}" -v b="${AWAKE[bare]}" 'BEGIN { printf "%+.2f", a - b }')
awake_text="${awake_excess}/min over bare, target <= +3/min"
[[ $AWAKE_HELD == NO* ]] && awake_text+="; Veluna was not holding an inhibition, so this is not an awake figure"
judge "awake" "$(le "$awake_excess" 3)" "$awake_text"
echo
if ((${#missed[@]})); then
    verdict="verdict: MISSED ${missed[*]}"
else
    verdict="verdict: all targets met"
fi
sep=" — "
for v in "${verdicts[@]}"; do
    verdict+="$sep$v"
    sep="; "
done
echo "$verdict"
exit 0
