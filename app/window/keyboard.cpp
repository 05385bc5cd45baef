// Keyboard behaviour of the main window.
#include "app/window/keyboard.h"

#include "app/window/calculator.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/window/window.h"

#include <gtk/gtk.h>

#include <initializer_list>

namespace {

// A focused text field or calendar gets a ring in the theme's selection
// colour inside its frame: the theme shows none for text views, and on the
// calendar only a dotted line that vanishes on the selected day's colour. The
// calendar's header, arrows and day names share its style, hence the :not().
// Buttons and the combo boxes' entries keep the theme's own indicators.
// The calendar's keyboard moves the selected day itself, so the toolkit's
// dotted day cursor (which would start at the grid's first cell) is not drawn.
// The logo, focusable for its about box, shows the ring as its frame's
// colour (the frame keeps its width, so nothing moves).
constexpr const char* FOCUS_RING_CSS =
    "textview:focus text, calendar:focus:not(.header):not(.button):not(.highlight) {"
    " box-shadow: inset 0 0 0 2px @theme_selected_bg_color; }"
    "calendar { outline-width: 0; }"
    ":focus > frame > border { border-color: @theme_selected_bg_color; }";

void set_editor_attribute(ObjectId gadget, std::int32_t code) {
    GadgetRecord* g = gadget_lookup(gadget);
    if (g != nullptr && g->ops != nullptr && g->ops->set_attribute != nullptr) g->ops->set_attribute(g, code, 1);
}

// Ctrl+W and Ctrl+Q (user data: the window's id): the same request as the
// close button, EVENT_CLOSE for the window.
gboolean on_close_key(GtkAccelGroup*, GObject*, guint, GdkModifierType, gpointer window) noexcept {
    event_post(EVENT_CLOSE, 0, static_cast<ObjectId>(reinterpret_cast<std::intptr_t>(window)), 0);
    return TRUE;
}

void bind_close_keys(GtkWindow* window, ObjectId id) {
    GtkAccelGroup* keys = gtk_accel_group_new();
    for (guint key : {GDK_KEY_w, GDK_KEY_q}) {
        GClosure* closure =
            g_cclosure_new(G_CALLBACK(on_close_key), reinterpret_cast<gpointer>(static_cast<std::intptr_t>(id)), nullptr);
        gtk_accel_group_connect(keys, key, GDK_CONTROL_MASK, GTK_ACCEL_VISIBLE, closure);
    }
    gtk_window_add_accel_group(window, keys);
    g_object_unref(keys); // the window keeps it
}

void add_focus_ring(GtkWidget* widget) {
    static GtkCssProvider* ring = nullptr;
    if (ring == nullptr) {
        ring = gtk_css_provider_new();
        gtk_css_provider_load_from_data(ring, FOCUS_RING_CSS, -1, nullptr);
    }
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(ring),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

} // namespace

void set_up_main_window_keyboard() {
    for (ObjectId field : {year_field, after_count_field, after_result_field, before_count_field, before_result_field}) {
        set_editor_attribute(field, EDITOR_SINGLE_LINE);
        if (GadgetRecord* g = gadget_lookup(field)) add_focus_ring(g->main);
    }
    if (GadgetRecord* calendar = gadget_lookup(date_calendar)) add_focus_ring(calendar->main);
    // The logo takes the focus (after the date input button) and opens the
    // about box on Return or Space.
    if (GadgetRecord* logo = gadget_lookup(logo_gadget); logo != nullptr && logo->outer != nullptr) {
        gtk_widget_set_can_focus(logo->outer, TRUE);
        if (GtkWidget* frame = gtk_bin_get_child(GTK_BIN(logo->outer))) add_focus_ring(frame);
    }
    for (ObjectId result : {after_result_field, before_result_field}) set_editor_attribute(result, EDITOR_READ_ONLY);

    // An entry that selects its text as Tab reaches it reports the selection
    // before the toolkit's (idle) focus report, and a screen reader then says
    // only "12 selected" for the month, without its label or role. Reached
    // without selecting, the month and day entries are announced as "Month,
    // editable combo box, 12"; Ctrl+A still selects.
    g_object_set(gtk_settings_get_default(), "gtk-entry-select-on-focus", FALSE, nullptr);

    if (GtkWindow* window = window_handle(main_window)) {
        bind_close_keys(window, main_window);
        // Labels given a mnemonic after the window was mapped show their
        // underline until the window's setting next changes; a change now
        // hides them until Alt is held.
        gtk_window_set_mnemonics_visible(window, TRUE);
        gtk_window_set_mnemonics_visible(window, FALSE);
    }

    if (GadgetRecord* count = gadget_lookup(after_count_field)) gtk_widget_grab_focus(count->main);
}
