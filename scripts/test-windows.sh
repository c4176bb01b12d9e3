#!/usr/bin/env bash
# Cross-builds the Windows programs and their tests with mingw-w64 and runs the tests under wine.
#   test-windows.sh [ctest arguments]
# The serial and recorder tests need native helpers (orvex-sim and the pseudo-terminal shim wine
# loads), built in the native tree `build` first.
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
    scripts/package-windows.sh build-win >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-win/CMakeCache.txt)
    python3 tests/setup/wine/setup_wine_test.py --wine-run cmake/wine-run.sh \
        --setup "build/orvex-$version-setup.exe" --zip "build/orvex-$version-windows-x64.zip" \
        --prefix build-win/wineprefix-setup
}
native=$PWD/build
# Its own options stated: a tree configured by run.sh has no tests, and no shim target.
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_TESTS=ON >/dev/null
cmake --build "$native" -j"$(nproc)" --target orvex-sim orvex-recorder orvex_wine_modemlines

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_NATIVE_BUILD="$native" >/dev/null
cmake --build build-win -j"$(nproc)"
cd build-win
# One wine server for the whole run, carrying the modem-line library: with it the server never
# takes a simulator's pseudo-terminal as its controlling terminal (see tests/wine/).
export WINEPREFIX=$PWD/wineprefix
mkdir -p "$WINEPREFIX"
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
LD_PRELOAD="$native/tests/wine/liborvex_wine_modemlines.so" "$server" -p </dev/null >/dev/null 2>&1
status=0
ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@" || status=$?
# Leave no wine server behind for the next step.
"$server" -k 2>/dev/null || true
cd ..
test_setup "$@" || status=$?
exit $status
