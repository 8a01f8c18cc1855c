#!/usr/bin/env bash
# Prints the figures the benchmarks left in a summary file as one table,
# with the machine they ran on.
#
#   bench/table.sh SUMMARY_FILE [FAILED...]
#
# FAILED names benchmarks that could not measure; they are listed below it.
set -euo pipefail
summary=$1
shift

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
cores=$(nproc)
mem=$(awk '/^MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo)
os=$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-}")
echo
echo "Kestrel benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Machine: ${cpu:-unknown CPU}, $cores cores, $mem, ${os:-unknown system}, Linux $(uname -r)"
awk -F'\t' '
    { bench[NR] = $1; figure[NR] = $2; value[NR] = $3; target[NR] = $4 }
    length($1) > wb { wb = length($1) }
    length($2) > wf { wf = length($2) }
    length($3) > wv { wv = length($3) }
    END {
        if (wb < 9) wb = 9
        if (wf < 6) wf = 6
        if (wv < 5) wv = 5
        fmt = "%-" wb "s  %-" wf "s  %" wv "s  %s\n"
        printf fmt, "benchmark", "figure", "value", "target"
        line = sprintf("%" (wb + wf + wv + 14) "s", ""); gsub(/ /, "-", line); print line
        for (i = 1; i <= NR; i++)
            printf fmt, (bench[i] == bench[i - 1] ? "" : bench[i]), figure[i], value[i], target[i]
    }' "$summary"
if (($# > 0)); then
    echo "Not measured (see the output above): $*"
fi
