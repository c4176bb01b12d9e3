# shellcheck shell=bash
# Helpers for the scripts that run the program against orvex-sim, under a virtual X server where
# there is no display (sourced, not run).
#
# Sourcing sets the traps: on exit the processes in pids are ended, the last started first, and
# then the script's own clean_up runs if it defines one.

pids=()

stop_started() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    pids=()
}

_on_exit() {
    stop_started
    if declare -F clean_up >/dev/null; then
        clean_up
    fi
}
trap _on_exit EXIT
trap 'exit 130' INT TERM HUP

# wait_for <tenths of a second> <command...>: true once the command succeeds within the bound.
wait_for() {
    local tries=$1
    shift
    for ((; tries > 0; tries--)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# write_settings <folder> <port>: an orvex.ini in the folder for COM<port> at 9600 baud, even
# parity, with the advanced view off.
write_settings() {
    mkdir -p "$1"
    printf '[GENERAL]\r\nPORT_NR=%d\r\nPORT_SPEED=9600\r\nPORT_PARITY=69\r\nSHOW_ADV=0\r\n' \
        "$2" >"$1/orvex.ini"
}

# start_sim <output file> <command...>: starts orvex-sim by the command (a prefix, the program
# and its arguments, --link among them) with its output in the file, and waits until it names
# its pseudo-terminal.
start_sim() {
    local out=$1
    shift
    "$@" </dev/null >"$out" 2>&1 &
    pids+=($!)
    if ! wait_for 100 grep -qs '^PTY ' "$out"; then
        cat "$out" >&2
        echo "orvex-sim did not start" >&2
        return 1
    fi
}

# start_xvfb [command prefix...]: starts Xvfb on a free display (through the prefix, e.g. to run
# it as another user) and sets DISPLAY.
# shellcheck disable=SC2120  # the prefix is optional
start_xvfb() {
    local display=99
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
        display=$((display + 1))
    done
    "$@" Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    if ! wait_for 100 test -e "/tmp/.X11-unix/X$display"; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$display"
}

# wait_for_screenshot <log> <tenths of a second>: true once the program, started with
# ORVEX_SCREENSHOT and its stderr in the log, says it saved the picture; shows the log otherwise.
wait_for_screenshot() {
    wait_for "$2" grep -q '^orvex: screenshot' "$1" && return 0
    cat "$1" >&2
    return 1
}

# distinct_colours <png>: the number of different colours in the picture.
distinct_colours() {
    pngtopnm "$1" | ppmhist -noheader | wc -l
}
