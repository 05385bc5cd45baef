#!/usr/bin/env bash
# The built program natively on Wayland, under a headless wlroots compositor
# (sway, no X server anywhere), seen through screenshots (grim) and clicked
# through the compositor's virtual pointer:
#   - plain: the content area is exactly 790 x 400; the logo is on screen and
#     a click on it opens the about box;
#   - output scale 2: the logo's screen pixels are the double-size drawing
#     (assets/*@2x.png), not the plain one doubled;
#   - text scale 1.25 and 1.5 (GDK_DPI_SCALE): the content grows by the same
#     factor, the calendar and the "　日付入力" button lie fully inside, apart
#     from each other, and the "days after" / "days before" labels keep one
#     line each.
# The compositor refuses to run as root; as root it runs as nobody, and the
# program and tools reach its socket as root.
#   bash tests/app/wayland_gui_test.sh PROGRAM CLICK_TOOL
set -uo pipefail
exe=${1:?usage: wayland_gui_test.sh PROGRAM CLICK_TOOL}
click=${2:?usage: wayland_gui_test.sh PROGRAM CLICK_TOOL}
src=${TDA_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
export TDA_SHOTS=${TDA_SHOTS:-$(mktemp -d)}

fail() { echo "FAIL: $*"; exit 1; }

missing=()
for tool in sway swaymsg grim convert setpriv; do command -v $tool >/dev/null || missing+=("$tool"); done
if [ ${#missing[@]} -gt 0 ]; then
    [ "${CI:-}" = true ] && fail "missing tools: ${missing[*]} (scripts/setup.sh installs them)"
    echo "SKIPPED: missing tools: ${missing[*]}"
    exit 77
fi

BG='rgb(188,216,215)' # the window's background colour
LOGO=(660 310)        # the logo gadget's place in the layout

runtime=$(mktemp -d)
chmod 755 "$runtime"
app_pid= sway_pid=
source "$(dirname "${BASH_SOURCE[0]}")/window_wait.sh"
cleanup() {
    [ -n "$app_pid" ] && end_process "$app_pid"
    [ -n "$sway_pid" ] && end_process "$sway_pid"
    rm -rf "$runtime"
}
trap cleanup EXIT

cat >"$runtime/sway.conf" <<'EOF'
output HEADLESS-1 resolution 1280x1024 position 0 0 scale 1
default_border none
EOF
chmod 644 "$runtime/sway.conf"
mkdir -m 700 "$runtime/xdg"
as_compositor=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$runtime/xdg"
    as_compositor=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
export XDG_RUNTIME_DIR=$runtime/xdg HOME=$runtime
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    "${as_compositor[@]}" sway -c "$runtime/sway.conf" >"$runtime/sway.log" 2>&1 &
sway_pid=$!
for _ in $(seq 100); do
    sock=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -n1)
    [ -n "$sock" ] && ls "$XDG_RUNTIME_DIR"/wayland-? >/dev/null 2>&1 && break
    kill -0 $sway_pid 2>/dev/null || break
    sleep 0.1
done
[ -n "${sock:-}" ] || { cat "$runtime/sway.log"; fail "the compositor did not start within 10 s"; }
export SWAYSOCK=$sock WAYLAND_DISPLAY
WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-? | head -n1)")

# Polls a command for up to $1 tenths of a second; false when it never held.
within() {
    local tenths=$1 i
    shift
    for i in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
    return 1
}
window_named() { swaymsg -t get_tree | grep -qF "\"name\": \"$1\""; }

# Starts the program with extra environment settings; waits for its window.
start() {
    env GDK_BACKEND=wayland "$@" "$exe" >"$runtime/app.log" 2>&1 &
    app_pid=$!
    within 100 window_named TovamiDaysAfter || { cat "$runtime/app.log"; fail "no window within 10 s ($*)"; }
    within 50 drawn || fail "the window was not drawn within 5 s ($*)"
}
# Whether the first frames are drawn: the background shows, and two
# screenshots in a row are the same.
drawn() {
    grim "$runtime/a.png" && [ "$(box_of "$runtime/a.png" "$BG" | cut -d' ' -f1)" -gt 100 ] &&
        grim "$runtime/b.png" && cmp -s "$runtime/a.png" "$runtime/b.png"
}
stop() {
    end_process "$app_pid"
    app_pid=
}

# Bounding box "W H X Y" of the pixels of colour $2 in image $1 (fuzz $3).
box_of() {
    convert "$1" -fuzz "${3:-0}%" -fill black +opaque "$2" -trim -format '%w %h %X %Y' info: 2>/dev/null |
        tr -d '+'
}

# ---------------------------------------------------------------------------
echo "== plain: content size, logo, about box"
start
grim "$TDA_SHOTS/wayland.png" || fail "grim could not take a screenshot"
read -r w h x0 y0 <<<"$(box_of "$TDA_SHOTS/wayland.png" "$BG")"
echo "content ${w}x$h at $x0,$y0"
[ "$w" = 790 ] && [ "$h" = 400 ] || fail "content is ${w}x$h, expected 790x400"
# The logo's plate is its darkest part; it must be where the layout puts it.
read -r lw lh lx ly <<<"$(convert "$TDA_SHOTS/wayland.png" -crop "110x60+$((x0 + LOGO[0]))+$((y0 + LOGO[1]))" +repage \
    -fill white +opaque '#14202a' -fill black -opaque '#14202a' -negate -trim -format '%w %h %X %Y' info: | tr -d '+')"
[ "$lw" -ge 80 ] && [ "$lh" -ge 40 ] || fail "no logo on screen at the logo gadget's place (dark area ${lw}x$lh)"
# The program binds the new virtual pointer only when the compositor
# announces it; a click sent before then is lost, so up to three clicks.
opened=
for _ in 1 2 3; do
    "$click" $((x0 + LOGO[0] + 50)) $((y0 + LOGO[1] + 25)) || fail "the click could not be sent"
    within 30 window_named "合同会社Tovami Corporation" && { opened=1; break; }
done
[ -n "$opened" ] || fail "no about box within 3 s of any of three clicks on the logo"
echo "ok: 790x400 content, logo shown, the about box opened"
stop

# ---------------------------------------------------------------------------
echo "== output scale 2: the double-size logo"
swaymsg output HEADLESS-1 resolution 2560x2048 scale 2 >/dev/null || fail "the output scale could not be set"
start
grim "$TDA_SHOTS/wayland-scale2.png" || fail "grim could not take a screenshot"
read -r w h x0 y0 <<<"$(box_of "$TDA_SHOTS/wayland-scale2.png" "$BG")"
[ "$w" = 1580 ] && [ "$h" = 800 ] || fail "content is ${w}x$h device pixels at scale 2, expected 1580x800"
logo2x="$src/assets/TovamiLogoNeon100x49@2x.png"
convert "$src/assets/TovamiLogoNeon100x49.png" -filter point -resize 200% "$runtime/doubled.png"
# The frame around the logo is a pixel or two wide: try the offsets near it.
best= best_doubled=
for d in 0 1 2 3 4; do
    convert "$TDA_SHOTS/wayland-scale2.png" -crop "200x98+$((x0 + 2 * LOGO[0] + d))+$((y0 + 2 * LOGO[1] + d))" +repage \
        "$runtime/seen.png"
    e=$(compare -metric RMSE "$runtime/seen.png" "$logo2x" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
    if [ -z "$best" ] || awk "BEGIN{exit !($e < $best)}"; then
        best=$e
        best_doubled=$(compare -metric RMSE "$runtime/seen.png" "$runtime/doubled.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
    fi
done
echo "logo against the double-size file: $best; against the doubled plain file: $best_doubled"
awk "BEGIN{exit !($best < 0.02)}" || fail "the logo on screen is not the double-size drawing (error $best)"
awk "BEGIN{exit !($best < $best_doubled)}" || fail "the logo on screen is closer to the doubled plain drawing"
echo "ok: at scale 2 the logo shows the double-size drawing"
stop
swaymsg output HEADLESS-1 resolution 1280x1024 scale 1 >/dev/null

# ---------------------------------------------------------------------------
# The lines of ink in the region W H X Y of image $1, one "top height" per
# line: runs of rows with text, parted by at least two empty rows.
ink_lines() {
    convert "$1" -crop "$2x$3+$4+$5" +repage -fuzz 12% -fill white -opaque "$BG" -colorspace gray \
        -threshold 80% -negate -scale "1x$3!" -depth 8 txt:- |
        sed -n 's/^[0-9]*,\([0-9]*\): *(\([0-9.]*\).*/\1 \2/p' |
        awk '{ ink = $2 > 0 }
             ink && gap >= 2 { if (n) print top, last - top + 1; n++; top = $1 }
             ink { last = $1; gap = 0 } !ink { gap++ }
             END { if (n) print top, last - top + 1 }' gap=2
}

for f in 1.25 1.5; do
    echo "== text scale $f"
    start GDK_DPI_SCALE=$f
    shot="$TDA_SHOTS/wayland-text-$f.png"
    grim "$shot" || fail "grim could not take a screenshot"
    s() { awk "BEGIN{printf \"%d\", $1 * $f + ($1 * $f >= 0 ? 0.5 : -0.5)}"; }
    read -r w h x0 y0 <<<"$(box_of "$shot" "$BG")"
    echo "content ${w}x$h"
    [ "$w" = "$(s 790)" ] && [ "$h" = "$(s 400)" ] || fail "content ${w}x$h at $f, expected $(s 790)x$(s 400)"
    # The calendar: the white area in the top right part of the content.
    read -r cw ch cx cy <<<"$(convert "$shot" -crop "$((w - $(s 540)))x$(s 185)+$((x0 + $(s 540)))+$y0" +repage \
        -fill black +opaque white -trim -format '%w %h %X %Y' info: | tr -d '+')"
    cal_right=$(($(s 540) + cx + cw)) cal_bottom=$((cy + ch))
    echo "calendar's white area ${cw}x$ch, right edge at $cal_right of $w, bottom at $cal_bottom"
    [ "$cw" -ge "$(s 180)" ] || fail "the calendar is not where the layout puts it (white area ${cw}x$ch)"
    [ "$cal_right" -lt "$w" ] || fail "the calendar's right edge ($cal_right) is cut off by the window ($w)"
    # The button: ink below the calendar; an empty row must part the two.
    read -r bw bh bx by <<<"$(convert "$shot" -crop "$((w - $(s 640)))x$(s 60)+$((x0 + $(s 640)))+$((y0 + cal_bottom + 2))" +repage \
        -fuzz 3% -fill white -opaque "$BG" -fill black +opaque white -negate -trim -format '%w %h %X %Y' info: | tr -d '+')"
    echo "button below it: ${bw}x$bh at +$bx+$by"
    [ "$bw" -ge "$(s 80)" ] && [ "$bh" -ge "$(s 20)" ] || fail "the 日付入力 button is not fully below the calendar (${bw}x$bh)"
    [ "$by" -ge 1 ] || fail "the 日付入力 button touches the calendar"
    [ $(($(s 640) + bx + bw)) -lt "$w" ] || fail "the 日付入力 button is cut off by the window"
    # The labels' column between the count fields and the "=" signs: one
    # line each, no taller than the label's box.
    lines=$(ink_lines "$shot" "$(s 96)" "$(s 100)" $((x0 + $(s 135))) $((y0 + $(s 160))))
    echo "label lines (top, height):" $lines
    [ "$(wc -l <<<"$lines")" = 2 ] || fail "the 'days after' and 'days before' labels show $(wc -l <<<"$lines") lines, expected 2"
    while read -r _ lh; do
        [ "$lh" -lt "$(s 25)" ] || fail "a label's text is $lh pixels tall: it wraps"
    done <<<"$lines"
    echo "ok: text scale $f"
    stop
done
echo "== the compositor goes away under the window: one line naming the display, status 1"
start
kill "$sway_pid"; sway_pid=
within 50 eval '! kill -0 $app_pid 2>/dev/null' || fail "still running 5 s after the compositor ended"
wait "$app_pid"; status=$?; app_pid=
[ $status = 1 ] && [ "$(cat "$runtime/app.log")" = "tovamidaysafter: lost the connection to the display $WAYLAND_DISPLAY" ] ||
    fail "status $status, output: $(cat "$runtime/app.log")"
echo "ok: all Wayland checks passed"
