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
// (1280x1024x24) and points $DISPLAY at it; then runs the runtime start-up
// steps the GUI needs (locale, workspace, gui_start, font_init, event queue,
// window_init, gadget_init). Safe to call from every test.
void gui_runtime_start();

// Makes sure a window manager runs on the display: when none is found,
// starts openbox and waits until it has taken over. False when no window
// manager can be had (the caller then skips). window_manager_stop ends an
// openbox started here (and only that one).
bool window_manager_start();
void window_manager_stop();

// Runs toolkit iterations for about `ms` milliseconds.
void pump(int ms);

// Runs toolkit iterations until `done` returns true or `timeout_ms` passed;
// returns the last result of `done`.
bool pump_until(const std::function<bool()>& done, int timeout_ms = 5000);

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
