# A user's session with the calculator, driven from outside with xdotool on
# the current display. Sourced by the session tests, which run it on a
# virtual display and session bus of their own (so that nothing is
# autolaunched that outlives them):
#   scripted_session PREFIX... PROGRAM
# starts openbox when no window manager runs, starts the program (behind an
# optional prefix such as valgrind or strace), waits for its window, types a
# date and both counts, presses both "push" buttons, picks a calendar day and
# copies it with "　日付入力", opens the about box with a left click on the
# small logo and closes it with Return, then closes the window. Each step is
# checked: the two results and the copied year are read back through the
# primary selection (select all, then xclip), and the about box must open and
# close. Sets session_status to the exit status of the command (or 124 when
# the program or its prefix did not end within its deadline, 125 when it
# never showed its window) and session_problems to a description of every
# step that did not happen (empty when all did). A program that hangs is not
# run again: where its threads wait is in the log.
# Each step waits for what it stands for: a typed text or a result is read
# back until it shows (the X server hands the program the keys, clicks and
# selection requests in order); `session_wait` scales those deadlines
# (default 1; a program under valgrind wants more).
# A test that cannot run reports a skip to CTest (status 77); under CI,
# where nothing may be skipped, it fails instead.
skip() {
    if [ "${CI:-}" = true ]; then echo "FAIL: $* (CI=true allows no skipped test)"; exit 1; fi
    echo "SKIP: $*"
    exit 77
}

session_wait=${session_wait:-1}
session_log() { echo "session: $*"; }

session_problems=
session_problem() { session_log "PROBLEM: $*"; session_problems="$session_problems$*; "; }

source "$(dirname "${BASH_SOURCE[0]}")/window_wait.sh"

# Waits up to $2 seconds for the program's visible window named $1; prints
# its id.
session_find_window() { window_wait "$1" "$2" "$session_pid"; }

# Prints the text of the field at x,y of the window: selects all of it and
# reads the primary selection, which the program serves. A program that
# leaves a read unanswered for 30 s (times session_wait) is stuck: no field is read any more
# (the marker file tells the subshells), so each step fails at once and the
# session goes on to its close request, whose wait reports where it hangs.
session_stuck_mark=${TMPDIR:-/tmp}/tda-session-stuck.$$
session_read_field() {
    [ -e "$session_stuck_mark" ] && return 0
    session_click "$1" "$2"
    xdotool key --clearmodifiers ctrl+a
    timeout $((30 * session_wait)) xclip -o -selection primary 2>/dev/null
    [ $? -ne 124 ] || { touch "$session_stuck_mark"; session_log "PROBLEM: a selection request unanswered for $((30 * session_wait)) s" >&2; }
}

# Reads the field at x,y until it holds $3, for up to 10 s times
# session_wait; prints what it read last. A click posts its work to the
# program's own queue, so a result may show a moment after the selection.
session_read_until() {
    local got i
    for ((i = 0; i < 50 * session_wait; i++)); do
        got=$(session_read_field "$1" "$2")
        [ "$got" = "$3" ] && break
        sleep 0.2
    done
    echo "$got"
}

# Types $3 into the field at x,y and reads it back; a program still busy
# starting up may drop the first keys, so typing is tried up to three times.
# $4 names the field for the log.
session_type_checked() {
    local try got
    for try in 1 2 3; do
        session_type "$1" "$2" "$3"
        got=$(session_read_until "$1" "$2" "$3")
        [ "$got" = "$3" ] && return 0
        session_log "$4 reads '$got' after typing '$3' (try $try)"
    done
    session_problem "$4 does not take '$3' (reads '$got')"
}

# Checks that the field at x,y holds $3; $4 names it for the log.
session_expect_field() {
    local got
    got=$(session_read_until "$1" "$2" "$3")
    if [ "$got" = "$3" ]; then session_log "$4: $got"; else session_problem "$4 reads '$got', not '$3'"; fi
}

# Clicks at x,y of the window's inside (the gadget area).
session_click() {
    xdotool mousemove --window "$session_wid" "$1" "$2" click 1
}

# Clicks into a field, replaces its text with $3.
session_type() {
    session_click "$1" "$2"
    xdotool key --clearmodifiers ctrl+a BackSpace
    xdotool type --delay 40 "$3"
}

# Starts openbox when no window manager answers (the close requests below go
# through it); logs when it had to.
session_wm=
session_ensure_window_manager() {
    wmctrl -m >/dev/null 2>&1 && return 0
    session_log "no window manager answers; starting openbox"
    wm_start
    session_wm="$session_wm $wm_pid"
}

# What a stuck session looks like, for the test's output: the windows on the
# display, the window manager, and where each thread of process $1 waits: its
# kernel stack (its wait channel where the stack cannot be read) and, with
# gdb (up to 30 s; not while a tracer such as strace holds the process), its
# user stack.
session_report_state() {
    session_log "windows: $(xdotool search --onlyvisible --name '' getwindowname %@ 2>/dev/null | tr '\n' '|')"
    session_log "window manager: $(timeout 5 wmctrl -m 2>&1 | head -n1)"
    local task stack
    for task in /proc/"$1"/task/*; do
        stack=$(sed 's/^\[<[0-9a-f]*>\] //' "$task/stack" 2>/dev/null | tr '\n' ' ')
        session_log "thread ${task##*/} ($(cat "$task/comm" 2>/dev/null)) waits in: ${stack:-$(cat "$task/wchan" 2>/dev/null)}"
    done
    if command -v gdb >/dev/null && grep -q '^TracerPid:[[:space:]]*0$' /proc/"$1"/status 2>/dev/null; then
        timeout -k 5 30 gdb -batch -nx -p "$1" -ex 'thread apply all bt' 2>&1 | grep -E '^(Thread|#)' | head -n 150 |
            sed 's/^/session:   /'
    fi
}

