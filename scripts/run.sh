#!/usr/bin/env bash
# Builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/harness.sh
scripts/install-deps.sh
# Only the program and the simulator, in their own folder (build/run): scripts/test.sh builds
# the tests in another.
cmake --preset run >/dev/null
cmake --build --preset run -j"$(nproc)"

# Then: with no port configured, the program runs on a demo settings folder (./demo) against
# orvex-sim on a pseudo-terminal. Without a display it runs under Xvfb, saves a screenshot of
# its window after a few seconds, prints the screenshot's path and ends (saving its settings).
root=$(pwd)
orvex=$root/build/run/app/orvex
sim=$root/build/run/sim/orvex-sim
demo=$root/demo
shot_delay=${ORVEX_SCREENSHOT_DELAY:-8}

# The program names the folder it would keep orvex.ini in and the port configured there.
folder=$("$orvex" --settings-folder)
if [ "$("$orvex" --settings-port)" -gt 0 ]; then
    echo "Using the port configured in $folder/orvex.ini"
else
    folder=$demo
    port=$(ORVEX_CONFIG_DIR=$demo "$orvex" --settings-port)
    if [ "$port" -le 0 ]; then
        port=7
        write_settings "$demo" "$port"
    fi
    sim_out=$demo/orvex-sim.out
    start_sim "$sim_out" "$sim" --demo --drift --link "$demo/ports/com$port" || exit 1
    echo "orvex-sim --demo --drift answers on $(sed -n 's/^PTY //p' "$sim_out") as COM$port" \
        "(demo settings folder $demo)"
fi
export ORVEX_CONFIG_DIR=$folder

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$orvex"
    exit 0
fi

# No display: a virtual X server, and a screenshot the program takes of its own window.
start_xvfb || exit 1
shot=$folder/orvex-screenshot.png
rm -f "$shot"
log=$folder/orvex.log
rm -f "$log"  # a line of the last run must not count as this run's screenshot
ORVEX_SCREENSHOT=$shot ORVEX_SCREENSHOT_DELAY=$shot_delay \
    ORVEX_STARTUP_TIMING=1 "$orvex" 2>"$log" &
program=$!
pids+=("$program")
if wait_for_screenshot "$log" $(((shot_delay + 30) * 10)); then
    grep '^orvex: first paint' "$log" || true
    echo "Screenshot of the program's window: $shot"
else
    echo "no screenshot was taken" >&2
fi
kill -TERM "$program" 2>/dev/null || true  # closes the window as its close command does
wait "$program" || true
