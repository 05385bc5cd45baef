// The image library's start and end with the display: the image table and a
// hidden 10 x 10 top-level GDK window, never shown.
#include "runtime/image/image.h"

#include <gdk/gdk.h>

namespace {

GdkWindow* hidden_window = nullptr; // made by image_init, destroyed by image_end

} // namespace

// Makes the image table and the hidden window (once). Needs the toolkit
// started; the caller holds the GDK lock.
void image_init() {
    image_table_init();
    if (hidden_window != nullptr) return;
    GdkWindowAttr attributes{};
    attributes.width = 10;
    attributes.height = 10;
    attributes.wclass = GDK_INPUT_OUTPUT;
    attributes.window_type = GDK_WINDOW_TOPLEVEL;
    hidden_window = gdk_window_new(nullptr, &attributes, 0);
}

// Frees every image, then destroys the hidden window.
void image_end() {
    image_free(AUTO_NUMBER);
    if (hidden_window != nullptr) {
        gdk_window_destroy(hidden_window);
        hidden_window = nullptr;
    }
}
