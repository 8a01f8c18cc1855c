#!/usr/bin/env bash
# The gateway beside its peers, in one table: what APRS-IS traffic costs it
# next to direwolf's IGate client, and how many status pages it serves next
# to nginx serving the same bytes.
#
#   bench/compare.sh [BUILD_DIR]        (default ./build; as root)
#
# Receive path: the same made-up feed from aprsis-test-server (BENCH_COMPARE_LINES
# lines at BENCH_COMPARE_RATE a second, then BENCH_COMPARE_FAST_LINES at full
# speed) goes to `kestrel --headless --connect` (the station of receive.sh)
# and to direwolf configured as an IGate client (IGSERVER, IGLOGIN, UDP audio
# that never comes, no AGW or KISS port), one after the other. For each, the
# CPU time (utime+stime) from its login line at the server until it has
# taken every line, scaled to 100000 lines. Both write their standard output
# to where nothing is kept (direwolf's goes through a pipe that only counts
# its "[ig>tx]" lines, to see that it took every line).
#
# Status page: build/bench/bench_web, which loads the gateway's page and
# nginx serving the same page as a static file with wrk (Connection: close),
# in the same run; its two "pages per second" figures are taken over.
#
# direwolf listens on every interface, so everything runs in a network
# namespace of its own with nothing but loopback; the namespace, the
# children and the temporary folder are removed at the end.
#
# Prints figures and judges none of them; with BENCH_SUMMARY set, adds its
# three ratios to that file for the table ./run bench ends with. Exits
# non-zero only when something could not be measured.
#
# Environment:
#   BENCH_COMPARE_LINES       lines at the fixed rate, default 30000
#   BENCH_COMPARE_RATE        lines a second for them, default 500
#   BENCH_COMPARE_FAST_LINES  lines at full speed, default 100000
#   BENCH_WEB_SECONDS         length of each wrk run, default 10
#   BENCH_UP_TIMEOUT          seconds to wait for a login, default 30
#   BENCH_TIMEOUT             seconds a run may take from the login, default 600

set -euo pipefail
export LC_ALL=C

build=${1:-./build}
lines=${BENCH_COMPARE_LINES:-30000}
rate=${BENCH_COMPARE_RATE:-500}
fast_lines=${BENCH_COMPARE_FAST_LINES:-100000}
web_seconds=${BENCH_WEB_SECONDS:-10}
up_timeout=${BENCH_UP_TIMEOUT:-30}
run_timeout=${BENCH_TIMEOUT:-600}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$here")
if ! build_abs=$(cd "$build" 2>/dev/null && pwd); then
    echo "compare.sh: no build folder $build" >&2
    exit 2
fi
kestrel=$build_abs/kestrel
zeno_host=$build_abs/zeno-host
server=$build_abs/aprsis-test-server
bench_web=$build_abs/bench/bench_web

for exe in "$kestrel" "$zeno_host" "$server" "$bench_web"; do
    if [[ ! -x $exe ]]; then
        echo "compare.sh: $exe not found; build with:" \
            "ninja -C $build kestrel zeno-host aprsis-test-server bench_web" >&2
        exit 2
    fi
done
for n in "$lines" "$rate" "$fast_lines" "$web_seconds"; do
    if ! [[ $n =~ ^[1-9][0-9]*$ ]]; then
        echo "compare.sh: BENCH_COMPARE_LINES, BENCH_COMPARE_RATE, BENCH_COMPARE_FAST_LINES" \
            "and BENCH_WEB_SECONDS must be whole numbers above 0" >&2
        exit 2
    fi
done
direwolf=$(command -v direwolf || true)
if [[ -z $direwolf ]]; then
    echo "compare.sh: direwolf is not installed (Debian package direwolf)" >&2
    exit 2
fi

# --- Into a network namespace of our own --------------------------------------

if [[ -z ${KESTREL_COMPARE_NETNS:-} ]]; then
    if ((EUID != 0)); then
        echo "compare.sh: needs root, for a network namespace of its own" >&2
        exit 2
    fi
    ip=$(PATH=$PATH:/usr/sbin:/sbin command -v ip || true)
    if [[ -z $ip ]]; then
        echo "compare.sh: ip (iproute2) is not installed" >&2
        exit 2
    fi
    ns=kestrel-compare-$$
    inner=
    # shellcheck disable=SC2317 # called by the trap
    outer_cleanup() {
        if [[ -n $inner ]] && kill -0 "$inner" 2>/dev/null; then
            kill -TERM "$inner" 2>/dev/null || true
            wait "$inner" 2>/dev/null || true
        fi
        "$ip" netns delete "$ns" 2>/dev/null || true
    }
    trap outer_cleanup EXIT
    trap 'exit 130' INT TERM
    "$ip" netns add "$ns"
    "$ip" netns exec "$ns" "$ip" link set lo up
    KESTREL_COMPARE_NETNS=$ns "$ip" netns exec "$ns" bash "$here/compare.sh" "$build_abs" &
    inner=$!
    status=0
    wait "$inner" || status=$?
    inner=
    exit "$status"
