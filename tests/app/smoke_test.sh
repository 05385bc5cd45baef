#!/usr/bin/env bash
# Out-of-process check of the built program: on its own virtual display with a
# window manager it opens one 790 x 400 window titled "TovamiDaysAfter" that
# the user cannot resize, and a close request from the window manager ends it
# with exit status 0 within a few seconds.
#   bash tests/app/smoke_test.sh PROGRAM
set -uo pipefail
exe=${1:?usage: smoke_test.sh PROGRAM}

if [ -z "${TDA_SMOKE_INNER:-}" ]; then
    TDA_SMOKE_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

fail() { echo "FAIL: $*"; exit 1; }

openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm 2>/dev/null' EXIT
for _ in $(seq 50); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done

"$exe" &
pid=$!
wid=
for _ in $(seq 100); do
    wid=$(xdotool search --onlyvisible --name '^TovamiDaysAfter$' 2>/dev/null | head -n1)
    [ -n "$wid" ] && break
    kill -0 $pid 2>/dev/null || fail "the program ended before showing its window"
    sleep 0.1
done
[ -n "$wid" ] || fail "no window titled TovamiDaysAfter"
sleep 0.5

eval "$(xdotool getwindowgeometry --shell "$wid")"
echo "window $wid: ${WIDTH}x${HEIGHT} at $X,$Y"
[ "$WIDTH" = 790 ] && [ "$HEIGHT" = 400 ] || fail "size ${WIDTH}x${HEIGHT}, expected 790x400"

# Not resizable: the size hints pin the minimum and maximum to the same size.
hints=$(xprop -id "$wid" WM_NORMAL_HINTS)
echo "$hints" | grep -q "program specified minimum size: 790 by 400" || fail "no fixed minimum size: $hints"
echo "$hints" | grep -q "program specified maximum size: 790 by 400" || fail "no fixed maximum size: $hints"

# Centred on the 1280 x 1024 screen (within the window manager's frame).
cx=$((X + WIDTH / 2)) cy=$((Y + HEIGHT / 2))
[ $((cx - 640)) -le 30 ] && [ $((640 - cx)) -le 30 ] || fail "not centred horizontally (centre x $cx)"
[ $((cy - 512)) -le 40 ] && [ $((512 - cy)) -le 40 ] || fail "not centred vertically (centre y $cy)"

wmctrl -i -c "$wid"
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && { kill $pid; fail "still running 5 s after the close request"; }
wait $pid
status=$?
[ $status -eq 0 ] || fail "exit status $status"
echo "ok: window checked and closed, exit status 0"
