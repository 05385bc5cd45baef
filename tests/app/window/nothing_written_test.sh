#!/usr/bin/env bash
# A real session of the built program under strace on its own virtual
# display (see scripted_session.sh for the steps). Passes when the program
# opened no file for writing (O_WRONLY, O_RDWR, O_CREAT, creat), made, renamed
# or removed no file or folder, and connected no socket but the X display's
# (/tmp/.X11-unix) and the D-Bus session or accessibility bus.
#
# Only calls that succeeded count (a toolkit may try to make a folder that is
# there already). A call made inside one of the toolkit's modules of the
# desktop (such as the input-method module that makes its own folder under
# ~/.config) is named as the module's, by the stack strace records with it;
# the program's own calls must write nothing. Only the program's own
# processes count: a process stops counting once it execs anything else.
set -uo pipefail
exe=${1:?usage: nothing_written_test.sh PROGRAM}
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${TDA_STRACE_INNER:-}" ]; then
    TDA_STRACE_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash "$0" "$@"
fi
source "$here/scripted_session.sh"
command -v strace >/dev/null || skip "strace not installed"
command -v xclip >/dev/null || skip "xclip not installed"

fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/strace.log

scripted_session strace -f -qq -z -k -o "$log" \
    -e trace=openat,open,creat,socket,connect,execve,mkdir,mkdirat,rename,renameat,renameat2,unlink,unlinkat,link,linkat,symlink,symlinkat \
    "$exe"
[ "$session_status" -eq 0 ] || fail "session ended with status $session_status"
[ -z "$session_problems" ] || fail "steps of the session did not happen: $session_problems"
grep -q '^ > ' "$log" || fail "strace recorded no stacks, so no call can be told to be the toolkit's"

# The program's calls, one line each; one made inside a toolkit module (a
# frame of its stack lies under gtk-3.0/) starts with "[module]".
awk -v prog="$exe" '
    function flush() { if (call != "") print (module != "" ? "[" module "] " : "") call; call = module = "" }
    /^ > / { if (module == "" && $2 ~ /\/gtk-3\.0\//) { module = $2; sub(/\(.*/, "", module); sub(/.*\//, "", module) }; next }
    { flush() }
    / execve\(/ { if (index($0, "execve(\"" prog "\"") == 0 && index($0, "execve(\"" prog "-window\"") == 0) gone[$1] = 1; next }
    !($1 in gone) { call = $0 }
    END { flush() }' "$log" > "$work/own"
echo "system calls seen: $(grep -vc "^ > " "$log"), of the program: $(wc -l < "$work/own")"
echo "files opened: $(grep -cE ' (open|openat)\(' "$work/own"), sockets: $(grep -c ' socket(' "$work/own")"

grep -q ' openat(.*/Tovami[^"/]*\.png"' "$work/own" || fail "the trace shows no logo of the program opened"
{ grep -E ' (open|openat)\(' "$work/own" | grep -E 'O_WRONLY|O_RDWR|O_CREAT' | grep -v '"/dev/null"'
  grep -E ' (creat|mkdir|mkdirat|rename|renameat|renameat2|unlink|unlinkat|link|linkat|symlink|symlinkat)\(' "$work/own"
} > "$work/changes"
sed -n 's/^\[\([^]]*\)\] /toolkit module \1, not the program: /p' "$work/changes"
! grep -v '^\[' "$work/changes" || fail "the program wrote or changed files"

# Sockets: only AF_UNIX (and netlink-free) ones, connected to the display or
# the session/accessibility bus.
other_sockets=$(grep ' socket(' "$work/own" | grep -v 'socket(AF_UNIX')
[ -z "$other_sockets" ] || { echo "$other_sockets"; fail "the program made a socket other than a local one"; }
bus=${DBUS_SESSION_BUS_ADDRESS:-}
bad_connects=$(grep ' connect(' "$work/own" | grep -vE 'sun_path=@?"/tmp/\.X11-unix/X[0-9]+"' \
    | grep -vE 'sun_path=@?"[^"]*(/at-spi/|at-spi2|dbus-)[^"]*"' \
    | { if [ -n "$bus" ]; then grep -vF "${bus#unix:path=}"; else cat; fi; })
[ -z "$bad_connects" ] || { echo "$bad_connects"; fail "the program connected somewhere else"; }
grep ' connect(' "$work/own" | sed -E 's/.*sun_path=([^}]*)}.*/connected: \1/' | sort | uniq -c
echo "ok: nothing written, no socket but display and bus"
