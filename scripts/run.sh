#!/usr/bin/env bash
# Installs what is missing, builds Kestrel in Release and starts it.
# Arguments are passed to the program (for example: scripts/run.sh --port /dev/ttyUSB0).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh $(cat scripts/build-deps.txt)
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target kestrel
exec build-release/src/kestrel "$@"
