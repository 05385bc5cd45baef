#!/usr/bin/env bash
# Random real input for SECONDS with a fixed SEED (a failure prints the action log; that log as SEED replays it):
# clicks on fields, buttons, calendar, lists and combo arrows (four 30 ms apart, then the other arrow), keys, texts
# (within the keymap: xdotool remaps a key for any other character, after which GTK drops keys) and pastes. Every 25
# actions and at the end a typed year must read back; then, with a list open, a close request must end the program
# with status 0 and no sanitizer report.   random_input_gui_test.sh PROGRAM SECONDS SEED|LOG
exe=$1 seconds=$2 seed=$3
[ -n "${TDA_RANDOM_INNER:-}" ] || TDA_RANDOM_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
source "$(dirname "$0")/scripted_session.sh"
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0 # stacks that name the toolkit (lsan.supp)
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"; kill $wm_pid 2>/dev/null' EXIT
fail() { echo "FAIL: $*; the actions:" && cat "$tmp/log" && exit 1; }
python3 -c "import random; r = random.Random(28); print(''.join(chr(r.choice([r.randint(0x590, 0x6FF),
    r.randint(0x300, 0x36F), r.randint(0x4E00, 0x9FFF)])) for _ in range(100000)), end='')" >"$tmp/paste" || skip "no python3"
at="mousemove --window W" actions=("$at 60 85 click 1" "$at 200 85 click 1" "$at 340 85 click 1" "$at 60 177 click 1"
    "$at 60 237 click 1" "$at 340 177 click 1" "$at 480 180 click 1" "$at 660 130 click 1" "$at 705 202 click 1"
    "$at 230 150 click 1" "$at 270 85 click --repeat 4 --delay 30 1 $at 410 85 click 1" "key Tab" "key Return"
    "key Escape" "key Left" "key BackSpace" "key ctrl+a" "key ctrl+c" "key ctrl+v" "key ctrl+period" PASTE
    "type --delay 5 2024-$%x" "type --delay 5 99999999999999999999")
act() {
    echo "$1" >>"$tmp/log"
    case $1 in
    CHECK) xdotool key Escape Escape && sleep 0.5 && session_type_checked 60 85 1999 year; [ -z "$session_problems" ] || fail "$session_problems" ;;
    PASTE) xclip -selection clipboard -i "$tmp/paste" 2>/dev/null && xdotool key ctrl+v ;;
    *) xdotool ${1//W/$session_wid} ;;
    esac
}
wm_start
"$exe" 2>"$tmp/err" & session_pid=$!
session_wid=$(session_find_window '^TovamiDaysAfter$' 60) || fail "no window"
session_read_until 60 85 "$(date +%Y)" >/dev/null # start-up ends by copying today into the fields
if [ -f "$seed" ]; then while IFS= read -r line; do act "$line"; done <"$seed"; else RANDOM=$seed end=$((SECONDS + seconds))
    while ((SECONDS < end)); do act "${actions[RANDOM % ${#actions[@]}]}"; ((++n % 25)) || act CHECK; done; act CHECK; fi
xdotool key Escape && session_click 270 85 && sleep 0.5 && wmctrl -i -c "$session_wid"
for ((i = 0; i < 600; i++)); do kill -0 $session_pid 2>/dev/null || break; sleep 0.1; done
kill -0 $session_pid 2>/dev/null && { kill $session_pid; fail "still running 60 s after the close request"; }
wait $session_pid && ! grep -qE "Sanitizer|runtime error" "$tmp/err" || { cat "$tmp/err"; fail "exit status or report"; }
echo "ok: $(wc -l <"$tmp/log") actions; toolkit criticals:" && grep CRITICAL "$tmp/err" | sort | uniq -c
