#!/usr/bin/env bash
# CPU use of the running program while it records both files every second against orvex-sim:
# utime+stime over a measured span after the start-up step has opened the files.
# Usage: bench/recording-cpu.sh [build-folder] [seconds]
set -euo pipefail
build=${1:-build}
span=${2:-60}
work=$(mktemp -d)
trap 'kill $prog $sim 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/ports"
coproc SIM { exec "$build/sim/orvex-sim" --demo --link "$work/ports/com7"; }
sim=$SIM_PID
read -r _ _ <&"${SIM[0]}"  # "PTY <path>": the link is in place
printf '[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\nSHOW_ADV=0\r\n[LOG]\r\nFILE_LOG=1\r\nFILE_NAME=%s\r\nFILE_LOG_BIN=1\r\nFILE_NAME_BIN=%s\r\nFILE_INTERVAL=1\r\n' \
    "$work/rows.txt" "$work/rows.qdx" >"$work/orvex.ini"
QT_QPA_PLATFORM=offscreen ORVEX_CONFIG_DIR="$work" "$build/app/orvex" &
prog=$!
for _ in $(seq 1 300); do [ -s "$work/rows.qdx" ] && break; sleep 0.1; done
[ -s "$work/rows.qdx" ] || { echo "no records after the start-up step" >&2; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$prog/stat"; }
rows0=$(grep -c $'\r' "$work/rows.txt")
t0=$(ticks)
sleep "$span"
t1=$(ticks)
rows1=$(grep -c $'\r' "$work/rows.txt")
hz=$(getconf CLK_TCK)
awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$span" -v r=$((rows1 - rows0)) \
    'BEGIN { printf "CPU %.1f ms over %d s = %.3f %% of one core; %d text rows written\n", d * 1000 / hz, s, d * 100 / hz / s, r }'
