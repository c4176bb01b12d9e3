#!/usr/bin/env bash
# CPU the live trend adds to the running program against orvex-sim --demo: utime+stime over a
# measured span, once with the trend window open (following the newest samples) and once
# without it, one after the other. Usage: bench/trend-cpu.sh [build-folder] [seconds]
set -euo pipefail
# shellcheck source=scripts/harness.sh
source "$(dirname "$0")/../scripts/harness.sh"
build=${1:-build/test}
span=${2:-60}
work=$(mktemp -d)
clean_up() { rm -rf "$work"; }
start_sim "$work/sim.out" "$build/sim/orvex-sim" --demo --link "$work/ports/com7"
hz=$(getconf CLK_TCK)

# measure <label> [environment...]: the program's CPU over the span, after 15 s of warm-up.
measure() {
    local label=$1
    shift
    write_settings "$work" 7
    env QT_QPA_PLATFORM=offscreen ORVEX_CONFIG_DIR="$work" "$@" "$build/app/orvex" \
        2>"$work/orvex.log" &
    local prog=$!
    pids+=("$prog")
    sleep 15
    local t0 t1
    t0=$(awk '{print $14 + $15}' "/proc/$prog/stat")
    sleep "$span"
    t1=$(awk '{print $14 + $15}' "/proc/$prog/stat")
    kill -TERM "$prog"
    wait "$prog" || true
    awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$span" -v l="$label" \
        'BEGIN { printf "%s: CPU %.0f ms over %d s = %.3f %% of one core\n", l, d * 1000 / hz, s, d * 100 / hz / s }'
}
measure "without the trend window"
# The picture is taken only after the measurement (the delay is longer than the run).
measure "with the trend window open" ORVEX_TREND_SCREENSHOT="$work/unused.png" \
    ORVEX_SCREENSHOT_DELAY=100000
