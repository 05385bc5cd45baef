#!/usr/bin/env bash
# Install check: builds the calculator afresh with the installed-logo layout in
# a temporary folder, stages `DESTDIR=... cmake --install` and checks what a
# desktop would see: the launcher and the metainfo pass their validators and
# carry the Japanese texts of po/ja.po, the icons have the sizes their folders
# claim, the man page formats cleanly.
# Then it installs the same build into its prefix (inside the temporary
# folder, so the path compiled into the program really exists), starts that
# program on a virtual display of its own and watches, with strace, that it
# opens both logos from the installed data directory, and that the desktop
# knows it by one application id: the window's WM_CLASS on X11, the app id it
# announces under a headless Wayland compositor (weston), the launcher's file
# name and StartupWMClass, and the window icon found under that name.
#
#   bash tests/app/install_test.sh          (TDA_SOURCE_DIR picks the tree)
#   TDA_KEEP_INSTALL_TEST=1 ...             keeps the temporary folder
set -uo pipefail

src=${TDA_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
app_id=com.example.TovamiDaysAfter
data_name=tovamidaysafter
logos=(TovamiLogoNeon100x49.png TovamiHidukeGULogoColor.png TovamiLogoNeon100x49@2x.png TovamiHidukeGULogoColor@2x.png)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# ---------------------------------------------------------------------------
# Second half, run under xvfb-run: start the installed program and watch which
# logo files it opens. Usage: install_test.sh --watch-logos PREFIX WORKDIR
if [ "${1:-}" = "--watch-logos" ]; then
    prefix=$2 work=$3
    exe=$prefix/bin/tovamidaysafter
    logo_dir=$prefix/share/$data_name
    trace=$work/openat.log

    source "$src/tests/app/window/window_wait.sh"
    wm_start || echo "FAIL: no window manager maps windows"

    # In a session of its own, so that the program and strace can be killed
    # together if the program does not end.
    # The icon theme looks in the prefix too, as it would in /usr.
    XDG_DATA_DIRS=$prefix/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share} \
        setsid strace -f -qq -e trace=openat -o "$trace" "$exe" >"$work/program.out" 2>&1 &
    pid=$!
    wid=$(window_wait '^TovamiDaysAfter$' 60 $pid)   # strace slows start-up

    status=
    wm_class= icon=
    if [ -n "$wid" ]; then
        sleep 0.5
        wm_class=$(xprop -id "$wid" WM_CLASS 2>&1)
        icon=$(xprop -id "$wid" -notype _NET_WM_ICON 2>&1 | head -n 2)
        wmctrl -i -c "$wid" 2>/dev/null || xdotool windowclose "$wid" 2>/dev/null || true
        for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    fi
    if kill -0 $pid 2>/dev/null; then
        kill -KILL -- -$pid 2>/dev/null
        wait $pid 2>/dev/null
        status=killed
    else
        wait $pid
        status=$?
    fi
    kill $wm_pid 2>/dev/null
    wait $wm_pid 2>/dev/null

    if [ -z "$wid" ]; then
        echo "FAIL: the installed program (exit status $status) showed no window within 60 s; its output:"
        sed 's/^/    /' "$work/program.out" | head -n 20
        exit 1
    fi

    bad=0
    for f in "${logos[@]}"; do
        # A successful open of exactly the installed file ...
        if grep -Eq "openat\(AT_FDCWD, \"$logo_dir/$f\", [^)]*\) = [0-9]+$" "$trace"; then
            echo "ok: the installed program opened $logo_dir/$f"
        else
            echo "FAIL: the installed program did not open $logo_dir/$f; its attempts:"
            grep -F "$f" "$trace" | sed 's/^/    /' || echo "    (none)"
            bad=1
        fi
        # ... and no attempt anywhere else (the source tree, say).
        if grep -F "/$f\"" "$trace" | grep -vqF "\"$logo_dir/$f\""; then
            echo "FAIL: the installed program also looked for $f elsewhere:"
            grep -F "/$f\"" "$trace" | grep -vF "\"$logo_dir/$f\"" | sed 's/^/    /'
            bad=1
        fi
    done
    if [ -n "$wid" ]; then
        echo "ok: the installed program opened its window; exit status after the close request: $status"
        if [ "$wm_class" = "WM_CLASS(STRING) = \"$app_id\", \"$app_id\"" ]; then
            echo "ok: $wm_class"
        else
            echo "FAIL: the window's class is not $app_id: $wm_class"
            bad=1
        fi
        if grep -q 'Icon (' <<<"$icon"; then
            echo "ok: the window carries the icon $app_id from the icon theme"
        else
            echo "FAIL: the window carries no icon (_NET_WM_ICON: $icon)"
            bad=1
        fi
    else
        echo "note: the installed program read its logos but opened no window (exit status $status)"
    fi
    exit $bad
