// GUI test helpers: display, start-up, window manager, XTest input, pixels.
#include "support/gui_support.h"

#include "runtime/core/runtime_start.h"
#include "runtime/core/string_map.h"
#include "runtime/core/wide_string.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/font/font.h"
#include "runtime/gadget/gadget.h"
#include "runtime/window/window.h"

// gtest before the X headers, whose macros (None, Bool) break it.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tda_test {

namespace {

pid_t xvfb_pid = 0;
pid_t bus_pid = 0;
pid_t openbox_pid = 0;
bool started = false;

int test_argc = 1;
char test_arg0[] = "gui_test";
char* test_argv_storage[] = {test_arg0, nullptr};
char** test_argv = test_argv_storage;

// Ends child `pid` (0: none) and sets it to 0: SIGTERM, up to 5 s for it to
// end, then SIGKILL, which cannot be ignored.
void stop_child(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50 && waitpid(pid, nullptr, WNOHANG) == 0; ++i)
        usleep(100000);
    if (waitpid(pid, nullptr, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = 0;
}

// The bus before the display: what runs on the bus ends with it.
void stop_children() {
    stop_child(openbox_pid);
    stop_child(bus_pid);
    stop_child(xvfb_pid);
}

// Starts `args` (an argument "FD" stands for the write end of a pipe) with
// its output to /dev/null, ending with this process; returns the first line
// it writes to the pipe and sets `pid`. Empty when none comes within 10 s
// (the child is stopped then).
std::string spawn_reading_line(std::vector<std::string> args, pid_t& pid) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        if (arg == "FD") arg = std::to_string(fds[1]);
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char c = 0;
    pollfd readable{fds[0], POLLIN, 0};
    while (pid > 0 && line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0 || read(fds[0], &c, 1) != 1)
            break;
        line += c;
    }
    close(fds[0]);
    if (line.find('\n') == std::string::npos) {
        stop_child(pid);
        return {};
    }
    return line.substr(0, line.find('\n'));
}

// Starts Xvfb on a free display number and sets $DISPLAY, then a session bus
// of its own and sets $DBUS_SESSION_BUS_ADDRESS: without one, the toolkit's
// accessibility bridge autolaunches a bus that outlives the test, as long as
// the display's number is in use. False when Xvfb could not be started.
bool start_private_xvfb() {
    std::string display =
        spawn_reading_line({"Xvfb", "-displayfd", "FD", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, xvfb_pid);
    if (display.empty()) return false;
    setenv("DISPLAY", (":" + display).c_str(), 1);
    std::string bus = spawn_reading_line({"dbus-daemon", "--session", "--nofork", "--print-address", "FD"}, bus_pid);
    if (!bus.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    return true;
}

// Xlib and XTest entry points, taken from the libraries GDK already loaded
// (the tests link no X library of their own).
struct XCalls {
    decltype(&XSync) sync = nullptr;
    decltype(&XFlush) flush = nullptr;
    decltype(&XStringToKeysym) string_to_keysym = nullptr;
    decltype(&XKeysymToKeycode) keysym_to_keycode = nullptr;
    decltype(&XTestFakeButtonEvent) fake_button = nullptr;
    decltype(&XTestFakeMotionEvent) fake_motion = nullptr;
    decltype(&XTestFakeKeyEvent) fake_key = nullptr;
    decltype(&XOpenDisplay) open_display = nullptr;
    decltype(&XCloseDisplay) close_display = nullptr;
    decltype(&XDefaultRootWindow) default_root = nullptr;
    decltype(&XSelectInput) select_input = nullptr;
    decltype(&XSetErrorHandler) set_error_handler = nullptr;
};

const XCalls& x_calls() {
    static XCalls calls = [] {
        XCalls c;
        void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_GLOBAL);
        void* xtst = dlopen("libXtst.so.6", RTLD_NOW | RTLD_GLOBAL);
        if (x11) {
            c.sync = reinterpret_cast<decltype(c.sync)>(dlsym(x11, "XSync"));
            c.flush = reinterpret_cast<decltype(c.flush)>(dlsym(x11, "XFlush"));
            c.string_to_keysym = reinterpret_cast<decltype(c.string_to_keysym)>(dlsym(x11, "XStringToKeysym"));
            c.keysym_to_keycode = reinterpret_cast<decltype(c.keysym_to_keycode)>(dlsym(x11, "XKeysymToKeycode"));
            c.open_display = reinterpret_cast<decltype(c.open_display)>(dlsym(x11, "XOpenDisplay"));
            c.close_display = reinterpret_cast<decltype(c.close_display)>(dlsym(x11, "XCloseDisplay"));
            c.default_root = reinterpret_cast<decltype(c.default_root)>(dlsym(x11, "XDefaultRootWindow"));
            c.select_input = reinterpret_cast<decltype(c.select_input)>(dlsym(x11, "XSelectInput"));
            c.set_error_handler = reinterpret_cast<decltype(c.set_error_handler)>(dlsym(x11, "XSetErrorHandler"));
        }
        if (xtst) {
            c.fake_button = reinterpret_cast<decltype(c.fake_button)>(dlsym(xtst, "XTestFakeButtonEvent"));
            c.fake_motion = reinterpret_cast<decltype(c.fake_motion)>(dlsym(xtst, "XTestFakeMotionEvent"));
            c.fake_key = reinterpret_cast<decltype(c.fake_key)>(dlsym(xtst, "XTestFakeKeyEvent"));
        }
        return c;
    }();
    return calls;
}

Display* x_display() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display)) return nullptr;
    return gdk_x11_display_get_xdisplay(display);
}

