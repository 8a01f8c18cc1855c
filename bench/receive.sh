#!/usr/bin/env bash
# Receive-path figures of the headless gateway: what APRS-IS traffic costs.
#
#   bench/receive.sh [BUILD_DIR]        (default ./build)
#
# Each run gets a fresh program folder (the demo one, with a 300-row MHeard
# list and a 300-row positions list), a fresh host mailbox made by zeno-host,
# and its own aprsis-test-server on a free loopback port, which kestrel.ini
# names as APRS-IS server. The gateway starts with --connect, its standard
# output going to /dev/null; once it has logged in, the server pushes
# made-up packet lines of 80 to 100 bytes. Nothing leaves this machine, and
# everything lives in a temporary folder that is removed at the end.
#
# Figures, each without and with --list-all (every line listed and printed):
#   CPU per 100000 lines   utime+stime of the gateway from its login until it
#                          has taken BENCH_LINES lines sent at BENCH_RATE a
#                          second, scaled to 100000 lines
#   lines per second       BENCH_FAST_LINES lines sent as fast as the gateway
#                          reads them, divided by the CPU time they took; and
#                          the wall time the server took to send them
#   resident memory        VmRSS at the login and after BENCH_MEM_LINES lines
#                          at full speed, with the peak (VmHWM)
#
# The gateway has taken every line when both ends of the connection have
# empty queues (/proc/net/tcp) and its CPU time has stopped growing for a
# second.
#
# The script prints figures and judges none of them. It exits non-zero only
# when a run could not be measured: the gateway did not log in, the link
# closed, or a run took longer than BENCH_TIMEOUT seconds.

set -euo pipefail
export LC_ALL=C # EPOCHREALTIME with a "." and plain byte handling in printf

build=${1:-./build}
lines=${BENCH_LINES:-20000}
rate=${BENCH_RATE:-500}
fast_lines=${BENCH_FAST_LINES:-200000}
mem_lines=${BENCH_MEM_LINES:-100000}
up_timeout=${BENCH_UP_TIMEOUT:-20}
run_timeout=${BENCH_TIMEOUT:-600}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$here")
if ! build_abs=$(cd "$build" 2>/dev/null && pwd); then
    echo "receive.sh: no build folder $build" >&2
    exit 2
fi
kestrel=$build_abs/kestrel
zeno_host=$build_abs/zeno-host
server=$build_abs/aprsis-test-server

for exe in "$kestrel" "$zeno_host" "$server"; do
    if [[ ! -x $exe ]]; then
        echo "receive.sh: $exe not found; build with:" \
            "ninja -C $build kestrel zeno-host aprsis-test-server" >&2
        exit 2
    fi
