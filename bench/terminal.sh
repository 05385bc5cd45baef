#!/usr/bin/env bash
# The terminal answer beside `date -d` for the same question, timed as whole
# processes in pairs (ours, then date, ROUNDS times, after one warm-up pair),
# each sample a batch of BATCH runs so that the shell's own clock resolution
# does not matter. Prints the median wall time per run of each and the
# median of the pairwise ratios ours / date, with the target (at most 2).
#
# With --workdays the question is Japan's 30th workday after the date with its
# weekday note (--after DATE 30 --workdays --weekday), the longest terminal
# path; `date -d` answers the plain question as before.
#
#   terminal.sh [--rounds N] [--batch N] [--program PATH] [--workdays]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=$root/build/tovamidaysafter
rounds=21
batch=50
extra=()
while [ $# -gt 0 ]; do
    case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --batch) batch=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    --workdays) extra=(--workdays --weekday); shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
[ -x "$program" ] || { echo "missing $program (build it first)" >&2; exit 2; }
[ "$("$program" --after 2024/02/29 30)" = 2024/03/30 ] || { echo "wrong answer from $program" >&2; exit 1; }

batch_ns() {  # command... -> nanoseconds for $batch runs
    local start end i
    start=$(date +%s%N)
    for ((i = 0; i < batch; i++)); do "$@" >/dev/null; done
    end=$(date +%s%N)
    echo $((end - start))
}

ours=() theirs=() ratios=()
for ((r = -1; r < rounds; r++)); do
    a=$(batch_ns "$program" --after 2024/02/29 30 "${extra[@]}")
    b=$(batch_ns date -d '2024-02-29 +30 days')
    [ $r -lt 0 ] && continue
    ours+=("$a") theirs+=("$b") ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", a / b }')")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
m_ours=$(median "${ours[@]}") m_theirs=$(median "${theirs[@]}") m_ratio=$(median "${ratios[@]}")
printf 'terminal answer: %.2f ms per run; date -d: %.2f ms per run (%d pairs of %d runs)\n' \
    "$(awk -v n="$m_ours" -v b="$batch" 'BEGIN { print n / b / 1e6 }')" \
    "$(awk -v n="$m_theirs" -v b="$batch" 'BEGIN { print n / b / 1e6 }')" "$rounds" "$batch"
verdict=$(awk -v r="$m_ratio" 'BEGIN { print (r <= 2.0) ? "PASS" : "MISS" }')
echo "STARTUP terminal --after ${extra[*]} / date -d wall time: $m_ratio (target <= 2.0) $verdict"
