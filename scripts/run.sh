#!/usr/bin/env bash
# Installs what is missing, builds Kestrel in Release and starts it.
# Without a port it starts on the simulated receiver, so the program can be tried
# without the board; scripts/run.sh --port /dev/ttyUSB0 uses a real receiver.
# Other arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh $(cat scripts/build-deps.txt)
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target kestrel kestrel-sim

simulate=1
for arg in "$@"; do
    case $arg in
        --port|--port=*|--simulate) simulate=0 ;;
    esac
done
if [ "$simulate" = 1 ]; then
    set -- --simulate "$@"
fi
exec build-release/src/kestrel "$@"
