#!/usr/bin/env bash
# Makes the recordings in tests/data/ from the simulated receiver and the expected
# decode output next to each. The recordings depend on timing, so they are made only
# when asked (--record); the expected output is regenerated from them every run, for
# when a decoder's texts change on purpose.
# Usage: scripts/make-test-data.sh [--record] [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
record=0
if [ "${1:-}" = "--record" ]; then record=1; shift; fi
build=${1:-build}
sim=$build/tools/kestrel-sim/kestrel-sim
ctl=$build/tools/kestrelctl/kestrelctl
data=tests/data
# Texts in the C locale, times in UTC (time-zone index 12) and the receiver's own units,
# as the tests read them, whatever the program saved.
export LC_ALL=C

simulate() { # NAME SECONDS COMMENT SIM-OPTIONS... ; writes requests through REQUESTS
    local name=$1 seconds=$2 comment=$3; shift 3
    local dir; dir=$(mktemp -d)
    "$sim" --link "$dir/gps" "$@" >"$dir/sim.out" 2>&1 &
    local pid=$!
    for _ in $(seq 50); do [ -e "$dir/gps" ] && break; sleep 0.1; done
    "$ctl" record --port "$dir/gps" --out "$data/$name.krec" --duration "$seconds" \
        --comment "$comment" --comment "simulator: kestrel-sim $*" &
    local rec=$!
    if [ -n "${REQUESTS:-}" ]; then
        sleep 1.5
        # Written without reading, so every answer goes to the recorder.
        for r in $REQUESTS; do printf "$r" >"$dir/gps"; sleep 0.4; done
    fi
    wait "$rec"
    kill "$pid"; wait "$pid" || true
    rm -rf "$dir"
    # The port's path was a temporary one; keep the header free of it.
    sed -i -e "s|$dir/gps|SIMULATOR|g" "$data/$name.krec"
}

if [ $record = 1 ]; then
    simulate sim-acquisition 24 \
        "made by scripts/make-test-data.sh --record: a simulated receiver from its start to a 3D fix, one navigation and one satellite message a second" \
        --rate 1
    REQUESTS='\xC6\xC6\x74\x0D \xC3\xC3\x7A\x0D \xC4\xC4\x78\x0D \xC5\xC5\x00\x76\x0D \xCB\xCB\x6A\x0D \xB7\xB7\x92\x0D \xB9\xB9\x8E\x0D' \
        simulate sim-requests 5 \
        "made by scripts/make-test-data.sh --record: every request the program sends (C6 C3 C4 C5 CB B7) and a cold start (B9), answered by the simulated receiver" \
        --rate 1
    simulate sim-faults 6 \
        "made by scripts/make-test-data.sh --record: a noisy line, with noise bytes, bad checksums and frames cut short" \
        --rate 4 --garbage 0.3 --corrupt 0.2 --truncate 0.1 --seed 7
fi

for rec in "$data"/*.krec; do
    "$ctl" decode --time-zone 12 --units dm,m,kmh "$rec" >"${rec%.krec}.decode" 2>/dev/null
    echo "${rec%.krec}.decode: $(grep -c '^CMD\|^ERR' "${rec%.krec}.decode") frames"
done
