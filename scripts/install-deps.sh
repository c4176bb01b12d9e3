#!/usr/bin/env bash
# Installs the Debian packages the project needs (skips apt when all are present).
#   install-deps.sh          what building and running orvex and orvex-sim needs (scripts/run.sh)
#   install-deps.sh --tests  that plus what the tests, benchmarks, pictures and package checks
#                            need (scripts/test.sh, CI)
set -euo pipefail

# Building and running the program and the simulator.
program_packages=(
    build-essential cmake git
    qt6-base-dev libgl-dev libqt6svg6 libqcustomplot-dev
    libmosquitto-dev
    qt6-translations-l10n fonts-liberation2
    xvfb
    pkg-config libsystemd-dev
)

# The tests, benchmarks, screenshots and the Debian package checks.
test_packages=(
    pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
    libmodbus-dev mbpoll socat
    xauth x11-apps fonts-liberation fonts-urw-base35
    systemd
    mosquitto mosquitto-clients openssl  # a real broker and test certificates
    clang libclang-rt-14-dev
    librsvg2-bin file dpkg-dev desktop-file-utils appstream netpbm debootstrap systemd-container
    g++-mingw-w64-x86-64-posix wine64 zip unzip nsis python3  # the Windows build, its tests under wine, its zip and setup.exe
)

packages=("${program_packages[@]}")
case "${1:-}" in
    "") ;;
    --tests) packages+=("${test_packages[@]}") ;;
    *)
        echo "usage: $0 [--tests]" >&2
        exit 2
        ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
