#!/usr/bin/env bash
# Idle check: starts the calculator, and then the plain GTK program with the
# same window, each alone on a private virtual display (Xvfb, no window
# manager), gives its window the focus and clicks into a text field; after
# IDLE_WAIT seconds (default 40) without further input it counts, over
# MEASURE seconds (default 30). By 40 s the text cursor has stopped blinking
# (after 10 s) and the toolkit's one-shot timers have fired: GTK drops each
# text view's pixel cache 20 s after drawing it ("[gtk+] blow_cache_cb"), and
# the accessibility bridge lets go of the objects it handed to the bus after
# 15 s (a 16 s timer in libatk-bridge). Both programs have them; a window
# that starts 15 s after the click catches one to three of them in either,
# depending on when each program drew. The count:
#   system calls: `perf stat -e raw_syscalls:sys_enter -p PID` (a kernel
#     tracepoint counted for every thread, without stopping the program;
#     perf's "<not counted>" means no thread of the program ran at all, 0);
#     where perf cannot count, `strace -f -c -p PID` (which itself interrupts
#     the sleeping call once when it attaches);
#   wake-ups: the increase of voluntary + involuntary context switches summed
#     over /proc/PID/task/*/status (a thread that wakes and sleeps again
#     switches at least once);
#   CPU time: utime + stime from /proc/PID/stat, in clock ticks.
# Target for the calculator: 0 system calls and at most 1 wake-up per 10 s;
# the IDLE line gives wake-ups per 10 s of both programs and their ratio.
#
#   idle.sh [--real PATH] [--plain PATH]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
real=$root/build/tovamidaysafter
plain=$root/build-bench/bench/plain_window
idle_wait=${IDLE_WAIT:-40}
measure=${MEASURE:-30}
while [ $# -gt 0 ]; do
    case $1 in
    --real) real=$2; shift 2 ;;
    --plain) plain=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
for f in "$real" "$plain"; do
    [ -x "$f" ] || { echo "missing $f (build it first: bash bench/run.sh builds everything)" >&2; exit 2; }
done

. "$root/bench/startup/xvfb.sh"
bench_start_xvfb

switches() {  # pid -> voluntary + involuntary switches of all its threads
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {s += $2} END {print s + 0}'
}
cpu_ticks() {  # pid -> utime + stime
    awk '{print $14 + $15}' /proc/"$1"/stat
}
threads() {
    ls /proc/"$1"/task | wc -l
}

perf_works=0
if perf stat -e raw_syscalls:sys_enter -- true >/dev/null 2>&1; then
    perf_works=1
fi

results=()
for subject in "real:$real" "plain:$plain"; do
    label=${subject%%:*}
    program=${subject#*:}
    "$program" >/dev/null 2>&1 &
    pid=$!
    # Give the window the keyboard focus and click into the days-after count
    # field (window position 80, 180), so that a text cursor blinks; that is
    # the last input.
    window=$(timeout 10 xdotool search --sync --onlyvisible --name '^TovamiDaysAfter$' 2>/dev/null | head -n1 || true)
    if [ -n "$window" ]; then
        sleep 0.5
        xdotool windowfocus --sync "$window" mousemove --window "$window" 80 180 click 1 || true
    else
        echo "$label: window not found; measuring without focus" >&2
    fi
    if [ "${IDLE_PROBE:-0}" = 1 ]; then  # wake-ups while the cursor blinks, for comparison
        b0=$(switches "$pid"); sleep 3; echo "$label: $(( $(switches "$pid") - b0 )) wake-ups in the first 3 s after the click"
        sleep $((idle_wait - 3))
    else
        sleep "$idle_wait"
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "$label exited before the measurement" >&2
        exit 1
    fi
    s0=$(switches "$pid")
    c0=$(cpu_ticks "$pid")
    if [ "$perf_works" = 1 ]; then
        calls=$(perf stat -x, -e raw_syscalls:sys_enter -p "$pid" -- sleep "$measure" 2>&1 >/dev/null |
            awk -F, '/raw_syscalls:sys_enter/ {print ($1 ~ /not counted/ ? 0 : $1)}')
        method="perf raw_syscalls:sys_enter"
    else
        calls=$(timeout -s INT "$measure" strace -f -c -p "$pid" 2>&1 >/dev/null |
            awk '/^100.00/ {print $4}')
        method="strace -f -c"
    fi
    s1=$(switches "$pid")
    c1=$(cpu_ticks "$pid")
    n=$(threads "$pid")
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    results+=("$label|${calls:-0}|$((s1 - s0))|$((c1 - c0))|$n")
done

echo "Idle: ${idle_wait} s after start without input, then counted over ${measure} s (system calls by $method)"
printf "%-8s %13s %10s %10s %8s\n" program system-calls wake-ups cpu-ticks threads
for r in "${results[@]}"; do
    IFS='|' read -r label calls wakes ticks n <<<"$r"
    printf "%-8s %13s %10s %10s %8s\n" "$label" "$calls" "$wakes" "$ticks" "$n"
done
IFS='|' read -r label calls wakes ticks n <<<"${results[0]}"
IFS='|' read -r plabel pcalls pwakes pticks pn <<<"${results[1]}"
per10() { awk -v n="$1" -v s="$measure" 'BEGIN {printf "%.1f", n * 10 / s}'; }
verdict=PASS
if [ "${calls:-1}" != 0 ] || [ $((wakes * 10)) -gt "$measure" ]; then verdict=MISS; fi
ratio=$(awk -v o="$wakes" -v p="$pwakes" 'BEGIN {if (o == p) print "1.00"; else if (o == 0) print "inf"; else printf "%.2f", p / o}')
echo "IDLE wake-ups per 10 s: real $(per10 "$wakes"), plain GTK $(per10 "$pwakes"), plain/real $ratio" \
    "(above 1: real wakes less); system calls per 10 s: real $(per10 "$calls"), plain $(per10 "$pcalls")" \
    "(target 0 calls, <= 1 wake-up: $verdict)"
