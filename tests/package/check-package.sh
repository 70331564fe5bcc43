#!/usr/bin/env bash
# Unpacks a Debian package of Kestrel into a temporary root and checks it as a user
# would meet it: the files are where the desktop and man look for them, nothing of
# a build tree came along, and the installed programs run.
# Usage: tests/package/check-package.sh PACKAGE.deb
set -euo pipefail
deb=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

dpkg-deb --info "$deb" >"$root.info" || fail "dpkg-deb cannot read $deb"
grep -q '^ Package: kestrel$' "$root.info" || fail "package name"
grep -q '^ Version: 2\.6\.2-1$' "$root.info" || fail "package version"
grep -Eq '^ Depends: .*libqt6serialport6' "$root.info" || fail "no dependency on Qt SerialPort"
grep -Eq '^ Depends: .*libqt6widgets6' "$root.info" || fail "no dependency on Qt Widgets"
rm -f "$root.info"

dpkg-deb --contents "$deb" | awk '{print $6}' >"$root.list"
trap 'rm -rf "$root" "$root.list"' EXIT
for f in ./usr/bin/kestrel ./usr/bin/kestrelctl ./usr/bin/kestrel-sim \
    ./usr/share/applications/kestrel.desktop \
    ./usr/share/icons/hicolor/scalable/apps/kestrel.svg \
    ./usr/share/icons/hicolor/48x48/apps/kestrel.png \
    ./usr/share/icons/hicolor/256x256/apps/kestrel.png \
    ./usr/share/man/man1/kestrel.1.gz ./usr/share/man/man1/kestrelctl.1.gz \
    ./usr/share/man/man1/kestrel-sim.1.gz \
    ./usr/share/doc/kestrel/copyright ./usr/share/doc/kestrel/changelog.Debian.gz; do
    grep -qx -- "$f" "$root.list" || fail "missing $f"
done
if grep -E 'CMakeFiles|_autogen|\.a$|\.o$|/include/|/lib/cmake|tst_|/usr/local' "$root.list"; then
    fail "build-tree files in the package"
fi

dpkg -x "$deb" "$root"
# The programs answer --version and --help without a display.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kestrelctl" --version)
echo "$out"
[[ $out == "kestrelctl 2.6.2 (Qt "* ]] || fail "kestrelctl --version said: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kestrel-sim" --version)
[[ $out == "kestrel-sim 2.6.2 (Qt "* ]] || fail "kestrel-sim --version said: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kestrel" --version)
[[ $out == "kestrel 2.6.2 (Qt "* ]] || fail "kestrel --version said: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kestrel" --help)
echo "$out" | head -2
grep -q -- '--port <DEVICE>' <<<"$out" || fail "kestrel --help said: $out"
# The manual page reads.
zcat "$root/usr/share/man/man1/kestrel.1.gz" | grep -q '^\.TH KESTREL 1' || fail "man page"
echo "package check passed: $deb"
