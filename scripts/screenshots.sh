#!/usr/bin/env bash
# Regenerates the README's screenshots (docs/images/*.png): the program on the simulated
# receiver in a virtual X server, with a window manager, the way a user sees it.
# Installs what is missing, builds in Release, then takes each picture in a fresh X
# server with settings in a temporary home, so the user's own settings play no part.
# Usage: scripts/screenshots.sh [OUTPUT_DIR]
# SHOTS="levels history scatter" takes only the shots named (default: all of them).
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

# desktop: a fresh X server with a window manager on a display of its own ($disp).
desktop() {
    disp=":$(( 100 + RANDOM % 400 ))"
    Xvfb "$disp" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & xpid=$!
    sleep 1
    DISPLAY=$disp openbox >/dev/null 2>&1 & wpid=$!
    sleep 0.5
}

# program NAME ARGS...: kestrel with settings in a home of its own ($apid); waits for
# the fix, presses OK in the port dialog, then types KEYS (xdotool names).
program() {
    local name=$1; shift
    local home="$work/home-$name"
    mkdir -p "$home/rt" && chmod 700 "$home/rt"
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/rt QT_QPA_PLATFORM=xcb \
        DISPLAY=$disp build-release/src/kestrel "$@" >"$work/$name.log" 2>&1 & apid=$!
    sleep "$acquire"
    DISPLAY=$disp xdotool key Return
    sleep 2
}

keys() {
    for k in "$@"; do DISPLAY=$disp xdotool key "$k"; sleep 0.7; done
    sleep 2
}

# picture NAME: the screen cut to the windows on it (the desktop is black; what is left
# after trimming it is the windows).
picture() {
    DISPLAY=$disp import -window root "$work/$1-full.png"
    convert "$work/$1-full.png" -trim +repage "$out/$1.png"
    echo "$out/$1.png"
}

quit() {
    kill "$@" "$apid" "$wpid" "$xpid" 2>/dev/null || true
    wait "$apid" "$wpid" "$xpid" 2>/dev/null || true
}

# Every shot first sets View, Show Sat Position to "Level and Number" (the fourth entry),
# so that the sky plot shows the satellites.
labels=(alt+v h Down Down Down Return)

wanted() {
    [ -z "${SHOTS:-}" ] || [[ " $SHOTS " == *" $1 "* ]]
}

# shot NAME KEYS...: the program on the simulated receiver, KEYS typed after OK.
shot() {
    local name=$1; shift
    wanted "$name" || return 0
    desktop
    program "$name" --simulate
    keys "${labels[@]}" "$@"
    picture "$name"
    quit
}

shot main-window alt+v Up Return   # and View, Show Status Window (the last)
shot receive-sat alt+v s
shot condition alt+v c

# The pictures of how good the receiver is: opened after the fix, then left to gather
# half a minute of messages. View: Signal &Levels, H&istory, Position Sc&atter.
quality() {
    local name=$1; shift
    wanted "$name" || return 0
    desktop
    program "$name" --simulate
    keys "${labels[@]}" "$@"
    sleep "${GATHER_SECONDS:-30}"
    picture "$name"
    quit
}
quality levels alt+v l
quality history alt+v i
quality scatter alt+v a
# History's levels by satellite (its "by satellite" box), and its level-against-elevation
# window ("Level vs elevation...").
quality history-satellites alt+v i alt+s
quality level-elevation alt+v i alt+e
# View, M&essages: the frames in and out, the newest at the bottom.
quality messages alt+v e

# Position Scatter on a receiver standing still, against a reference typed 10 m south of
# it in the "Reference..." dialog: the north bias is about 10 m.
if wanted scatter-reference; then
    desktop
    program scatter-reference --simulate --static 47.37,8.54,420
    keys "${labels[@]}" alt+v a alt+r
    DISPLAY=$disp xdotool type --delay 30 "47 22.1946 N"
    DISPLAY=$disp xdotool key Tab
    DISPLAY=$disp xdotool type --delay 30 "8.54"
    DISPLAY=$disp xdotool key Tab
    DISPLAY=$disp xdotool type --delay 30 "420"
    keys Return
    sleep "${GATHER_SECONDS:-30}"
    picture scatter-reference
    quit
fi

# The status line's truth: the program on kestrel-sim's terminal while it runs, then
# four seconds after the simulator was stopped (the port lost, the fix and the plot
# faded as no longer live).
wanted link || exit 0
desktop
build-release/tools/kestrel-sim/kestrel-sim --link "$work/gps" >"$work/sim.log" 2>&1 & spid=$!
sleep 1
program link --port "$work/gps"
keys "${labels[@]}"
picture link-live
kill "$spid"
wait "$spid" 2>/dev/null || true
sleep 4
picture link-lost
quit

# The replay controls: a recording from tests/data played at 4x, a few seconds in.
desktop
home="$work/home-replay"
mkdir -p "$home/rt" && chmod 700 "$home/rt"
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/rt QT_QPA_PLATFORM=xcb \
    DISPLAY=$disp build-release/src/kestrel --replay tests/data/sim-acquisition.krec \
    --speed 4 >"$work/replay.log" 2>&1 & apid=$!
sleep 4
# The Replay window under the main window, as a user would put it.
eval "$(DISPLAY=$disp xdotool search --name '^Navigate$' getwindowgeometry --shell | sed 's/^/nav_/')"
DISPLAY=$disp xdotool search --name '^Replay$' windowmove "$nav_X" "$(( nav_Y + nav_HEIGHT + 26 ))"
sleep 1
picture replay
quit
