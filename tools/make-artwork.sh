#!/usr/bin/env bash
# Draws the program's own artwork: icon 155 (shield, 16x16 and 32x32) and the
# picture beside the buttons, bitmap 157 (120x218 pixels, 24-bit BMP).
# Needs ImageMagick. The outputs are committed; run this only to redraw them.
set -euo pipefail
out=$(cd "$(dirname "$0")/../resources" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

shield() {  # size file
  local s=$1
  convert -size "${s}x${s}" xc:none -fill '#b40000' -stroke '#500000' -strokewidth 1 \
    -draw "path 'M $((s/2)),1 L $((s-2)),$((s/5)) L $((s-3)),$((s*3/5)) L $((s/2)),$((s-1)) L 2,$((s*3/5)) L 1,$((s/5)) Z'" \
    -fill white -stroke none -draw "rectangle $((s*7/16)),$((s/4)) $((s*9/16)),$((s*3/4))" \
    -draw "rectangle $((s/4)),$((s*7/16)) $((s*3/4)),$((s*9/16))" "$2"
}
shield 16 "$tmp/16.png"
shield 32 "$tmp/32.png"
convert "$tmp/16.png" "$tmp/32.png" "$out/app.ico"

convert -size 120x218 gradient:'#f4f4f4-#c8c8d4' \
  -fill '#b40000' -stroke '#500000' -strokewidth 2 \
  -draw "path 'M 60,30 L 100,46 L 96,110 L 60,140 L 24,110 L 20,46 Z'" \
  -fill white -stroke none -draw "rectangle 54,52 66,118" -draw "rectangle 36,76 84,88" \
  -fill '#505050' -draw "rectangle 20,170 100,172" -draw "rectangle 30,180 90,182" \
  -type TrueColor BMP3:"$out/picture.bmp"
echo "wrote $out/app.ico and $out/picture.bmp"
