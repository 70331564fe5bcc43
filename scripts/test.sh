#!/usr/bin/env bash
# Builds Kestrel and runs the whole test suite twice: in a normal build and in an
# address+undefined sanitizer build (leak checker on). Between the two it checks the
# Debian package, runs each fuzz target for a bounded time (KESTREL_FUZZ_SECONDS, 60 by
# default) and a soak against the simulated receiver (KESTREL_SOAK_MINUTES, 2 by
# default). Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh $(cat scripts/build-deps.txt)
# gpsd for the NMEA bridge's test, which skips (and says so) where it cannot be installed.
scripts/deps.sh $(cat scripts/test-deps.txt) ||
    echo "gpsd could not be installed: the NMEA bridge's gpsd test will be skipped"

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== normal build"
run_suite build -DCMAKE_BUILD_TYPE=Debug
echo "== Debian package of that build, checked with lintian"
scripts/package.sh build
echo "== fuzz targets, ${KESTREL_FUZZ_SECONDS:-60} s each"
scripts/fuzz.sh "${KESTREL_FUZZ_SECONDS:-60}"
echo "== soak, ${KESTREL_SOAK_MINUTES:-2} min"
scripts/soak.sh "${KESTREL_SOAK_MINUTES:-2}"
echo "== address+undefined sanitizer build"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON
