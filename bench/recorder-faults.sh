#!/usr/bin/env bash
# orvex-recorder through faults, recording every second against orvex-sim --demo:
# 1. rows written against seconds elapsed through a full disk of 20 s (RLIMIT_FSIZE of the
#    running recorder set to one byte, then lifted) and a re-plug (the simulator ended and
#    started again on the same link after 5 s);
# 2. the time from SIGTERM to the recorder's exit in every fault mode of orvex-sim, with the
#    port missing, and with the disk full.
# Usage: bench/recorder-faults.sh [build-folder]
set -euo pipefail
# shellcheck source=scripts/harness.sh
source "$(dirname "$0")/../scripts/harness.sh"
build=${1:-build}
work=$(mktemp -d)
clean_up() { rm -rf "$work"; }

settings() {
    write_settings "$work" 7
    printf '[LOG]\r\nFILE_LOG=1\r\nFILE_NAME=%s\r\nFILE_LOG_BIN=1\r\nFILE_NAME_BIN=%s\r\nFILE_INTERVAL=1\r\n' \
        "$work/rows.csv" "$work/rows.qdx" >>"$work/orvex.ini"
}
sim() { start_sim "$work/sim.out" "$build/sim/orvex-sim" --demo --link "$work/ports/com7" "$@"; }
recorder() {
    # Through a pipe: a file size limit set on the recorder must not cut its log.
    "$build/recorder/orvex-recorder" --config "$work" 2> >(cat >>"$work/recorder.log") &
    prog=$!
    pids+=("$prog")
}
# Sets stop_ms to the milliseconds from SIGTERM to the recorder's exit (not in a subshell: only
# this shell can wait for its child).
stop_recorder() {
    local t0 t1 status=0
    t0=$(date +%s%N)
    kill -TERM "$prog"
    wait "$prog" || status=$?
    t1=$(date +%s%N)
    stop_ms=$(((t1 - t0) / 1000000))
    [ "$status" -eq 0 ] || stop_ms="$stop_ms (exit status $status)"
}

echo "== rows against ticks through a full disk of 20 s and a re-plug"
settings
sim
sim_pid=${pids[-1]}
recorder
wait_for 300 grep -qs '<6>device responding' "$work/recorder.log" || { cat "$work/recorder.log" >&2; exit 1; }
sleep 10
prlimit --pid "$prog" --fsize=1:
sleep 20
prlimit --pid "$prog" --fsize=unlimited:
sleep 10
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
sleep 5
sim
sleep 10
stop_recorder
grep -v ' records held' "$work/recorder.log" | sed 's/^/  /'
# Each row's time stamp to the second: every second from the first row to the last must be there
# exactly once.
tr -d '\r' <"$work/rows.csv" | awk -F'\t' '
    /^[0-9]/ {
        gsub(/[.:]/, " ", $1)
        t = mktime($1)
        if (n > 0 && t - last > 1) { missing += t - last - 1; gaps = gaps " " strftime("%T", last) "+" (t - last) }
        if (n > 0 && t == last) dup++
        if (n == 0) first = t
        last = t; n++
        if (NF > 2) valued++
    }
    END {
        printf "text rows %d over %d s (first to last); missing seconds %d%s; repeated %d; rows with values %d\n",
            n, last - first + 1, missing, gaps, dup, valued
    }'
python3 - "$work/rows.qdx" <<'PY'
import re, sys
data = bytes((256 - b) & 0xFF for b in open(sys.argv[1], "rb").read())
stamps = re.findall(rb"(?<![0-9,.])(\d{14})\$", data)
print(f"binary records {len(stamps)}, distinct seconds {len(set(stamps))}")
PY
kill "${pids[@]}" 2>/dev/null || true
pids=()

echo "== exit time after SIGTERM"
for mode in none silence slow badcrc wrongaddr exception truncated noise echo; do
    rm -f "$work/rows.csv" "$work/rows.qdx" "$work/recorder.log"
    settings
    sim --fault "$mode"
    recorder
    # A slow device takes a minute for a whole cycle: the port's opening is the mark.
    wait_for 300 grep -qs 'opened' "$work/recorder.log" || { cat "$work/recorder.log" >&2; exit 1; }
    sleep 2.5
    stop_recorder
    echo "$mode: $stop_ms ms"
    stop_started
done
rm -f "$work/rows.csv" "$work/rows.qdx" "$work/recorder.log" "$work/ports/com7"
settings
recorder
wait_for 300 grep -qs 'cannot be opened' "$work/recorder.log" || { cat "$work/recorder.log" >&2; exit 1; }
sleep 2.5
stop_recorder
echo "port missing: $stop_ms ms"
settings
sim
recorder
wait_for 300 grep -qs '<6>device responding' "$work/recorder.log" || exit 1
prlimit --pid "$prog" --fsize=1:
wait_for 300 grep -qs '<3>cannot write' "$work/recorder.log" || exit 1
sleep 2.5
stop_recorder
echo "disk full: $stop_ms ms"
