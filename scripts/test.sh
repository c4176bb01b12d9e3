#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build's (build/test), then the Windows
# build's under wine (build/windows).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
cmake --preset test >/dev/null
cmake --build --preset test -j"$(nproc)"
ctest --preset test -j"$(nproc)" "$@"
echo "== the Windows build's tests under wine =="
scripts/test-windows.sh "$@"
