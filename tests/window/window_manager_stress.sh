#!/usr/bin/env bash
# Runs the window tests (the ones under a window manager among them) many
# times in a row while busy loops hold every core, and counts the failures.
# A run that hangs is stopped after 120 s and counts as a failure.
#
#   bash tests/window/window_manager_stress.sh [RUNS] [BUILD_DIR]
#
# Prints one line per failed run, then "RUNS runs, N failed" and exits with
# status 1 when any run failed.
set -uo pipefail

runs=${1:-50}
build=${2:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build}
test_exe=$build/tests/window_window_gui_test
[ -x "$test_exe" ] || { echo "no $test_exe; build the target window_window_gui_test first" >&2; exit 2; }

busy=()
for _ in $(seq 1 "$(nproc)"); do
    (while :; do :; done) &
    busy+=($!)
done
trap 'kill "${busy[@]}" 2>/dev/null' EXIT

log=$(mktemp)
failed=0
for i in $(seq 1 "$runs"); do
    if ! timeout 120 xvfb-run -a -s '-screen 0 1280x1024x24' "$test_exe" >"$log" 2>&1; then
        failed=$((failed + 1))
        echo "run $i failed: $(grep -E '^\[  FAILED  \]|waited' "$log" | head -n 3 | tr '\n' ' ')"
    fi
done
rm -f "$log"
echo "$runs runs, $failed failed"
[ "$failed" -eq 0 ]
