#!/usr/bin/env bash
# Start-up comparison on one private virtual display (Xvfb, no window
# manager): the real calculator and the plain GTK program with the same
# window and widgets are started alternately, RUNS times each (after one
# unmeasured warm-up run each), and the medians of exec-to-first-paint time
# and peak RSS are printed with the ratios real / plain.
#
# How a run is measured (bench/startup/first_paint.cpp): the watcher starts
# the clock, forks and execs the program; it gives every top-level window the
# program creates an X DAMAGE object at once, and the first damage report
# after which the mapped window holds more than two colours is the first
# paint. It then waits SETTLE_MS, reads VmHWM (peak resident size) from
# /proc/<pid>/status, notes whether an OpenGL driver is mapped, and ends the
# program with SIGTERM. map-ms is the time to the window's MapNotify and
# damage-ms to its first drawn content of any kind (the calculator shows its
# window empty before it adds the widgets).
#
#   startup.sh [--runs N] [--real PATH] [--plain PATH] [--tools DIR] [--fresh] [--gl-variants]
#
# GDK probes OpenGL when it opens a display (it loads the GL driver to pick
# GL-capable visuals) and caches the chosen visuals in the root window
# property GDK_VISUALS; every later GTK 3 program on that display reads the
# property and skips the probe. By default the display keeps that property
# (the state of any desktop session after its first GTK program). --fresh
# removes it before every run, so each start is the first GTK program on a
# new display (the state of a display that resets when its last client
# leaves, as xvfb-run's does) and pays the probe.
#
# --gl-variants also measures both programs with GDK_GL=disable in their
# environment: what the calculator would cost if it skipped GDK's OpenGL
# probe itself. The default paths are the set-up build's calculator and the
# benchmark build's tools (bash bench/run.sh builds both in build-bench/).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
runs=21
real=$root/build/tovamidaysafter
tools=$root/build-bench/bench
plain=
gl_variants=0
fresh=0
settle_ms=${SETTLE_MS:-700}
while [ $# -gt 0 ]; do
    case $1 in
    --runs) runs=$2; shift 2 ;;
    --real) real=$2; shift 2 ;;
    --plain) plain=$2; shift 2 ;;
    --tools) tools=$2; shift 2 ;;
    --gl-variants) gl_variants=1; shift ;;
    --fresh) fresh=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
plain=${plain:-$tools/plain_window}
watcher=$tools/first_paint
for f in "$real" "$plain" "$watcher"; do
    [ -x "$f" ] || { echo "missing $f (build it first: bash bench/run.sh builds everything)" >&2; exit 2; }
done

. "$root/bench/startup/xvfb.sh"
bench_start_xvfb

out=$(mktemp -d)
trap 'kill "$bench_xvfb_pid" 2>/dev/null || true; rm -rf "$out"' EXIT

# subject label | environment | program
subjects=("real||$real" "plain||$plain")
if [ "$gl_variants" = 1 ]; then
    subjects+=("real GDK_GL=disable|GDK_GL=disable|$real" "plain GDK_GL=disable|GDK_GL=disable|$plain")
fi

measure() {  # label env program -> appends one line to the label's file
    local label=$1 environment=$2 program=$3 line try
    for try in 1 2 3; do
        if [ "$fresh" = 1 ]; then
            xprop -root -remove GDK_VISUALS
        fi
        if line=$(env $environment "$watcher" --settle-ms "$settle_ms" -- "$program" 2>/dev/null) &&
            [[ $line == paint_ms=* ]]; then
            echo "$line" >>"$out/${label// /_}"
            return 0
        fi
    done
    echo "run of $label failed: $line" >&2
}

for s in "${subjects[@]}"; do  # warm-up: page cache, font cache
    IFS='|' read -r label environment program <<<"$s"
    env $environment "$watcher" --settle-ms 200 -- "$program" >/dev/null 2>&1 || true
done
for i in $(seq 1 "$runs"); do
    # Alternate which program goes first in each round.
    if [ $((i % 2)) = 1 ]; then order=("${subjects[@]}"); else
        order=(); for ((k = ${#subjects[@]} - 1; k >= 0; k--)); do order+=("${subjects[$k]}"); done
    fi
    for s in "${order[@]}"; do
        IFS='|' read -r label environment program <<<"$s"
        measure "$label" "$environment" "$program"
    done
done

median() {  # key file -> median of key=value over the file's lines
    grep -o "$1=[0-9.]*" "$2" | cut -d= -f2 | sort -n | awk '{v[NR]=$1} END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

if [ "$fresh" = 1 ]; then
    state="fresh display: GDK_VISUALS removed before each run, every start probes OpenGL"
else
    state="warm display: GDK_VISUALS cached by the warm-up runs"
fi
echo "Start-up on a private Xvfb ($state), $runs runs each, alternating; medians:"
printf "%-22s %5s %14s %13s %7s %9s %3s\n" program runs first-paint-ms peak-RSS-MiB map-ms damage-ms GL
for s in "${subjects[@]}"; do
    IFS='|' read -r label environment program <<<"$s"
    f=$out/${label// /_}
    [ -s "$f" ] || continue
    hwm=$(median hwm_kib "$f")
    printf "%-22s %5d %14s %13.1f %7s %9s %3s\n" "$label" "$(wc -l <"$f")" "$(median paint_ms "$f")" \
        "$(awk -v k="$hwm" 'BEGIN{print k/1024}')" "$(median map_ms "$f")" "$(median damage_ms "$f")" \
        "$(median gl "$f")"
done

ratio_line() {  # label-a label-b target-time target-memory
    local a=$out/${1// /_} b=$out/${2// /_}
    [ -s "$a" ] && [ -s "$b" ] || return 0
    awk -v ta="$(median paint_ms "$a")" -v tb="$(median paint_ms "$b")" \
        -v ma="$(median hwm_kib "$a")" -v mb="$(median hwm_kib "$b")" \
        -v gt="$3" -v gm="$4" -v la="$1" -v lb="$2" -v mode="$mode" 'BEGIN {
        rt = ta / tb; rm = ma / mb
        if (gt == 0) {
            printf "STARTUP %-5s %-22s / %-6s time %5.2f  peak RSS %5.2f  (information)\n", mode, la, lb, rt, rm
        } else {
            printf "STARTUP %-5s %-22s / %-6s time %5.2f (target <=%.2f %s)  peak RSS %5.2f (target <=%.2f %s)\n",
                mode, la, lb, rt, gt, (rt <= gt ? "PASS" : "MISS"), rm, gm, (rm <= gm ? "PASS" : "MISS")
        } }'
}
mode=$([ "$fresh" = 1 ] && echo fresh || echo warm)
ratio_line real plain 1.10 1.10
if [ "$gl_variants" = 1 ]; then
    # The goal for a program that skips the probe itself applies where the
    # probe happens at all: on a fresh display.
    if [ "$fresh" = 1 ]; then
        ratio_line "real GDK_GL=disable" plain 0.75 0.50
    else
        ratio_line "real GDK_GL=disable" plain 0 0
    fi
    ratio_line "plain GDK_GL=disable" plain 0 0
fi
