#!/usr/bin/env bash
# Draws the eight frames of the tray animation, a turning globe, as 16 x 16 icons
# src/res/Tray0.ico ... Tray7.ico: a blue disc with an equator and two meridians that move
# round it by a sixteenth of a turn a frame (the two meridians make the picture repeat after
# half a turn, so eight frames loop smoothly).
set -euo pipefail
out=${1:-$(dirname "$0")/../src/res}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for i in $(seq 0 7); do
  draw=()
  for k in 0 1; do
    # A meridian at longitude a is an ellipse of half-width r*|sin a| left or right of centre.
    a=$(awk -v i="$i" -v k="$k" 'BEGIN { pi = atan2(0, -1); print (i / 16 + k / 2) * pi + pi / 8 }')
    rx=$(awk -v a="$a" 'BEGIN { s = sin(a); if (s < 0) s = -s; printf "%.2f", 19 * s + 0.6 }')
    draw+=(-draw "ellipse 24,24 $rx,19 0,360")
  done
  convert -size 48x48 xc:none \
    -fill '#1f6fd1' -stroke '#0b3f86' -strokewidth 2 -draw 'circle 24,24 24,4' \
    -fill none -stroke white -strokewidth 3 "${draw[@]}" -draw 'line 5,24 43,24' \
    -resize 16x16 "$tmp/tray-$i.png"
  convert "$tmp/tray-$i.png" "$out/Tray$i.ico"
done
