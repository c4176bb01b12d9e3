#!/usr/bin/env bash
# Cross-builds the Windows programs and their tests with mingw-w64 and runs the tests under wine.
#   test-windows.sh [ctest arguments]
# The serial and recorder tests need native helpers (orvex-sim and the pseudo-terminal shim wine
# loads), built in the native tree `build` first.
set -euo pipefail
cd "$(dirname "$0")/.."
native=$PWD/build
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
native_targets=(orvex-sim orvex-recorder)
if grep -q '^orvex_wine_modemlines:' <(cmake --build "$native" --target help | sed 's/^\.\.\. //; s/ .*//; s/$/:/'); then
    native_targets+=(orvex_wine_modemlines)
fi
cmake --build "$native" -j"$(nproc)" --target "${native_targets[@]}"

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_NATIVE_BUILD="$native" >/dev/null
cmake --build build-win -j"$(nproc)"
cd build-win
status=0
ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@" || status=$?
# Leave no wine server behind for the next step.
WINEPREFIX=$PWD/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
