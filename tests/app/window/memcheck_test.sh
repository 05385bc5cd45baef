#!/usr/bin/env bash
# A real session of the built program under valgrind memcheck on its own
# virtual display (see scripted_session.sh for the steps). Passes when
# memcheck saw no invalid read or write, no use of an uninitialised value and
# no definitely lost block allocated from our own code (app/, runtime/, or a
# frame of the program itself); leaks that stay inside the toolkit are
# listed but not counted.
#   bash tests/app/memcheck_test.sh PROGRAM
set -uo pipefail
exe=${1:?usage: memcheck_test.sh PROGRAM}
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${TDA_MEMCHECK_INNER:-}" ]; then
    TDA_MEMCHECK_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash "$0" "$@"
fi
source "$here/scripted_session.sh"
command -v valgrind >/dev/null || skip "valgrind not installed"
command -v xclip >/dev/null || skip "xclip not installed"
# A sanitizer build brings its own checker, which cannot run under memcheck.
if grep -qaE '__(asan|tsan)_init' "$exe"; then skip "built with a sanitizer"; fi

fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
[ -n "${TDA_KEEP_LOG:-}" ] && echo "log in $work" || trap 'rm -rf "$work"' EXIT
log=$work/memcheck.log

# GLib's slice allocator hides blocks from memcheck; plain malloc shows them.
export G_SLICE=always-malloc G_DEBUG=gc-friendly
session_wait=4
# The command replaces itself with the window program: memcheck follows.
scripted_session valgrind --tool=memcheck --error-exitcode=99 --trace-children=yes \
    --errors-for-leak-kinds=none --leak-check=full --show-leak-kinds=definite \
    --track-origins=yes --num-callers=40 --fullpath-after= \
    --suppressions="$here/memcheck.supp" --log-file="$log" "$exe"

grep -E "ERROR SUMMARY|definitely lost:|indirectly lost:" "$log"
[ "$session_status" -ne 124 ] || fail "the program did not end within its deadline after the close request"
[ "$session_status" -ne 125 ] || fail "the program never showed its window"
[ -z "$session_problems" ] || fail "steps of the session did not happen: $session_problems"
if [ "$session_status" -eq 99 ] || grep -qE "Invalid (read|write|free)|uninitialised|Conditional jump" "$log"; then
    grep -A25 -E "Invalid (read|write|free)|uninitialised|Conditional jump" "$log" | head -150
    fail "memcheck found memory errors"
fi
[ "$session_status" -eq 0 ] || fail "exit status $session_status"

# Definitely lost blocks, one record per paragraph: ours when a frame lies in
# our sources or in the program's own binary.
awk -v RS= '/definitely lost in loss record/' "$log" > "$work/definite"
ours=$(awk -v RS= -v ORS='\n\n' '/\((app|runtime)\/|\/app\/|\/runtime\/|in \/.*tovamidaysafter\)/' "$work/definite")
echo "definitely lost records: $(grep -c 'definitely lost in loss record' "$work/definite")," \
     "from our code: $(printf '%s' "$ours" | grep -c 'definitely lost in loss record')"
if [ -n "$ours" ]; then
    echo "$ours" | head -200
    fail "memory allocated by our code was lost"
fi
# The terminal answers lose nothing at all.
for args in "--after 2024/01/01 1" "--before 2024/01/01 1" "--between 2024/01/01 2024/02/01" --help --version; do
    timeout -k 5 120 valgrind -q --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=99 "$exe" $args \
        >/dev/null 2>"$work/terminal.log" || fail "memcheck on $args: $(cat "$work/terminal.log")"
done
echo "ok: no memory errors, no lost block of ours; nothing lost by the terminal answers"
