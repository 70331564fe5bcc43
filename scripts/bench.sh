#!/usr/bin/env bash
# Builds Kestrel in Release and runs every benchmark: the framer, the receive path and
# the sky plot (Google Benchmark), then the whole program on a pseudo-terminal
# (added latency, firehose, everyday load under an X server, start-up), and the figures
# of long recordings against gpsdecode and gpsbabel (bench/program/long.py). Prints one
# table: median, spread, target and verdict of each figure. --quick: fewer and shorter
# runs (about three minutes instead of about twelve). docs/PERFORMANCE.md explains.
set -euo pipefail
cd "$(dirname "$0")/.."
# gpsd-clients (gpsdecode) and gpsbabel: the peers of the long-recording figures.
scripts/deps.sh $(cat scripts/build-deps.txt) xvfb gpsd-clients gpsbabel
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target bench_receive bench_skyplot bench_controls \
    bench_fixstatistics kestrel-probe kestrel-feed kestrelctl kestrel-longrecording
mkdir -p build-release/bench-results
exec python3 bench/report.py build-release --json build-release/bench-results/last.json "$@"
