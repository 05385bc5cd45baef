#!/usr/bin/env bash
# Makes the application icon for the hicolor theme from the small logo
# (assets/TovamiLogoNeon100x49.png): the logo's lettering on a square dark
# plate with the same neon frame, drawn once at 256 x 256 and scaled down.
# Run from anywhere; writes hicolor/<size>x<size>/apps/ next to this script.
# The PNGs are committed, so this only needs running when the logo changes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
logo="$here/../../assets/TovamiLogoNeon100x49.png"
app_id=com.example.TovamiDaysAfter
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The logo without its own frame: the lettering and the glow, 88 x 37.
convert "$logo" -crop 88x37+6+6 +repage "$work/lettering.png"

# Master: plate colour and frame colour are the logo's own.
convert -size 256x256 xc:none \
    -fill '#14202a' -stroke none -draw 'roundrectangle 8,8 247,247 40,40' \
    -fill none -stroke '#39e6ff' -strokewidth 8 -draw 'roundrectangle 16,16 239,239 32,32' \
    \( "$work/lettering.png" -filter Lanczos -resize 208x \) -gravity center -composite \
    -strip "$work/master.png"

for size in 48 64 128 256; do
    dir="$here/hicolor/${size}x${size}/apps"
    mkdir -p "$dir"
    convert "$work/master.png" -filter Lanczos -resize "${size}x${size}" \
        -strip -depth 8 -define png:color-type=6 "$dir/$app_id.png"
done
identify "$here"/hicolor/*/apps/*.png
