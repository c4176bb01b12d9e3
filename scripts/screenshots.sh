#!/usr/bin/env bash
# Takes the pictures in docs/ under Xvfb: the main window with live readings from
# orvex-sim --demo (docs/orvex-main.png), one picture per dialog (docs/orvex-<dialog>.png), the
# trend window after two minutes of live readings (docs/orvex-trend.png) and with a generated
# month of recording opened in it (docs/orvex-trend-file.png), then its cursors with statistics
# and a comparison (docs/orvex-trend-cursors.png, docs/orvex-trend-compare.png).
# Run it again when the look changes. Builds in the test tree (build/test): the dialogs'
# viewer and the trend helpers are test programs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/harness.sh
build=build/test
delay=${ORVEX_SCREENSHOT_DELAY:-8}  # the window refreshes its readings every 5 s

# The dialogs to picture, by the names orvex_show_dialog knows.
dialogs=(alarms colours fonts about settings information help port portsearch recording)

scripts/install-deps.sh --tests
cmake --preset test >/dev/null
cmake --build "$build" -j"$(nproc)" --target orvex orvex-sim orvex_show_dialog orvex_trend_gen \
    orvex_trend_picture
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

# trend <picture> <delay> <orvex arguments...>: the trend window, grabbed by the program itself.
trend() {
    local picture=$1 wait=$2
    shift 2
    ORVEX_CONFIG_DIR="$work" ORVEX_TREND_SCREENSHOT="$work/$picture" ORVEX_SCREENSHOT_DELAY="$wait" \
        "$orvex" "$@" 2>"$work/trend.log" &
    local program=$!
    pids+=("$program")
    wait_for_screenshot "$work/trend.log" $(((wait + 60) * 10)) ||
        { echo "no picture of the trend window" >&2; exit 1; }
    kill -TERM "$program"
    wait "$program" || true
    keep "$picture" "$work/$picture"
}
# The demo's probes, light and soil sensor switched off, to show the rest clearly.
hidden=("2|TQ22 2202 Temperatura1 [°C]" "2|TQ22 2202 Temperatura2 [°C]"
    "2|TQ22 2202 Temperatura3 [°C]" "2|TQ22 2202 Temperatura5 [°C]" "2|TQ22 2202 Temperatura6 [°C]"
    "2|TQ22 2202 Temperatura8 [°C]" "4|TQ24 2404 Ciśnienie [hPa]" "6|TQ26 2606  [kLx]"
    "7|TQ28 2807 Wilgotność [%]" "7|TQ28 2807 Temperatura [°C]"
    "7|TQ28 2807 Przenikalność elektryczna []" "7|TQ28 2807 Konduktywność [mS/m]"
    "TQ22 2201 Temperatura1 [°C]" "TQ22 2201 Temperatura2 [°C]" "TQ28 2801 Wilgotność [%]"
    "TQ28 2801 Temperatura [°C]" "TQ28 2801 Przenikalność elektryczna []"
    "TQ28 2801 Konduktywność [mS/m]" "TQ25 2501 Kierunek [°]" "5|TQ25 2505 Kierunek [°]"
    "Wejście binarne 7")
{
    printf '[TREND]\r\nSPAN=150\r\nWINDOW_WIDTH=1000\r\nWINDOW_HEIGHT=560\r\nHIDDEN_COUNT=%d\r\n' \
        "${#hidden[@]}"
    for i in "${!hidden[@]}"; do
        printf 'HIDDEN%d=%s\r\n' "$i" "${hidden[$i]}" | iconv -f UTF-8 -t CP1250
    done
} >>"$work/orvex.ini"
trend orvex-trend.png 130
"$(realpath "$build/bench/orvex_trend_gen")" 30 "$work/month.txt" "$work/month.qdx"
trend orvex-trend-file.png 25 --view "$work/month.txt"
# Cursors with the statistics, and a comparison with the day before, on three days.
"$(realpath "$build/bench/orvex_trend_gen")" 3 "$work/days.txt" "$work/days.qdx"
for picture in cursors compare; do
    "$(realpath "$build/tests/trendui/orvex_trend_picture")" "$picture" "$work/days.txt" \
        "$work/trend-$picture.png"
    keep "orvex-trend-$picture.png" "$work/trend-$picture.png"
done