done
for n in "$lines" "$rate" "$fast_lines" "$mem_lines"; do
    if ! [[ $n =~ ^[1-9][0-9]*$ ]]; then
        echo "receive.sh: BENCH_LINES, BENCH_RATE, BENCH_FAST_LINES and BENCH_MEM_LINES" \
            "must be whole numbers above 0" >&2
        exit 2
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench.XXXXXX")
pid=
server_pid=
drain=
deadline=
stop_all() {
    local p
    for p in "$pid" "$server_pid"; do
        if [[ -n $p ]] && kill -0 "$p" 2>/dev/null; then
            kill -TERM "$p" 2>/dev/null || true
            wait "$p" 2>/dev/null || true
        fi
    done
    if [[ -n $drain ]]; then
        wait "$drain" 2>/dev/null || true
    fi
    pid= server_pid= drain=
}
cleanup() {
    stop_all
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

clk_tck=$(getconf CLK_TCK)
call=QB0ZZZ-10

# --- Station -----------------------------------------------------------------

# shellcheck source=bench/station.sh
source "$here/station.sh"
# shellcheck source=bench/summary.sh
source "$here/summary.sh"

# A fresh program folder and mailbox under $work/run, with APRS-IS at
# 127.0.0.1:PORT and the passcode of the station's call.
prepare_station() {
    local port=$1
    make_station "$call"
    set_ini "APRS-IS Host" 127.0.0.1
    set_ini "APRS-IS Port" "$port"
    set_ini "Validation#" "$(passcode "$call")"
}

# --- Measures ----------------------------------------------------------------

fail() {
    echo "receive.sh: $1" >&2
    if [[ -s $work/run/stderr ]]; then
        echo "receive.sh: the gateway's stderr was:" >&2
        cat "$work/run/stderr" >&2
    fi
    exit 1
}

# The gateway still runs, and the run is within its time.
alive() {
    kill -0 "$pid" 2>/dev/null || fail "the gateway ended during the run"
    ((${EPOCHREALTIME/./} < deadline)) || fail "the run took longer than ${run_timeout} s"
}

# One run: server and gateway, COUNT lines at RATE (0: full speed). Sets
# cpu (ticks from the login until every line was taken), sent_s (the
# server's own sending time), taken_us (login until the last line was
# taken), rss0_kb (VmRSS at the login), rss1_kb, hwm_kb (after the run).
run_once() {
    local count=$1 rate=$2 list_all=$3 line port=
    local t0 c0 state last_cpu now_cpu last_busy stable
    rm -f "$work/server.out"
    start_test_server "$count" "$rate" ||
        fail "the test server did not start: $(cat "$work/server.err")"
    port=$server_port

    prepare_station "$port"
    local options=(--headless --connect --program-dir "$work/run/program"
        --mailbox "$work/run/mailbox")
    [[ $list_all == yes ]] && options+=(--list-all)
    "$kestrel" "${options[@]}" >/dev/null 2>"$work/run/stderr" &
    pid=$!

    # The server prints the login line before it sends anything.
    t0=
    while IFS= read -r -t "$up_timeout" -u "$sout" line; do
        if [[ $line == "[aprs-is] < user "* ]]; then
            cpu_ticks "$pid" c0
            t0=${EPOCHREALTIME/./}
            rss0_kb=$(status_kb "$pid" VmRSS)
            break
        fi
    done
    if [[ -z $t0 ]]; then
        exec {sout}<&-
        fail "the gateway did not log in within ${up_timeout} s"
    fi
    : >"$work/server.out"
    cat <&"$sout" >>"$work/server.out" &
    drain=$!
    exec {sout}<&-

    deadline=$((t0 + run_timeout * 1000000))
    until grep -q '^aprsis-test-server: sent ' "$work/server.out"; do
        alive
        sleep 0.2
    done
    sent_s=$(sed -n 's/^aprsis-test-server: sent [0-9]* lines in \([0-9.]*\) s$/\1/p' \
        "$work/server.out")

    wait_taken "$pid" "$port" "the gateway"
    cpu=$((last_cpu - c0))
    taken_us=$((last_busy - t0))
    rss1_kb=$(status_kb "$pid" VmRSS)
    hwm_kb=$(status_kb "$pid" VmHWM)
    stop_all
}

# --- Runs --------------------------------------------------------------------

declare -A cpu100k speed sent wall rss0 rss1 hwm cpu_s
for mode in no yes; do
    label=$([[ $mode == yes ]] && echo " with --list-all" || echo "")
    echo "Receive path$label: $lines lines at $rate/s ..." >&2
    run_once "$lines" "$rate" "$mode"
    cpu100k[$mode]=$(awk -v t="$cpu" -v hz="$clk_tck" -v n="$lines" \
        'BEGIN { printf "%.2f", t / hz * 100000 / n }')

    echo "Receive path$label: $fast_lines lines at full speed ..." >&2
    run_once "$fast_lines" 0 "$mode"
    cpu_s[$mode]=$(awk -v t="$cpu" -v hz="$clk_tck" 'BEGIN { printf "%.2f", t / hz }')
    speed[$mode]=$(awk -v t="$cpu" -v hz="$clk_tck" -v n="$fast_lines" \
        'BEGIN { printf "%.0f", (t > 0 ? n / (t / hz) : 0) }')
    sent[$mode]=$sent_s
    wall[$mode]=$(awk -v us="$taken_us" 'BEGIN { printf "%.2f", us / 1e6 }')

    echo "Receive path$label: $mem_lines lines at full speed, memory ..." >&2
    run_once "$mem_lines" 0 "$mode"
    rss0[$mode]=$(awk -v kb="$rss0_kb" 'BEGIN { printf "%.1f", kb / 1024 }')
    rss1[$mode]=$(awk -v kb="$rss1_kb" 'BEGIN { printf "%.1f", kb / 1024 }')
    hwm[$mode]=$(awk -v kb="$hwm_kb" 'BEGIN { printf "%.1f", kb / 1024 }')
done

# --- Table -------------------------------------------------------------------

row() { printf '  %-36s %10s  %s\n' "$1" "$2" "$3"; }
rule() { printf '  %s\n' "--------------------------------------------------------------------------"; }
echo
echo "Kestrel headless receive path ($(basename "$kestrel"), 300-row lists, lines of 80-100 bytes)"
for mode in no yes; do
    rule
    if [[ $mode == yes ]]; then
        echo "  with --list-all (every line listed and printed)"
    else
        echo "  stdout to /dev/null"
    fi
    row "CPU per 100000 lines at $rate/s" "${cpu100k[$mode]} s" \
        "$lines lines, scaled; target <= 1.5 s"
    row "lines per second on one core" "${speed[$mode]}" \
        "$fast_lines lines in ${cpu_s[$mode]} s CPU; target >= 50000"
    row "wall time for $fast_lines lines" "${wall[$mode]} s" \
        "login to the last line taken; server sent in ${sent[$mode]} s"
    row "resident memory at login" "${rss0[$mode]} MB" "VmRSS"
    row "resident memory after $mem_lines lines" "${rss1[$mode]} MB" \
        "VmRSS; peak ${hwm[$mode]} MB (VmHWM); target 25 MB"
done
rule
summary "receive path" "CPU per 100000 lines at $rate/s" "${cpu100k[no]} s" "<= 1.5 s"
summary "receive path" "  the same with --list-all" "${cpu100k[yes]} s"
summary "receive path" "lines per second on one core" "${speed[no]}" ">= 50000"
summary "receive path" "resident memory after $mem_lines lines" "${rss1[no]} MB" "25 MB"
