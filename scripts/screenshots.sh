#!/usr/bin/env bash
# Takes the pictures in docs/ under Xvfb against orvex-sim --demo: the main window with live
# readings (docs/orvex-main.png) and one picture per dialog (docs/orvex-<dialog>.png).
# Run it again when the look changes. The first argument names the build folder (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvfb.sh
build=${1:-build}
delay=${ORVEX_SCREENSHOT_DELAY:-8}  # the window refreshes its readings every 5 s

# The dialogs to picture. The program shows the dialog named by ORVEX_SCREENSHOT_DIALOG over its
# window and ORVEX_SCREENSHOT then saves that dialog; list a name here once the program knows it.
dialogs=()

scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target orvex orvex-sim
orvex=$(realpath "$build/app/orvex")
sim=$(realpath "$build/sim/orvex-sim")

work=$(mktemp -d)
pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# A settings folder of its own, so the user's orvex.ini and the demo folder stay untouched.
mkdir -p "$work/ports"
printf '[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\nPORT_PARITY=69\r\nSHOW_ADV=0\r\n' >"$work/orvex.ini"
"$sim" --demo --link "$work/ports/com7" </dev/null >"$work/sim.out" 2>&1 &
pids+=($!)
wait_for 100 grep -qs '^PTY ' "$work/sim.out" || { cat "$work/sim.out" >&2; exit 1; }
start_xvfb
pids+=("$xvfb_pid")

# shoot <picture> [VARIABLE=value...]: one run of the program, saved as docs/<picture>.
shoot() {
    local picture=$1 log=$work/$1.log shot=$work/$1
    shift
    env "$@" ORVEX_CONFIG_DIR="$work" ORVEX_SCREENSHOT="$shot" ORVEX_SCREENSHOT_DELAY="$delay" \
        "$orvex" 2>"$log" &
    local program=$!
    pids+=("$program")
    if ! wait_for $(((delay + 30) * 10)) grep -q '^orvex: screenshot' "$log"; then
        cat "$log" >&2
        echo "no picture for $picture" >&2
        return 1
    fi
    kill -TERM "$program"
    wait "$program" || true
    unset 'pids[-1]'
    local colours
    colours=$(distinct_colours "$shot")
    if [ "$colours" -lt 16 ]; then
        echo "$picture is blank ($colours colours)" >&2
        return 1
    fi
    mv "$shot" "docs/$picture"
    echo "docs/$picture"
}

mkdir -p docs
shoot orvex-main.png
if [ ${#dialogs[@]} -gt 0 ] && ! grep -qa ORVEX_SCREENSHOT_DIALOG "$orvex"; then
    echo "this build cannot show a dialog for a picture: only the main window was taken" >&2
    exit 0
fi
for dialog in "${dialogs[@]}"; do
    shoot "orvex-$dialog.png" ORVEX_SCREENSHOT_DIALOG="$dialog"
done
