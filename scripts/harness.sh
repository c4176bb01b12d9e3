# shellcheck shell=bash
# Helpers for the scripts that run the program under a virtual X server (sourced, not run).

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

# start_xvfb [command prefix...]: starts Xvfb on a free display (through the prefix, e.g. to run
# it as another user), sets DISPLAY and xvfb_pid.
start_xvfb() {
    local display=99
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
        display=$((display + 1))
    done
    "$@" Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    # shellcheck disable=SC2034  # for the caller's clean-up
    xvfb_pid=$!
    if ! wait_for 100 test -e "/tmp/.X11-unix/X$display"; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$display"
}

# distinct_colours <png>: the number of different colours in the picture.
distinct_colours() {
    pngtopnm "$1" | ppmhist -noheader | wc -l
}
