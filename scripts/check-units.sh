#!/usr/bin/env bash
# Checks the recorder's systemd units: `systemd-analyze verify` and an exposure of at most 2.0
# in `systemd-analyze security --offline`. The first argument is the orvex-recorder to name in
# ExecStart (default: the installed /usr/bin/orvex-recorder); the second the folder of the units
# (default: packaging/recorder). Prints the exposure of each unit.
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-/usr/bin/orvex-recorder}
units=${2:-packaging/recorder}
max_exposure=20  # tenths: 2.0

command -v systemd-analyze >/dev/null || { echo "unit check SKIPPED: no systemd-analyze" >&2; exit 0; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for unit in orvex-recorder.service orvex-recorder@.service; do
    [ -f "$units/$unit" ] || { echo "unit check FAILED: no $units/$unit" >&2; exit 1; }
    sed "s#/usr/bin/orvex-recorder#$binary#" "$units/$unit" >"$work/$unit"
done
ln -s orvex-recorder@.service "$work/orvex-recorder@check.service"
for unit in orvex-recorder.service orvex-recorder@check.service; do
    if ! systemd-analyze verify "$work/$unit"; then
        echo "unit check FAILED: systemd-analyze verify $unit" >&2
        exit 1
    fi
    report=$(systemd-analyze security --offline=true "$work/$unit" 2>&1 | tail -n 1)
    echo "$unit: ${report#→ }"
    systemd-analyze security --offline=true --threshold=$max_exposure "$work/$unit" >/dev/null 2>&1 ||
        { echo "unit check FAILED: $unit is exposed above 2.0" >&2; exit 1; }
done
echo "unit check passed"
