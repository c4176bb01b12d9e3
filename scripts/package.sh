#!/usr/bin/env bash
# Builds the Debian package orvex_<version>-1_<arch>.deb in the build folder (default build/)
# and prints its path as the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/install-deps.sh --tests
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target orvex orvex-sim orvex-qdx orvex-recorder orvex_icons
rm -f "$build"/orvex_*.deb
(cd "$build" && cpack -G DEB) >"$build/cpack.log" 2>&1 || { cat "$build/cpack.log" >&2; exit 1; }
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$build/cpack.log")
[ -f "$deb" ] || { cat "$build/cpack.log" >&2; echo "no package was written" >&2; exit 1; }
echo "$deb"
