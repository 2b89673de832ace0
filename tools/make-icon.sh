#!/usr/bin/env bash
# Draws the program icon (two arrows between two networks) at 16, 32 and 48 pixels.
set -euo pipefail
out=${1:-$(dirname "$0")/../src/res/Tarnwick.ico}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for s in 16 32 48; do
  convert -size 48x48 xc:none \
    -fill '#1f6fd1' -draw 'roundrectangle 2,2 45,45 9,9' \
    -stroke white -strokewidth 4 -fill none \
    -draw 'line 12,17 34,17' -draw 'polyline 28,11 35,17 28,23' \
    -draw 'line 36,31 14,31' -draw 'polyline 20,25 13,31 20,37' \
    -resize ${s}x${s} "$tmp/icon-$s.png"
done
convert "$tmp/icon-16.png" "$tmp/icon-32.png" "$tmp/icon-48.png" "$out"
