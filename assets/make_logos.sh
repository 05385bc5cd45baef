#!/usr/bin/env bash
# Draws the two logo images of the calculator with ImageMagick.
# Run from anywhere; writes next to this script. The PNGs are committed, so
# this only needs running when the artwork changes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
font=$(fc-match -f '%{file}' 'DejaVu Sans:bold' 2>/dev/null || true)
jfont=$(fc-match -f '%{file}' 'IPAGothic' 2>/dev/null || true)
[ -n "$font" ] || font=DejaVu-Sans-Bold

# Small logo, 100 x 49: a neon sign on a dark plate.
convert -size 100x49 xc:'#14202a' \
    -fill none -stroke '#39e6ff' -strokewidth 2 -draw 'roundrectangle 2,2 97,46 8,8' \
    \( -size 100x49 xc:none -font "$font" -pointsize 19 -fill '#ff4fd8' \
       -gravity center -annotate +0-4 'Tovami' -blur 0x3 \) -composite \
    -font "$font" -pointsize 19 -fill '#ffe6fb' -gravity center -annotate +0-4 'Tovami' \
    -font "$font" -pointsize 8 -fill '#39e6ff' -gravity south -annotate +0+5 'DAYS AFTER' \
    -strip -depth 8 -define png:color-type=6 "$here/TovamiLogoNeon100x49.png"

# Banner, 600 x 50: the product name over a soft gradient.
convert -size 600x50 gradient:'#2f6f8f'-'#8fd0c8' -rotate 0 \
    -font "$font" -pointsize 26 -fill white -gravity west -annotate +18+0 'TovamiDaysAfter' \
    ${jfont:+-font "$jfont"} -pointsize 16 -fill '#f3fffd' -gravity east -annotate +18+0 '日付計算 — days after / days before' \
    -strip -depth 8 -define png:color-type=2 "$here/TovamiHidukeGULogoColor.png"
identify "$here"/*.png

# The same two drawings at twice the size (name@2x.png), which the image
# gadget shows on displays with a scale of 2 instead of doubling the pixels.
convert -size 200x98 xc:'#14202a' \
    -fill none -stroke '#39e6ff' -strokewidth 4 -draw 'roundrectangle 4,4 195,93 16,16' \
    \( -size 200x98 xc:none -font "$font" -pointsize 38 -fill '#ff4fd8' \
       -gravity center -annotate +0-8 'Tovami' -blur 0x6 \) -composite \
    -font "$font" -pointsize 38 -fill '#ffe6fb' -gravity center -annotate +0-8 'Tovami' \
    -font "$font" -pointsize 16 -fill '#39e6ff' -gravity south -annotate +0+10 'DAYS AFTER' \
    -strip -depth 8 -define png:color-type=6 "$here/TovamiLogoNeon100x49@2x.png"
convert -size 1200x100 gradient:'#2f6f8f'-'#8fd0c8' -rotate 0 \
    -font "$font" -pointsize 52 -fill white -gravity west -annotate +36+0 'TovamiDaysAfter' \
    ${jfont:+-font "$jfont"} -pointsize 32 -fill '#f3fffd' -gravity east -annotate +36+0 '日付計算 — days after / days before' \
    -strip -depth 8 -define png:color-type=2 "$here/TovamiHidukeGULogoColor@2x.png"
identify "$here"/*@2x.png
