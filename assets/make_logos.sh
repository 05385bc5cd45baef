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

# Application icon for the hicolor theme (data/icons/hicolor): one scalable
# drawing in the small logo's colours (dark plate, neon frame, a calendar page
# with a forward arrow) and the PNG sizes rendered from it. Needs rsvg-convert.
icons="$here/../data/icons/hicolor"
app_id=com.example.TovamiDaysAfter
mkdir -p "$icons/scalable/apps"
cat >"$icons/scalable/apps/$app_id.svg" <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <rect x="8" y="8" width="240" height="240" rx="40" fill="#14202a"/>
  <rect x="18" y="18" width="220" height="220" rx="30" fill="none" stroke="#39e6ff" stroke-width="12"/>
  <rect x="56" y="66" width="144" height="128" rx="14" fill="none" stroke="#ffe6fb" stroke-width="12"/>
  <rect x="56" y="66" width="144" height="34" rx="10" fill="#ff4fd8"/>
  <rect x="82" y="50" width="16" height="32" rx="6" fill="#ffe6fb"/>
  <rect x="158" y="50" width="16" height="32" rx="6" fill="#ffe6fb"/>
  <path d="M 86 148 H 160 M 138 124 L 164 148 L 138 172" fill="none" stroke="#39e6ff"
        stroke-width="14" stroke-linecap="round" stroke-linejoin="round"/>
</svg>
SVG
for size in 16 24 32 48 64 128 256; do
    mkdir -p "$icons/${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" "$icons/scalable/apps/$app_id.svg" -o "$icons/${size}x${size}/apps/$app_id.png"
done
identify "$icons"/*/apps/*.png
