// Signal handlers of windows and their gadget layouts: each turns a toolkit
// signal into an event in the queue (object 0, window = the window id,
// subtype 0).
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/layout_scale.h"
#include "runtime/window/window_internal.h"

#include <algorithm>

namespace {

void post(std::int32_t type, gpointer data) {
    event_post(type, 0, window_id_from_data(data), 0);
}

gboolean restore_focus(gpointer window) noexcept {
    gtk_window_set_accept_focus(GTK_WINDOW(window), TRUE);
    return G_SOURCE_REMOVE;
}

// Paints the colour stored by window_set_color under the gadgets.
void paint_background(cairo_t* cr, ObjectId id) {
    WindowRecord* record = window_lookup(id);
    if (!record || record->background == -1) return;
    auto bits = static_cast<std::uint32_t>(record->background);
    cairo_save(cr);
    cairo_set_source_rgb(cr, (bits & 0xFF) / 255.0, ((bits >> 8) & 0xFF) / 255.0, ((bits >> 16) & 0xFF) / 255.0);
    cairo_paint(cr);
    cairo_restore(cr);
}

gboolean layout_draw(GtkWidget* layout, cairo_t* cr, gpointer data) noexcept {
    paint_background(cr, window_id_from_data(data));
    post(EVENT_REPAINT, data);
    GtkWidget* top = gtk_widget_get_toplevel(layout);
    if (GTK_IS_WINDOW(top) && window_data_int(GTK_WINDOW(top), WINDOW_KEY_RESTORE_FOCUS) != 0) {
        window_set_data_int(GTK_WINDOW(top), WINDOW_KEY_RESTORE_FOCUS, 0);
        // The timeout holds a reference, so a window destroyed meanwhile is
        // still a valid object when it fires.
        g_timeout_add_full(G_PRIORITY_DEFAULT, WINDOW_FOCUS_RESTORE_MS, restore_focus, g_object_ref(top),
                           g_object_unref);
    }
    return FALSE;
}

gboolean layout_button_press(GtkWidget*, GdkEventButton* event, gpointer data) noexcept {
    if (event->type == GDK_2BUTTON_PRESS && event->button == 1) post(EVENT_LEFT_DOUBLE_CLICK, data);
    return FALSE;
}

gboolean layout_button_release(GtkWidget*, GdkEventButton* event, gpointer data) noexcept {
    if (event->button == 1)
        post(EVENT_LEFT_CLICK, data);
    else if (event->button == 3)
        post(EVENT_RIGHT_CLICK, data);
    return FALSE;
}

// The content size, in layout units, of a window whose toolkit window is
// event_width x event_height pixels: client-side decorations (title bar,
// shadows) are drawn inside the toolkit window but are not content. Their
// extent is what the window's surface has beyond the size the toolkit gives
// the content.
void content_size(GtkWindow* window, int event_width, int event_height, int* width, int* height) {
    int decoration_w = 0, decoration_h = 0;
    if (GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window))) {
        int content_w = 0, content_h = 0;
        gtk_window_get_size(window, &content_w, &content_h);
        decoration_w = std::max(0, gdk_window_get_width(surface) - content_w);
        decoration_h = std::max(0, gdk_window_get_height(surface) - content_h);
    }
    *width = layout_unscale(event_width - decoration_w);
    *height = layout_unscale(event_height - decoration_h);
}

gboolean window_configure(GtkWidget* widget, GdkEventConfigure* event, gpointer data) noexcept {
    GtkWindow* window = GTK_WINDOW(widget);
    int width = 0, height = 0;
    content_size(window, event->width, event->height, &width, &height);
    if (width != window_data_int(window, WINDOW_KEY_PREVIOUS_WIDTH) ||
        height != window_data_int(window, WINDOW_KEY_PREVIOUS_HEIGHT)) {
        window_set_data_int(window, WINDOW_KEY_PREVIOUS_WIDTH, width);
        window_set_data_int(window, WINDOW_KEY_PREVIOUS_HEIGHT, height);
        post(EVENT_SIZE, data);
    }
    if (event->x != window_data_int(window, WINDOW_KEY_PREVIOUS_X) ||
        event->y != window_data_int(window, WINDOW_KEY_PREVIOUS_Y)) {
        window_set_data_int(window, WINDOW_KEY_PREVIOUS_X, event->x);
        window_set_data_int(window, WINDOW_KEY_PREVIOUS_Y, event->y);
        post(EVENT_MOVE, data);
    }
    return FALSE;
}

gboolean window_state(GtkWidget*, GdkEventWindowState* event, gpointer data) noexcept {
    bool maximized = event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED;
    if (event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
        if (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED)
            post(EVENT_MINIMIZE, data);
        else
            post(maximized ? EVENT_MAXIMIZE : EVENT_RESTORE, data);
    } else if (event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) {
        post(maximized ? EVENT_MAXIMIZE : EVENT_RESTORE, data);
    }
    return FALSE;
}

// A close request only posts EVENT_CLOSE; the window stays until freed.
gboolean window_delete(GtkWidget*, GdkEvent*, gpointer data) noexcept {
    post(EVENT_CLOSE, data);
    return TRUE;
}

gboolean window_focus_in(GtkWidget*, GdkEventFocus*, gpointer data) noexcept {
    post(EVENT_ACTIVATE, data);
    return FALSE;
}

gboolean window_focus_out(GtkWidget*, GdkEventFocus*, gpointer data) noexcept {
    post(EVENT_DEACTIVATE, data);
    return FALSE;
}

gboolean window_motion(GtkWidget*, GdkEventMotion*, gpointer data) noexcept {
    post(EVENT_MOUSE_MOVE, data);
    return FALSE;
}

} // namespace

void window_connect_layout_signals(GtkWidget* layout, ObjectId id) {
    gpointer data = window_id_to_data(id);
    g_signal_connect(layout, "draw", G_CALLBACK(layout_draw), data);
    gtk_widget_add_events(layout, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
    g_signal_connect(layout, "button-press-event", G_CALLBACK(layout_button_press), data);
    g_signal_connect(layout, "button-release-event", G_CALLBACK(layout_button_release), data);
}

void window_connect_window_signals(GtkWindow* window, ObjectId id) {
    gpointer data = window_id_to_data(id);
    g_signal_connect(window, "configure-event", G_CALLBACK(window_configure), data);
    g_signal_connect(window, "window-state-event", G_CALLBACK(window_state), data);
    g_signal_connect(window, "delete-event", G_CALLBACK(window_delete), data);
    g_signal_connect(window, "focus-in-event", G_CALLBACK(window_focus_in), data);
    g_signal_connect(window, "focus-out-event", G_CALLBACK(window_focus_out), data);
    g_signal_connect(window, "motion-notify-event", G_CALLBACK(window_motion), data);
}
