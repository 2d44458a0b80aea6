#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz", clang) and runs each for a while on its checked-in
# seed corpus (fuzz/corpus/NAME); new inputs go to build/fuzz/corpus/NAME, a failing input to
# build/fuzz/findings/. Prints one line per target with the executions it made. Fails on the
# first target that finds a crash, a sanitizer report or a broken property.
#   scripts/fuzz.sh                  every target, 20 seconds each
#   scripts/fuzz.sh 3600 registry    one target for an hour
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(profile registry result message commandlist)

[ -f build/fuzz/CMakeCache.txt ] || cmake --preset fuzz >/dev/null
cmake --build build/fuzz --target "${targets[@]/#/fuzz_}" >/dev/null

mkdir -p build/fuzz/findings
for t in "${targets[@]}"; do
    work="build/fuzz/corpus/$t"
    mkdir -p "$work"
    log="build/fuzz/fuzz_$t.log"
    if ! build/fuzz/bin/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$t-" \
        "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "fuzz_$t: FAILED, see $log and build/fuzz/findings/" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    per_s=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "fuzz_$t: seconds=$seconds executions=$runs per_second=$per_s corpus=$(ls "$work" | wc -l)"
done