fi

# ---------------------------------------------------------------------------
# First half: build, stage, validate.
for tool in cmake desktop-file-validate appstreamcli identify rsvg-convert xmllint man xvfb-run strace openbox wmctrl xdotool xprop weston; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: $tool is missing (scripts/setup.sh installs it)"
        exit 1
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tda-install-test.XXXXXX")
if [ -n "${TDA_KEEP_INSTALL_TEST:-}" ]; then
    echo "keeping $work"
else
    trap 'rm -rf "$work"' EXIT
fi
build=$work/build
prefix=$work/prefix
stage=$work/stage
root=$stage$prefix          # where DESTDIR puts what belongs under the prefix

echo "== configure and build with TDA_INSTALLED_LOGOS=ON, prefix $prefix"
if ! cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTDA_BUILD_TESTS=OFF \
        -DTDA_INSTALLED_LOGOS=ON -DCMAKE_INSTALL_PREFIX="$prefix" >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"
    echo "FAIL: configure"
    exit 1
fi
if ! cmake --build "$build" -j2 --target tovamidaysafter >"$work/build.log" 2>&1; then
    tail -n 40 "$work/build.log"
    echo "FAIL: the program does not build"
    exit 1
fi

echo "== stage with DESTDIR=$stage"
if ! DESTDIR=$stage cmake --install "$build" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install with DESTDIR"
    exit 1
fi
outside=$(find "$stage" -type f ! -path "$root/*")
[ -z "$outside" ] || fail "DESTDIR staging wrote outside the prefix: $outside"
[ -e "$prefix" ] && fail "DESTDIR staging wrote into the real prefix $prefix"

# The files and where they go.
expected=(
    "bin/tovamidaysafter"
    "libexec/tovamidaysafter/tovamidaysafter-window"
    "share/$data_name/${logos[0]}"
    "share/$data_name/${logos[1]}"
    "share/$data_name/${logos[2]}"
    "share/$data_name/${logos[3]}"
    "share/applications/$app_id.desktop"
    "share/metainfo/$app_id.metainfo.xml"
    "share/man/man1/tovamidaysafter.1"
    "share/icons/hicolor/scalable/apps/$app_id.svg"
    "share/locale/ja/LC_MESSAGES/tovamidaysafter.mo"
)
for size in 16 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for rel in "${expected[@]}"; do
    if [ -f "$root/$rel" ]; then pass "staged $rel"; else fail "not staged: $rel"; fi
done
[ -x "$root/bin/tovamidaysafter" ] || fail "bin/tovamidaysafter is not executable"
for f in "${logos[@]}"; do
    cmp -s "$src/assets/$f" "$root/share/$data_name/$f" || fail "staged $f differs from assets/$f"
done

# The compiled-in logo and catalogue folders are the installed ones, never the trees'.
if grep -qaF "$src/assets" "$root/libexec/tovamidaysafter/tovamidaysafter-window"; then
    fail "the installed program still names the source tree's assets/"
fi
grep -qaF "$build/locale" "$root/bin/tovamidaysafter" "$root/libexec/tovamidaysafter/tovamidaysafter-window" &&
    fail "the installed program reads the build tree's catalogues"

echo "== desktop-file-validate"
if out=$(desktop-file-validate "$root/share/applications/$app_id.desktop" 2>&1) && [ -z "$out" ]; then
    pass "desktop-file-validate"
else
    echo "$out"
    fail "desktop-file-validate"
fi
desktop=$root/share/applications/$app_id.desktop
grep -qx "Exec=tovamidaysafter" "$desktop" || fail "launcher does not run tovamidaysafter"
grep -qx "Icon=$app_id" "$desktop" || fail "launcher's icon is not $app_id"
grep -qx "StartupWMClass=$app_id" "$desktop" || fail "launcher's StartupWMClass is not $app_id"
for key in Name GenericName Comment Keywords; do grep -q "^$key\[ja\]=." "$desktop" || fail "launcher has no $key[ja] from po/ja.po"; done

echo "== appstreamcli validate --no-net"
metainfo=$root/share/metainfo/$app_id.metainfo.xml
if appstreamcli validate --no-net "$metainfo"; then
    pass "appstreamcli validate"
else
    fail "appstreamcli validate"
fi
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" \
    || fail "metainfo does not launch $app_id.desktop"
grep -q '<screenshot type="default">' "$metainfo" || fail "metainfo has no default screenshot"
grep -q '<description>' "$metainfo" || fail "metainfo has no description"
for tag in name summary caption; do grep -q "<$tag xml:lang=\"ja\">." "$metainfo" || fail "metainfo has no Japanese $tag from po/ja.po"; done
# Each paragraph has its Japanese one on one line: a line break would show as a space.
[ "$(grep -c '<p xml:lang="ja">.*</p>' "$metainfo")" -eq "$(grep -c '<p>' "$metainfo")" ] || fail "metainfo paragraphs lack one-line Japanese ones"

