#!/usr/bin/env bash
# Draws the eight frames of the tray animation, a turning globe, as icons src/res/Tray0.ico ...
# Tray7.ico, each holding the notification area's sizes at 100, 125, 150 and 200% scaling
# (16, 20, 24 and 32 px): a blue disc with an equator and two meridians that move round it by a
# sixteenth of a turn a frame (the two meridians make the picture repeat after half a turn, so
# eight frames loop smoothly).
#
# Every size is drawn for its size, not scaled from another: the disc is an odd number of pixels
# across, so the equator and the centre fall on whole pixels; lines are one pixel wide at 16 and
# 20 px and wider above; the dark rim is drawn last, over the lines' ends. Drawn eight times
# larger and averaged down, edges are smooth and the lines stay sharp. Stored PNG-compressed.
set -euo pipefail
out=${1:-$(dirname "$0")/../src/res}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
k=8 # supersampling
for i in $(seq 0 7); do
  sizes=()
  for s in 16 20 24 32; do
    # One awk run gives ImageMagick's drawing, in pixels of the supersampled picture.
    mapfile -t draw < <(awk -v i="$i" -v s="$s" -v k="$k" 'BEGIN {
      pi = atan2(0, -1)
      c = (s - 1) / 2 * k; r = (s - 1) / 2 * k          # the disc spans pixels 0 .. s-2
      line = (s <= 20 ? 1 : s <= 24 ? 1.5 : 2) * k; rim = (s <= 24 ? 1 : 1.5) * k
      inner = r - rim / 2
      print "-fill"; print "#1f6fd1"; print "-draw"; printf "circle %.1f,%.1f %.1f,%.1f\n", c, c, c, c + inner
      print "-fill"; print "none"; print "-stroke"; print "white"; print "-strokewidth"; print line
      for (m = 0; m < 2; m++) {
        # A meridian at longitude a is an ellipse of half-width r*|sin a| left or right of centre.
        a = (i / 16 + m / 2) * pi + pi / 8; v = sin(a); if (v < 0) v = -v
        print "-draw"; printf "ellipse %.1f,%.1f %.1f,%.1f 0,360\n", c, c, inner * v + 0.4 * k, inner
      }
      print "-draw"; printf "line %.1f,%.1f %.1f,%.1f\n", c - inner, c, c + inner, c
      print "-stroke"; print "#0b3f86"; print "-strokewidth"; print rim
      print "-draw"; printf "circle %.1f,%.1f %.1f,%.1f\n", c, c, c, c + inner
    }')
    convert -size $((s * k))x$((s * k)) xc:none "${draw[@]}" \
      -filter box -resize "${s}x${s}" "$tmp/tray-$i-$s.png"
    sizes+=("$tmp/tray-$i-$s.png")
  done
  convert "${sizes[@]}" "$out/Tray$i.ico"
  "$(dirname "$0")/png-icon-entries.py" "$out/Tray$i.ico"
done
