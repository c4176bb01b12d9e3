#!/usr/bin/env bash
# Measures how long the real program takes to end after SIGTERM while its device misbehaves,
# and whether the port is free again at once (a second program can open it).
# Usage: tests/scripts/exit-time.sh [build-dir, default build/run] [modes...]
#   modes default to: none silence slow truncated noise echo
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/harness.sh"
build=${1:-build/run}
[ $# -gt 0 ] && shift
modes=${*:-none silence slow truncated noise echo}
orvex=$build/app/orvex
sim=$build/sim/orvex-sim
if [ ! -x "$orvex" ] || [ ! -x "$sim" ]; then
    echo "build the targets orvex and orvex-sim in $build" >&2
    exit 2
fi

dir=
clean_up() { [ -z "$dir" ] || rm -rf "$dir"; }

now_ms() { date +%s%3N; }

for mode in $modes; do
    dir=$(mktemp -d)
    write_settings "$dir" 7
    log=$dir/sim.log
    fault=()
    [ "$mode" != none ] && fault=(--fault "$mode")
    start_sim "$log" "$sim" --demo --log "${fault[@]}" --slow-ms 4000 --link "$dir/ports/com7"
    QT_QPA_PLATFORM=offscreen ORVEX_CONFIG_DIR=$dir "$orvex" >"$dir/orvex.out" 2>&1 &
    pid=$!
    pids+=("$pid")
    # Let it settle into polling: a request is on its way or waiting for its reply.
    if ! wait_for 100 grep -q '^REQ' "$log"; then
        echo "$mode: the program sent no request" >&2
        exit 1
    fi
    sleep 3
    requests=$(grep -c '^REQ' "$log" || true)
    start=$(now_ms)
    kill -TERM "$pid"
    wait "$pid" || true
    took=$(($(now_ms) - start))
    unset 'pids[-1]' # ended and reaped: its id must not be signalled again
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
    stop_started
    rm -rf "$dir"
    dir=
done
