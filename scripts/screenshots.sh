#!/usr/bin/env bash
# Regenerates the README's screenshots (docs/images/*.png): the program on the simulated
# receiver in a virtual X server, with a window manager, the way a user sees it.
# Installs what is missing, builds in Release, then takes each picture in a fresh X
# server with settings in a temporary home, so the user's own settings play no part.
# Usage: scripts/screenshots.sh [OUTPUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh $(cat scripts/build-deps.txt) xvfb openbox xdotool imagemagick
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target kestrel kestrel-sim
out=${1:-docs/images}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The receiver reaches its 3D fix about twenty seconds after the program starts; the
# port dialog waits until then before OK is pressed.
acquire=${ACQUIRE_SECONDS:-24}

# shot NAME KEYS...: starts the program, waits, presses OK, types KEYS (xdotool names,
# half a second apart), and saves the screen cut to the windows on it.
shot() {
    local name=$1; shift
    local disp=":$(( 100 + RANDOM % 400 ))"
    local home="$work/home-$name"
    mkdir -p "$home/rt" && chmod 700 "$home/rt"
    Xvfb "$disp" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & local xpid=$!
    sleep 1
    DISPLAY=$disp openbox >/dev/null 2>&1 & local wpid=$!
    sleep 0.5
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/rt QT_QPA_PLATFORM=xcb \
        DISPLAY=$disp build-release/src/kestrel --simulate >"$work/$name.log" 2>&1 & local apid=$!
    sleep "$acquire"
    DISPLAY=$disp xdotool key Return
    sleep 2
    for k in "$@"; do DISPLAY=$disp xdotool key "$k"; sleep 0.7; done
    sleep 2
    DISPLAY=$disp import -window root "$work/$name-full.png"
    kill "$apid" "$wpid" "$xpid" 2>/dev/null || true
    wait "$apid" "$wpid" "$xpid" 2>/dev/null || true
    # The desktop is black; what is left after trimming it is the windows.
    convert "$work/$name-full.png" -trim +repage "$out/$name.png"
    echo "$out/$name.png"
}

# Every shot first sets View, Show Sat Position to "Level and Number" (the fourth entry),
# so that the sky plot shows the satellites.
labels=(alt+v h Down Down Down Return)
shot main-window "${labels[@]}" alt+v Up Return   # and View, Show Status Window (the last)
shot receive-sat "${labels[@]}" alt+v s
shot condition "${labels[@]}" alt+v c

# The status line's truth: the program on kestrel-sim's terminal while it runs, then
# four seconds after the simulator was stopped (the port lost, the fix and the plot
# faded as no longer live).
shot_link() {
    local disp=":$(( 100 + RANDOM % 400 ))"
    local home="$work/home-link" link="$work/gps"
    mkdir -p "$home/rt" && chmod 700 "$home/rt"
    Xvfb "$disp" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & local xpid=$!
    sleep 1
    DISPLAY=$disp openbox >/dev/null 2>&1 & local wpid=$!
    build-release/tools/kestrel-sim/kestrel-sim --link "$link" >"$work/sim.log" 2>&1 & local spid=$!
    sleep 1
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/rt QT_QPA_PLATFORM=xcb \
        DISPLAY=$disp build-release/src/kestrel --port "$link" >"$work/link.log" 2>&1 & local apid=$!
    sleep "$acquire"
    DISPLAY=$disp xdotool key Return
    sleep 2
    for k in "${labels[@]}"; do DISPLAY=$disp xdotool key "$k"; sleep 0.7; done
    sleep 2
    DISPLAY=$disp import -window root "$work/live-full.png"
    kill "$spid"
    wait "$spid" 2>/dev/null || true
    sleep 4
    DISPLAY=$disp import -window root "$work/lost-full.png"
    kill "$apid" "$wpid" "$xpid" 2>/dev/null || true
    wait "$apid" "$wpid" "$xpid" 2>/dev/null || true
    convert "$work/live-full.png" -trim +repage "$out/link-live.png"
    convert "$work/lost-full.png" -trim +repage "$out/link-lost.png"
    echo "$out/link-live.png $out/link-lost.png"
}
shot_link
