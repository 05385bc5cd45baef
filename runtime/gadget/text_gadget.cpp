// Text gadget: a fixed, wrapping label inside an event box inside an hbox.
// The event box carries the gadget's colours; it has no window of its own
// until a back colour is set, so the window's background shows through.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/gadget/kind_text_result.h"

#include <gtk/gtk.h>

namespace {

GtkWidget* text_label(const GadgetRecord* g) {
    return g->main;
}
GtkWidget* text_event_box(const GadgetRecord* g) {
    return reinterpret_cast<GtkWidget*>(g->data4);
}

WideChar* text_get_text(GadgetRecord* g, std::int64_t at) {
    return kind_text_result(gtk_label_get_text(GTK_LABEL(text_label(g))), at);
}

void text_set_text(GadgetRecord* g, const char* utf8) {
    gtk_label_set_text(GTK_LABEL(text_label(g)), utf8 != nullptr ? utf8 : "");
}

void text_set_font(GadgetRecord* g, PangoFontDescription* font) {
    gadget_widget_set_font(text_label(g), font);
}

PangoFontDescription* text_get_font(GadgetRecord* g) {
    return gadget_widget_get_font(text_label(g));
}

// A back colour needs the event box to have a window to paint; without one
// (and after COLOR_DEFAULT) the window's own background shows through.
void text_set_color(GadgetRecord* g, std::int32_t selector, std::int32_t colour) {
    GtkWidget* box = text_event_box(g);
    if (selector == COLOR_BACK) {
        gtk_event_box_set_visible_window(GTK_EVENT_BOX(box), colour != -1 ? TRUE : FALSE);
    }
    gadget_apply_color(g, box, selector, colour);
}

std::int64_t text_get_color(GadgetRecord* g, std::int32_t selector) {
    return gadget_stored_color(g, selector);
}

const GadgetOps* text_ops() {
    static const GadgetOps ops = [] {
        GadgetOps o{};
        o.size = sizeof(GadgetOps);
        o.kind = GADGET_KIND_TEXT;
        o.get_text = text_get_text;
        o.set_text = text_set_text;
        o.set_font = text_set_font;
        o.get_font = text_get_font;
        o.set_color = text_set_color;
        o.get_color = text_get_color;
        return o;
    }();
    return &ops;
}

} // namespace

namespace {

// What text_finish needs besides the record.
struct TextOrder {
    GtkWidget* event_box;
    std::int32_t width, height;
    const WideChar* text;
};

bool text_finish(GadgetRecord* g, ObjectId, void* context) {
    const auto* order = static_cast<const TextOrder*>(context);
    g->data4 = reinterpret_cast<std::intptr_t>(order->event_box);
    gtk_widget_set_size_request(g->outer, order->width, order->height);
    gadget_kind_set_text(g, order->text);
    return true;
}

} // namespace

// Creates a text gadget in the current gadget list. Returns the id for
// AUTO_NUMBER, else the label; 0 when there is no current list or the gadget
// cannot be made. Runs on the thread holding the GDK lock; takes no lock.
ObjectId gadget_text_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                            const WideChar* text, std::int32_t flags) {
    GtkWidget* label = gtk_label_new("");
    if (label == nullptr) {
        return 0;
    }
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    if ((flags & TEXT_ALIGN_RIGHT) != 0) {
        gtk_misc_set_alignment(GTK_MISC(label), 1.0f, 0.0f);
    } else if ((flags & TEXT_ALIGN_CENTRE) != 0) {
        gtk_misc_set_alignment(GTK_MISC(label), 0.5f, 0.0f);
    } else {
        gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.0f);
    }
    GtkWidget* box = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(box), FALSE);
    if ((flags & TEXT_FRAMED) != 0) {
        GtkWidget* frame = gtk_frame_new(nullptr);
        gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
        gtk_container_add(GTK_CONTAINER(frame), label);
        gtk_container_add(GTK_CONTAINER(box), frame);
    } else {
        gtk_container_add(GTK_CONTAINER(box), label);
    }
    GtkWidget* hbox = gtk_hbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(hbox), box);

    TextOrder order{box, width, height, text};
    return gadget_create(number, x, y, {label, hbox, text_ops(), text_finish, &order});
}
