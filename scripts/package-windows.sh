#!/usr/bin/env bash
# The Windows deliverables: build/orvex-<version>-windows-x64.zip (the portable form) with
# orvex-recorder.exe, orvex-qdx.exe, README, LICENSE and the notices of the runtime linked into
# them, and build/orvex-<version>-setup.exe, the installer of the same files; built in the
# Windows build folder (build/windows).
set -euo pipefail
cd "$(dirname "$0")/.."
win=build/windows
cmake --preset windows >/dev/null
cmake --build "$win" -j"$(nproc)" --target orvex-recorder orvex-qdx
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")

# The installer of the staged folder, whatever it holds.
make_setup() {
    local start=$SECONDS
    scripts/windows-setup.sh "$1" "$version" "$win/generated/orvex.ico" \
        "build/orvex-$version-setup.exe" >/dev/null
    echo "build/orvex-$version-setup.exe"
    echo "makensis took $((SECONDS - start)) s" >&2
}

name=orvex-$version-windows-x64
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
for exe in "$win/recorder/orvex-recorder.exe" "$win/tools/orvex-qdx/orvex-qdx.exe"; do
    # A program that needs a DLL Windows does not have would not start on a user's machine.
    extra=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
            grep -viE '^(kernel32|user32|advapi32|bcrypt|msvcrt|ws2_32|setupapi|api-ms-win-[a-z0-9-]+)\.dll$' || true)
    if [ -n "$extra" ]; then
        echo "$exe needs DLLs that do not come with Windows: $extra" >&2
        exit 1
    fi
    x86_64-w64-mingw32-strip -o "$stage/$name/$(basename "$exe")" "$exe"
done
cp README.md LICENSE "$stage/$name/"
cp packaging/windows/README-windows.txt "$stage/$name/"
cp packaging/windows/orvex.ini "$stage/$name/orvex.ini.example"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/$name/LICENSE-mingw-w64-runtime.txt"
mkdir -p build
rm -f "build/$name.zip"
(cd "$stage" && zip -qr -X "$OLDPWD/build/$name.zip" "$name")
echo "build/$name.zip"
make_setup "$stage/$name"
