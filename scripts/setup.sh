#!/usr/bin/env bash
# Set-up for a fresh Debian 12 machine.
#   scripts/setup.sh run   install what is missing, build, start the calculator
#   scripts/setup.sh test  install what is missing, build, run the whole test suite
# Without a display, both use a virtual one (Xvfb) that this script starts.
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TDA_BUILD_DIR:-$root/build}

packages=(
    build-essential cmake pkg-config
    libgtk-3-dev libpng-dev zlib1g-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-utils xclip imagemagick openbox wmctrl libxtst-dev
    sway grim
    fonts-ipafont-gothic
    clang clang-format libclang-rt-14-dev valgrind strace ccache
    desktop-file-utils appstream man-db lintian debhelper dpkg-dev
    gnome-themes-extra weston librsvg2-bin libxml2-utils
    dbus at-spi2-core python3-gi gir1.2-atspi-2.0
    dbus-x11 ibus-gtk3 gdb
    gettext locales
)

install_missing() {
    local missing=() p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "These packages are missing; install them as root, then run this again:"
        echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The locales the tests use (Japanese in EUC-JP and UTF-8; English, German
# and Turkish, which have no catalogue), generated once: locale-gen runs only
# when one is missing.
generate_locales() {
    local wanted=("ja_JP.EUC-JP EUC-JP" "ja_JP.UTF-8 UTF-8" "en_US.UTF-8 UTF-8" "de_DE.UTF-8 UTF-8"
                  "tr_TR.UTF-8 UTF-8") l changed=0 have
    [ "$(id -u)" -eq 0 ] || return 0
    have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d '-')
    for l in "${wanted[@]}"; do
        grep -qx "$l" /etc/locale.gen || { echo "$l" >>/etc/locale.gen; changed=1; }
        grep -qx "$(echo "${l%% *}" | tr 'A-Z' 'a-z' | tr -d '-')" <<<"$have" || changed=1
    done
    [ "$changed" = 0 ] || locale-gen >/dev/null
}

# The three builds share one compiler cache (ccache, ~/.ccache unless
# CCACHE_DIR says otherwise), so a second run recompiles only what changed.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# Configures the build folder DIR with the given cmake options and builds the
# targets listed after "--" (none: everything); any failure stops the script.
#   build_in DIR [OPTION...] [-- TARGET...]
build_in() {
    local dir=$1 options=() targets=() t
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    for t in "$@"; do targets+=(--target "$t"); done
    cmake -S "$root" -B "$dir" "${launcher[@]}" "${options[@]}" >/dev/null
    cmake --build "$dir" -j "${jobs:-$(nproc)}" "${targets[@]}"
}

configure_and_build() { build_in "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -- "$@"; }

# Starts Xvfb on a free display number and exports DISPLAY; stops it on exit.
xvfb_pid=
start_virtual_display() {
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
    xvfb_pid=$!
    local i
    for i in $(seq 1 100); do
        [ -s "$fdfile" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
    trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
}

have_display() {
    [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

run_program() {
    local exe="$build/tovamidaysafter"
    if have_display; then
        exec "$exe"
    fi
    echo "No display: starting the calculator on a virtual display."
    start_virtual_display
    # A window manager draws the title bar and delivers the close request.
    source "$root/tests/app/window/window_wait.sh"
    wm_start || echo "No window manager answers; the window will have no title bar."
    "$exe" &
    local pid=$! shot="$build/screenshot.png" wid="" i
    wid=$(window_wait '^TovamiDaysAfter$' 10 $pid) || wid=
    if [ -n "$wid" ]; then
        sleep 1
        # The window with the frame and title bar that the window manager
        # drew around it, not the whole screen.
        import -frame -window "$wid" "$shot"
        echo "Screenshot of the window: $shot"
        wmctrl -i -c "$wid" 2>/dev/null
        for i in $(seq 1 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
        kill -0 $pid 2>/dev/null && { echo "The calculator did not close; stopping it."; kill $pid; }
    fi
    local status=0
    wait $pid || status=$?
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    echo "The calculator exited with status $status."
    return $status
}

# Test stages; each prints a header and, when done, its wall time. The first
# failure stops the script.
stage_name= stage_start=$SECONDS
stage_times=()
stage() {
    stage_end
    stage_name="$*" stage_start=$SECONDS
    printf '\n=== %s ===\n' "$*"
}
stage_end() {
    [ -z "$stage_name" ] && return 0
    stage_times+=("$(printf '%5d s  %s' $((SECONDS - stage_start)) "$stage_name")")
    printf '=== %s: %d s ===\n' "$stage_name" $((SECONDS - stage_start))
    stage_name=
}

# Every process a test starts inherits TDA_RUN, this run's tag, also one that
# leaves the run's session (a bus daemon forks into a session of its own).
export TDA_RUN="$$-$(date +%s%N)"

# Fails (status 1) when a process started by the tests of stage $1 still
# runs 5 s later, such as a display, window manager, bus or accessibility
# helper: names each and stops it. Other runs' and users' processes are left
# alone.
check_no_leftovers() {
    local f pid left=() tries
    for ((tries = 0; tries < 10; tries++)); do
        left=()
        for f in $(grep -slzx "TDA_RUN=$TDA_RUN" /proc/[0-9]*/environ); do
            pid=${f//[^0-9]/}
            [ "$pid" != $$ ] && grep -qE '^State:\s+[^Z]' "/proc/$pid/status" 2>/dev/null && left+=("$pid")
        done
        [ ${#left[@]} -eq 0 ] && return 0
        sleep 0.5
    done
    echo "Processes left running after $1:"
    ps -o pid=,ppid=,args= -p "$(IFS=,; echo "${left[*]}")"
    kill "${left[@]}" 2>/dev/null; sleep 2; kill -KILL "${left[@]}" 2>/dev/null
    return 1
}

# Every ctest call fails when it selects no test at all.
run_ctest() { (cd "$1" && shift && ctest --output-on-failure --no-tests=error -j "${test_jobs:-$jobs}" "$@"); }

# The threaded runtime tests under ThreadSanitizer, then the fuzz targets
# build; one compile job each, so that they leave a core to the suite.
side_stage() {
    local threaded=(core_block_pool_test core_object_table_test event_event_queue_test core_thread_slots_test)
    echo "--- Threaded runtime tests under ThreadSanitizer"
    jobs=1 build_in "$build-tsan" -DCMAKE_BUILD_TYPE=Debug -DTDA_SANITIZE=thread -DTDA_DISPLAY_TESTS=OFF \
        -- "${threaded[@]}" || return 1
    TSAN_OPTIONS=halt_on_error=1 run_ctest "$build-tsan" -R "^($(IFS='|'; echo "${threaded[*]}"))\$" || return 1
    echo "--- Fuzz targets build"
    TDA_FUZZ_JOBS=1 "$root/fuzz/run.sh" --build-only
}

run_tests() {
    # Each GUI test starts a private Xvfb (and window manager, bus or
    # compositor) when no display is set, so tests run side by side instead of
    # taking turns on one shared display.
    unset DISPLAY WAYLAND_DISPLAY
    jobs=$(nproc)
    # GUI tests spend most of their time waiting for their displays, so one
    # test more than there are cores keeps the cores busy.
    test_jobs=$((jobs + 1))

    # One style: every C++ file as .clang-format (Debian's clang-format)
    # writes it; `clang-format -i FILE` mends one that is not.
    stage "Format check"
    find "$root/app" "$root/runtime" "$root/tests" "$root/bench" "$root/fuzz" -name '*.cpp' -o -name '*.h' \
        | xargs clang-format --dry-run --Werror \
        || { echo "These files do not match .clang-format; run clang-format -i on them."; exit 1; }

    stage "Build"
    configure_and_build

    # While the plain suite runs (its GUI tests mostly wait for their
    # displays), the threaded runtime tests are built and run under
    # ThreadSanitizer and the fuzz targets are built, one job each, beside it;
    # their output follows the suite's, and a failure of theirs fails the run.
    stage "Test suite, beside the ThreadSanitizer tests and the fuzz build"
    local side_log="$build/side-stage.log" side_pid side_status=0
    side_stage >"$side_log" 2>&1 &
    side_pid=$!
    local suite_status=0
    run_ctest "$build" -LE long || suite_status=$?
    wait "$side_pid" || side_status=$?
    cat "$side_log"
    [ "$suite_status" -eq 0 ] || { echo "The test suite failed."; exit 1; }
    [ "$side_status" -eq 0 ] || { echo "The ThreadSanitizer tests or the fuzz build failed."; exit 1; }
    check_no_leftovers "the test suite" || exit 1


    # The install check builds a plain tree of its own, and the valgrind and
    # strace sessions watch the plain program (a sanitizer runtime cannot run
    # under valgrind, and its own start-up would blur the strace record), so
    # those run once, above. Soak and hostile-input loops run fewer rounds here.
    # Line tables (-g1) are all a sanitizer's report needs, and build faster.
    stage "Build with AddressSanitizer and UndefinedBehaviorSanitizer"
    build_in "$build-asan" -DCMAKE_BUILD_TYPE=Debug -DTDA_SANITIZE=address -DCMAKE_CXX_FLAGS_DEBUG=-g1
    stage "Test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
    # NO_AT_BRIDGE and GDK_GL avoid two toolkit leaks through GLib, which
    # would look like ours (see tests/lsan.supp).
    NO_AT_BRIDGE=1 GDK_GL=disable ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
    LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_ctest "$build-asan" -LE "install|traced|long"
    check_no_leftovers "the test suite under the sanitizers" || exit 1

    # The long tests (label "long": the valgrind session and minutes of
    # random input) on the plain build, one at a time and on a machine that
    # does nothing else: beside the sanitizer stages, the program under
    # valgrind took more than a minute and a half to answer its first
    # selection request.
    stage "The long tests"
    test_jobs=1 run_ctest "$build" -L long
    check_no_leftovers "the long tests" || exit 1

    stage "Fuzzing smoke runs"
    "$root/fuzz/run.sh" "${TDA_FUZZ_SECONDS:-30}"
    stage_end
    printf '\nWall time per stage:\n'
    printf '%s\n' "${stage_times[@]}"
    printf '%5d s  in all\n' "$SECONDS"
}

install_missing
generate_locales
case "$mode" in
    run) configure_and_build tovamidaysafter && run_program ;;
    test) run_tests ;;
    *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
