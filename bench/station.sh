# The benchmarks' station and their helpers, sourced by the scripts: a fresh
# copy of the demo program folder with 300-row MHeard and positions lists,
# and a mailbox made by zeno-host. Needs $work, $source_dir and $zeno_host.

# Made-up call signs: "QB" plus a digit and three letters, never a real one.
call_for() {
    local i=$1 letters=ABCDEFGHIJKLMNOPQRSTUVWXYZ
    printf 'QB%d%s%s%s-%d' $((i % 10)) "${letters:i / 10 % 26:1}" \
        "${letters:i / 260 % 26:1}" "${letters:i % 7:1}" $((i % 15 + 1))
}

# MHeard row: call padded to 10, "DD-MM-YY HH:MM:SS", a space, the path (or
# nothing). Positions row: call padded to 10, distance and bearing, the
# degree sign as the single Latin-1 byte B0.
write_lists() {
    local dir=$1 i call path
    : >"$dir/mheard.txt"
    : >"$dir/positions.txt"
    for ((i = 0; i < 300; i++)); do
        call=$(call_for "$i")
        case $((i % 3)) in
        0) path="" ;;
        1) path="QB0SAT*" ;;
        *) path="WIDE1-1,WIDE2-1" ;;
        esac
        printf '%-10s%02d-%02d-26 %02d:%02d:%02d %s\r\n' "$call" $((i % 28 + 1)) \
            $((i % 12 + 1)) $((i % 24)) $((i % 60)) $((i * 7 % 60)) "$path" >>"$dir/mheard.txt"
        printf '%-10s%d.%dkm %d\xb0\r\n' "$call" $((i * 37 % 2000)) $((i % 10)) \
            $((i * 13 % 360)) >>"$dir/positions.txt"
    done
}

# A fresh program folder and mailbox under $work/run for the call $1.
make_station() {
    local run=$work/run call=$1
    rm -rf "$run"
    mkdir -p "$run"
    cp -r "$source_dir/demo/program" "$run/program"
    cp -r "$source_dir/demo/zeno" "$run/zeno"
    write_lists "$run/program"
    "$zeno_host" --mailbox "$run/mailbox" init --call "$call" --path "$run/zeno" >/dev/null
}

# The APRS-IS passcode of a call (its SSID aside).
passcode() {
    local c=${1%%-*} hash=0x73e2 i
    c=${c^^}
    for ((i = 0; i < ${#c}; i += 2)); do
        hash=$((hash ^ ($(printf '%d' "'${c:i:1}") << 8)))
        if ((i + 1 < ${#c})); then
            hash=$((hash ^ $(printf '%d' "'${c:i+1:1}")))
        fi
    done
    echo $((hash & 0x7fff))
}

# "Key=value" in the station's kestrel.ini (CR LF lines), the line end kept.
set_ini() {
    sed -i "s|^$1=[^\r]*|$1=$2|" "$work/run/program/kestrel.ini"
}

status_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }

# utime + stime, fields 14 and 15 of /proc/PID/stat, of the whole process
# (every thread), into the variable named by $2 (the name in () may hold
# blanks). Without a subshell: it is read often while the gateway works, and
# a fork each time would disturb it.
cpu_ticks() {
    local stat f
    read -r stat <"/proc/$1/stat"
    stat=${stat##*) }
    read -r -a f <<<"$stat"
    printf -v "$2" '%d' $((f[11] + f[12]))
}

# The connections to loopback PORT: "none", "busy" (bytes waiting in a send
# or receive queue at either end) or "empty".
link_queues() {
    awk -v port="$(printf ':%04X' "$1")" '
        NR > 1 && $4 == "01" && (substr($2, length($2) - 4) == port ||
                                 substr($3, length($3) - 4) == port) {
            n++
            split($5, q, ":")
            if (q[1] !~ /^0+$/ || q[2] !~ /^0+$/) busy = 1
        }
        END { print n == 0 ? "none" : busy ? "busy" : "empty" }' /proc/net/tcp
}

# Waits until the gateway PID has taken every line the server sent on
# loopback PORT: the queues at both ends empty, then a second without CPU
# time. Sets last_cpu (its CPU ticks then) and last_busy (the last sample in
# which it was busy, two ticks in 50 ms: a timer's work later on is no
# line's). Calls the script's own `alive` and `fail`; WHAT names the client.
wait_taken() {
    local pid=$1 port=$2 what=$3 state now_cpu stable=0
    while state=$(link_queues "$port") && [[ $state == busy ]]; do
        alive
        sleep 0.1
    done
    [[ $state == none ]] && fail "the link closed before $what had taken every line"
    cpu_ticks "$pid" last_cpu
    last_busy=${EPOCHREALTIME/./}
    while ((stable < 20)); do
        alive
        sleep 0.05
        cpu_ticks "$pid" now_cpu
        if ((now_cpu - last_cpu >= 2)); then
            last_busy=${EPOCHREALTIME/./}
        fi
        if ((now_cpu != last_cpu)); then
            stable=0
        else
            stable=$((stable + 1))
        fi
        last_cpu=$now_cpu
    done
    if [[ $(link_queues "$port") == none ]]; then
        fail "the link closed while $what took its last lines"
    fi
}

# Starts the test APRS-IS server with COUNT lines at RATE a second (0: as
# fast as they are read) on a free loopback port: sets server_pid, sout (a
# descriptor on its standard output, which the caller drains and closes) and
# server_port. False, with sout closed, when it did not start in time.
start_test_server() {
    local fifo=$work/server-stdout line
    rm -f "$fifo"
    mkfifo "$fifo"
    "$server" --port 0 --count "$1" --rate "$2" >"$fifo" 2>"$work/server.err" &
    server_pid=$!
    exec {sout}<"$fifo"
    if IFS= read -r -t "$up_timeout" -u "$sout" line &&
        [[ $line =~ listening\ on\ 127\.0\.0\.1:([0-9]+) ]]; then
        server_port=${BASH_REMATCH[1]}
        return 0
    fi
    exec {sout}<&-
    return 1
}
