#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address + undefined sanitizers) and runs each
# for SECONDS (default 60). Any crash, sanitizer report, leak or broken check fails
# the run; the input that found it is written to tests/fuzz/regressions/<target>/,
# where the replay suites (ctest fuzz_<target>_replay) keep testing it once it is
# committed. The summary goes to build-fuzz/fuzz-summary.txt.
# Usage: scripts/fuzz.sh [--jobs N] [SECONDS] [TARGET...]
#   --jobs N  runs N targets at a time (one core each); TARGETs limit the run to those.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=1
if [ "${1:-}" = --jobs ]; then
    jobs=$2
    shift 2
fi
seconds=${1:-60}
[ $# -gt 0 ] && shift
scripts/deps.sh $(cat scripts/build-deps.txt scripts/fuzz-deps.txt)

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DKESTREL_TESTS=OFF -DKESTREL_BENCH=OFF -DKESTREL_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_all -j "$(nproc)"

targets=$(sed -n 's/^set(KESTREL_FUZZ_TARGETS \(.*\))$/\1/p' tests/fuzz/CMakeLists.txt)
[ $# -gt 0 ] && targets="$*"
summary="$build/fuzz-summary.txt"
printf '%-16s %12s %8s %10s  %s\n' target executions seconds exec/s result | tee "$summary"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# One target: its line of the summary goes to $build/fuzz-$t.row.
fuzz_one() {
    local t=$1 work="$build/work/$1" regressions="tests/fuzz/regressions/$1"
    local log="$build/fuzz-$1.log" start result took runs
    mkdir -p "$work" "$regressions"
    start=$(date +%s)
    # The first folder is the working corpus libFuzzer adds to; the kept seeds and
    # findings are only read.
    if timeout $((seconds + 120)) "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" \
        -timeout=10 -max_len=4096 -print_final_stats=1 -artifact_prefix="$regressions/" \
        "$work" "tests/fuzz/corpus/$t" "$regressions" >"$log" 2>&1; then
        result=ok
    else
        result="FAILED (see $log; the input is in $regressions/)"
    fi
    took=$(($(date +%s) - start))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    runs=${runs:-0}
    printf '%-16s %12s %8s %10s  %s\n' "$t" "$runs" "$took" "$((runs / (took > 0 ? took : 1)))" \
        "$result" >"$build/fuzz-$t.row"
}

running=0
for t in $targets; do
    fuzz_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait
failed=0
total=0
for t in $targets; do
    row=$(cat "$build/fuzz-$t.row")
    printf '%s\n' "$row" | tee -a "$summary"
    total=$((total + $(printf '%s\n' "$row" | awk '{print $2}')))
    case "$row" in
    *FAILED*)
        failed=1
        grep -E 'ERROR|broken|runtime error|SUMMARY' "$build/fuzz-$t.log" | head -5 || true
        ;;
    esac
done
printf 'executions in all: %s\n' "$total" | tee -a "$summary"
exit $failed
