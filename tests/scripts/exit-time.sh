#!/bin/sh
# Measures how long the real program takes to end after SIGTERM while its device misbehaves,
# and whether the port is free again at once (a second program can open it).
# Usage: tests/scripts/exit-time.sh [build-dir] [modes...]
#   modes default to: none silence slow truncated noise echo
set -eu
build=${1:-build}
[ $# -gt 0 ] && shift
modes=${*:-none silence slow truncated noise echo}
orvex=$build/app/orvex
sim=$build/sim/orvex-sim
[ -x "$orvex" ] && [ -x "$sim" ] || { echo "build the targets orvex and orvex-sim in $build" >&2; exit 2; }

now_ms() { date +%s%3N; }

for mode in $modes; do
    dir=$(mktemp -d)
    printf '[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\n' > "$dir/orvex.ini"
    log=$dir/sim.log
    fault=
    [ "$mode" != none ] && fault="--fault $mode"
    # shellcheck disable=SC2086
    "$sim" --demo --log $fault --slow-ms 4000 --link "$dir/ports/com7" > "$log" 2>&1 &
    simpid=$!
    until grep -q '^PTY ' "$log" 2>/dev/null; do sleep 0.05; done
    QT_QPA_PLATFORM=offscreen ORVEX_CONFIG_DIR=$dir "$orvex" > "$dir/orvex.out" 2>&1 &
    pid=$!
    # Let it settle into polling: a request is on its way or waiting for its reply.
    until grep -q '^REQ' "$log"; do sleep 0.05; done
    sleep 3
    requests=$(grep -c '^REQ' "$log" || true)
    start=$(now_ms)
    kill -TERM "$pid"
    wait "$pid" || true
    took=$(( $(now_ms) - start ))
    # The port must be free at once: a new program takes it without "port busy".
    if python3 -c 'import fcntl, os, sys
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)' "$dir/ports/com7" 2>/dev/null; then
        port=free
    else
        port=busy
    fi
    printf '%-10s exit %5d ms after SIGTERM  port %s  (%s requests before)\n' "$mode" "$took" \
        "$port" "$requests"
    kill -TERM "$simpid" 2>/dev/null || true
    wait "$simpid" 2>/dev/null || true
    rm -rf "$dir"
done
