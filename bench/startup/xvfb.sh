# Sourced by the start-up and idle scripts: starts a private Xvfb on a free
# display number (no window manager, 24-bit, -noreset so the server keeps its
# state between the programs' runs), exports DISPLAY and stops the server
# when the calling script exits.
bench_xvfb_pid=
bench_start_xvfb() {
    local fdfile i
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fdfile" >/dev/null 2>&1 &
    bench_xvfb_pid=$!
    for i in $(seq 1 100); do
        [ -s "$fdfile" ] && break
        sleep 0.1
    done
    if [ ! -s "$fdfile" ]; then
        echo "Xvfb did not start" >&2
        rm -f "$fdfile"
        exit 1
    fi
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
    trap 'kill "$bench_xvfb_pid" 2>/dev/null || true' EXIT
}
