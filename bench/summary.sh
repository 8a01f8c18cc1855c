# Sourced by the benchmark scripts: `summary BENCH FIGURE VALUE [TARGET]`
# adds a line to the file named by BENCH_SUMMARY, when that is set, for the
# one table `./run bench` ends with (bench/table.sh).
summary() {
    [[ -n ${BENCH_SUMMARY:-} ]] || return 0
    printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "${4:-}" >>"$BENCH_SUMMARY"
}
