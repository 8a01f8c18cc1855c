#!/usr/bin/env bash
# The whole headless station under a steady load for a long while: does it
# level off, and does every RF frame still reach APRS-IS?
#
#   bench/soak.sh [BUILD_DIR]           (default ./build)
#
# For BENCH_SOAK_SECONDS (default 600), all at once and all on loopback:
#   - aprsis-test-server pushes BENCH_SOAK_RATE (200) made-up lines a second
#     to the logged-in gateway;
#   - a new monitor text goes into the host mailbox (zeno-host rx) every 2 s:
#     a position from one of 40 made-up calls, each text different, which the
#     gateway is to gate as CALL>APRS,RS0ISS*,qAR,OURCALL:...;
#   - curl loads the status page BENCH_SOAK_PAGES (20) times a second;
#   - the ISS object asks http-test-server for the ISS page once a minute
#     (SIGUSR1 asks for the first one at the login).
# The station is the benchmarks' one (station.sh: the demo program folder,
# 300-row lists, a mailbox made by zeno-host), with kestrel.ini naming the
# test server and a free web server port, and services.ini the test page.
#
# Every minute it prints the gateway's VmRSS, its open descriptors
# (/proc/PID/fd), the CPU time it used in that minute, the lines pushed to it
# so far (the rate times the time since the login) and the bytes still
# unread at either end of the link (/proc/net/tcp), the lines the server received
# from it, frames put and gated, pages loaded, and the ISS pages the look-up
# server answered. The last counts the bytes the look-up server has written
# (/proc/PID/io wchar) in answers: its page is padded to 16 kB so that the
# few bytes its event loop writes besides do not count as an answer.
#
# At the end, a line per figure:
#   resident memory   levelled off when it grew by at most 128 kB a minute
#                     over the second half of the run (first-minute growth,
#                     which holds the start-up, shown beside it)
#   open descriptors  levelled off when the last count is at most 2 above
#                     the count after the first minute
#   frames gated      N of M: the frames whose qAR line reached the server,
#                     with the time from the mailbox write to the server
#   pages, ISS pages, the link's logins, the exit status on SIGTERM
#
# Exit status: 0 when every frame was gated; 1 when a frame was not (said
# clearly); 2 when it could not measure (the station did not come up, the
# gateway ended during the run, a tool is missing). Everything lives in a
# temporary folder that is removed at the end, and every process it started
# is ended on exit, Ctrl-C or SIGTERM.

set -euo pipefail
export LC_ALL=C # EPOCHREALTIME with a "." and plain byte handling

build=${1:-./build}
seconds=${BENCH_SOAK_SECONDS:-600}
rate=${BENCH_SOAK_RATE:-200}
pages_rate=${BENCH_SOAK_PAGES:-20}
up_timeout=${BENCH_UP_TIMEOUT:-20}
frame_every=2  # seconds each frame stands in the mailbox
grace=5        # seconds the last frame may take beyond that

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$here")

cannot() {
    echo "soak.sh: cannot measure: $1" >&2
    exit 2
}

if ! build_abs=$(cd "$build" 2>/dev/null && pwd); then
    cannot "no build folder $build"
fi
kestrel=$build_abs/kestrel
zeno_host=$build_abs/zeno-host
server=$build_abs/aprsis-test-server
http_server=$build_abs/http-test-server
for exe in "$kestrel" "$zeno_host" "$server" "$http_server"; do
    [[ -x $exe ]] || cannot "$exe not found; build with: ninja -C $build kestrel zeno-host aprsis-test-server http-test-server"
done
command -v curl >/dev/null || cannot "curl is not installed"
for n in "$seconds" "$rate" "$pages_rate" "$up_timeout"; do
    [[ $n =~ ^[1-9][0-9]*$ ]] ||
        cannot "BENCH_SOAK_SECONDS, BENCH_SOAK_RATE, BENCH_SOAK_PAGES and BENCH_UP_TIMEOUT must be whole numbers above 0"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-soak.XXXXXX")
