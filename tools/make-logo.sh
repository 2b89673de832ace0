#!/usr/bin/env bash
# Draws the About box's logo, 80 x 71: the program icon's two arrows between two networks on a
# blue tile, as a JPEG (the box stretches it into 57 x 49).
set -euo pipefail
out=${1:-$(dirname "$0")/../src/res/Logo.jpg}
convert -size 80x71 xc:'#f0f0f0' \
  -fill '#1f6fd1' -draw 'roundrectangle 6,3 73,67 12,12' \
  -stroke white -strokewidth 6 -fill none \
  -draw 'line 20,24 56,24' -draw 'polyline 47,15 58,24 47,33' \
  -draw 'line 60,46 24,46' -draw 'polyline 33,37 22,46 33,55' \
  -strip -quality 90 "$out"
