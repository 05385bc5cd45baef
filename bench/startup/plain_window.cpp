// The calculator's window written as a plain GTK 3 program: the same
// 790 x 400 non-resizable centred window titled "TovamiDaysAfter", a layout
// holding the same 21 widgets at the same places with the same texts, fonts,
// colours, list items and logos, filled with today's date. It does nothing
// when used; it exists to be started beside the real program so that their
// start-up time and memory can be compared.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <gtk/gtk.h>

#include <string>

namespace {

GtkWidget* layout = nullptr;

GdkRGBA colour(int red, int green, int blue) {
    return GdkRGBA{red / 255.0, green / 255.0, blue / 255.0, 1.0};
}

void set_font(GtkWidget* widget, const char* description) {
    PangoFontDescription* font = pango_font_description_from_string(description);
    gtk_widget_override_font(widget, font);
    pango_font_description_free(font);
}

void set_front(GtkWidget* widget, GdkRGBA rgba) {
    gtk_widget_override_color(widget, GTK_STATE_FLAG_NORMAL, &rgba);
}

void place(GtkWidget* widget, int x, int y, int width, int height) {
    gtk_widget_set_size_request(widget, width, height);
    gtk_layout_put(GTK_LAYOUT(layout), widget, x, y);
}

// Multi-line text field: a text view in a scrolled window.
GtkWidget* editor(int x, int y, int width, int height, GtkWidget** view_out) {
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_NONE);
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_ETCHED_IN);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    place(scrolled, x, y, width, height);
    *view_out = view;
    return view;
}

void set_view_text(GtkWidget* view, const char* text) {
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), text, -1);
}

// Label in an event box in a box; alignment 0 left, 1 right, 2 centre.
GtkWidget* label(int x, int y, int width, int height, const char* text, int alignment, GtkWidget** box_out = nullptr) {
    GtkWidget* hbox = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    GtkWidget* events = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(events), FALSE);
    GtkWidget* text_label = gtk_label_new(text);
    gtk_label_set_line_wrap(GTK_LABEL(text_label), TRUE);
    gtk_misc_set_alignment(GTK_MISC(text_label), alignment == 1 ? 1.0f : alignment == 2 ? 0.5f : 0.0f, 0.0f);
    gtk_container_add(GTK_CONTAINER(events), text_label);
    gtk_box_pack_start(GTK_BOX(hbox), events, TRUE, TRUE, 0);
    place(hbox, x, y, width, height);
    if (box_out != nullptr) {
        *box_out = events;
    }
    return text_label;
}

GtkWidget* button(int x, int y, int width, int height, const char* text) {
    GtkWidget* widget = gtk_button_new_with_label(text);
    place(widget, x, y, width, height);
    return widget;
}

// Editable combo box over a list store of (pixbuf, text) with numbered items.
GtkWidget* combo(int x, int y, int width, int height, int items, GtkWidget** entry_out) {
    GtkListStore* store = gtk_list_store_new(2, GDK_TYPE_PIXBUF, G_TYPE_STRING);
    for (int i = 1; i <= items; ++i) {
        GtkTreeIter row;
        gtk_list_store_append(store, &row);
        gtk_list_store_set(store, &row, 1, std::to_string(i).c_str(), -1);
    }
    GtkWidget* box = gtk_combo_box_new_with_model_and_entry(GTK_TREE_MODEL(store));
    g_object_unref(store);
    gtk_combo_box_set_entry_text_column(GTK_COMBO_BOX(box), 1);
    gtk_cell_layout_clear(GTK_CELL_LAYOUT(box));
    GtkCellRenderer* picture = gtk_cell_renderer_pixbuf_new();
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(box), picture, FALSE);
    gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(box), picture, "pixbuf", 0);
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(box), text, TRUE);
    gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(box), text, "text", 1);
    GtkWidget* events = gtk_event_box_new();
    gtk_widget_set_size_request(box, width, height);
    gtk_container_add(GTK_CONTAINER(events), box);
    gtk_layout_put(GTK_LAYOUT(layout), events, x, y);
    GtkWidget* entry = gtk_bin_get_child(GTK_BIN(box));
    gtk_entry_set_width_chars(GTK_ENTRY(entry), 0);
    *entry_out = entry;
    return box;
}

// Picture from a file in a sunken frame in a windowless event box.
void image(int x, int y, const char* file) {
    std::string path = std::string(TDA_LOGO_DIR) + "/" + file;
    GdkPixbuf* pixels = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
    GtkWidget* picture = pixels != nullptr ? gtk_image_new_from_pixbuf(pixels) : gtk_image_new();
    gtk_misc_set_alignment(GTK_MISC(picture), 0.0f, 0.0f);
    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(frame), picture);
    GtkWidget* events = gtk_event_box_new();
    gtk_widget_set_has_window(events, FALSE);
    gtk_container_add(GTK_CONTAINER(events), frame);
    if (pixels != nullptr) {
        gtk_widget_set_size_request(events, gdk_pixbuf_get_width(pixels), gdk_pixbuf_get_height(pixels));
        g_object_unref(pixels);
    }
    gtk_layout_put(GTK_LAYOUT(layout), events, x, y);
}

