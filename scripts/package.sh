#!/usr/bin/env bash
# Builds Kestrel's Debian package with CPack, checks it with lintian (no errors
# allowed) and installs it into a temporary root to run the programs from there.
# Installs what is missing first. The package lands in the current folder.
# Usage: scripts/package.sh [BUILD_DIR]
#   Without BUILD_DIR: a Release build with Debian's hardening flags in build-package/.
#   With BUILD_DIR: packages that (already configured) build, as scripts/test.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh $(cat scripts/build-deps.txt) lintian

if [ $# -ge 1 ]; then
    build=$1
else
    build=build-package
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF \
        -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
fi
cmake --build "$build" -j "$(nproc)"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log"; exit 1; }
deb=$(echo "$out"/kestrel_*.deb)
# lintian refuses to run as root without this; errors fail, warnings are shown.
lintian --allow-root --fail-on error --info "$deb"
tests/package/check-package.sh "$deb"
cp "$deb" .
echo "built $(basename "$deb")"
