#!/usr/bin/env bash
# Makes the Debian package from a build tree with CPack, in a temporary folder, and
# checks it (check-package.sh). Run by ctest; scripts/package.sh adds lintian.
# Usage: tests/package/package-test.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log"; exit 1; }
"$(dirname "$0")/check-package.sh" "$out"/kestrel_*.deb
