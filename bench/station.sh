# The benchmarks' station, sourced by startup.sh and receive.sh: a fresh
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