void x_sync() {
    Display* d = x_display();
    if (d && x_calls().sync) x_calls().sync(d, False);
}

void run_pending() {
    for (int i = 0; i < 10000 && gtk_events_pending(); ++i)
        gtk_main_iteration_do(FALSE);
}

bool window_manager_running() {
    return run_command("wmctrl -m >/dev/null 2>&1") == 0;
}

} // namespace

int run_command(const std::string& command) {
    int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool display_start() {
    static bool have = false;
    static bool tried = false;
    if (tried) return have;
    tried = true;
    std::atexit(stop_children);
    const char* display = std::getenv("DISPLAY");
    have = (display != nullptr && *display != 0) || start_private_xvfb();
    return have;
}

void gui_runtime_start() {
    if (started) return;
    started = true;
    if (!display_start()) ADD_FAILURE() << "no display: $DISPLAY is unset and Xvfb could not be started";
    runtime_args_set(&test_argc, &test_argv);
    locale_init();
    workspace_init();
    gui_start();
    font_init();
    map_hooks_init();
    event_queue_init();
    window_init();
    gadget_init();
}

namespace {

// Whether a window manager has framed `window`: its frame is larger than
// its client area (openbox reparents it into a decorated frame).
bool framed_by_manager(GtkWidget* window) {
    if (!gtk_widget_get_mapped(window)) return false;
    GdkRectangle frame{};
    gdk_window_get_frame_extents(gtk_widget_get_window(window), &frame);
    return frame.height > gtk_widget_get_allocated_height(window);
}

// Maps a plain probe window and waits until the manager has framed it: the
// proof that the manager handles map requests. `wmctrl -m` is no such proof:
// it answers as soon as openbox has claimed the screen, and a map request
// that reaches openbox while it is still starting up is lost (the window
// stays unmapped for good). So the probe is mapped afresh every second
// until the manager frames it.
bool window_manager_answers_maps(int timeout_ms) {
    GtkWidget* probe = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(probe), "window manager probe");
    gtk_window_set_default_size(GTK_WINDOW(probe), 40, 30);
    bool ok = false;
    int attempts = 0;
    for (int waited = 0; !ok && waited < timeout_ms; waited += 1000) {
        gtk_widget_hide(probe);
        gtk_widget_show(probe);
        ++attempts;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
        while (!(ok = framed_by_manager(probe)) && std::chrono::steady_clock::now() < end) {
            x_sync();
            run_pending();
            g_usleep(5000);
        }
    }
    gtk_widget_destroy(probe);
    settle(50);
    if (!ok)
        ADD_FAILURE() << "the window manager framed no probe window in " << timeout_ms << " ms";
    else if (attempts > 1)
        std::fprintf(stderr, "note: the window manager framed the probe at map %d\n", attempts);
    return ok;
}

} // namespace

static int redirect_error = 0;

