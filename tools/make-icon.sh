#!/usr/bin/env bash
# Draws the program icon (two arrows between two networks) at 16, 20, 24, 32, 48 and 256 px, the
# sizes Windows asks for at 100 to 200% scaling and in Explorer's views. Each size is drawn for
# its size: the shapes follow a 48-unit design, but the arrows' strokes are never thinner than
# one and a half pixels, so they stay legible at 16. Drawn eight times larger and averaged down.
# Every image is stored PNG-compressed, as Windows reads it in an icon resource.
set -euo pipefail
out=${1:-$(dirname "$0")/../src/res/Tarnwick.ico}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
k=8 # supersampling
sizes=()
for s in 16 20 24 32 48 256; do
  mapfile -t draw < <(awk -v s="$s" -v k="$k" 'BEGIN {
    u = s * k / 48                                      # one design unit
    round = "stroke-linecap round stroke-linejoin round "
    stroke = 4 * s / 48; if (stroke < 1.5) stroke = 1.5
    print "-fill"; print "#1f6fd1"; print "-draw"
    printf "roundrectangle %.1f,%.1f %.1f,%.1f %.1f,%.1f\n", 1 * u, 1 * u, 47 * u, 47 * u, 9 * u, 9 * u
    print "-stroke"; print "white"; print "-strokewidth"; print stroke * k
    print "-fill"; print "none"
    print "-draw"; printf round "line %.1f,%.1f %.1f,%.1f\n", 12 * u, 17 * u, 34 * u, 17 * u
    print "-draw"; printf round "polyline %.1f,%.1f %.1f,%.1f %.1f,%.1f\n", 28 * u, 11 * u, 35 * u, 17 * u, 28 * u, 23 * u
    print "-draw"; printf round "line %.1f,%.1f %.1f,%.1f\n", 36 * u, 31 * u, 14 * u, 31 * u
    print "-draw"; printf round "polyline %.1f,%.1f %.1f,%.1f %.1f,%.1f\n", 20 * u, 25 * u, 13 * u, 31 * u, 20 * u, 37 * u
  }')
  convert -size $((s * k))x$((s * k)) xc:none "${draw[@]}" -filter box -resize "${s}x${s}" \
    -depth 8 "$tmp/icon-$s.png"
  sizes+=("$tmp/icon-$s.png")
done
convert "${sizes[@]}" "$out"
"$(dirname "$0")/png-icon-entries.py" "$out"
