// Top-level windows under object numbers. Each window holds a vertical box
// and, in it, a GtkLayout (its gadget list) in which gadgets sit at absolute
// positions; the window's toolkit signals become events in the event queue.
// All operations run on the main thread with the GDK lock held.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

typedef struct _GtkWindow GtkWindow;
typedef struct _GtkAccelGroup GtkAccelGroup;

// Longest time window_open waits for a new visible window to be mapped.
constexpr int WINDOW_MAP_WAIT_MS = 5000;

// Flags of window_open, combined by addition.
constexpr std::uint32_t WINDOW_INVISIBLE = 1;            // not shown
constexpr std::uint32_t WINDOW_RESIZABLE = 2;            // resizable, resize border
constexpr std::uint32_t WINDOW_WITH_MENU = 4;            // window-menu decoration
constexpr std::uint32_t WINDOW_WITH_TITLE = 8;           // default: title and border
constexpr std::uint32_t WINDOW_WITH_MAXIMIZE = 16;       // resizable, maximize button
constexpr std::uint32_t WINDOW_WITH_MINIMIZE = 32;       // minimize button
constexpr std::uint32_t WINDOW_CENTER_ON_SCREEN = 64;    // centred on the screen
constexpr std::uint32_t WINDOW_NO_DECORATIONS = 128;     // no decorations at all
constexpr std::uint32_t WINDOW_CENTER_ON_PARENT = 256;   // centred over the parent
constexpr std::uint32_t WINDOW_START_MAXIMIZED = 512;    // opened maximized
constexpr std::uint32_t WINDOW_START_MINIMIZED = 1024;   // opened minimized
constexpr std::uint32_t WINDOW_UTILITY = 2048;           // utility window (drops 16, 32, 512, 1024)
constexpr std::uint32_t WINDOW_KEEP_CURRENT_LIST = 4096; // does not become the current gadget list
constexpr std::uint32_t WINDOW_NO_FOCUS = 8192;          // shown without taking the focus

// An x or y of this value centres the window on the screen.
constexpr std::int32_t WINDOW_POSITION_UNSET = -65535;

// Accept-focus of a WINDOW_NO_FOCUS window comes back this long after its
// gadget layout is first drawn.
constexpr unsigned WINDOW_FOCUS_RESTORE_MS = 50;

// One open window, in the window table.
struct WindowRecord {
    GtkWindow* window;           // the top-level widget; null = free record
    GtkWindow* parent;           // transient parent given at open, or null
    GtkAccelGroup* accelerators; // created at open, added to the window
    std::int32_t background;     // colour last set by window_set_color, -1 = none
    std::uint32_t flags;         // flags of window_open after its adjustments
};

// Creates the window table (growth 16, free procedure window_free) and puts
// the runtime's input repairs in front of the toolkit's event dispatch
// (window_input_guard.cpp). Start-up, after gui_start; a second call does
// nothing.
void window_init();

// Opens a window at (x, y) with inner size width x height. Returns, for
// AUTO_NUMBER, the new window's id; for a number, the GtkWindow as an integer
// (a live window under that number is freed first); 0 when no window can be
// made. Unless WINDOW_KEEP_CURRENT_LIST, its layout becomes the calling
// thread's current gadget list. Null title = empty. A parent that is the
// window being replaced counts as no parent. A visible window is waited
// for until mapped, at most WINDOW_MAP_WAIT_MS; past that the call returns
// as usual and the window appears whenever the window manager maps it.
ObjectId window_open(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const WideChar* title, std::uint32_t flags, GtkWindow* parent);
ObjectId window_open(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const WideChar* title, std::uint32_t flags);
ObjectId window_open(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const WideChar* title);

// Inner size as last reported by the toolkit ("configure-event"); 0 for a
// number without a window.
std::int64_t window_width(ObjectId window);
std::int64_t window_height(ObjectId window);

// Background colour (0x00BBGGRR from rgb) of the window's gadget area; -1
// goes back to the theme's colour. Nothing for a missing window.
void window_set_color(ObjectId window, std::int64_t colour);

// WINDOW_START_MAXIMIZED maximizes, WINDOW_START_MINIMIZED iconifies, any
// other value restores. Nothing for a missing window.
void window_set_state(ObjectId window, std::int64_t state);

// Destroys the window (its gadgets with it) and purges its queued events;
// -1 frees every window. Nothing for a missing window.
void window_free(ObjectId window);

// Shut-down: frees every window that exists.
void window_end();

// The GtkWindow of a window id, or null.
GtkWindow* window_handle(ObjectId window);

// ---------------------------------------------------------------------------
// The keyboard and assistive technology (window_access.cpp).

// Tab and Shift+Tab walk the `count` gadgets of `gadgets` in that order
// (gadgets that do not exist or sit in another window are passed over; a
// count of 0 gives the toolkit's own order back). A combo box with an entry
// is one stop, its entry (Alt+Down still opens its list); a text field lets
// Tab move on instead of inserting a tab; and an entry reached by Tab keeps
// its text unselected, so that a screen reader names the field before
// anything else (this last one is a setting of the whole program). Nothing
// for a missing window.
void window_set_focus_order(ObjectId window, const ObjectId* gadgets, std::int64_t count);

// Ctrl+W and Ctrl+Q make the request the window's close button makes: they
// post EVENT_CLOSE for the window, which stays until freed. A second call
// binds nothing more. Nothing for a missing window.
void window_bind_close_keys(ObjectId window);

// The name under which assistive technology lists the program, at the root
// of its accessibility tree (the toolkit would show the program name, which
// may be an application id); null leaves it as it is. The text is copied.
void window_set_application_name(const WideChar* name);
