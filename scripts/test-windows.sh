#!/usr/bin/env bash
# Cross-builds the Windows programs and their tests with mingw-w64 (build/windows) and runs the
# tests under wine.
#   test-windows.sh [ctest arguments]
# The serial and recorder tests need native helpers (orvex-sim and the pseudo-terminal shim wine
# loads), built first in the native test tree build/test.
set -euo pipefail
cd "$(dirname "$0")/.."

# The installer as package-windows.sh makes it, installed and removed under wine in a prefix of
# its own; not when ctest was given a choice of tests.
test_setup() {
    if [ $# -gt 0 ]; then
        echo "setup.exe test skipped: ctest was given arguments"
        return 0
    fi
    local version
    scripts/package-windows.sh >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
    python3 tests/setup/wine/setup_wine_test.py --wine-run cmake/wine-run.sh \
        --setup "build/orvex-$version-setup.exe" --zip "build/orvex-$version-windows-x64.zip" \
        --prefix build/windows/wineprefix-setup
}
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
test_setup "$@" || status=$?
exit $status
