#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build's, then the Windows build's under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_TESTS=ON -DORVEX_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)"
(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@")
echo "== the Windows build's tests under wine =="
scripts/test-windows.sh "$@"
