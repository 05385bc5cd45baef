// Helpers for the GUI tests: a display (a private Xvfb when none is set), the
// runtime's GUI start-up, an optional window manager, real input through the
// X server's XTest extension, screen pixels, and draining the event queue.
// Main thread only; the GDK lock is held from gui_runtime_start on.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;

namespace tda_test {

// Once per process: when $DISPLAY is unset starts a private Xvfb
// (1280x1024x24) and session bus and points $DISPLAY and
// $DBUS_SESSION_BUS_ADDRESS at them. False when no display can be had.
// Every GUI test goes through here, so none needs a display set.
bool display_start();

// Once per process: display_start, then the runtime start-up steps the GUI
// needs (locale, workspace, gui_start, font_init, map hooks, event queue,
// window_init, gadget_init). Safe to call from every test.
void gui_runtime_start();

// Makes sure a window manager runs on the display and answers: when none is
// found, starts openbox (once per process; it stays until the process ends)
// and waits until it has framed a probe window, so that the first window of
// a test is not mapped while the manager is still starting. False, with the
// reason logged as a test failure, when none can be had.
bool window_manager_start();

// A window manager that never maps a window: a second X connection that
// takes the root window's substructure redirection and ignores every map
// request, until destroyed. active() is false, with a test failure naming
// the cause (another manager holds the redirection), when it could not be had.
class IgnoringWindowManager {
  public:
    IgnoringWindowManager();
    ~IgnoringWindowManager();
    IgnoringWindowManager(const IgnoringWindowManager&) = delete;
    IgnoringWindowManager& operator=(const IgnoringWindowManager&) = delete;
    bool active() const { return display_ != nullptr; }

  private:
    void* display_ = nullptr;
};

// Runs toolkit iterations for about `ms` milliseconds.
void pump(int ms);

// Runs toolkit iterations until `done` returns true or `timeout_ms` passed;
// returns the last result of `done`. On a timeout the test fails with a
// message naming `what` it waited for.
bool pump_until(const char* what, const std::function<bool()>& done, int timeout_ms = 5000);

// Lets the X server and the toolkit settle: XSync, then pending iterations,
// repeated for `ms` milliseconds (drawing and window-manager round trips).
void settle(int ms = 200);

// Top-left corner of `widget`'s allocation in root (screen) coordinates.
bool widget_screen_origin(GtkWidget* widget, int* x, int* y);

// Screen pixel read back from the X server's root window.
struct Pixel {
    int red, green, blue;
};
Pixel screen_pixel(int x, int y);

// Real input through XTest (synchronised with the server afterwards).
void xtest_move(int x, int y);
void xtest_button(int button, bool press);
void xtest_click(int x, int y, int button = 1);
void xtest_double_click(int x, int y, int button = 1);
// Presses and releases the key of an X keysym name ("a", "Return", "BackSpace").
void xtest_key(const char* keysym_name);
void xtest_key_down(const char* keysym_name, bool press);
// Types plain ASCII letters, digits and spaces.
void xtest_type(const std::string& ascii);
// Clicks the centre of `widget` on screen.
void click_widget(GtkWidget* widget, int button = 1);

// One event taken from the runtime's queue.
struct TakenEvent {
    std::int64_t type;
    std::int64_t object;
    std::int64_t window;
    std::int64_t subtype;
};

// Runs pending toolkit iterations, then takes every queued event.
std::vector<TakenEvent> drain_events();

// Takes events until one of `type` (and, unless -2, `subtype`) arrives and
// returns all taken, that one last. On a timeout the test fails naming
// `what`, and the events taken so far are returned.
std::vector<TakenEvent> events_until(std::int64_t type, const char* what, std::int64_t subtype = -2,
                                     int timeout_ms = 5000);

// A marker sent through the X server after the input a test has sent: a
// property change on `widget`'s top-level window, which the X server reports
// back after every event caused by earlier requests. When GTK delivers the
// report, a sentinel event (EVENT_TEST_MARKER) is posted. Returns the events
// taken before the sentinel, so a test that asserts that some event did NOT
// come first proves that the input was handled. Fails the test on a timeout.
constexpr std::int32_t EVENT_TEST_MARKER = 4242;
std::vector<TakenEvent> events_before_marker(GtkWidget* widget);

// Sends the marker only, for a caller that takes the events itself (the
// calculator's own loop). False, with a test failure, without a window.
bool send_marker(GtkWidget* widget);

// Empties the runtime's event queue without looking at it.
void discard_events();

// Counts events of `type` (and, unless -2, `subtype`) in a drained list.
int count_events(const std::vector<TakenEvent>& events, std::int64_t type, std::int64_t subtype = -2);

// Saves a screenshot of the whole screen as a PNG (through ImageMagick's
// import); false when it could not be made.
bool screenshot(const std::string& path);

// Runs a command line through /bin/sh; returns its exit status.
int run_command(const std::string& command);

} // namespace tda_test
