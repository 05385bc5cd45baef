#!/usr/bin/env bash
# Builds the benchmarks and the calculator in Release (build-bench/), runs
# every benchmark program, the start-up comparison and the idle check, and
# prints one summary table of ratios (reference time / our time; above 1
# means ours is faster) with the targets and PASS or MISS.
#
#   bash bench/run.sh            everything (about 6 minutes on 2 cores)
#   bash bench/run.sh --quick    shorter timing runs, 7 start-up runs, no idle check
#   bash bench/run.sh --no-gui   only the in-process benchmarks
#
# Timings are only meaningful on an otherwise idle machine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TDA_BENCH_BUILD_DIR:-$root/build-bench}
quick=0
gui=1
for a in "$@"; do
    case $a in
    --quick) quick=1 ;;
    --no-gui) gui=0 ;;
    *) echo "unknown option $a" >&2; exit 2 ;;
    esac
done

needed=(cmake pkg-config libgtk-3-dev libpng-dev libbenchmark-dev libxdamage-dev xvfb x11-utils xdotool)
missing=()
for p in "${needed[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Missing packages; install them, then run this again:"
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
    exit 1
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTDA_BUILD_BENCH=ON -DTDA_BUILD_TESTS=OFF >/dev/null
jobs=$(nproc)
cmake --build "$build" -j "$jobs" --target tovamidaysafter utf_convert_bench event_queue_bench block_pool_bench \
    string_map_bench date_bench image_bench plain_window first_paint >/dev/null

log=$build/bench-results.txt
: >"$log"
min_time=0.5
[ "$quick" = 1 ] && min_time=0.1
for b in utf_convert event_queue block_pool string_map date image; do
    echo "== ${b}_bench" | tee -a "$log"
    "$build/bench/${b}_bench" --benchmark_min_time="$min_time" 2>&1 | tee -a "$log" | grep -E "^(RATIO|NOTE)" || true
done

if [ "$gui" = 1 ]; then
    runs=21
    [ "$quick" = 1 ] && runs=7
    for mode in "" --fresh; do
        bash "$root/bench/startup/startup.sh" --runs "$runs" --real "$build/tovamidaysafter" \
            --tools "$build/bench" --gl-variants $mode 2>&1 | tee -a "$log"
    done
    if [ "$quick" = 0 ]; then
        bash "$root/bench/idle.sh" --real "$build/tovamidaysafter" --plain "$build/bench/plain_window" 2>&1 |
            tee -a "$log"
    fi
fi

echo "== terminal answer" | tee -a "$log"
bash "$root/bench/terminal.sh" --program "$build/tovamidaysafter" 2>&1 | tee -a "$log"

echo
echo "== Summary ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores) =="
grep -E "^RATIO" "$log" | sed 's/^RATIO //'
grep -E "^(STARTUP|IDLE)" "$log" || true
echo "passed: $(grep -cE '^(RATIO|STARTUP|IDLE).* PASS' "$log")  missed: $(grep -cE '^(RATIO|STARTUP|IDLE).*MISS' "$log")  differing results: $(grep -cE '^RATIO.*(DIFFERS|FAILED)' "$log")"
echo "full output: $log"
