// Shared between the window library's units: object-data keys, the window
// record lookup and the signal handlers connected by window_open.
#pragma once

#include "runtime/window/window.h"

#include <gtk/gtk.h>

#include <cstdint>

constexpr const char* WINDOW_KEY_ID = "tda_id";
constexpr const char* WINDOW_KEY_PREVIOUS_WIDTH = "tda_previous_width";
constexpr const char* WINDOW_KEY_PREVIOUS_HEIGHT = "tda_previous_height";
constexpr const char* WINDOW_KEY_PREVIOUS_X = "tda_previous_x";
constexpr const char* WINDOW_KEY_PREVIOUS_Y = "tda_previous_y";
constexpr const char* WINDOW_KEY_VBOX = "tda_vbox";
constexpr const char* WINDOW_KEY_LIST_CONTAINER = "tda_gadgetlist_container";
constexpr const char* WINDOW_KEY_GADGETLIST = "tda_gadgetlist";
constexpr const char* WINDOW_KEY_ACCELERATORS = "tda_accelerators";
constexpr const char* WINDOW_KEY_RESTORE_FOCUS = "tda_restore_focus";

// A resizable window can be shrunk down to this many pixels each way.
constexpr int WINDOW_MIN_SIZE = 30;

inline gpointer window_id_to_data(ObjectId id) {
    return reinterpret_cast<gpointer>(static_cast<std::intptr_t>(id));
}
inline ObjectId window_id_from_data(gpointer data) {
    return static_cast<ObjectId>(reinterpret_cast<std::intptr_t>(data));
}

// How window_open's wait for the window to be mapped ended: the window was
// mapped; it stays unmapped by design (iconified or withdrawn), so the wait
// ended at once; or the deadline passed. Main thread.
enum class WindowMapWait { mapped, unmapped_by_design, deadline };
WindowMapWait window_last_map_wait();

// Integer object data on a window (0 when unset).
int window_data_int(GtkWindow* window, const char* key);
void window_set_data_int(GtkWindow* window, const char* key, int value);

// The live record of a window id, or null. Takes the table's mutex.
WindowRecord* window_lookup(ObjectId id);

// Pins the colours of the window's label texts and fields to a background
// colour (0x00BBGGRR) that the window paints itself: dark text and light
// fields on a light ground, light text and dark fields on a dark one, whatever
// the theme. -1 hands the colours back to the theme. Main thread, GDK lock held.
void window_pin_palette(GtkWindow* window, std::int32_t colour);

// Connects the layout's "draw", "button-press-event" and
// "button-release-event" (adding the button event masks), with the window id
// as user data. The handlers only post events; "draw" also paints the stored
// background colour and arms the focus restore of a WINDOW_NO_FOCUS window.
void window_connect_layout_signals(GtkWidget* layout, ObjectId id);

// Connects the window's "configure-event", "window-state-event",
// "delete-event", "focus-in-event", "focus-out-event" and
// "motion-notify-event", with the window id as user data; they only post.
void window_connect_window_signals(GtkWindow* window, ObjectId id);

// Puts the input repairs of window_input_guard.cpp in front of the toolkit's
// event dispatch: a grab held by an unrealized widget or by a menu that is
// not on screen is removed (with the display's pointer and keyboard grab)
// before an event goes on, and a menu holding the grab is popped down when
// another window gets a close request.
// Once, after gtk_init; main thread, GDK lock held.
void window_input_guard_install();
