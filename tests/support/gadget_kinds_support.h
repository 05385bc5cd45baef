// Helpers for the gadget kind tests: a test window to put gadgets in, the
// text of a gadget as a UTF-16 string, and scans of screen pixels.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>
#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;
struct GadgetRecord;

namespace tda_test {

// Starts the GUI runtime (once) and opens a shown window at the screen's top
// left whose layout becomes the current gadget list. Returns its id.
ObjectId kinds_window_open(std::int32_t width = 600, std::int32_t height = 400);

// gadget_get_text as a UTF-16 string; the workspace position is restored.
std::u16string gadget_text_of(ObjectId id);

// The item text through the kind's get_item_text slot ("" without one).
std::u16string gadget_item_text_of(ObjectId id, std::int64_t n, std::int32_t column = 0);

// The live record and main widget of a gadget (null when missing).
GadgetRecord* record_of(ObjectId id);
GtkWidget* main_of(ObjectId id);

// Whether some screen pixel inside `widget`'s allocation, shrunk by `inset`
// pixels on every side, lies within `tolerance` of (red, green, blue).
bool widget_shows_colour(GtkWidget* widget, int red, int green, int blue, int inset = 0, int tolerance = 24);

// The screen colour at (dx, dy) inside `widget`'s allocation.
struct Rgb {
    int red, green, blue;
};
Rgb widget_pixel(GtkWidget* widget, int dx, int dy);

// Takes every event up to a marker sent through the X server now (see
// events_before_marker), so all input sent before has been handled, and
// keeps only the EVENT_GADGET ones (window events such as pointer motion are
// dropped). Without a kinds window it takes what is queued.
struct TakenEvent;
std::vector<TakenEvent> drain_gadget_events();

// Counts GLib warnings and criticals logged since the last reset (installed
// by kinds_window_open; the messages are swallowed).
int glib_complaints();
void glib_complaints_reset();

} // namespace tda_test
