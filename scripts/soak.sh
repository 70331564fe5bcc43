#!/usr/bin/env bash
# Soak test: the program with every window open (offscreen) against the simulated
# receiver at 115,200 bit/s with noise, corrupted and truncated frames, for MINUTES
# (default 2). Reports frames sent intact, decoded, damaged and logged, lost and
# phantom frames (both must be 0) and resident-memory growth after the warm-up (must
# stay under 2 MB). The report is also written to build/soak-report.txt.
# Usage: scripts/soak.sh [MINUTES] [SEED]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-2}
seed=${2:-8}
scripts/deps.sh $(cat scripts/build-deps.txt)
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build --target kestrel_soak -j "$(nproc)"
build/tests/kestrel_soak --minutes "$minutes" --seed "$seed" 2>&1 | tee build/soak-report.txt
exit "${PIPESTATUS[0]}"
