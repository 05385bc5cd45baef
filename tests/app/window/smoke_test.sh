#!/usr/bin/env bash
# Out-of-process check of the built program: on its own virtual display with a
# window manager it opens one 790 x 400 window titled "TovamiDaysAfter" that
# the user cannot resize, and a close request from the window manager, Ctrl+W
# or Ctrl+Q ends it with exit status 0 within a few seconds.
#   bash tests/app/smoke_test.sh PROGRAM
set -uo pipefail
exe=${1:?usage: smoke_test.sh PROGRAM}

if [ -z "${TDA_SMOKE_INNER:-}" ]; then
    TDA_SMOKE_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash "$0" "$@"
fi

fail() { echo "FAIL: $*"; exit 1; }

source "$(dirname "${BASH_SOURCE[0]}")/window_wait.sh"
wm_start || fail "no window manager"
trap '[ -n "$wm_pid" ] && kill $wm_pid 2>/dev/null' EXIT

# Starts the program and sets pid and wid once its window is shown. Its stdout
# is closed, every GLib message on: none may go into the display connection.
start_program() {
    G_MESSAGES_DEBUG=all "$exe" "$@" >&- &
    pid=$!
    wid=$(window_wait '^TovamiDaysAfter$' 10 $pid) || fail "no window titled TovamiDaysAfter"
    # Framed and placed: the window manager has set the frame's extents.
    for _ in $(seq 50); do xprop -id "$wid" _NET_FRAME_EXTENTS | grep -q = && return; sleep 0.1; done
    fail "the window manager did not frame the window within 5 s"
}

# Waits up to 5 s for the program to end after "$1"; it must exit with 0.
# "$2", when given, is a command that asks again each second meanwhile (a
# window manager that was still settling may drop the first request).
expect_ended() {
    for i in $(seq 50); do
        kill -0 $pid 2>/dev/null || break
        [ -n "${2:-}" ] && [ $((i % 10)) -eq 0 ] && $2
        sleep 0.1
    done
    kill -0 $pid 2>/dev/null && { kill $pid; fail "still running 5 s after $1"; }
    wait $pid
    status=$?
    [ $status -eq 0 ] || fail "exit status $status after $1"
}

start_program

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
expect_ended "the close request" "wmctrl -i -c $wid"

for keys in ctrl+w ctrl+q; do
    start_program
    xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
    xdotool key "$keys"
    expect_ended "$keys" "xdotool key $keys"
done
# The window, its client leader and the about box (a click on the small logo,
# again until the logo is there) carry the application id as their class, or
# the user's --name and --class.
for given in "" "--class FooClass --name fooname"; do
    start_program $given
    for i in 1 2 3 4 5; do xdotool mousemove --window "$wid" 710 335 click 1; about=$(window_wait 合同会社 3 $pid) && break; done
    class='"com.example.TovamiDaysAfter", "com.example.TovamiDaysAfter"' && [ -n "$given" ] && class='"fooname", "FooClass"'
    for w in "$wid" "$(xprop -id "$wid" WM_CLIENT_LEADER | awk '{print $NF}')" "$about"; do
        [ "$(xprop -id "$w" WM_CLASS)" = "WM_CLASS(STRING) = $class" ] || fail "$given: window '$w': $(xprop -id "$w" WM_CLASS)"
    done
    xdotool windowactivate --sync "$about" key Return
    wmctrl -i -c "$wid"
    expect_ended "the close request" "wmctrl -i -c $wid"
done

# A display that goes away under the window: one line naming it, status 1.
tmp=$(mktemp -d); Xvfb -displayfd 5 5>"$tmp/n" >/dev/null 2>&1 & xpid=$!
for i in $(seq 50); do [ -s "$tmp/n" ] && break; sleep 0.1; done
[ -s "$tmp/n" ] || fail "the private Xvfb named no display within 5 s"
DISPLAY=:$(cat "$tmp/n") "$exe" 2>"$tmp/err" & pid=$!
DISPLAY=:$(cat "$tmp/n") window_wait '^TovamiDaysAfter$' 10 $pid >/dev/null || fail "no window on the own display"
kill $xpid
for i in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && { kill $pid; fail "still running 5 s after its display went away"; }
wait $pid; status=$?
[ $status = 1 ] && [ "$(cat "$tmp/err")" = "tovamidaysafter: lost the connection to the display :$(cat "$tmp/n")" ] ||
    fail "status $status after the display went away, stderr: $(cat "$tmp/err")"
rm -rf "$tmp"
echo "ok: window checked; the close request, Ctrl+W and Ctrl+Q each end it with exit status 0; the classes, given or not; stdout closed; a lost display"
