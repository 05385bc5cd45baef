#!/usr/bin/env bash
# A real session of the built program under strace on its own virtual
# display (see scripted_session.sh for the steps). Passes when the program
# opened no file for writing (O_WRONLY, O_RDWR, O_CREAT, creat), made, renamed
# or removed no file or folder, and connected no socket but the X display's
# (/tmp/.X11-unix) and the D-Bus session or accessibility bus.
#
# Only the program's own processes count: a child that GLib forks to start a
# helper (the D-Bus autolaunch of the accessibility bridge when no session
# bus is known) is followed until its exec; it points its standard streams
# at /dev/null first, which writes nothing and is allowed.
#   bash tests/app/nothing_written_test.sh PROGRAM
set -uo pipefail
exe=${1:?usage: nothing_written_test.sh PROGRAM}
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${TDA_STRACE_INNER:-}" ]; then
    TDA_STRACE_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
source "$here/scripted_session.sh"
command -v strace >/dev/null || skip "strace not installed"
command -v xclip >/dev/null || skip "xclip not installed"

fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/strace.log

scripted_session_retrying strace -f -qq -o "$log" \
    -e trace=openat,open,creat,socket,connect,execve,mkdir,mkdirat,rename,renameat,renameat2,unlink,unlinkat,link,linkat,symlink,symlinkat \
    "$exe"
[ "$session_status" -eq 0 ] || fail "session ended with status $session_status"
[ -z "$session_problems" ] || fail "steps of the session did not happen: $session_problems"

# The program's lines: a process stops counting once it execs anything else
# than the program or its window program (PROGRAM-window, beside it).
awk -v prog="$exe" '
    / execve\(/ && / = 0$/ { if (index($0, "execve(\"" prog "\"") == 0 && index($0, "execve(\"" prog "-window\"") == 0) gone[$1] = 1; next }
    !($1 in gone)' "$log" > "$work/own"
echo "system calls seen: $(wc -l < "$log"), of the program: $(wc -l < "$work/own")"
echo "files opened: $(grep -cE ' (open|openat)\(' "$work/own"), sockets: $(grep -c ' socket(' "$work/own")"

writes=$(grep -E ' (open|openat)\(' "$work/own" | grep -E 'O_WRONLY|O_RDWR|O_CREAT' | grep -v '"/dev/null"')
changes=$(grep -E ' (creat|mkdir|mkdirat|rename|renameat|renameat2|unlink|unlinkat|link|linkat|symlink|symlinkat)\(' "$work/own")
[ -z "$writes$changes" ] || { printf '%s\n%s\n' "$writes" "$changes"; fail "the program wrote or changed files"; }

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
