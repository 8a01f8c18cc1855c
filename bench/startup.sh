#!/usr/bin/env bash
# Start-up and idle figures of the headless gateway.
#
#   bench/startup.sh [BUILD_DIR]        (default ./build)
#
# Each run gets a fresh program folder (the demo one, with a 300-row MHeard
# list and a 300-row positions list) and a fresh host mailbox made by
# zeno-host. Nothing leaves this machine: no run connects to APRS-IS, and
# everything lives in a temporary folder that is removed at the end.
#
# Figures:
#   first Timer6 tick   process start to the first "Host: " line on stdout
#                       (the first status poll), median of BENCH_RUNS runs
#   resident memory     VmRSS once that line is out, median of the runs;
#                       and again at the end of the idle window
#   idle CPU            utime+stime over BENCH_IDLE_SECONDS (default 60) of
#                       an idle gateway, in % of one core
#   shutdown            SIGTERM to exit, median of all runs
#
# The script prints figures and judges none of them. It exits non-zero only
# when a run could not be measured: the gateway did not come up, or did not
# exit with status 0 on SIGTERM.

set -euo pipefail
export LC_ALL=C # EPOCHREALTIME with a "." and plain byte handling in printf

build=${1:-./build}
runs=${BENCH_RUNS:-5}
idle_seconds=${BENCH_IDLE_SECONDS:-60}
up_timeout=${BENCH_UP_TIMEOUT:-20}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$here")
if ! build_abs=$(cd "$build" 2>/dev/null && pwd); then
    echo "startup.sh: no build folder $build" >&2
    exit 2
fi
kestrel=$build_abs/kestrel
zeno_host=$build_abs/zeno-host

for exe in "$kestrel" "$zeno_host"; do
    if [[ ! -x $exe ]]; then
        echo "startup.sh: $exe not found; build with: ninja -C $build kestrel zeno-host" >&2
        exit 2
    fi
