#!/usr/bin/env bash
# CPU use of the running program while it records both files every second against orvex-sim:
# utime+stime over a measured span after the start-up step has opened the files.
# Usage: bench/recording-cpu.sh [build-folder] [seconds]
set -euo pipefail
# shellcheck source=scripts/harness.sh
source "$(dirname "$0")/../scripts/harness.sh"
build=${1:-build/test}
span=${2:-60}
work=$(mktemp -d)
clean_up() { rm -rf "$work"; }
start_sim "$work/sim.out" "$build/sim/orvex-sim" --demo --link "$work/ports/com7"
write_settings "$work" 7
printf '[LOG]\r\nFILE_LOG=1\r\nFILE_NAME=%s\r\nFILE_LOG_BIN=1\r\nFILE_NAME_BIN=%s\r\nFILE_INTERVAL=1\r\n' \
    "$work/rows.txt" "$work/rows.qdx" >>"$work/orvex.ini"
QT_QPA_PLATFORM=offscreen ORVEX_CONFIG_DIR="$work" "$build/app/orvex" &
prog=$!
pids+=("$prog")
wait_for 300 test -s "$work/rows.qdx" || {
    echo "no records after the start-up step" >&2
    exit 1
}
ticks() { awk '{print $14 + $15}' "/proc/$prog/stat"; }
rows0=$(grep -c $'\r' "$work/rows.txt")
t0=$(ticks)
sleep "$span"
t1=$(ticks)
rows1=$(grep -c $'\r' "$work/rows.txt")
hz=$(getconf CLK_TCK)
awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$span" -v r=$((rows1 - rows0)) \
    'BEGIN { printf "CPU %.1f ms over %d s = %.3f %% of one core; %d text rows written\n", d * 1000 / hz, s, d * 100 / hz / s, r }'
