#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each on a copy of its
# seed corpus.
#
#   tests/fuzz/run.sh [BUILD_DIR]       (default build-fuzz)
#
#   FUZZ_SECONDS  time per target, default 30
#   FUZZ_TZ       time zone of the runs, default Europe/Berlin: stamps are
#                 local time, and a zone with daylight saving time has the
#                 skipped and repeated hours that UTC lacks
#   FUZZ_CXX      the compiler, default clang++
#
# Exits non-zero when a target finds a fault (crash, failed check, leak,
# timeout); the input that did it is kept under BUILD_DIR/fuzz-artifacts.
# The corpora in the tree are read, never written.

set -euo pipefail

build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-30}
cxx=${FUZZ_CXX:-clang++}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
targets=(settingsfile text frames receive isspage countrytable statuspage agw elements)

if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "run.sh: FUZZ_SECONDS must be a whole number above 0" >&2
    exit 2
fi

CXX=$cxx cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
    -DKESTREL_FUZZ=ON >/dev/null
if ! ninja -C "$build" "${targets[@]/#/fuzz_}"; then
    echo "run.sh: could not build the fuzz targets (tests/CMakeLists.txt adds tests/fuzz?)" >&2
    exit 2
fi

artifacts=$(cd "$build" && pwd)/fuzz-artifacts
mkdir -p "$artifacts"
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

failed=()
for t in "${targets[@]}"; do
    exe=$build/tests/fuzz/fuzz_$t
    corpus=$work/$t
    mkdir -p "$corpus"
    cp "$here/corpus/$t/"* "$corpus/"
    echo "== fuzz_$t: ${seconds} s" >&2
    status=0
    TZ=${FUZZ_TZ:-Europe/Berlin} "$exe" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -artifact_prefix="$artifacts/$t-" "$corpus" \
        >"$work/$t.log" 2>&1 || status=$?
    if ((status == 0)); then
        grep -E '^Done [0-9]+ runs' "$work/$t.log" >&2 || true
        continue
    fi
    failed+=("fuzz_$t")
    # The check that failed and the sanitizer's report, without the run's
    # progress lines.
    grep -vE '^(#[0-9]+|INFO:|MERGE|\[libFuzzer)' "$work/$t.log" | head -n 60 >&2
    newest=$(ls -t "$artifacts/$t-"* 2>/dev/null | head -n 1 || true)
    if [[ -n $newest ]]; then
        echo "-- input: $newest" >&2
        od -A d -c "$newest" | head -n 20 >&2
        echo "-- again: $exe $newest" >&2
    fi
done

if ((${#failed[@]} > 0)); then
    echo "run.sh: faults found by ${failed[*]}" >&2
    exit 1
fi
echo "run.sh: no faults found in ${seconds} s per target" >&2