done
if ! [[ $runs =~ ^[1-9][0-9]*$ && $idle_seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "startup.sh: BENCH_RUNS and BENCH_IDLE_SECONDS must be whole numbers above 0" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench.XXXXXX")
pid=
drain=
cleanup() {
    if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    if [[ -n $drain ]]; then
        wait "$drain" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

clk_tck=$(getconf CLK_TCK)

# --- Station -----------------------------------------------------------------

# shellcheck source=bench/station.sh
source "$here/station.sh"
# shellcheck source=bench/summary.sh
source "$here/summary.sh"

prepare_station() {
    make_station QB0ZZZ-10
}

# --- One gateway -------------------------------------------------------------

now_us() { echo "${EPOCHREALTIME/./}"; }

median() { # numbers on the arguments
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

cpu_ticks() { # utime + stime, fields 14 and 15; the name in () may hold blanks
    local stat
    stat=$(<"/proc/$1/stat")
    stat=${stat##*) }
    read -r -a f <<<"$stat"
    echo $((f[11] + f[12]))
}

# Starts the gateway and waits for its first "Host: " line. Sets pid,
# up_us (start to that line) and drain (the reader of the rest of stdout).
start_gateway() {
    local run=$work/run fifo=$work/run/stdout line t0
    mkfifo "$fifo"
    t0=$(now_us)
    "$kestrel" --headless --program-dir "$run/program" --mailbox "$run/mailbox" \
        >"$fifo" 2>"$run/stderr" &
    pid=$!
    exec {out}<"$fifo"
    up_us=
    while IFS= read -r -t "$up_timeout" -u "$out" line; do
        if [[ $line == "Host: "* ]]; then
            up_us=$(($(now_us) - t0))
            break
        fi
    done
    if [[ -z $up_us ]]; then
        echo "startup.sh: no \"Host: \" line within ${up_timeout} s; stderr was:" >&2
        cat "$run/stderr" >&2
        exec {out}<&-
        exit 1
    fi
    # Keep reading so the gateway never blocks on a full pipe.
    cat <&"$out" >/dev/null &
    drain=$!
    exec {out}<&-
}

# SIGTERM, then the exit status and the time to exit. Sets status, down_us.
stop_gateway() {
    local t0
    t0=$(now_us)
    kill -TERM "$pid"
    status=0
    wait "$pid" || status=$?
    down_us=$(($(now_us) - t0))
    pid=
    wait "$drain" 2>/dev/null || true
    drain=
    if ((status != 0)); then
        echo "startup.sh: the gateway exited with status $status on SIGTERM; stderr was:" >&2
        cat "$work/run/stderr" >&2
        bad_exits=$((bad_exits + 1))
    fi
}

# --- Runs --------------------------------------------------------------------

bad_exits=0
up_ms=()
rss_start=()
down_ms=()

for ((r = 1; r <= runs; r++)); do
    prepare_station
    start_gateway
    rss_start+=("$(rss_kb "$pid")")
    up_ms+=("$(awk -v us="$up_us" 'BEGIN { printf "%.1f", us / 1000 }')")
    stop_gateway
    down_ms+=("$(awk -v us="$down_us" 'BEGIN { printf "%.1f", us / 1000 }')")
done

echo "Idle gateway: measuring CPU over ${idle_seconds} s ..." >&2
prepare_station
start_gateway
sleep 1 # let start-up's own work finish before the window opens
c0=$(cpu_ticks "$pid")
w0=$(now_us)
sleep "$idle_seconds"
c1=$(cpu_ticks "$pid")
w1=$(now_us)
rss_idle=$(rss_kb "$pid")
stop_gateway
down_ms+=("$(awk -v us="$down_us" 'BEGIN { printf "%.1f", us / 1000 }')")

# --- Table -------------------------------------------------------------------

up_median=$(median "${up_ms[@]}")
mapfile -t up_sorted < <(printf '%s\n' "${up_ms[@]}" | sort -n)
up_range="${up_sorted[0]} .. ${up_sorted[-1]}"
rss_median_mb=$(awk -v kb="$(median "${rss_start[@]}")" 'BEGIN { printf "%.1f", kb / 1024 }')
rss_idle_mb=$(awk -v kb="$rss_idle" 'BEGIN { printf "%.1f", kb / 1024 }')
cpu_pct=$(awk -v t="$((c1 - c0))" -v hz="$clk_tck" -v us="$((w1 - w0))" \
    'BEGIN { printf "%.3f", t / hz / (us / 1e6) * 100 }')
cpu_ms=$(awk -v t="$((c1 - c0))" -v hz="$clk_tck" 'BEGIN { printf "%.0f", t * 1000 / hz }')
window_s=$(awk -v us="$((w1 - w0))" 'BEGIN { printf "%.1f", us / 1e6 }')
down_median=$(median "${down_ms[@]}")
total=$((runs + 1))

row() { printf '  %-34s %12s  %s\n' "$1" "$2" "$3"; }
echo
echo "Kestrel headless start-up ($(basename "$kestrel"), $runs runs, 300-row lists)"
printf '  %s\n' "--------------------------------------------------------------------------"
row "start to first Timer6 tick" "$up_median ms" "median; range $up_range ms"
row "resident memory after start" "$rss_median_mb MB" "VmRSS, median"
row "resident memory after idle" "$rss_idle_mb MB" "VmRSS at the end of the idle window"
row "idle CPU" "$cpu_pct %" "of one core over $window_s s ($cpu_ms ms CPU); target < 0.5 %"
row "SIGTERM to exit" "$down_median ms" "median"
row "exit status 0 on SIGTERM" "$((total - bad_exits))/$total" "runs"
printf '  %s\n' "--------------------------------------------------------------------------"
summary start-up "start to first Timer6 tick" "$up_median ms" "median of $runs"
summary start-up "resident memory after start" "$rss_median_mb MB"
summary start-up "idle CPU" "$cpu_pct %" "< 0.5 % of a core"
summary start-up "SIGTERM to exit" "$down_median ms"

((bad_exits == 0)) || exit 1
