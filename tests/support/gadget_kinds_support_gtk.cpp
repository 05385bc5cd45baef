// Helpers for the gadget kind tests (see gadget_kinds_support.h).
#include "support/gadget_kinds_support.h"

#include "support/gui_support.h"

#include "runtime/core/wide_string.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "runtime/window/window.h"

#include <gtk/gtk.h>

#include <cstdlib>

namespace tda_test {

namespace {

int complaints = 0;
ObjectId last_kinds_window = 0; // the window markers are sent through

void count_complaint(const gchar*, GLogLevelFlags level, const gchar*, gpointer) {
    if ((level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_ERROR)) != 0) {
        ++complaints;
    }
}

std::u16string take_workspace_text(const WideChar* text, std::int64_t start) {
    std::u16string out = text != nullptr ? std::u16string(text) : std::u16string();
    workspace_set_position(start);
    return out;
}

} // namespace

ObjectId kinds_window_open(std::int32_t width, std::int32_t height) {
    gui_runtime_start();
    static bool handler_set = false;
    if (!handler_set) {
        handler_set = true;
        g_log_set_default_handler(count_complaint, nullptr);
    }
    ObjectId window = window_open(AUTO_NUMBER, 0, 0, width, height, u"kinds", WINDOW_WITH_TITLE);
    last_kinds_window = window;
    GtkWindow* handle = window_handle(window);
    pump_until("the gadget window to be mapped",
               [handle] { return handle != nullptr && gtk_widget_get_mapped(GTK_WIDGET(handle)); });
    settle(100);
    return window;
}

std::u16string gadget_text_of(ObjectId id) {
    const std::int64_t start = workspace_position();
    return take_workspace_text(gadget_get_text(id, start), start);
}

std::u16string gadget_item_text_of(ObjectId id, std::int64_t n, std::int32_t column) {
    GadgetRecord* g = gadget_lookup(id);
    if (g == nullptr || g->ops->get_item_text == nullptr) {
        return u"";
    }
    const std::int64_t start = workspace_position();
    return take_workspace_text(g->ops->get_item_text(g, n, column, start), start);
}

GadgetRecord* record_of(ObjectId id) {
    return gadget_lookup(id);
}

GtkWidget* main_of(ObjectId id) {
    GadgetRecord* g = gadget_lookup(id);
    return g != nullptr ? g->main : nullptr;
}

Rgb widget_pixel(GtkWidget* widget, int dx, int dy) {
    int x = 0;
    int y = 0;
    if (!widget_screen_origin(widget, &x, &y)) {
        return Rgb{-1, -1, -1};
    }
    Pixel p = screen_pixel(x + dx, y + dy);
    return Rgb{p.red, p.green, p.blue};
}

bool widget_shows_colour(GtkWidget* widget, int red, int green, int blue, int inset, int tolerance) {
    int x = 0;
    int y = 0;
    if (!widget_screen_origin(widget, &x, &y)) {
        return false;
    }
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    const int w = a.width - 2 * inset;
    const int h = a.height - 2 * inset;
    if (w <= 0 || h <= 0) {
        return false;
    }
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x + inset, y + inset, w, h);
    if (shot == nullptr) {
        return false;
    }
    const int stride = gdk_pixbuf_get_rowstride(shot);
    const int channels = gdk_pixbuf_get_n_channels(shot);
    const guchar* pixels = gdk_pixbuf_get_pixels(shot);
    bool found = false;
    for (int row = 0; row < h && !found; ++row) {
        for (int col = 0; col < w && !found; ++col) {
            const guchar* p = pixels + row * stride + col * channels;
            found = std::abs(p[0] - red) <= tolerance && std::abs(p[1] - green) <= tolerance &&
                    std::abs(p[2] - blue) <= tolerance;
        }
    }
    g_object_unref(shot);
    return found;
}

std::vector<TakenEvent> drain_gadget_events() {
    std::vector<TakenEvent> kept;
    GtkWindow* window = last_kinds_window != 0 ? window_handle(last_kinds_window) : nullptr;
    for (const TakenEvent& e : window != nullptr ? events_before_marker(GTK_WIDGET(window)) : drain_events()) {
        if (e.type == EVENT_GADGET) {
            kept.push_back(e);
        }
    }
    return kept;
}

int glib_complaints() {
    return complaints;
}
void glib_complaints_reset() {
    complaints = 0;
}

bool same_font(const void* stored, const PangoFontDescription* font) {
    if (stored == nullptr || font == nullptr) return stored == font;
    return pango_font_description_equal(static_cast<const PangoFontDescription*>(stored), font) != FALSE;
}

} // namespace tda_test
