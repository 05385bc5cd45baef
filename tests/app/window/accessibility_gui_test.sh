#!/usr/bin/env bash
# The calculator as a screen reader meets it: on its own virtual display and
# session bus (with the accessibility bus it starts on demand), the built
# program's accessibility tree is read over AT-SPI, a calculation is typed
# with real keys and the announced result is read back.
#   bash tests/app/accessibility_gui_test.sh PROGRAM
set -uo pipefail
exe=${1:?usage: accessibility_gui_test.sh PROGRAM}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ -z "${TDA_A11Y_INNER:-}" ]; then
    export TDA_A11Y_INNER=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash "$0" "$@"
fi

fail() { echo "FAIL: $*"; exit 1; }

unset NO_AT_BRIDGE
export GTK_A11Y=atk
"$exe" &
pid=$!
trap 'kill $pid 2>/dev/null' EXIT
wid=
for _ in $(seq 100); do
    wid=$(xdotool search --onlyvisible --name '^TovamiDaysAfter$' 2>/dev/null | head -n1)
    [ -n "$wid" ] && break
    kill -0 $pid 2>/dev/null || fail "the program ended before showing its window"
    sleep 0.1
done
[ -n "$wid" ] || fail "no window titled TovamiDaysAfter"
sleep 0.5

# The system interpreter: it has the GObject bindings for AT-SPI.
timeout -k 5 90 /usr/bin/python3 "$here/accessibility_probe.py" || fail "accessibility checks"
echo "ok: roles, names, states, relations and the spoken result checked"