fi

# --- Inside ---------------------------------------------------------------------

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-compare.XXXXXX")
pid=
server_pid=
drain=
counter=
deadline=
client_name=
# The process has ended (it may wait to be reaped).
ended() {
    local stat
    read -r stat 2>/dev/null <"/proc/$1/stat" || return 0
    stat=${stat##*) }
    [[ ${stat:0:1} == Z ]]
}
stop_all() {
    local p sig
    for p in "$pid" "$server_pid"; do
        if [[ -n $p ]] && kill -0 "$p" 2>/dev/null; then
            # direwolf ends on SIGINT with its output flushed.
            sig=TERM
            [[ $p == "$pid" && $client_name == direwolf ]] && sig=INT
            kill -"$sig" "$p" 2>/dev/null || true
            for _ in 1 2 3 4 5 6 7 8 9 10; do
                ended "$p" && break
                sleep 0.1
            done
            kill -KILL "$p" 2>/dev/null || true
            wait "$p" 2>/dev/null || true
        fi
    done
    for p in "$drain" "$counter"; do
        [[ -n $p ]] && { wait "$p" 2>/dev/null || true; }
    done
    pid='' server_pid='' drain='' counter=''
}
cleanup() {
    stop_all
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

clk_tck=$(getconf CLK_TCK)
call=QB0ZZZ-10

# shellcheck source=bench/station.sh
source "$here/station.sh"
# shellcheck source=bench/summary.sh
source "$here/summary.sh"

fail() {
    echo "compare.sh: $1" >&2
    if [[ -s $work/client.err ]]; then
        echo "compare.sh: the client's stderr was:" >&2
        tail -20 "$work/client.err" >&2
    fi
    exit 1
}

alive() {
    kill -0 "$pid" 2>/dev/null || fail "the $client_name client ended during the run"
    ((${EPOCHREALTIME/./} < deadline)) || fail "the run took longer than ${run_timeout} s"
}

# The client under test, on 127.0.0.1:PORT; sets pid.
start_kestrel() {
    local port=$1
    make_station "$call"
    set_ini "APRS-IS Host" 127.0.0.1
    set_ini "APRS-IS Port" "$port"
    set_ini "Validation#" "$(passcode "$call")"
    "$kestrel" --headless --connect --program-dir "$work/run/program" \
        --mailbox "$work/run/mailbox" >/dev/null 2>"$work/client.err" &
    pid=$!
}

# direwolf as an IGate client only: audio over UDP that never comes, nothing
# sent on the air (no IGTXVIA), no AGW or KISS port. Its standard output goes
# to a pipe that counts the lines it took from the server.
start_direwolf() {
    local port=$1
    cat >"$work/direwolf.conf" <<EOF
ADEVICE udp:7355 null
ARATE 44100
CHANNEL 0
MYCALL $call
AGWPORT 0
KISSPORT 0
IGSERVER 127.0.0.1:$port
IGLOGIN $call $(passcode "$call")
EOF
    : >"$work/direwolf.count"
    mkfifo "$work/direwolf.out"
    grep -c '^\[ig>tx\] ' <"$work/direwolf.out" >"$work/direwolf.count" &
    counter=$!
    (cd "$work" && exec "$direwolf" -t 0 -c "$work/direwolf.conf") \
        >"$work/direwolf.out" 2>"$work/client.err" &
    pid=$!
}

# One run: the server, then the client $1 (kestrel or direwolf), COUNT lines
# at RATE (0: full speed). Sets cpu (ticks from the login until every line
# was taken) and taken_us.
run_once() {
    client_name=$1
    local count=$2 rate=$3 line port=
    local t0 c0 state last_cpu now_cpu last_busy stable
    rm -f "$work/server.out" "$work/direwolf.out"
    : >"$work/client.err"
    start_test_server "$count" "$rate" ||
        fail "the test server did not start: $(cat "$work/server.err")"
    port=$server_port

    "start_$client_name" "$port"

    t0=
    while IFS= read -r -t "$up_timeout" -u "$sout" line; do
        if [[ $line == "[aprs-is] < user "* ]]; then
            cpu_ticks "$pid" c0
            t0=${EPOCHREALTIME/./}
            login_line=${line#\[aprs-is\] < }
            break
        fi
    done
    if [[ -z $t0 ]]; then
        exec {sout}<&-
        fail "$client_name did not log in within ${up_timeout} s"
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
    wait_taken "$pid" "$port" "$client_name"
    cpu=$((last_cpu - c0))
    taken_us=$((last_busy - t0))
    stop_all
    taken_lines=
    if [[ $client_name == direwolf ]]; then
        taken_lines=$(cat "$work/direwolf.count")
    fi
}

per100k() { awk -v t="$1" -v hz="$clk_tck" -v n="$2" 'BEGIN { printf "%.2f", t / hz * 100000 / n }'; }

declare -A c100k wall seen login
for client in kestrel direwolf; do
    echo "compare: $client, $lines lines at $rate/s ..." >&2
    run_once "$client" "$lines" "$rate"
    c100k[$client,rate]=$(per100k "$cpu" "$lines")
    seen[$client,rate]=$taken_lines
    login[$client]=$login_line
    echo "compare: $client, $fast_lines lines at full speed ..." >&2
    run_once "$client" "$fast_lines" 0
    c100k[$client,fast]=$(per100k "$cpu" "$fast_lines")
    wall[$client,fast]=$(awk -v us="$taken_us" 'BEGIN { printf "%.1f", us / 1e6 }')
    seen[$client,fast]=$taken_lines
done

echo "compare: status page against nginx, ${web_seconds} s each ..." >&2
# Its own lines for ./run bench's table stay out of it: this is a second run.
web_failed=
web_out=$(BENCH_SUMMARY='' BENCH_WEB_SECONDS=$web_seconds "$bench_web" 2>&1) || web_failed=yes
mapfile -t pps < <(sed -n 's/^ *pages per second  *\([0-9.]*\) \/s.*/\1/p' <<<"$web_out")
if [[ -n $web_failed ]] || ((${#pps[@]} != 2)); then
    echo "compare.sh: bench_web could not measure the pages:" >&2
    grep -i 'not measured\|bench_web:' <<<"$web_out" >&2 || echo "$web_out" >&2
    web_failed=yes
    pps=(- -)
fi

# --- Table ----------------------------------------------------------------------

cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
dw_version=$(dpkg-query -W -f '${Version}' direwolf 2>/dev/null || echo "?")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else printf "-" }'; }
# met? of Kestrel's $1 against the peer's $2: their ratio under ($4 = le)
# or at least ($4 = ge) the target $3, judged on the figures, not the
# rounded ratio.
met() {
    awk -v a="$1" -v b="$2" -v t="$3" -v how="$4" 'BEGIN {
        if (b <= 0) { print "-"; exit }
        r = a / b
        print (how == "le" ? r < t : r >= t) ? "yes" : "NO" }'
}
row() { printf '  %-44s %10s %10s %7s %8s  %s\n' "$@"; }

r_rate=$(ratio "${c100k[kestrel,rate]}" "${c100k[direwolf,rate]}")
r_fast=$(ratio "${c100k[kestrel,fast]}" "${c100k[direwolf,fast]}")
r_web=-
[[ -z $web_failed ]] && r_web=$(ratio "${pps[0]}" "${pps[1]}")

echo
echo "Kestrel beside its peers on $cpu_model, $(nproc) cores"
echo "  (everything in a network namespace with only loopback; single runs vary by 20 % or more)"
row "measure" "Kestrel" "peer" "ratio" "target" "met?"
row "--------------------------------------------" "----------" "----------" "-------" "--------" "----"
row "CPU s per 100000 lines at $rate/s" "${c100k[kestrel,rate]}" "${c100k[direwolf,rate]}" \
    "$r_rate" "< 0.25" "$(met "${c100k[kestrel,rate]}" "${c100k[direwolf,rate]}" 0.25 le)"
row "CPU s per 100000 lines at full speed" "${c100k[kestrel,fast]}" "${c100k[direwolf,fast]}" \
    "$r_fast" "< 0.25" "$(met "${c100k[kestrel,fast]}" "${c100k[direwolf,fast]}" 0.25 le)"
row "status pages per second, Connection: close" "${pps[0]}" "${pps[1]}" \
    "$r_web" ">= 0.50" "$(met "${pps[0]}" "${pps[1]}" 0.5 ge)"
echo
echo "  peer of the CPU rows: direwolf $dw_version as an IGate client (receive only: no"
echo "    IGTXVIA, so per line it reads the socket a byte at a time, prints the line and"
echo "    notes its sender; it decodes nothing); Kestrel: the receive.sh station, stdout"
echo "    to /dev/null. Same feed: lines of 80-100 bytes from aprsis-test-server."
echo "    $lines lines at $rate/s ($((lines / rate)) s, in batches every 20 ms), and $fast_lines"
echo "    lines as fast as each reads them (login to the last line: Kestrel" \
    "${wall[kestrel,fast]} s, direwolf ${wall[direwolf,fast]} s)."
echo "    CPU: utime+stime of the whole process from its login line to the last line taken."
echo "    Lines direwolf printed as taken: ${seen[direwolf,rate]} of $lines, ${seen[direwolf,fast]} of $fast_lines."
echo "    Logins: Kestrel \"${login[kestrel]}\"; direwolf \"${login[direwolf]}\"."
echo "  peer of the page row: nginx, one worker, the same page as a static file;"
echo "    wrk -t2 -c50 -d${web_seconds}s, in build/bench/bench_web."

summary "beside peers" "receive CPU, Kestrel / direwolf, at $rate/s" "$r_rate" "< 0.25"
summary "beside peers" "  the same at full speed" "$r_fast" "< 0.25"
summary "beside peers" "status pages, Kestrel / nginx" "$r_web" ">= 0.50"
[[ -z $web_failed ]]
