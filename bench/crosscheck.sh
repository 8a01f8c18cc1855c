#!/usr/bin/env bash
# The position decoder beside direwolf's decode_aprs (Debian's direwolf): a
# fresh corpus of made-up packets of every position format, read live by
# decode_aprs and by this station's decoder, and how many positions agree to
# a hundredth of a minute. Prints the figure and each packet that differs;
# judges nothing.
#
#   bench/crosscheck.sh [BUILD_DIR]            (default ./build)
#   bench/crosscheck.sh --record [BUILD_DIR]   also writes the corpus and
#                                              decode_aprs's answers to
#                                              tests/data/crosscheck, which
#                                              unit_crosscheck reads
#
# Environment:
#   BENCH_CROSSCHECK_SEED    the corpus's random seed, default 20261206
#   BENCH_CROSSCHECK_ROUNDS  five packets a round (and a $GPRMC sentence every
#                            other round), default 10; --record keeps the
#                            defaults
#
# Exits non-zero only when nothing could be measured.

set -euo pipefail
export LC_ALL=C

record=
if [[ ${1:-} == --record ]]; then
    record=1
    shift
fi
build=${1:-./build}
seed=${BENCH_CROSSCHECK_SEED:-20261206}
rounds=${BENCH_CROSSCHECK_ROUNDS:-10}
if [[ -n $record ]]; then
    seed=20261206
    rounds=10
fi

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$here")
tool=$build/bench/bench_crosscheck
if [[ ! -x $tool ]]; then
    echo "crosscheck.sh: $tool not found; build with: cmake --build $build --target bench_crosscheck" >&2
    exit 2
fi
if ! command -v decode_aprs >/dev/null; then
    echo "crosscheck.sh: decode_aprs not found; it comes with Debian's direwolf" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-crosscheck.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$tool" corpus "$seed" "$rounds" >"$work/packets.txt"
decode_aprs "$work/packets.txt" >"$work/decoded.txt" 2>&1
"$tool" answers "$work/packets.txt" "$work/decoded.txt" >"$work/decode_aprs.txt"
"$tool" compare "$work/packets.txt" "$work/decode_aprs.txt"

if [[ -n $record ]]; then
    data=$source_dir/tests/data/crosscheck
    mkdir -p "$data"
    cp "$work/packets.txt" "$work/decode_aprs.txt" "$data/"
    echo "recorded $(wc -l <"$data/packets.txt") packets and decode_aprs's answers in $data"
fi
