#!/usr/bin/env bash
# Builds the Debian package and checks it as a user meets it: its files and dependencies, the
# desktop entry and metainfo, an apt install, the installed program run against the installed
# orvex-sim under Xvfb by an unprivileged user (so settings go to the XDG folder), and removal.
# Needs root (apt); removes an installed orvex package first. The package is built by
# scripts/package.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/harness.sh
[ "$(id -u)" -eq 0 ] || { echo "package-check.sh installs a package: run it as root" >&2; exit 1; }

fail() {
    echo "package check FAILED: $*" >&2
    exit 1
}

deb=$(scripts/package.sh | tail -n 1)
deb=$(realpath "$deb")
echo "package: $deb"
version=$(dpkg-deb -f "$deb" Version)
app_id=org.orvex.Orvex

work=$(mktemp -d)
chmod 755 "$work"
installed=0
clean_up() {
    if [ "$installed" -eq 1 ]; then
        apt-get remove -y -qq orvex >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}

echo "-- contents"
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/orvex usr/bin/orvex-sim usr/bin/orvex-qdx \
    "usr/share/applications/$app_id.desktop" "usr/share/metainfo/$app_id.metainfo.xml" \
    usr/share/icons/hicolor/scalable/apps/orvex.svg \
    usr/share/icons/hicolor/48x48/apps/orvex.png usr/share/icons/hicolor/128x128/apps/orvex.png \
    usr/share/doc/orvex/README.md usr/share/doc/orvex/orvex-sim.md usr/share/doc/orvex/copyright \
    usr/share/doc/orvex/docs/orvex-main.png usr/bin/orvex-recorder \
    usr/lib/systemd/system/orvex-recorder.service usr/lib/systemd/system/orvex-recorder@.service \
    usr/share/doc/orvex/orvex-recorder.ini usr/share/doc/orvex/orvex-recorder.logrotate; do
    [ -s "$work/root/$f" ] || fail "the package lacks /$f"
done
for size in 48 128; do
    # Width and height are the first two 32-bit words after the PNG signature and IHDR header.
    dims=$(od -An -tu1 -j16 -N8 "$work/root/usr/share/icons/hicolor/${size}x$size/apps/orvex.png" |
        awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x$size" ] || fail "the ${size}x$size icon is $dims"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
depend_names=$(tr "," "\n" <<<"$depends" | sed "s/^ *//; s/ .*//")
for lib in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libqt6svg6 \
    qt6-translations-l10n fonts-liberation2 libsystemd0 libmosquitto1 passwd; do
    grep -qxF "$lib" <<<"$depend_names" || fail "Depends lacks $lib"
done

echo "-- desktop entry and metainfo"
desktop-file-validate "$work/root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$app_id.metainfo.xml"
grep -qx 'Icon=orvex' "$work/root/usr/share/applications/$app_id.desktop" ||
    fail "the desktop entry does not name the icon orvex"
grep -q "<release version=\"${version%-*}\"" "$work/root/usr/share/metainfo/$app_id.metainfo.xml" ||
    fail "the metainfo does not name release ${version%-*}"

echo "-- install"
if dpkg-query -W -f='${Status}' orvex 2>/dev/null | grep -q "install ok installed"; then
    apt-get remove -y -qq orvex >/dev/null
fi
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "apt could not install the package"; }
/usr/bin/orvex-qdx --help | grep -q -- '--csv' || fail "installed orvex-qdx does not answer --help"
grep -q 'GPL-3.0-or-later' "$work/root/usr/share/doc/orvex/copyright" ||
    fail "the copyright file does not say the program is GPL-3.0-or-later"
[ "$(/usr/bin/orvex-sim --version)" = "orvex-sim ${version%-*}" ] ||
    fail "installed orvex-sim --version says '$(/usr/bin/orvex-sim --version)'"

echo "-- the recorder's user, units and a recording as that user"
id -nG orvex | tr ' ' '\n' | grep -qx dialout || fail "the user orvex is not in dialout"
[ "$(stat -c %G /etc/orvex)" = orvex ] || fail "/etc/orvex is not readable by the group orvex"
[ ! -e /etc/systemd/system/multi-user.target.wants/orvex-recorder.service ] ||
    fail "the recorder service was enabled on install"
