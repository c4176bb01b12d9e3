#!/usr/bin/env bash
# Checks orvex-recorder under a real systemd: a cached Debian 12 root booted with systemd-nspawn,
# the package installed with apt, orvex-sim on a pseudo-terminal as a transient unit. Each check
# prints PASS or FAIL; the script fails (status 1) when any check failed.
#   service-check.sh [--plant] [PACKAGE.deb]   (default: the newest build/orvex_*.deb)
# --plant: before each check that a unit setting can break, a drop-in breaking it is planted and
# the check must FAIL; it prints PASS when the check caught the plant.
# The root is cached in $ORVEX_SERVICE_ROOT (default /var/cache/orvex-service-root) and made
# again when its stamp (Debian release, the package's dependencies) changes. Needs root,
# systemd-nspawn (systemd-container), debootstrap and, for a cold cache, the Debian archive.
set -euo pipefail
cd "$(dirname "$0")/.."

plant=false
if [ "${1:-}" = --plant ]; then
    plant=true
    shift
fi
deb=${1:-$(ls -t build/orvex_*.deb 2>/dev/null | head -n 1 || true)}
[ "$(id -u)" -eq 0 ] || { echo "service-check.sh boots a container: run it as root" >&2; exit 2; }
[ -f "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 2; }
deb=$(realpath "$deb")
for tool in systemd-nspawn debootstrap nsenter unshare; do
    command -v $tool >/dev/null || { echo "service check SKIPPED: no $tool" >&2; exit 0; }
done

cache=${ORVEX_SERVICE_ROOT:-/var/cache/orvex-service-root}
started=$(date +%s)
log() { echo "-- $*"; }
seconds_since() { echo "$(($(date +%s%N) / 1000000 - $1))" | sed 's/\(...\)$/.\1/'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The package's dependencies, versions dropped, the first of each set of alternatives.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/ //g' | sort -u |
    tr '\n' ' ')
base="bookworm minbase systemd systemd-sysv dbus"
stamp="$base / $depends"

# ---- the cached root
prepare_root() {
    if [ -f "$cache/stamp" ] && [ "$(cat "$cache/stamp")" = "$stamp" ]; then
        log "cached root $cache"
        return
    fi
    local t0
    t0=$(now_ms)
    if [ ! -f "$cache/base-stamp" ] || [ "$(cat "$cache/base-stamp")" != "$base" ]; then
        log "making a Debian 12 root in $cache (debootstrap)"
        rm -rf --one-file-system "$cache"
        mkdir -p "$cache"
        debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus bookworm "$cache/root" \
            >"$cache/debootstrap.log" 2>&1 || {
            tail -n 20 "$cache/debootstrap.log" >&2
            echo "service check SKIPPED: debootstrap could not make a Debian 12 root" >&2
            exit 0
        }
        echo "$base" >"$cache/base-stamp"
    fi
    log "installing the package's dependencies into the cached root"
    chmod 755 "$cache/root"
    mount -t proc proc "$cache/root/proc"
    local rc=0
    chroot "$cache/root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin sh -c \
        "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
         --no-install-recommends $depends && apt-get clean" >"$cache/apt.log" 2>&1 || rc=$?
    umount "$cache/root/proc"
    if [ $rc -ne 0 ]; then
        tail -n 20 "$cache/apt.log" >&2
        echo "service check FAILED: the package's dependencies do not install" >&2
        exit 1
    fi
    echo "$stamp" >"$cache/stamp"
    log "root ready in $(seconds_since "$t0") s"
}
prepare_root

# ---- a throw-away overlay over the cached root; its upper layer on a tmpfs, so that files and
# folders report different devices, as on an overlay root
work=$(mktemp -d /tmp/orvex-service.XXXXXX)
leader=""
nspawn=""
stop_container() {
    [ -n "$nspawn" ] || return 0
    kill -TERM "$nspawn" 2>/dev/null || true  # the container's systemd powers off
    for _ in $(seq 1 100); do
        kill -0 "$nspawn" 2>/dev/null || break
        sleep 0.2
    done
    kill -KILL "$nspawn" 2>/dev/null || true
    wait "$nspawn" 2>/dev/null || true
    nspawn=""
    leader=""
}
clean_up() {
    stop_container
    umount "$work/merged" 2>/dev/null || true
    umount "$work/layer" 2>/dev/null || true
    if ! findmnt -rn -o TARGET | grep -q "^$work/"; then
        rm -rf --one-file-system "$work"
    fi
}
trap clean_up EXIT
mkdir -p "$work/layer" "$work/merged"
mount -t tmpfs -o size=2g,mode=755 tmpfs "$work/layer"
mkdir -p "$work/layer/upper" "$work/layer/work"
mount -t overlay overlay \
    -o "lowerdir=$cache/root,upperdir=$work/layer/upper,workdir=$work/layer/work" "$work/merged"
root="$work/merged"

# Full cgroup v2 in the container needs it on the host: on a hybrid host it is mounted in a
# private mount namespace. bpf() is let through so that DevicePolicy= is enforced.
cat >"$work/boot.sh" <<EOF
#!/bin/sh
set -e
if [ "\$(stat -fc %T /sys/fs/cgroup)" != cgroup2fs ]; then
    umount -R /sys/fs/cgroup
    mount -t cgroup2 cgroup2 /sys/fs/cgroup
fi
mkdir -p /sys/fs/cgroup/orvex-service-\$\$
echo \$\$ >/sys/fs/cgroup/orvex-service-\$\$/cgroup.procs
exec systemd-nspawn -D "$root" --keep-unit --register=no --boot --console=pipe \
    --system-call-filter=bpf --machine=orvexcheck
EOF
chmod +x "$work/boot.sh"

boot_ms=0
boot_container() {
    local t0
    t0=$(now_ms)
    unshare -m --propagation private "$work/boot.sh" </dev/null >>"$work/console.log" 2>&1 &
    nspawn=$!
    for _ in $(seq 1 300); do
        leader=$(pgrep -P "$nspawn" -x systemd | head -n 1 || true)
        [ -n "$leader" ] && break
        sleep 0.1
    done
    [ -n "$leader" ] || { tail -n 20 "$work/console.log" >&2; echo "the container did not start" >&2; exit 1; }
    # The manager answers once its private socket is there. Bounded: a unit that holds the boot
    # up leaves it "starting".
    wait_for 60 box test -S /run/systemd/private
    state=$(box timeout 60 systemctl is-system-running --wait 2>/dev/null || true)
    boot_ms=$(($(now_ms) - t0))
}
box() { nsenter -t "$leader" -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
shutdown_container() {
    local t0
    t0=$(now_ms)
    stop_container
    log "container stopped in $(seconds_since "$t0") s"
}

unit=orvex-recorder.service
dropins=/etc/systemd/system/$unit.d
show() { box systemctl show -p "$1" --value $unit; }
main_pid() { show MainPID; }
restarts() { show NRestarts; }
journal() { box journalctl -q -u $unit --no-pager -o cat "$@"; }
# The lines of the running invocation only: a plant's restart must not find older lines.
invocation() { box journalctl -q --no-pager -o cat _SYSTEMD_INVOCATION_ID="$(show InvocationID)" "$@"; }
wait_for() {  # seconds, then a command; true once the command succeeds
    local limit=$(($1 * 5))
    shift
    for _ in $(seq 1 $limit); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}
write_ini() {  # the text file's path
    box sh -c "cat >/etc/orvex/orvex.ini" <<EOF
[GENERAL]
PORT_NR=7
PORT_SPEED=9600
PORT_PARITY=69
[LOG]
FILE_NAME=$1
FILE_LOG=1
FILE_SEP_FORMAT=0
FILE_NAME_BIN=/var/lib/orvex/pomiary.qdx
FILE_LOG_BIN=1
FILE_INTERVAL=1
EOF
}
csv=/var/lib/orvex/pomiary.csv
rows() { box sh -c "grep -c '' $csv 2>/dev/null || echo 0"; }
sim_start() {
    box systemd-run -q --unit=orvex-sim /usr/bin/orvex-sim --demo --link /etc/orvex/ports/com7
    wait_for 10 box test -L /etc/orvex/ports/com7
    # As udev makes a serial adapter's node: root:dialout 0660.
    box sh -c 'pty=$(readlink /etc/orvex/ports/com7) && chgrp dialout "$pty" && chmod 0660 "$pty"'
}
sim_stop() { box systemctl stop orvex-sim.service 2>/dev/null || true; }
restart() {
    box systemctl daemon-reload
    box systemctl reset-failed $unit 2>/dev/null || true
    box systemctl restart $unit
}

# From here a pipeline's status is its last command's: grep -q may end a journalctl early.
set +o pipefail
failures=0
result() {  # name, whether the check held (0) or not
    local name=$1 held=$2 planted=$3
    if [ "$planted" = "" ]; then
        if [ "$held" -eq 0 ]; then echo "PASS  $name"; else echo "FAIL  $name"; failures=$((failures + 1)); fi
    elif [ "$held" -ne 0 ]; then
        echo "PASS  $name (fails with the plant)"
    else
        echo "FAIL  $name (holds although planted: $planted)"
        failures=$((failures + 1))
    fi
}
# check NAME PLANT FUNCTION: PLANT is a drop-in that should break the check ("" when no unit
# setting can); with --plant such checks run with it in place and are expected to fail.
check() {
    local name=$1 drop=$2 fn=$3
    if $plant; then
        if [ -z "$drop" ]; then
            echo "SKIP  $name (no unit setting breaks it)"
            return
        fi
        printf '%b\n' "$drop" | box sh -c "cat >$dropins/90-plant.conf"
        restart || true
        local held=0
        $fn || held=$?
        result "$name" $held "$(printf '%b' "$drop" | tr '\n' ' ')"
        box rm -f $dropins/90-plant.conf
        restart || true
        wait_for 10 sh -c "[ \"\$(nsenter -t $leader -a systemctl show -p ActiveState --value $unit)\" = active ]" || true
    else
        local held=0
        $fn || held=$?
        result "$name" $held ""
    fi
}

# ---- first boot: the package, the settings, the service enabled; no adapter
log "booting the cached root"
boot_container
log "first boot: $state in $(awk "BEGIN{print $boot_ms/1000}") s"
cp "$deb" "$root/root/orvex.deb"  # the container has its own /tmp
t0=$(now_ms)
box env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    /root/orvex.deb >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; echo "FAIL  apt installs the package"; exit 1; }
echo "PASS  apt installs the package ($(seconds_since "$t0") s)"
box install -d -o root -g orvex -m 0750 /etc/orvex/ports
write_ini $csv
box mkdir -p $dropins
# The simulator's pseudo-terminal is a pts device, and the watchdog is shortened to be seen.
box sh -c "cat >$dropins/50-check.conf" <<'EOF'
[Service]
DeviceAllow=char-pts rw
WatchdogSec=6
EOF
box systemctl enable $unit 2>/dev/null
boot_plant='[Service]\nTimeoutStartSec=infinity\nExecStartPost=/bin/sh -c "until [ -e /etc/orvex/ports/com7 ]; do sleep 1; done"'
$plant && printf '%b\n' "$boot_plant" | box sh -c "cat >$dropins/90-plant.conf"
shutdown_container

# ---- second boot: the machine must come up although the adapter is missing
boot_container
log "second boot: $state in $(awk "BEGIN{print $boot_ms/1000}") s"
boots_without_adapter() {
    [ "$state" = running ] && [ "$(show ActiveState)" = active ] &&
        show StatusText | grep -q "COM7 waiting for the port"
}
if $plant; then
    held=0
    boots_without_adapter || held=$?
    result "the boot finishes without the adapter, the status says what is awaited" $held "$boot_plant"
    box rm -f $dropins/90-plant.conf
    restart
else
    check "the boot finishes without the adapter, the status says what is awaited" "" boots_without_adapter
fi
box systemctl show -p StatusText $unit

exposure() {
    local report
    report=$(box systemd-analyze security $unit 2>/dev/null | tail -n 1)
    echo "      $report"
    box systemd-analyze security --threshold=20 $unit >/dev/null 2>&1
}
check "systemd-analyze security at most 2.0 in the booted system" \
    '[Service]\nProtectSystem=no\nProtectHome=no\nCapabilityBoundingSet=CAP_SYS_ADMIN\nPrivateTmp=no\nRestrictNamespaces=no' exposure

# A USB adapter plugged in after the start (COM33, /dev/ttyUSB0) to a second instance beside the
# first: the node is let through the running unit's device filter, so the open fails only for
# want of a driver here (ENXIO) and not with EPERM. The plant is the list by driver names.
hot_plug() {
    local instance=orvex-recorder@usb.service
    box sh -c 'mkdir -p /etc/orvex/usb && sed "s/^PORT_NR=.*/PORT_NR=33/; s#/var/lib/orvex/#/var/lib/orvex/usb/#" \
        /etc/orvex/orvex.ini >/etc/orvex/usb/orvex.ini && chgrp -R orvex /etc/orvex/usb && rm -f /dev/ttyUSB0'
    box mkdir -p /etc/systemd/system/$instance.d
    [ -f "$root$dropins/90-plant.conf" ] && box cp $dropins/90-plant.conf /etc/systemd/system/$instance.d/
    box systemctl daemon-reload
    box systemctl start $instance
    wait_for 10 sh -c "nsenter -t $leader -a journalctl -q -u $instance -o cat | grep -q 'cannot be opened: No such file'"
    box sh -c 'mknod -m 0660 /dev/ttyUSB0 c 188 0 && chgrp dialout /dev/ttyUSB0'
    wait_for 5 sh -c "nsenter -t $leader -a journalctl -q -u $instance -o cat | grep 'ttyUSB0) cannot be opened' | grep -vq 'No such file'"
    local reason active
    reason=$(box journalctl -q -u $instance -o cat | grep "ttyUSB0) cannot be opened" | tail -n 1)
    echo "      ${reason#*: }"
    active=$(box systemctl is-active $instance $unit | tr '\n' ' ')
    box systemctl stop $instance
    box rm -rf /dev/ttyUSB0 /etc/systemd/system/$instance.d
    [[ "$reason" == *"No such device or address"* ]] && [ "$active" = "active active " ]
}
check "an adapter plugged in later (driver loaded then) is let through; two instances side by side" \
    '[Service]\nDeviceAllow=\nDeviceAllow=char-ttyS rw\nDeviceAllow=char-ttyUSB rw\nDeviceAllow=char-pts rw' hot_plug

sim_start
polls() {
    wait_for 15 sh -c "nsenter -t $leader -a systemctl show -p StatusText --value $unit | grep -q 'device responding'" &&
        journal | grep -q "port COM7 (/etc/orvex/ports/com7) opened"
}
check "the simulator that comes later is opened and polled, the journal names the link" \
    '[Service]\nInaccessiblePaths=/etc/orvex/ports' polls

files() {
    box systemctl stop $unit
    box rm -f $csv /var/lib/orvex/pomiary.qdx
    box systemctl start $unit
    wait_for 15 sh -c "[ \$(nsenter -t $leader -a grep -c '' $csv) -ge 3 ]" || return 1
    local owners
    owners=$(box stat -c '%U:%G %a' $csv /var/lib/orvex/pomiary.qdx | sort -u)
    echo "      $owners"
    [ "$owners" = "orvex:orvex 640" ]
}
check "records are written, orvex:orvex 0640" '[Service]\nUMask=0022' files

one_per_second() {
    for _ in 1 2 3 4; do
        box systemctl restart $unit
        wait_for 10 sh -c "nsenter -t $leader -a systemctl show -p StatusText --value $unit | grep -q 'device responding'"
        sleep 1.5
    done
    local duplicates
    duplicates=$(box sh -c "tail -n +2 $csv | cut -f1,2 | uniq -d | wc -l")
    echo "      time stamps given twice: $duplicates"
    [ "$duplicates" -eq 0 ]
}
check "one record per second across restarts" "" one_per_second

rotation() {
    box mv $csv $csv.1
    box systemctl reload $unit
    local id
    id=$(show InvocationID)
    wait_for 5 sh -c "nsenter -t $leader -a journalctl -q -o cat _SYSTEMD_INVOCATION_ID=$id | grep -q 'reopened the text file'" ||
        return 1
    # The new file takes its header with the next record, up to a second later.
    wait_for 5 box test -s $csv && ! invocation | grep -q "has left its folder"
}
check "reload after a rename on the overlay root starts a new file" '[Service]\nExecReload=/bin/true' rotation

priorities() {
    sim_stop  # a warning: the port is lost
    wait_for 5 sh -c "nsenter -t $leader -a systemctl show -p StatusText --value $unit | grep -q lost"
    sim_start
    wait_for 10 sh -c "nsenter -t $leader -a systemctl show -p StatusText --value $unit | grep -q 'device responding'"
    invocation -p warning..warning | grep -q "port COM7 .* lost" &&
        invocation -p info..info | grep -q "port COM7 .* back" &&
        ! invocation | grep -q "^<"
}
check "journald gets the priorities" '[Service]\nSyslogLevelPrefix=no' priorities

confined() {
    local pid caps
    pid=$(main_pid)
    caps=$(box awk '/^CapEff/ {print $2}' /proc/"$pid"/status)
    local touched
    touched=$(box nsenter -t "$pid" -m sh -c 'touch /etc/orvex/probe 2>&1' || true)
    echo "      effective capabilities $caps; ${touched:-/etc/orvex written}"
    [ "$caps" = 0000000000000000 ] && [[ "$touched" == *"Read-only file system"* ]]
}
check "/etc/orvex read-only to the recorder, no capabilities" \
    '[Service]\nReadWritePaths=/etc/orvex\nAmbientCapabilities=CAP_NET_BIND_SERVICE\nCapabilityBoundingSet=CAP_NET_BIND_SERVICE' confined

quiet_without_sim() {
    local before
    before=$(restarts)
    sim_stop
    sleep 15  # two and a half watchdog periods
    local after=$(restarts) status=$(show StatusText)
    sim_start
    echo "      restarts $before -> $after; $status"
    [ "$before" = "$after" ] && [ "$(show ActiveState)" = active ]
}
check "the watchdog stays quiet while the simulator is away" '[Service]\nWatchdogSec=400ms' quiet_without_sim

watchdog_fires() {
    wait_for 10 sh -c "nsenter -t $leader -a systemctl show -p StatusText --value $unit | grep -q 'device responding'"
    local before pid
    before=$(restarts)
    pid=$(main_pid)
    box sh -c "kill -STOP $pid"
    local fired=1
    wait_for 25 sh -c "[ \"\$(nsenter -t $leader -a systemctl show -p NRestarts --value $unit)\" != $before ]" && fired=0
    box sh -c "kill -CONT $pid" 2>/dev/null || true
    [ $fired -eq 0 ] && journal | grep -qi "watchdog timeout"
}
check "a stopped recorder is aborted by the watchdog and restarted" '[Service]\nWatchdogSec=0' watchdog_fires

pty_freed() {
    # The killed recorder's successor opens the simulator's pty again (no "busy").
    wait_for 10 sh -c "nsenter -t $leader -a systemctl show -p StatusText --value $unit | grep -q 'device responding'"
    local opened
    opened=$(journal | grep -c "port COM7 .* opened")
    box systemctl kill -s KILL $unit
    wait_for 20 sh -c "[ \$(nsenter -t $leader -a journalctl -q -u $unit -o cat | grep -c 'port COM7 .* opened') -gt $opened ]" &&
        ! journal | grep -q "busy"
}
check "a killed recorder's successor opens the simulator's pty" "" pty_freed

stop_time=""
stops_promptly() {
    wait_for 10 sh -c "[ \"\$(nsenter -t $leader -a systemctl show -p ActiveState --value $unit)\" = active ]"
    local t0
    t0=$(now_ms)
    box systemctl stop $unit
    stop_time=$(seconds_since "$t0")
    box systemctl start $unit
    echo "      stop took $stop_time s"
    [ $(($(now_ms) - t0)) -lt 4000 ] && awk "BEGIN{exit !($stop_time < 2)}"
}
check "systemctl stop within two seconds" '[Service]\nKillSignal=SIGCONT' stops_promptly

read_only_folder() {
    box mkdir -p /srv/orvex
    write_ini /srv/orvex/pomiary.csv
    box systemctl restart $unit 2>/dev/null || true
    sleep 8  # beyond RestartSec: a restart would have come
    local status=$(show ExecMainStatus) state=$(show ActiveState) count=$(restarts)
    write_ini $csv
    box systemctl reset-failed $unit 2>/dev/null || true
    box systemctl start $unit
    echo "      state $state, exit status $status, restarts $count"
    [ "$state" = failed ] && [ "$status" = 78 ] && [ "$count" = 0 ] &&
        journal | grep -q "ReadWritePaths="
}
check "a recording folder outside the sandbox's writable paths: the cause named, no restarts" \
    '[Service]\nRestartPreventExitStatus=' read_only_folder

upgrade() {
    wait_for 10 sh -c "nsenter -t $leader -a systemctl show -p StatusText --value $unit | grep -q 'device responding'"
    local before after rows_before
    before=$(main_pid)
    box env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall /root/orvex.deb \
        >>"$work/apt.log" 2>&1 || return 1
    after=$(main_pid)
    rows_before=$(rows)
    wait_for 10 sh -c "[ \$(nsenter -t $leader -a grep -c '' $csv) -gt $rows_before ]" || return 1
    echo "      main process $before -> $after"
    [ "$before" != "$after" ] && [ "$after" != 0 ] &&
        ! box readlink /proc/"$after"/exe | grep -q deleted
}
check "an upgrade restarts the recorder on the new program and recording goes on" \
    '[Unit]\nRefuseManualStop=yes' upgrade

purge() {
    box env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q orvex >>"$work/apt.log" 2>&1 ||
        return 1
    local left
    left=$(box sh -c 'ls /etc/systemd/system/*.wants/orvex-recorder* 2>/dev/null; ls -d /etc/orvex 2>/dev/null;
        getent passwd orvex; find /var/lib/orvex -nouser -o -nogroup' || true)
    [ -n "$left" ] && echo "      left: $left"
    [ -z "$left" ] && box test -s $csv
}
$plant || check "purge removes the links, the settings and the user; the recordings stay" "" purge

shutdown_container
echo "service check: $failures FAIL(s), $(($(date +%s) - started)) s in all"
[ $failures -eq 0 ]
