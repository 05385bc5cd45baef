// A single-line editor centres its one line vertically in its box, as an
// entry (the month and day combo boxes) centres its text: a text view puts
// its text at the top, which looks unfinished beside the entries and leaves
// an input method's underlined preedit hanging at the top edge.
#include "runtime/gadget/editor_centring.h"

#include <gtk/gtk.h>

namespace {

// The height of one line of the view's text in its present font (which text
// scale and gadget_set_font change), in pixels.
int line_height(GtkWidget* view) {
    PangoLayout* layout = gtk_widget_create_pango_layout(view, "Xg");
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    return height;
}

// "size-allocate" of the scrolled window around the view: the top margin
// that centres one line in the space inside its frame. Setting an unchanged
// margin is skipped, so the relayout it causes ends at once.
void on_box_allocated(GtkWidget* box, GdkRectangle* allocation, gpointer view_pointer) noexcept {
    GtkWidget* view = GTK_WIDGET(view_pointer);
    GtkStyleContext* style = gtk_widget_get_style_context(box);
    GtkBorder border{}, padding{};
    gtk_style_context_get_border(style, gtk_style_context_get_state(style), &border);
    gtk_style_context_get_padding(style, gtk_style_context_get_state(style), &padding);
    const int inside = allocation->height - border.top - border.bottom - padding.top - padding.bottom;
    const int margin = MAX(0, (inside - line_height(view)) / 2);
    if (gtk_text_view_get_top_margin(GTK_TEXT_VIEW(view)) != margin)
        gtk_text_view_set_top_margin(GTK_TEXT_VIEW(view), margin);
}

} // namespace

void editor_centre_line(GtkWidget* view) {
    GtkWidget* box = gtk_widget_get_parent(view);
    if (!GTK_IS_TEXT_VIEW(view) || box == nullptr || !GTK_IS_SCROLLED_WINDOW(box)) return;
    if (g_object_get_data(G_OBJECT(view), "tda_centred") != nullptr) return;
    g_object_set_data(G_OBJECT(view), "tda_centred", view);
    g_signal_connect_object(box, "size-allocate", G_CALLBACK(on_box_allocated), view, static_cast<GConnectFlags>(0));
    gtk_widget_queue_resize(box);
}