// Paints the window colour under the layout's children.
gboolean paint_background(GtkWidget*, cairo_t* cr, gpointer) {
    cairo_set_source_rgb(cr, 188 / 255.0, 216 / 255.0, 215 / 255.0);
    cairo_paint(cr);
    return FALSE;
}

} // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "TovamiDaysAfter");
    gtk_window_set_default_size(GTK_WINDOW(window), 790, 400);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_widget_set_size_request(window, 790, 400);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

    GtkWidget* vbox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), vbox);
    layout = gtk_layout_new(nullptr, nullptr);
    gtk_box_pack_start(GTK_BOX(vbox), layout, TRUE, TRUE, 0);
    GdkColor background{0, 188 * 256, 216 * 256, 215 * 256};
    gtk_widget_modify_bg(layout, GTK_STATE_NORMAL, &background);
    g_signal_connect(layout, "draw", G_CALLBACK(paint_background), nullptr);
    const GdkRGBA app_background = colour(188, 216, 215);

    GtkWidget *year_view, *after_count, *after_result, *before_count, *before_result;
    GtkWidget *day_entry, *month_entry;
    editor(40, 70, 100, 30, &year_view); // 1 year
    set_font(year_view, "Sans 10");
    set_view_text(year_view, "year");
    editor(30, 160, 100, 35, &after_count); // 2 days-after count
    set_front(after_count, colour(27, 15, 13));
    set_font(after_count, "Sans 10");
    editor(260, 160, 160, 35, &after_result); // 3 days-after result
    set_front(after_result, colour(0, 0, 0));
    label(240, 165, 10, 20, "=", 2); // 4
    GtkWidget* after_box = nullptr;
    GtkWidget* after_label = label(150, 170, 80, 25, "days after", 1, &after_box); // 5
    set_front(after_label, colour(70, 70, 70));
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(after_box), TRUE);
    gtk_widget_override_background_color(after_box, GTK_STATE_FLAG_NORMAL, &app_background);
    set_font(after_label, "Sans 9");
    set_font(label(40, 110, 380, 25, "valid period: 1970-01-01 <--> 2038-01-19", 2), "Sans 9"); // 6
    set_font(label(320, 40, 40, 25, "Day", 0), "Sans 9");                                       // 7
    set_font(label(180, 40, 60, 25, "Month", 0), "Sans 9");                                     // 8
    combo(320, 70, 100, 30, 31, &day_entry);                                                    // 9 day
    set_font(button(430, 220, 100, 40, "push"), "Sans 10");                                     // 10 before push
    editor(30, 220, 100, 35, &before_count);                                                    // 11 days-before count
    set_font(label(140, 230, 90, 25, "days before", 1), "Sans 8");                              // 12
    label(240, 225, 10, 20, "=", 2);                                                            // 13
    editor(260, 220, 160, 35, &before_result);                                                  // 14 days-before result
    set_front(before_result, colour(0, 0, 0));
    GtkWidget* calendar = gtk_calendar_new(); // 15 calendar, today
    place(calendar, 560, 10, 200, 170);
    set_font(calendar, "Sans 9");
    set_font(button(430, 160, 100, 40, "push"), "Sans 10");           // 16 after push
    GtkWidget* month_box = combo(180, 70, 100, 30, 12, &month_entry); // 17 month
    set_font(month_box, "Sans 10");
    set_font(month_entry, "Sans 10");
    image(30, 310, "TovamiHidukeGULogoColor.png");                               // 18 banner
    image(660, 310, "TovamiLogoNeon100x49.png");                                 // 19 logo
    label(40, 40, 40, 25, "Year", 0);                                            // 20
    set_font(button(660, 190, 90, 25, "\xE3\x80\x80日付入力"), "IPAゴシック 9"); // 21

    // Today's date from the calendar into the fields.
    guint year = 0, month = 0, day = 0;
    gtk_calendar_get_date(GTK_CALENDAR(calendar), &year, &month, &day);
    std::string year_text = std::to_string(year);
    char two[8];
    set_view_text(year_view, year_text.c_str());
    g_snprintf(two, sizeof two, "%02u", month + 1);
    gtk_entry_set_text(GTK_ENTRY(month_entry), two);
    g_snprintf(two, sizeof two, "%02u", day);
    gtk_entry_set_text(GTK_ENTRY(day_entry), two);

    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
