#!/usr/bin/env bash
# Takes the pictures in docs/ under Xvfb: the main window with live readings from
# orvex-sim --demo (docs/orvex-main.png) and one picture per dialog (docs/orvex-<dialog>.png).
# Run it again when the look changes. The first argument names the build folder (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/harness.sh
build=${1:-build}
delay=${ORVEX_SCREENSHOT_DELAY:-8}  # the window refreshes its readings every 5 s

# The dialogs to picture, by the names orvex_show_dialog knows.
dialogs=(alarms colours fonts about settings information help port portsearch recording)

scripts/install-deps.sh --tests
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target orvex orvex-sim orvex_show_dialog
orvex=$(realpath "$build/app/orvex")
show_dialog=$(realpath "$build/tests/dialogs/orvex_show_dialog")
sim=$(realpath "$build/sim/orvex-sim")

work=$(mktemp -d)
clean_up() {
    rm -rf "$work"
}

# A settings folder of its own, so the user's orvex.ini and the demo folder stay untouched.
write_settings "$work" 7
start_sim "$work/sim.out" "$sim" --demo --link "$work/ports/com7"
start_xvfb

# keep <picture> <file>: moves a picture that is not blank into docs/.
keep() {
    local colours
    colours=$(distinct_colours "$2")
    if [ "$colours" -lt 16 ]; then
        echo "$1 is blank ($colours colours)" >&2
        return 1
    fi
    mv "$2" "docs/$1"
    echo "docs/$1"
}

mkdir -p docs
log=$work/orvex.log
ORVEX_CONFIG_DIR="$work" ORVEX_SCREENSHOT="$work/main.png" ORVEX_SCREENSHOT_DELAY="$delay" \
    "$orvex" 2>"$log" &
program=$!
pids+=("$program")
if ! wait_for_screenshot "$log" $(((delay + 30) * 10)); then
    echo "no picture of the main window" >&2
    exit 1
fi
kill -TERM "$program"
wait "$program" || true
keep orvex-main.png "$work/main.png"

# Each dialog on its own, as the tool shows it with the main window's default look.
for dialog in "${dialogs[@]}"; do
    "$show_dialog" "$dialog" "$work/$dialog.png" 2>>"$work/dialogs.log" ||
        { cat "$work/dialogs.log" >&2; exit 1; }
    keep "orvex-$dialog.png" "$work/$dialog.png"
done