echo "== icons"
sizes_seen=0
for icon in "$root"/share/icons/hicolor/*/apps/"$app_id".png; do
    [ -e "$icon" ] || continue
    dir=$(basename "$(dirname "$(dirname "$icon")")")          # e.g. 48x48
    actual=$(identify -format '%wx%h' "$icon" 2>/dev/null)
    if [ "$actual" = "$dir" ]; then
        pass "icon $dir"
        sizes_seen=$((sizes_seen + 1))
    else
        fail "icon in $dir is $actual"
    fi
done
[ $sizes_seen -eq 7 ] || fail "$sizes_seen icon sizes instead of 7 (16 to 256)"
# The scalable icon is well-formed SVG, and each PNG is that drawing at its
# size: the same script renders them all from it.
svg=$root/share/icons/hicolor/scalable/apps/$app_id.svg
if xmllint --noout "$svg" 2>/dev/null; then pass "scalable icon is well-formed"; else fail "scalable icon is not well-formed XML"; fi
for size in 16 24 32 48 64 128 256; do
    png=$root/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    rsvg-convert -w "$size" -h "$size" "$svg" -o "$work/svg-$size.png" 2>/dev/null || { fail "the SVG icon does not render at $size"; continue; }
    diff=$(compare -metric RMSE "$png" "$work/svg-$size.png" null: 2>&1 | sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')
    if awk -v d="${diff:-1}" 'BEGIN { exit !(d < 0.03) }'; then
        pass "icon ${size}x${size} is the SVG drawing (RMSE $diff)"
    else
        fail "icon ${size}x${size} differs from the SVG drawing (RMSE ${diff:-unknown})"
    fi
done
identify -format '%wx%h' "$root/share/$data_name/TovamiLogoNeon100x49.png" | grep -qx 100x49 \
    || fail "the small logo is not 100x49"

echo "== man page"
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
    "$root/share/man/man1/tovamidaysafter.1" 2>&1 >/dev/null)
if [ -z "$man_warnings" ]; then pass "man page formats without warnings"; else echo "$man_warnings"; fail "man page warnings"; fi

echo "== the installed program finds its logos"
if ! cmake --install "$build" >"$work/install-prefix.log" 2>&1; then
    cat "$work/install-prefix.log"
    fail "cmake --install into $prefix"
else
    xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash "${BASH_SOURCE[0]}" --watch-logos "$prefix" "$work" \
        || fail "logo check of the installed program"
fi

echo "== the application id under Wayland"
# Ends the process group of $1 (named $2): TERM, up to 5 s, then KILL, which
# cannot be ignored, so the final wait is bounded too.
stop_group() {
    kill -TERM -- -"$1" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$1" 2>/dev/null; then
        echo "note: $2 still ran 5 s after TERM; killing it"
        kill -KILL -- -"$1" 2>/dev/null
    fi
    wait "$1" 2>/dev/null
}
# A headless weston of our own, in a private runtime directory (it runs as
# root too); the program announces its app id in the Wayland protocol trace.
runtime_dir=$work/xdg-runtime
mkdir -m 700 "$runtime_dir"
XDG_RUNTIME_DIR=$runtime_dir setsid weston --backend=headless-backend.so --socket=wayland-tda \
    --idle-time=0 --no-config >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 1 100); do [ -S "$runtime_dir/wayland-tda" ] && break; sleep 0.1; done
if [ ! -S "$runtime_dir/wayland-tda" ]; then
    tail -n 20 "$work/weston.log"
    fail "weston (headless) did not open its socket within 10 s"
else
    XDG_RUNTIME_DIR=$runtime_dir WAYLAND_DISPLAY=wayland-tda GDK_BACKEND=wayland WAYLAND_DEBUG=client \
        setsid "$prefix/bin/tovamidaysafter" >"$work/wayland.log" 2>&1 &
    app_pid=$!
    for _ in $(seq 1 200); do       # up to 20 s
        grep -q 'set_app_id(' "$work/wayland.log" && break
        kill -0 $app_pid 2>/dev/null || break
        sleep 0.1
    done
    announced=$(grep -o 'xdg_toplevel@[0-9]*\.set_app_id("[^"]*")' "$work/wayland.log" | head -n1)
    case "$announced" in
    *".set_app_id(\"$app_id\")") pass "Wayland app id: $announced" ;;
    *)
        grep -m5 'set_app_id\|error' "$work/wayland.log"
        fail "the program announced no app id $app_id on Wayland within 20 s (got: ${announced:-nothing})"
        ;;
    esac
    stop_group $app_pid "the program on weston"
fi
stop_group $weston_pid "weston"

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all install checks passed"
