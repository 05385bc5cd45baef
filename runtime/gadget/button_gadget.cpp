// Button gadget: a push button, or a toggle button that stays pressed until
// clicked again. Every click posts EVENT_GADGET with SUBTYPE_LEFT_CLICK.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/gadget/kind_text_result.h"

#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"

#include <gtk/gtk.h>

namespace {

// The caption label, or null when the button holds something else.
GtkLabel* button_caption(const GadgetRecord* g) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(g->main));
    return (child != nullptr && GTK_IS_LABEL(child)) ? GTK_LABEL(child) : nullptr;
}

bool button_is_toggle(const GadgetRecord* g) {
    return GTK_IS_TOGGLE_BUTTON(g->main);
}

WideChar* button_get_text(GadgetRecord* g, std::int64_t at) {
    GtkLabel* caption = button_caption(g);
    return kind_text_result(caption != nullptr ? gtk_label_get_text(caption) : "", at);
}

void button_set_text(GadgetRecord* g, const char* utf8) {
    if (GtkLabel* caption = button_caption(g)) {
        gtk_label_set_text(caption, utf8 != nullptr ? utf8 : "");
    }
}

std::int64_t button_get_state(GadgetRecord* g) {
    if (!button_is_toggle(g)) {
        return 0;
    }
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(g->main)) ? 1 : 0;
}

void button_set_state(GadgetRecord* g, std::int64_t state) {
    if (button_is_toggle(g)) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(g->main), state != 0 ? TRUE : FALSE);
    }
}

void button_set_font(GadgetRecord* g, PangoFontDescription* font) {
    gadget_widget_set_font(g->main, font);
}

PangoFontDescription* button_get_font(GadgetRecord* g) {
    return gadget_widget_get_font(g->main);
}

const GadgetOps* button_ops() {
    static const GadgetOps ops = [] {
        GadgetOps o{};
        o.size = sizeof(GadgetOps);
        o.kind = GADGET_KIND_BUTTON;
        o.get_state = button_get_state;
        o.set_state = button_set_state;
        o.get_text = button_get_text;
        o.set_text = button_set_text;
        o.set_font = button_set_font;
        o.get_font = button_get_font;
        return o;
    }();
    return &ops;
}

// "clicked": one left click for the gadget, unless a close request waits
// at the head of the queue.
void on_button_clicked(GtkButton* button, gpointer data) noexcept {
    if (event_peek_type() == EVENT_CLOSE) {
        return;
    }
    gadget_post_event(GTK_WIDGET(button), gadget_id_from_data(data), SUBTYPE_LEFT_CLICK);
}

} // namespace

namespace {

// What button_finish needs besides the record.
struct ButtonOrder {
    std::int32_t width, height;
    const WideChar* text;
};

bool button_finish(GadgetRecord* g, ObjectId id, void* context) {
    const auto* order = static_cast<const ButtonOrder*>(context);
    gtk_widget_set_size_request(g->main, order->width, order->height);
    g_signal_connect(g->main, "clicked", G_CALLBACK(on_button_clicked), GADGET_ID_DATA(id));
    gadget_kind_set_text(g, order->text);
    return true;
}

} // namespace

// Creates a button gadget in the current gadget list. Returns the id for
// AUTO_NUMBER, else the button; 0 when there is no current list or the
// gadget cannot be made. Runs on the thread holding the GDK lock.
ObjectId gadget_button_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                              const WideChar* text, std::int32_t flags) {
    GtkWidget* button =
        (flags & BUTTON_TOGGLE) != 0 ? gtk_toggle_button_new_with_label("") : gtk_button_new_with_label("");
    if (button == nullptr) {
        return 0;
    }
    GtkWidget* caption = gtk_bin_get_child(GTK_BIN(button));
    if (caption != nullptr && GTK_IS_LABEL(caption)) {
        if ((flags & BUTTON_ALIGN_RIGHT) != 0) {
            gtk_misc_set_alignment(GTK_MISC(caption), 1.0f, 0.5f);
        } else if ((flags & BUTTON_ALIGN_LEFT) != 0) {
            gtk_misc_set_alignment(GTK_MISC(caption), 0.0f, 0.5f);
        }
        if ((flags & BUTTON_WRAP) != 0) {
            gtk_label_set_line_wrap(GTK_LABEL(caption), TRUE);
        }
    }
    ButtonOrder order{width, height, text};
    return gadget_create(number, x, y, {button, nullptr, button_ops(), button_finish, &order});
}
