#!/usr/bin/env bash
# Reads values of this build's kestrel over AT-SPI as a screen reader does: the program on
# the simulated receiver in a virtual X server of its own, with a private D-Bus session and
# accessibility bus, a fresh settings folder, and scripts/atspi-read.py as the client.
#   scripts/atspi-check.sh                          # OK in the port dialog, then Lat
#   scripts/atspi-check.sh --press OK --press Position Lat Latitude
# KESTREL names another program file (default build/src/kestrel). Needs xvfb, dbus,
# at-spi2-core and python3-pyatspi. Exits as atspi-read.py does: 1 when a name is not found.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
kestrel=${KESTREL:-$here/../build/src/kestrel}
[ $# -gt 0 ] || set -- --press OK Lat

if [ -z "${KESTREL_ATSPI_INSIDE:-}" ]; then
    # A display nobody uses; the bus session lives inside it and ends with the check.
    n=$((100 + RANDOM % 400))
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true' EXIT
    sleep 1
    rc=0
    DISPLAY=":$n" KESTREL_ATSPI_INSIDE=1 dbus-run-session -- "$0" "$@" || rc=$?
    exit "$rc"
fi

config=$(mktemp -d)
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
bus=$!
sleep 0.5
XDG_CONFIG_HOME=$config QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    "$kestrel" --simulate >"$config/kestrel.log" 2>&1 &
app=$!
rc=0
/usr/bin/python3 "$here/atspi-read.py" "$@" || rc=$?
kill "$app" "$bus" 2>/dev/null || true
wait "$app" "$bus" 2>/dev/null || true
rm -rf "$config"
exit "$rc"
