#!/usr/bin/env bash
# The test command: installs what is missing, builds Kestrel (Debug, in build/) and runs
# the whole ctest suite. With --full it goes on to what CI and releases check as well:
# the Debian package checked with lintian, each fuzz target for a bounded time
# (KESTREL_FUZZ_SECONDS, 60 by default), a soak against the simulated receiver
# (KESTREL_SOAK_MINUTES, 2 by default), and an address+undefined sanitizer build with
# the whole suite again. The full check reuses build/, so after the quick command it
# adds only its own parts. Each part's time is printed at the end.
# Usage: scripts/test.sh [--full]
set -euo pipefail
cd "$(dirname "$0")/.."
full=0
case "${1:-}" in
--full) full=1 ;;
"") ;;
*)
    echo "usage: scripts/test.sh [--full]" >&2
    exit 2
    ;;
esac

times=()
part() { # part TITLE COMMAND...: runs one part and keeps its time for the summary
    local title=$1 start
    shift
    echo "== $title"
    start=$(date +%s)
    "$@"
    times+=("$(printf '%-44s %5d s' "$title" $(($(date +%s) - start)))")
}

install_deps() {
    scripts/deps.sh $(cat scripts/build-deps.txt)
    # gpsd and the other peers some suites compare with; those rows skip, and say so,
    # where they cannot be installed.
    scripts/deps.sh $(cat scripts/test-deps.txt) ||
        echo "the test peers could not all be installed: the rows that need them will skip"
}

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

build_in() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}
suite_in() { ctest --test-dir "$1" --output-on-failure -j "$jobs"; }

part "what is missing, installed" install_deps
# Debug: the suite mostly waits on timers and terminals, so an optimised build would
# save little of its run and cost more to compile (docs/RELIABILITY.md has the figures).
part "build (Debug)" build_in build -DCMAKE_BUILD_TYPE=Debug
part "the whole suite (ctest)" suite_in build

if [ "$full" = 1 ]; then
    part "Debian package of that build, with lintian" scripts/package.sh build
    part "fuzz targets, ${KESTREL_FUZZ_SECONDS:-60} s each" scripts/fuzz.sh "${KESTREL_FUZZ_SECONDS:-60}"
    part "soak, ${KESTREL_SOAK_MINUTES:-2} min" scripts/soak.sh "${KESTREL_SOAK_MINUTES:-2}"
    part "address+undefined sanitizer build" \
        build_in build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    part "the whole suite in the sanitizer build" suite_in build-asan
fi

echo "== times"
printf '%s\n' "${times[@]}"
if [ "$full" = 0 ]; then
    echo "The full check (package with lintian, fuzz targets, soak, sanitizer build with the"
    echo "whole suite again; what CI runs): scripts/test.sh --full"
fi
