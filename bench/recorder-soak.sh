#!/usr/bin/env bash
# CPU and resident memory of orvex-recorder recording both files every second against
# orvex-sim --demo, sampled every minute, and the text rows written against the seconds elapsed.
# Usage: bench/recorder-soak.sh [build-folder] [seconds]
set -euo pipefail
# shellcheck source=scripts/harness.sh
source "$(dirname "$0")/../scripts/harness.sh"
build=${1:-build}
span=${2:-3600}
work=$(mktemp -d)
clean_up() { rm -rf "$work"; }
start_sim "$work/sim.out" "$build/sim/orvex-sim" --demo --link "$work/ports/com7"
write_settings "$work" 7
printf '[LOG]\r\nFILE_LOG=1\r\nFILE_NAME=%s\r\nFILE_LOG_BIN=1\r\nFILE_NAME_BIN=%s\r\nFILE_INTERVAL=1\r\n' \
    "$work/rows.csv" "$work/rows.qdx" >>"$work/orvex.ini"
"$build/recorder/orvex-recorder" --config "$work" 2>"$work/recorder.log" &
prog=$!
pids+=("$prog")
wait_for 300 grep -qs '<6>device responding' "$work/recorder.log" || { cat "$work/recorder.log" >&2; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$prog/stat"; }
rss() { awk '/^VmRSS/ {print $2}' "/proc/$prog/status"; }
rows() { grep -c $'^[0-9]' "$work/rows.csv"; }
hz=$(getconf CLK_TCK)
t0=$(ticks)
r0=$(rows)
start=$(date +%s)
echo "minute rss_kB cpu_ms_total"
for ((m = 0; m * 60 < span; m++)); do
    echo "$m $(rss) $((($(ticks) - t0) * 1000 / hz))"
    sleep $((span - m * 60 < 60 ? span - m * 60 : 60))
done
elapsed=$(($(date +%s) - start))
t1=$(ticks)
r1=$(rows)
echo "end $(rss) $(((t1 - t0) * 1000 / hz))"
awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$elapsed" -v r=$((r1 - r0)) \
    'BEGIN { printf "CPU %.0f ms over %d s = %.3f %% of one core; %d rows in %d s\n", d * 1000 / hz, s, d * 100 / hz / s, r, s }'
grep -v '^<6>' "$work/recorder.log" || true
