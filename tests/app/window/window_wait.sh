# Window waits for the shell tests, sourced by them. Every wait is bounded.
#
#   wm_start            starts openbox when no window manager answers and
#                       waits (up to 20 s) until it maps windows; sets wm_pid
#                       to the openbox it started (empty when one ran already)
#   window_wait NAME SECONDS PID
#                       prints the id of the visible window whose name
#                       matches NAME, waiting up to SECONDS; fails at once
#                       when process PID has ended
#   process_ends PID SECONDS
#                       waits up to SECONDS for process PID to end; true
#                       when it has
#   end_process PID [SECONDS]
#                       process_ends PID SECONDS (default 0), then SIGTERM,
#                       up to 5 s more, then SIGKILL; true when it ended by
#                       itself. Sets end_status to its exit status when it
#                       was a child of this shell (124 when it was stopped)

wm_pid=

process_ends() {
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    ! kill -0 "$1" 2>/dev/null
}

end_process() {
    local pid=$1
    end_status=124
    if process_ends "$pid" "${2:-0}"; then
        wait "$pid" 2>/dev/null
        end_status=$?
        return 0
    fi
    kill -TERM "$pid" 2>/dev/null
    process_ends "$pid" 5
    # SIGKILL cannot be ignored; its end is not waited for (a process stuck
    # in the kernel would hold the wait).
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null || wait "$pid" 2>/dev/null
    return 1
}

# Whether the window manager maps a new window: shows a small probe message
# (x11-utils' xmessage) and waits a second for it to be visible. `wmctrl -m`
# alone is no proof: it answers as soon as openbox has claimed the screen,
# and a map request that reaches openbox while it is still starting up is
# lost, so the window never shows.
wm_maps_windows() {
    xmessage -name tda-wm-probe -timeout 5 probe >/dev/null 2>&1 &
    local probe=$! i seen=1
    for ((i = 0; i < 10; i++)); do
        xdotool search --onlyvisible --classname tda-wm-probe >/dev/null 2>&1 && { seen=0; break; }
        sleep 0.1
    done
    end_process "$probe"
    return $seen
}

# An openbox started just after another one ended may find the screen still
# claimed and exit; it is started again then.
wm_start() {
    local deadline=$((SECONDS + 20))
    while ((SECONDS < deadline)); do
        if ! wmctrl -m >/dev/null 2>&1 && { [ -z "$wm_pid" ] || ! kill -0 "$wm_pid" 2>/dev/null; }; then
            openbox --sm-disable >/dev/null 2>&1 &
            wm_pid=$!
        fi
        wmctrl -m >/dev/null 2>&1 && wm_maps_windows && return 0
        sleep 0.1
    done
    echo "window manager: none maps windows within 20 s" >&2
    return 1
}

window_wait() {
    local name=$1 limit=$2 pid=$3 id= i
    for ((i = 0; i < limit * 10; i++)); do
        id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    echo "no visible window named $name within $limit s" >&2
    return 1
}
