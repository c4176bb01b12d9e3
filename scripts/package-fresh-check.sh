#!/usr/bin/env bash
# Installs the Debian package (the first argument) into a fresh minimal Debian 12 system made
# with debootstrap, without recommended packages, and runs the installed program there against
# the installed orvex-sim on the host's Xvfb: the package's dependencies must bring in everything
# the program needs. Needs root and the Debian archive.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/harness.sh
[ "$(id -u)" -eq 0 ] || { echo "package-fresh-check.sh makes a chroot: run it as root" >&2; exit 1; }
deb=$(realpath "$1")

fail() {
    echo "fresh system check FAILED: $*" >&2
    exit 1
}

root=$(mktemp -d)
chmod 755 "$root"  # apt in the chroot reads its lists as the user _apt
clean_up() {
    umount -R "$root/tmp/.X11-unix" "$root/dev" "$root/proc" 2>/dev/null || true
    # Never delete through a mount that is still there: it would reach the host's /dev.
    if ! findmnt -rn -o TARGET | grep -q "^$root/"; then
        rm -rf --one-file-system "$root"
    else
        echo "left $root in place: something is still mounted under it" >&2
    fi
}

echo "-- a minimal Debian 12"
# A fresh system needs the Debian archive; without it there is nothing to check the package in,
# which says nothing about the package (the check on this machine has already passed).
if ! debootstrap --variant=minbase bookworm "$root" >"$root.debootstrap.log" 2>&1; then
    tail -n 20 "$root.debootstrap.log" >&2
    rm -f "$root.debootstrap.log"
    echo "fresh system check SKIPPED: debootstrap could not make a Debian 12 system" >&2
    exit 0
fi
rm -f "$root.debootstrap.log"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"  # the simulator's pseudo-terminal
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"

echo "-- apt install without recommended packages"
cp "$deb" "$root/tmp/"
in_root=(chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8)
"${in_root[@]}" apt-get update -qq
"${in_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "/tmp/$(basename "$deb")" >"$root/tmp/apt.log" 2>&1 ||
    { cat "$root/tmp/apt.log" >&2; fail "apt could not install the package"; }
grep 'newly installed' "$root/tmp/apt.log"
for program in orvex orvex-sim orvex-qdx; do
    if "${in_root[@]}" ldd "/usr/bin/$program" | grep 'not found'; then
        fail "$program lacks libraries"
    fi
done

# Qt loads these at run time, so no library check sees them: the window icon and logos are SVG.
for plugin in iconengines/libqsvgicon.so imageformats/libqsvg.so; do
    "${in_root[@]}" sh -c "test -f /usr/lib/*/qt6/plugins/$plugin" || fail "no Qt plugin $plugin"
done

echo "-- the installed program"
write_settings "$root/tmp/check" 7
start_sim "$root/tmp/sim.out" "${in_root[@]}" orvex-sim --demo --log --link /tmp/check/ports/com7 ||
    fail "no orvex-sim"
start_xvfb || fail "no X server"
"${in_root[@]}" DISPLAY="$DISPLAY" ORVEX_CONFIG_DIR=/tmp/check ORVEX_SCREENSHOT=/tmp/shot.png \
    ORVEX_SCREENSHOT_DELAY=6 ORVEX_STARTUP_TIMING=1 orvex 2>"$root/tmp/orvex.log" &
program=$!
pids+=("$program")
wait_for_screenshot "$root/tmp/orvex.log" 600 || fail "the program took no screenshot"
cat "$root/tmp/orvex.log"
grep -q '^orvex: first paint of the main window' "$root/tmp/orvex.log" || fail "no paint"
colours=$(distinct_colours "$root/tmp/shot.png")
echo "screenshot: $colours colours"
[ "$colours" -ge 16 ] || fail "the screenshot is blank ($colours colours)"
grep -q '^REQ 4 ' "$root/tmp/sim.out" || fail "the program never polled the simulator"
echo "fresh system check passed"
