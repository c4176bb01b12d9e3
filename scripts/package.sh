#!/usr/bin/env bash
# Builds the Debian package orvex_<version>-1_<arch>.deb in its own build folder (build/package),
# puts it in build/ and prints its path as the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
build=build/package
cmake --preset package >/dev/null
cmake --build --preset package -j"$(nproc)"
rm -f "$build"/orvex_*.deb build/orvex_*.deb
(cd "$build" && cpack -G DEB) >"$build/cpack.log" 2>&1 || { cat "$build/cpack.log" >&2; exit 1; }
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$build/cpack.log")
[ -f "$deb" ] || { cat "$build/cpack.log" >&2; echo "no package was written" >&2; exit 1; }
mv "$deb" build/
echo "build/$(basename "$deb")"
