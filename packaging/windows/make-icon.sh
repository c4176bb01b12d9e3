#!/bin/sh
# The Windows icon from the SVG: 16 to 64 pixels as bitmaps, 256 as PNG (Explorer's large view).
#   make-icon.sh SVG ICO
set -eu
svg=$1
ico=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 16 24 32 48 64 256; do
    rsvg-convert -w "$size" -h "$size" "$svg" -o "$work/$size.png"
    pngtopam -alphapam "$work/$size.png" >"$work/$size.pam"
done
cat "$work/16.pam" "$work/24.pam" "$work/32.pam" "$work/48.pam" "$work/64.pam" "$work/256.pam" |
    pamtowinicon -pngthreshold=256 >"$work/orvex.ico" 2>/dev/null
mv "$work/orvex.ico" "$ico"
