#!/usr/bin/env bash
# Cross-builds the Windows programs and their tests with mingw-w64 (build/windows) and runs the
# tests under wine.
#   test-windows.sh [ctest arguments]
# The serial and recorder tests need native helpers (orvex-sim and the pseudo-terminal shim wine
# loads), built first in the native test tree build/test.
set -euo pipefail
cd "$(dirname "$0")/.."
native=$PWD/build/test
cmake --preset test >/dev/null
cmake --build "$native" -j"$(nproc)" --target orvex-sim orvex-recorder orvex_wine_modemlines

cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)"
export WINEPREFIX=$PWD/build/windows/wineprefix
# One wine server for the whole run, carrying the modem-line library: with it the server never
# takes a simulator's pseudo-terminal as its controlling terminal (see tests/wine/).
mkdir -p "$WINEPREFIX"
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
LD_PRELOAD="$native/tests/wine/liborvex_wine_modemlines.so" "$server" -p </dev/null >/dev/null 2>&1
status=0
ctest --preset windows -j"$(nproc)" "$@" || status=$?
# Leave no wine server behind for the next step.
"$server" -k 2>/dev/null || true
exit $status