// The X server lets one client select the redirection and answers a second
// with BadAccess by the XSync; the handler takes it there instead of GDK's.
IgnoringWindowManager::IgnoringWindowManager() {
    const XCalls& c = x_calls();
    Display* d = c.open_display && c.set_error_handler ? c.open_display(nullptr) : nullptr;
    if (!d) {
        ADD_FAILURE() << "no second X connection for the ignoring window manager";
        return;
    }
    redirect_error = 0;
    auto previous = c.set_error_handler([](Display*, XErrorEvent* e) { return redirect_error = e->error_code, 0; });
    c.select_input(d, c.default_root(d), SubstructureRedirectMask);
    c.sync(d, False);
    c.set_error_handler(previous);
    if (redirect_error == 0) {
        display_ = d;
        return;
    }
    ADD_FAILURE() << "another window manager holds the screen (X error " << redirect_error << " on its redirection)";
    c.close_display(d);
}

IgnoringWindowManager::~IgnoringWindowManager() {
    if (display_ && x_calls().close_display) x_calls().close_display(static_cast<Display*>(display_));
}

namespace {

// Starts openbox in the background; its pid, or 0 when it cannot be run.
pid_t spawn_openbox() {
    pid_t pid = fork();
    if (pid != 0) return pid < 0 ? 0 : pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
        dup2(devnull, 1);
        dup2(devnull, 2);
    }
    execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
    _exit(127);
}

} // namespace

// An openbox started just after another one ended (that of the previous
// test program) may find the screen still claimed and exit; it is started
// again then, until the 20 s deadline.
bool window_manager_start() {
    gui_runtime_start();
    if (window_manager_running()) return true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int starts = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (openbox_pid > 0 && waitpid(openbox_pid, nullptr, WNOHANG) == openbox_pid) openbox_pid = 0;
        if (openbox_pid == 0 && !window_manager_running()) {
            openbox_pid = spawn_openbox();
            ++starts;
        }
        if (window_manager_running()) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
            return window_manager_answers_maps(left > 1000 ? left : 1000);
        }
        settle(50);
    }
    ADD_FAILURE() << "no window manager answered within 20 s (openbox started " << starts << " times)";
    return false;
}

void pump(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        run_pending();
        g_usleep(2000);
    }
    run_pending();
}

bool pump_until(const char* what, const std::function<bool()>& done, int timeout_ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            if (done()) return true;
            ADD_FAILURE() << "waited " << timeout_ms << " ms in vain for " << what;
            return false;
        }
        x_sync();
        run_pending();
        g_usleep(2000);
    }
    return true;
}

void settle(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        gdk_display_flush(gdk_display_get_default());
        x_sync();
        run_pending();
        g_usleep(5000);
    } while (std::chrono::steady_clock::now() < end);
    run_pending();
}

bool widget_screen_origin(GtkWidget* widget, int* x, int* y) {
    if (!widget || !gtk_widget_get_realized(widget)) return false;
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    GdkWindow* top_window = gtk_widget_get_window(top);
    if (!top_window) return false;
    int wx = 0, wy = 0;
    if (!gtk_widget_translate_coordinates(widget, top, 0, 0, &wx, &wy)) return false;
    int ox = 0, oy = 0;
    gdk_window_get_origin(top_window, &ox, &oy);
    *x = ox + wx;
    *y = oy + wy;
    return true;
}

Pixel screen_pixel(int x, int y) {
    Pixel p{-1, -1, -1};
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(root, x, y, 1, 1);
    if (!pixbuf) return p;
    const guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    p = Pixel{pixels[0], pixels[1], pixels[2]};
    g_object_unref(pixbuf);
    return p;
}

void xtest_move(int x, int y) {
    Display* d = x_display();
    if (!d || !x_calls().fake_motion) return;
    x_calls().fake_motion(d, -1, x, y, CurrentTime);
    x_sync();
}

void xtest_button(int button, bool press) {
    Display* d = x_display();
    if (!d || !x_calls().fake_button) return;
    x_calls().fake_button(d, static_cast<unsigned>(button), press ? True : False, CurrentTime);
    x_sync();
}

void xtest_click(int x, int y, int button) {
    xtest_move(x, y);
    settle(30);
    xtest_button(button, true);
    settle(20);
    xtest_button(button, false);
    settle(30);
}

void xtest_double_click(int x, int y, int button) {
    xtest_move(x, y);
    settle(30);
    for (int i = 0; i < 2; ++i) {
        xtest_button(button, true);
        xtest_button(button, false);
    }
    settle(50);
}

