#!/bin/sh
# Runs a Windows test program under wine against the native simulated concentrator.
#   run-with-sim.sh <native build> <wine-run.sh> <program> [arguments...]
# orvex-sim answers on a pseudo-terminal that is linked as $WINEPREFIX/dosdevices/comN, N the
# first free number from 100 (so tests can run in parallel in one prefix). The program learns:
#   ORVEX_TEST_COM        N
#   ORVEX_TEST_PTY        the pseudo-terminal's path
#   ORVEX_TEST_SIM_INPUT  a fifo relayed to the simulator's stdin: commands go there, and the
#                         simulator ends once the last writer has closed it (a vanished device)
#   ORVEX_TEST_SIM_OUTPUT the simulator's output (its PTY line and, with --log, its requests)
#   ORVEX_TEST_LINES_LOG  the DTR/RTS changes the modem-line library recorded
# Wine runs with LD_PRELOAD of that library (liborvex_wine_modemlines.so of the native build), which
# answers the modem-line ioctls for pseudo-terminals. Extra simulator arguments may be given in
# ORVEX_TEST_SIM_ARGS. Listing the tests (--gtest_list_tests) needs no simulator.
set -eu
native=$1
winerun=$2
shift 2
case " $* " in
    *" --gtest_list_tests "*) exec "$winerun" "$@" ;;
esac

: "${WINEPREFIX:=${ORVEX_WINEPREFIX:?ORVEX_WINEPREFIX or WINEPREFIX must name the wine prefix}}"
export WINEPREFIX
mkdir -p "$WINEPREFIX"
shim="$native/tests/wine/liborvex_wine_modemlines.so"
[ -f "$shim" ] || { echo "run-with-sim: $shim is missing" >&2; exit 1; }
# The wine server should carry the library too (its O_NOCTTY keeps it from taking the
# pseudo-terminal as its controlling terminal, and then from dumping its objects onto the
# output when the simulator ends). This starts one unless one runs already; a server started
# without the library works as well, only noisily.
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
LD_PRELOAD="$shim" "$server" >/dev/null 2>&1 </dev/null || true
if [ ! -f "$WINEPREFIX/.orvex-ready" ]; then
    "$winerun" cmd /c exit >/dev/null 2>&1 || true
fi
mkdir -p "$WINEPREFIX/dosdevices"

work=$(mktemp -d "${TMPDIR:-/tmp}/orvex-winesim.XXXXXX")
sim_pid=
relay_pid=
link=
cleanup() {
    [ -n "$link" ] && rm -f "$link"
    # The relay's end is the simulator's end of input: it stops, and its subshell with it (a
    # killed subshell would leave the simulator to nobody).
    [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null || true
    [ -n "$sim_pid" ] && wait "$sim_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# The relay (cat) ends when the last writer has closed the fifo; the simulator then sees the
# end of its input and ends too. Its output goes to a file: wine's server takes the
# pseudo-terminal as its controlling terminal, and the simulator must not write to ours.
mkfifo "$work/sim.in" "$work/relay"
cat "$work/sim.in" >"$work/relay" &
relay_pid=$!
# shellcheck disable=SC2086
# The COM link points at the pseudo-terminal through $work/tty, which goes the moment the
# simulator ends: a port still reopening after its device vanished must not reach the next
# simulator that is given the same /dev/pts number.
(
    "$native/sim/orvex-sim" --exit-on-eof --log ${ORVEX_TEST_SIM_ARGS:-} <"$work/relay" \
        >"$work/sim.out" 2>&1
    rm -f "$work/tty"
) &
sim_pid=$!
pty=
for _ in $(seq 1 200); do
    pty=$(sed -n 's/^PTY //p' "$work/sim.out" 2>/dev/null | head -n 1)
    [ -n "$pty" ] && break
    sleep 0.05
done
if [ -z "$pty" ]; then
    echo "run-with-sim: orvex-sim did not announce its pseudo-terminal" >&2
    cat "$work/sim.out" >&2
    exit 1
fi

ln -s "$pty" "$work/tty"
# A number is this run's while it holds the number's lock (fd 9, until the run ends), so no
# other run takes it over even after this run's simulator has ended and its link dangles.
mkdir -p "$WINEPREFIX/.orvex-com"
com=100
while [ "$com" -le 199 ]; do
    exec 9>"$WINEPREFIX/.orvex-com/com$com.lock"
    if flock -n 9; then
        link="$WINEPREFIX/dosdevices/com$com"
        rm -f "$link"  # left by a run that was killed
        ln -s "$work/tty" "$link"
        break
    fi
    exec 9>&-
    com=$((com + 1))
done
if [ -z "$link" ]; then
    echo "run-with-sim: no free COM number in $WINEPREFIX/dosdevices" >&2
    exit 1
fi

status=0
env LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}" \
    ORVEX_MODEMLINES_LOG="$work/lines.log" \
    ORVEX_TEST_COM="$com" ORVEX_TEST_PTY="$pty" \
    ORVEX_TEST_SIM_INPUT="$work/sim.in" ORVEX_TEST_SIM_OUTPUT="$work/sim.out" \
    ORVEX_TEST_LINES_LOG="$work/lines.log" \
    "$winerun" "$@" 9>&- || status=$?
exit $status