# Ends the processes of the session: the command, openbox when the session
# started it, each with SIGTERM and then SIGKILL when it does not end.
session_end() {
    local pid
    for pid in "$@" $session_wm; do end_process "$pid"; done
    session_wm=
}

scripted_session() {
    session_status=125
    session_problems=
    local wm= command
    rm -f "$session_stuck_mark"
    wm_start
    wm=$wm_pid
    "$@" &
    command=$!
    session_pid=$command
    session_wid=$(session_find_window '^TovamiDaysAfter$' 90) || {
        session_log "no window"
        session_end "$command" $wm
        return 1
    }
    # The program's own pid is the one its window names: a prefix such as
    # strace is another process, which keeps running while anything it
    # follows does.
    session_pid=$(xdotool getwindowpid "$session_wid" 2>/dev/null) || session_pid=$command
    session_log "window $session_wid of process $session_pid"
    timeout 10 xdotool windowactivate --sync "$session_wid" 2>/dev/null

    # The window shows before start-up has finished; start-up ends by
    # copying the calendar's day (today) into the fields, which would
    # overwrite what was typed before. Wait (bounded) until the year is there.
    local started_year= tries
    if [ "$(date +%Y)" -le 2037 ]; then
        for ((tries = 0; tries < 20 * session_wait; tries++)); do
            started_year=$(session_read_field 60 85)
            [ "$started_year" = "$(date +%Y)" ] && break
            sleep 0.5
        done
        [ "$started_year" = "$(date +%Y)" ] || session_problem "start-up put no year into the year field (reads '$started_year')"
    fi
    session_type_checked 60 85 2024 year
    session_type_checked 200 85 2 month         # combo entry
    session_type_checked 340 85 28 day          # combo entry
    session_type_checked 60 177 '$10' "days after"
    session_type_checked 60 237 100 "days before"
    session_click 480 180          # push (after)
    session_click 480 240          # push (before)
    session_expect_field 340 177 2024/03/15 "result after"
    session_expect_field 340 237 2023/11/20 "result before"
    session_click 660 130          # a day in the calendar's grid
    session_click 705 202          # "　日付入力"
    # The calendar shows the system's month; its day is copied when it lies
    # in the valid range, so the year field then no longer reads 2024.
    local year
    year=$(session_read_until 60 85 "$(date +%Y)")
    if [ "$(date +%Y)" -le 2037 ] && { [ "$year" = 2024 ] || [ -z "$year" ]; }; then
        session_problem "the year field reads '$year' after copying the calendar's day"
    else
        session_log "year after copying the calendar's day: $year"
    fi

    session_click 710 335          # the small logo: about box
    local about
    if about=$(session_find_window '合同会社' 60); then
        session_log "about box $about"
        timeout 10 xdotool windowactivate --sync "$about" 2>/dev/null
        xdotool key --window "$about" Return 2>/dev/null || xdotool key Return
        # Wait until the box is gone (a slow program may take a while); while
        # it is still there, close it through the window manager now and then.
        # The main window's close request must not arrive while the modal
        # box still runs its own loop.
        local tries
        for ((tries = 0; tries < 60; tries++)); do
            xdotool search --onlyvisible --name '合同会社' >/dev/null 2>&1 || break
            if ((tries % 5 == 4)); then
                session_ensure_window_manager
                wmctrl -i -c "$about" 2>/dev/null
            fi
            sleep 1
        done
        if ((tries < 60)); then
            session_log "about box closed"
        else
            session_problem "the about box stayed open"
            session_report_state "$session_pid"
        fi
    else
        session_problem "no about box opened"
    fi

    wmctrl -i -c "$session_wid" 2>/dev/null || xdotool windowclose "$session_wid"
    local i
    for ((i = 0; i < 600; i++)); do
        kill -0 "$session_pid" 2>/dev/null || break
        # Ask again every 10 s in case the first request came too early or
        # an about box still holds the program in its own loop.
        if ((i % 100 == 99)); then
            local box
            box=$(xdotool search --onlyvisible --name '合同会社' 2>/dev/null | head -n1)
            [ -n "$box" ] && { session_log "about box still open"; session_ensure_window_manager; wmctrl -i -c "$box" 2>/dev/null; }
            wmctrl -i -c "$session_wid" 2>/dev/null
        fi
        sleep 0.1
    done
    if kill -0 "$session_pid" 2>/dev/null; then
        session_log "still running a minute after the close request"
        # A prefix that is a process of its own holds the program, and gdb
        # cannot attach then; SIGKILL lets go of it without ending it.
        [ "$command" != "$session_pid" ] && kill -KILL "$command" 2>/dev/null && sleep 1
        session_report_state "$session_pid"
        session_end "$session_pid" "$command" $wm
        session_status=124
    elif ! process_ends "$command" 10; then
        # The program has ended but its prefix has not: it waits for what it
        # still follows (strace for a helper the program started).
        local followed
        followed=$(grep -l "^TracerPid:[[:space:]]*$command\$" /proc/[0-9]*/status 2>/dev/null | tr -dc '0-9\n')
        session_log "the command still ran 10 s after the program ended; it followed:" \
            "$(for pid in $followed; do echo "$pid $(tr '\0' ' ' </proc/"$pid"/cmdline)"; done)"
        session_end "$command" $followed $wm
        session_status=124
    else
        end_process "$command"
        session_status=$end_status
        session_end $wm
    fi
    rm -f "$session_stuck_mark"
    session_log "exit status $session_status"
    return 0
}