scripts/check-units.sh /usr/bin/orvex-recorder /usr/lib/systemd/system || fail "unit check"
station=$work/station
mkdir -p "$station"
sed -e "s#^PORT_NR=.*#PORT_NR=7#" -e "s#/var/lib/orvex#$station#" -e "s#^FILE_INTERVAL=.*#FILE_INTERVAL=1#" \
    /usr/share/doc/orvex/orvex-recorder.ini >"$station/orvex.ini"
chown -R orvex:orvex "$station"
as_orvex=(setpriv --reuid=orvex --regid=orvex --init-groups)
start_sim "$work/recsim.out" "${as_orvex[@]}" /usr/bin/orvex-sim --demo --link "$station/ports/com7" ||
    fail "no orvex-sim for the recorder"
recorder_sim=${pids[-1]}
"${as_orvex[@]}" /usr/bin/orvex-recorder --config "$station" 2>"$work/recorder.log" &
recorder=$!
pids+=("$recorder")
wait_for 150 bash -c "[ \$(tr -cd '\r' 2>/dev/null <'$station/pomiary.csv' | wc -c) -ge 3 ]" 2>/dev/null ||
    { cat "$work/recorder.log" >&2; fail "the installed recorder wrote no rows"; }
kill -TERM "$recorder"
wait "$recorder" || { cat "$work/recorder.log" >&2; fail "the recorder ended with status $?"; }
cat "$work/recorder.log"
[ -s "$station/pomiary.qdx" ] || fail "the installed recorder wrote no binary records"
kill "$recorder_sim"  # a process of the user would keep the purge from removing it
wait "$recorder_sim" 2>/dev/null || true

echo "-- the installed program as an unprivileged user"
# nobody cannot write /usr/bin, so the program must keep its settings in $HOME/.config/orvex.
as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env)
home=$work/home
config=$home/.config/orvex
write_settings "$config" 7
chown -R nobody:nogroup "$home"
user_env=(env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8)

start_sim "$work/sim.out" "${as_user[@]}" "${user_env[@]}" \
    /usr/bin/orvex-sim --demo --log --link "$config/ports/com7" || fail "no orvex-sim"

start_xvfb "${as_user[@]}" "${user_env[@]}" || fail "no X server"
shot=$work/shot/orvex.png
mkdir -p "$work/shot"
chown nobody "$work/shot"
"${as_user[@]}" "${user_env[@]}" DISPLAY="$DISPLAY" ORVEX_SCREENSHOT="$shot" \
    ORVEX_SCREENSHOT_DELAY=6 ORVEX_STARTUP_TIMING=1 /usr/bin/orvex 2>"$work/orvex.log" &
program=$!
pids+=("$program")
wait_for_screenshot "$work/orvex.log" 600 || fail "the installed program took no screenshot"
kill -TERM "$program"  # closes the window as its close command does, saving the settings
wait_for 300 bash -c "! kill -0 $program 2>/dev/null" || fail "the program did not end on SIGTERM"
wait "$program" || fail "the program ended with status $?"
cat "$work/orvex.log"

grep -q '^orvex: first paint of the main window' "$work/orvex.log" || fail "the window never painted"
[ -s "$shot" ] || fail "empty screenshot"
colours=$(distinct_colours "$shot")
echo "screenshot: $colours colours"
[ "$colours" -ge 16 ] || fail "the screenshot is blank ($colours colours)"
grep -q '^WINDOW_TOP=' "$config/orvex.ini" ||
    fail "the program did not save its settings to $config/orvex.ini"
grep -q '^REQ 4 ' "$work/sim.out" || fail "the program never polled the simulator"
[ ! -e /usr/bin/orvex.ini ] || fail "settings were written beside the installed program"
echo "settings saved to the XDG folder: $config/orvex.ini"

echo "-- remove"
apt-get remove -y -qq orvex >/dev/null
installed=0
[ ! -e /usr/bin/orvex ] || fail "/usr/bin/orvex is still there after removal"
[ ! -e "/usr/share/applications/$app_id.desktop" ] || fail "the desktop entry is still there"
# Without conffiles, dpkg may have purged already; the user goes at the purge either way.
dpkg --purge orvex >/dev/null 2>&1 || true
! getent passwd orvex >/dev/null || fail "the user orvex is still there after purge"
echo "package check passed"