void xtest_key_down(const char* keysym_name, bool press) {
    Display* d = x_display();
    const XCalls& c = x_calls();
    if (!d || !c.fake_key || !c.string_to_keysym || !c.keysym_to_keycode) return;
    KeySym sym = c.string_to_keysym(keysym_name);
    if (sym == NoSymbol) return;
    KeyCode code = c.keysym_to_keycode(d, sym);
    if (code == 0) return;
    c.fake_key(d, code, press ? True : False, CurrentTime);
    x_sync();
}

void xtest_key(const char* keysym_name) {
    xtest_key_down(keysym_name, true);
    xtest_key_down(keysym_name, false);
    settle(10);
}

void xtest_type(const std::string& ascii) {
    for (char ch : ascii) {
        if (ch == ' ') {
            xtest_key("space");
            continue;
        }
        char name[2] = {static_cast<char>(g_ascii_tolower(ch)), 0};
        bool shift = g_ascii_isupper(ch);
        if (shift) xtest_key_down("Shift_L", true);
        xtest_key(name);
        if (shift) xtest_key_down("Shift_L", false);
    }
    settle(50);
}

void click_widget(GtkWidget* widget, int button) {
    int x = 0, y = 0;
    if (!widget_screen_origin(widget, &x, &y)) return;
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    xtest_click(x + a.width / 2, y + a.height / 2, button);
}

std::vector<TakenEvent> drain_events() {
    run_pending();
    std::vector<TakenEvent> out;
    while (event_take() != 0)
        out.push_back(TakenEvent{event_type(), event_gadget(), event_window(), event_subtype()});
    return out;
}

std::vector<TakenEvent> events_until(std::int64_t type, const char* what, std::int64_t subtype, int timeout_ms) {
    std::vector<TakenEvent> all;
    pump_until(
        what,
        [&] {
            run_pending();
            while (event_take() != 0) {
                all.push_back(TakenEvent{event_type(), event_gadget(), event_window(), event_subtype()});
                if (all.back().type == type && (subtype == -2 || all.back().subtype == subtype)) return true;
            }
            return false;
        },
        timeout_ms);
    return all;
}

namespace {

GdkAtom marker_atom() {
    return gdk_atom_intern_static_string("TDA_TEST_MARKER");
}

gboolean marker_arrived(GtkWidget*, GdkEventProperty* event, gpointer) {
    if (event->atom == marker_atom()) event_post_flags(EVENT_TEST_MARKER, 0, 0, 0, 0, nullptr, EVENT_FLAG_FORCE);
    return FALSE;
}

} // namespace

bool send_marker(GtkWidget* widget) {
    GtkWidget* top = widget != nullptr ? gtk_widget_get_toplevel(widget) : nullptr;
    GdkWindow* window = top != nullptr ? gtk_widget_get_window(top) : nullptr;
    if (window == nullptr) {
        ADD_FAILURE() << "no realized window to send the marker through";
        return false;
    }
    if (g_object_get_data(G_OBJECT(top), "tda_test_marker") == nullptr) {
        g_object_set_data(G_OBJECT(top), "tda_test_marker", top);
        gdk_window_set_events(window,
                              static_cast<GdkEventMask>(gdk_window_get_events(window) | GDK_PROPERTY_CHANGE_MASK));
        g_signal_connect(top, "property-notify-event", G_CALLBACK(marker_arrived), nullptr);
    }
    static gulong serial = 0;
    ++serial;
    gdk_property_change(window, marker_atom(), gdk_atom_intern_static_string("CARDINAL"), 32, GDK_PROP_MODE_REPLACE,
                        reinterpret_cast<const guchar*>(&serial), 1);
    gdk_display_flush(gdk_display_get_default());
    return true;
}

std::vector<TakenEvent> events_before_marker(GtkWidget* widget) {
    if (!send_marker(widget)) return {};
    std::vector<TakenEvent> all = events_until(EVENT_TEST_MARKER, "the marker sent through the X server");
    if (!all.empty() && all.back().type == EVENT_TEST_MARKER) all.pop_back();
    return all;
}

void discard_events() {
    run_pending();
    while (event_take() != 0) {
    }
}

int count_events(const std::vector<TakenEvent>& events, std::int64_t type, std::int64_t subtype) {
    int n = 0;
    for (const TakenEvent& e : events)
        if (e.type == type && (subtype == -2 || e.subtype == subtype)) ++n;
    return n;
}

bool screenshot(const std::string& path) {
    settle(100);
    return run_command("import -window root '" + path + "' >/dev/null 2>&1") == 0;
}

} // namespace tda_test
