#!/usr/bin/env bash
# Installs the Debian packages the project needs (skips apt when all are present).
set -euo pipefail
packages=(
    build-essential cmake pkg-config git
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    qt6-base-dev libgl-dev libqt6svg6
    libmodbus-dev mbpoll socat
    libsystemd-dev systemd
    libmosquitto-dev
    mosquitto mosquitto-clients openssl  # tests: a real broker and test certificates
    xvfb xauth x11-apps fonts-liberation
    clang libclang-rt-14-dev
    librsvg2-bin file dpkg-dev desktop-file-utils appstream netpbm debootstrap
)
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
