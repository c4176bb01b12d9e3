#!/usr/bin/env bash
# Builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

# For now: start the simulated concentrator and read it with an independent Modbus master.
sim_out=$(mktemp)
build/sim/orvex-sim --demo --log >"$sim_out" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -f "$sim_out"' EXIT
for _ in $(seq 50); do
    grep -q '^PTY ' "$sim_out" && break
    sleep 0.1
done
pty=$(sed -n 's/^PTY //p' "$sim_out" | head -n 1)
[ -n "$pty" ] || { echo "orvex-sim did not start" >&2; exit 1; }
echo "orvex-sim --demo is answering on $pty"

poll() {  # poll <title> <mbpoll options...>: one read at slave 1, 9600 8N1, registers from 0
    local title=$1
    shift
    echo "== $title"
    mbpoll -m rtu -b 9600 -P none -a 1 -0 -1 -o 2 "$@" "$pty" | grep '^\['
}
poll "identification (23073), reg1, serial number" -t 3 -r 0 -c 3
poll "input 1: presence, validity, serial, -, type" -t 3 -r 100 -c 5
poll "input 1 (TQ21): humidity %, temperature C" -t 3:float -r 140 -c 2
poll "input 3 (TQ23): humidity %, temperature C, pressure hPa" -t 3:float -r 340 -c 3
poll "input 5 (TQ25): direction, speed m/s" -t 3:float -r 540 -c 2
poll "alarm enables (registers 6, 7)" -t 4 -r 6 -c 2
echo "== requests the simulator received"
grep -v '^PTY ' "$sim_out"