pid='' server_pid='' http_pid='' curl_pid='' drain=''
stop() { # stop PID: SIGTERM, then wait for it
    if [[ -n $1 ]] && kill -0 "$1" 2>/dev/null; then
        kill -TERM "$1" 2>/dev/null || true
    fi
    if [[ -n $1 ]]; then
        wait "$1" 2>/dev/null || true
    fi
}
cleanup() {
    stop "$curl_pid"
    stop "$pid"
    stop "$http_pid"
    stop "$server_pid"
    stop "$drain"
    curl_pid='' pid='' http_pid='' server_pid='' drain=''
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

clk_tck=$(getconf CLK_TCK)
call=QB0SOK-10

# --- Helpers -----------------------------------------------------------------

# shellcheck source=bench/station.sh
source "$here/station.sh"
# shellcheck source=bench/summary.sh
source "$here/summary.sh"

# A loopback port no socket of this machine uses, outside the ephemeral range.
free_port() {
    local used p i
    used=" $(awk 'FNR > 1 { n = split($2, a, ":"); printf "%s ", a[n] }' \
        /proc/net/tcp /proc/net/tcp6 2>/dev/null) "
    for ((i = 0; i < 200; i++)); do
        p=$((20000 + RANDOM % 12000))
        if [[ $used != *" $(printf '%04X' "$p") "* ]]; then
            echo "$p"
            return 0
        fi
    done
    return 1
}

# Whether something listens on loopback PORT.
listening() {
    awk -v port="$(printf ':%04X' "$1")" '
        FNR > 1 && $4 == "0A" && substr($2, length($2) - 4) == port { found = 1 }
        END { exit !found }' /proc/net/tcp /proc/net/tcp6 2>/dev/null
}

# Bytes waiting in the send and receive queues of the connections to
# loopback PORT, both ends; "closed" without one.
unread_bytes() {
    awk -v port="$(printf ':%04X' "$1")" '
        FNR > 1 && $4 == "01" && (substr($2, length($2) - 4) == port ||
                                  substr($3, length($3) - 4) == port) {
            n++
            split($5, q, ":")
            # The queues are in hex; mawk reads no hex numbers.
            for (i = 1; i <= 2; i++) {
                v = 0; s = toupper(q[i])
                for (j = 1; j <= length(s); j++)
                    v = v * 16 + index("0123456789ABCDEF", substr(s, j, 1)) - 1
                total += v
            }
        }
        END { if (n == 0) print "closed"; else print total }' /proc/net/tcp
}

fd_count() {
    local fds=("/proc/$1/fd/"*)
    echo "${#fds[@]}"
}

now_us() { echo "${EPOCHREALTIME/./}"; }

show_stderr() {
    if [[ -s $work/kestrel.err ]]; then
        echo "soak.sh: the gateway's stderr was:" >&2
        tail -n 40 "$work/kestrel.err" >&2
    fi
}

# --- Test APRS-IS server -----------------------------------------------------

# Lines enough for the whole run and some; it is stopped before they end.
count=$((rate * (seconds + 600)))
start_test_server "$count" "$rate" ||
    cannot "the test APRS-IS server did not start: $(cat "$work/server.err")"
aprsis_port=$server_port
# Each line the server prints, with the time it printed it.
(
    while IFS= read -r line; do
        printf '%s %s\n' "$EPOCHREALTIME" "$line"
    done
) <&"$sout" >"$work/server.out" &
drain=$!
exec {sout}<&-

# --- Look-up service ---------------------------------------------------------

# The demo's ISS page, padded to 16 kB (see the top).
page=$work/iss-page.html
cp "$source_dir/demo/iss-page.html" "$page"
printf '<!-- %s -->\n' "$(head -c 16384 /dev/zero | tr '\0' '.')" >>"$page"
body_bytes=$(stat -c %s "$page")
printf -v answer 'HTTP/1.1 200 Test\r\nContent-Type: text/html\r\nContent-Length: %d\r\nConnection: close\r\n\r\n' \
    "$body_bytes"
answer_bytes=$((${#answer} + body_bytes))

http_port=
for _ in 1 2 3 4 5; do
    p=$(free_port) || break
    "$http_server" --port "$p" --page "$page" >/dev/null 2>"$work/http.err" &
    http_pid=$!
    for _ in $(seq 50); do
        listening "$p" && break
        kill -0 "$http_pid" 2>/dev/null || break
        sleep 0.1
    done
    if listening "$p" && kill -0 "$http_pid" 2>/dev/null; then
        http_port=$p
        break
    fi
    stop "$http_pid"
    http_pid=
done
[[ -n $http_port ]] || cannot "http-test-server did not listen: $(cat "$work/http.err")"

# Answers the look-up server has written: its written bytes, whole answers.
iss_served() {
    local wchar
    wchar=$(awk '$1 == "wchar:" { print $2 }' "/proc/$http_pid/io" 2>/dev/null) || wchar=
    if [[ -n $wchar ]]; then echo $((wchar / answer_bytes)); else echo "?"; fi
}

# --- Station -----------------------------------------------------------------

web_port=$(free_port) || cannot "no free port for the web server"
make_station "$call"
set_ini "APRS-IS Host" 127.0.0.1
set_ini "APRS-IS Port" "$aprsis_port"
set_ini "Validation#" "$(passcode "$call")"
set_ini "Web Server YES/NO" " 1"
set_ini "Web Server Port" "$web_port"
set_ini "ISS Object" " 1"
printf '[services]\r\naprs_lookup_host=127.0.0.1:%s\r\n' "$http_port" \
    >"$work/run/program/services.ini"

"$kestrel" --headless --connect --web-address 127.0.0.1 \
    --program-dir "$work/run/program" --mailbox "$work/run/mailbox" \
    >"$work/kestrel.out" 2>"$work/kestrel.err" &
pid=$!

deadline=$(($(now_us) + up_timeout * 1000000))
until grep -q '\[aprs-is\] < user ' "$work/server.out"; do
    if ! kill -0 "$pid" 2>/dev/null; then
        show_stderr
        cannot "the gateway ended before it logged in"
    fi
    if (($(now_us) > deadline)); then
        show_stderr
        cannot "the gateway did not log in within ${up_timeout} s"
    fi
    sleep 0.1
done
t0=$(now_us)
cpu0=0
cpu_ticks "$pid" cpu0
rss0=$(status_kb "$pid" VmRSS)
fd0=$(fd_count "$pid")
kill -USR1 "$pid"
until listening "$web_port"; do
    kill -0 "$pid" 2>/dev/null || { show_stderr; cannot "the gateway ended at start"; }
    (($(now_us) < t0 + up_timeout * 1000000)) ||
        cannot "the web server did not listen on 127.0.0.1:$web_port"
    sleep 0.1
done

# --- Load --------------------------------------------------------------------

# The status page: one curl, one URL per load, at most BENCH_SOAK_PAGES a
# second; a line per load: status, bytes, the length the header gave.
curl -s --rate "${pages_rate}/s" --max-time 10 -o /dev/null \
    -w '%{stderr}%{http_code} %{size_download} %header{content-length}\n' \
    "http://127.0.0.1:$web_port/soak?n=[1-$((pages_rate * (seconds + 600)))]" \
    2>"$work/pages.out" &
curl_pid=$!

# Pages loaded so far: "whole of tried" (whole: status 200, the length given).
pages_count() {
    awk '{ n++ } $1 == "200" && $2 == $3 { ok++ } END { printf "%d/%d", ok, n }' \
        "$work/pages.out"
}

letters=ABCDEFGHIJKLMNOPQRSTUVWXYZ
# Frame I: its monitor text (zeno-host's escapes) into $rx, and the line the
# server is to receive into $expect. 40 calls in turn; the text is new each
# time.
frame() {
    local i=$1 k=$(($1 % 40)) src info hms
    src=QD$((k % 10))${letters:k / 10:1}${letters:k * 7 % 26:1}${letters:k * 11 % 26:1}-$((k % 15 + 1))
    printf -v info '!48%02d.%02dN/011%02d.%02dE-Soak frame %d' \
        $((i % 60)) $((i * 7 % 100)) $((i * 13 % 60)) $((i * 3 % 100)) "$i"
    printf -v hms '%(%H:%M:%S)T' -1
    rx=" 1:Fm $src To APRS Via RS0ISS* <UI pid=F0 Len=${#info} >[$hms]\\r$info"
    expect="$src>APRS,RS0ISS*,qAR,$call:$info"
}

declare -a expected put_us
frames=0
gated_count() { grep -c -F ",qAR,$call:!48" "$work/server.out" || true; }

row() { printf '%5s %8s %5s %7s %7s %9s %8s %8s %11s %13s %5s\n' "$@"; }
echo "Kestrel soak: ${seconds} s, $rate APRS-IS lines/s, a frame every ${frame_every} s," \
    "$pages_rate pages/s, ISS page once a minute ($(basename "$kestrel"), call $call)"
row min "RSS MB" fds "CPU s" "CPU %" "lines in" unread "to IS" "frames p/g" "pages ok/all" ISS
printf -v rss_mb '%d.%d' $((rss0 / 1024)) $((rss0 % 1024 * 10 / 1024))
row 0 "$rss_mb" "$fd0" - - 0 - - 0/0 0/0 0

declare -a rss_at fd_at
rss_at[0]=$rss0
fd_at[0]=$fd0
cpu_last=$cpu0
minute=0
report() { # report INDEX LABEL
    local cpu rss fds el_us lines unread span
    cpu_ticks "$pid" cpu
    rss=$(status_kb "$pid" VmRSS)
    fds=$(fd_count "$pid")
    el_us=$(($(now_us) - t0))
    span=$((el_us - last_report_us))
    last_report_us=$el_us
    lines=$((rate * el_us / 1000000))
    unread=$(unread_bytes "$aprsis_port")
    rss_at[$1]=$rss
    fd_at[$1]=$fds
    local cpu_s cpu_pct
    cpu_s=$(awk -v t=$((cpu - cpu_last)) -v hz="$clk_tck" 'BEGIN { printf "%.2f", t / hz }')
    cpu_pct=$(awk -v t=$((cpu - cpu_last)) -v hz="$clk_tck" -v us="$span" \
        'BEGIN { printf "%.1f", (us > 0 ? 100 * t / hz / (us / 1e6) : 0) }')
    cpu_last=$cpu
    printf -v rss_mb '%d.%d' $((rss / 1024)) $((rss % 1024 * 10 / 1024))
    row "$2" "$rss_mb" "$fds" "$cpu_s" "$cpu_pct" "$lines" "$unread" \
        "$(($(grep -c '\[aprs-is\] < ' "$work/server.out") - 1))" \
        "$frames/$(gated_count)" "$(pages_count)" "$(iss_served)"
}
last_report_us=0

# --- Run ---------------------------------------------------------------------

ended() {
    echo "soak.sh: the gateway ended during the run, after $((($(now_us) - t0) / 1000000)) s" >&2
    wait "$pid" 2>/dev/null && echo "soak.sh: its exit status was 0" >&2 ||
        echo "soak.sh: its exit status was $?" >&2
    pid=
    show_stderr
    exit 2
}

end_us=$((t0 + seconds * 1000000))
next=$(now_us)
while :; do
    now=$(now_us)
    # Minute reports are due at whole minutes from the login.
    while ((minute < seconds / 60 && now >= t0 + (minute + 1) * 60000000)); do
        minute=$((minute + 1))
        kill -0 "$pid" 2>/dev/null || ended
        report "$minute" "$minute"
    done
    # The last frame stands its 2 s like every other.
    ((now + frame_every * 1000000 <= end_us)) || break
    if ((now >= next)); then
        kill -0 "$pid" 2>/dev/null || ended
        frame "$frames"
        "$zeno_host" --mailbox "$work/run/mailbox" rx -- "$rx" >/dev/null
        put_us[frames]=$(now_us)
        expected[frames]=$expect
        frames=$((frames + 1))
        next=$((next + frame_every * 1000000))
    fi
    wait_us=$(((next < t0 + (minute + 1) * 60000000 ? next : t0 + (minute + 1) * 60000000) - $(now_us)))
    if ((wait_us > 0)); then
        sleep "$((wait_us / 1000000)).$(printf '%06d' $((wait_us % 1000000)))"
    fi
done
while (($(now_us) < end_us)); do sleep 0.1; done
kill -0 "$pid" 2>/dev/null || ended
while ((minute < seconds / 60)); do
    minute=$((minute + 1))
    report "$minute" "$minute"
done
if ((seconds % 60)); then
    minute=$((minute + 1))
    report "$minute" "$((seconds / 60)):$(printf '%02d' $((seconds % 60)))"
fi

# The last frame's grace, then the load stops and the gateway ends.
deadline=$(($(now_us) + grace * 1000000))
while (($(gated_count) < frames && $(now_us) < deadline)); do sleep 0.2; done
stop "$curl_pid"
curl_pid=
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=

# --- Verdicts ----------------------------------------------------------------

# Each frame's line as the server printed it, with the time.
declare -A seen_us
while IFS= read -r line; do
    ts=${line%% *}
    text=${line#* \[aprs-is\] < }
    if [[ $text == *",qAR,$call:!48"* ]]; then
        seen_us[$text]=${ts/./}
    fi
done <"$work/server.out"
gated=0
delays=()
missed=()
for ((i = 0; i < frames; i++)); do
    if [[ -n ${seen_us[${expected[i]}]:-} ]]; then
        gated=$((gated + 1))
        delays+=($(((seen_us[${expected[i]}] - put_us[i]) / 1000)))
    else
        missed+=("${expected[i]}")
    fi
done

n=$minute
half=$((n / 2))
growth() { # growth ARRAY-NAME FROM TO, in kB
    local -n a=$1
    echo $((a[$3] - a[$2]))
}
first_kb=$(growth rss_at 0 1)
last_kb=$(growth rss_at $((n - 1)) "$n")
per_min=$(((rss_at[n] - rss_at[half]) / (n - half > 0 ? n - half : 1)))
logins=$(grep -c '\[aprs-is\] < user ' "$work/server.out" || true)

echo
# Under two minutes the first minute is the whole run: no verdict.
verdict() { # verdict LEVELLED
    if ((n < 2)); then
        printf 'too short to tell'
    elif (($1)); then
        printf 'levelled off'
    else
        printf 'STILL GROWING'
    fi
}
printf '  %-18s ' "resident memory"
verdict $((per_min <= 128))
printf ' (%d kB a minute over the second half; first minute %+d kB, last minute %+d kB; %d.%d MB at the end)\n' \
    "$per_min" "$first_kb" "$last_kb" $((rss_at[n] / 1024)) $((rss_at[n] % 1024 * 10 / 1024))
ref=$((n >= 2 ? 1 : 0))
printf '  %-18s ' "open descriptors"
verdict $((fd_at[n] - fd_at[ref] <= 2))
printf ' (%d at minute %d, %d at the end)\n' "${fd_at[ref]}" "$ref" "${fd_at[n]}"
printf '  %-18s %d of %d' "frames gated" "$gated" "$frames"
if ((${#delays[@]})); then
    read -r med worst < <(printf '%s\n' "${delays[@]}" | sort -n |
        awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)], v[NR] }')
    printf ' (mailbox to server: median %d ms, worst %d ms)' "$med" "$worst"
fi
echo
printf '  %-18s %s whole of loaded\n' "status pages" "$(pages_count)"
printf '  %-18s %s answered by the look-up server (about %d: at the login and once a minute)\n' \
    "ISS pages" "$(iss_served)" $((seconds / 60 + 1))
printf '  %-18s %d (1: the link never dropped)\n' "APRS-IS logins" "$logins"
printf '  %-18s %d\n' "exit on SIGTERM" "$status"

summary "soak, $((seconds / 60)) min" "resident memory at the end" \
    "$((rss_at[n] / 1024)).$((rss_at[n] % 1024 * 10 / 1024)) MB" "levels off"
summary "soak, $((seconds / 60)) min" "  growth a minute, second half" "$per_min kB" "<= 128 kB"
summary "soak, $((seconds / 60)) min" "open descriptors, minute $ref / end" "${fd_at[ref]} / ${fd_at[n]}" \
    "levels off"
summary "soak, $((seconds / 60)) min" "frames gated" "$gated of $frames" "all"
summary "soak, $((seconds / 60)) min" "status pages whole of loaded" "$(pages_count)" "all"

if ((${#missed[@]})); then
    echo
    echo "soak.sh: FRAMES NOT GATED: ${#missed[@]} of $frames; the lines the server never received:"
    printf '  %s\n' "${missed[@]}"
    exit 1
fi
exit 0
