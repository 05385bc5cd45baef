// The gadget table, the creation protocol, destruction, and event posting.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/gadget/gadget.h"

#include "runtime/core/object_table.h"
#include "runtime/core/utf_convert.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget_list.h"
#include "runtime/gadget/layout_scale.h"

#include <gtk/gtk.h>

namespace {

ObjectTable* gadget_table = nullptr;
GtkCssProvider* css_provider = nullptr;

constexpr guint CSS_PRIORITY = GTK_STYLE_PROVIDER_PRIORITY_APPLICATION; // 600

void* id_data(ObjectId id) {
    return GADGET_ID_DATA(id);
}

// The live record of `id` whose main widget is `widget`; null when the id was
// freed or already holds a newer gadget.
GadgetRecord* lookup_for(GtkWidget* widget, ObjectId id) {
    GadgetRecord* g = gadget_lookup(id);
    return g && g->main == widget ? g : nullptr;
}

// Frees the kind's data and the record of a gadget whose main widget is gone.
void forget_gadget(GadgetRecord* g, ObjectId id) {
    if (g->ops && g->ops->free) g->ops->free(g);
    object_release(gadget_table, id);
}

// "destroy" of a gadget's main widget.
void gadget_destroyed(GtkWidget* widget, gpointer data) noexcept {
    ObjectId id = gadget_id_from_data(data);
    if (GadgetRecord* g = lookup_for(widget, id)) forget_gadget(g, id);
}

gboolean focus_in(GtkWidget* widget, GdkEventFocus*, gpointer data) noexcept {
    gadget_post_event(widget, gadget_id_from_data(data), SUBTYPE_FOCUS);
    return FALSE;
}

gboolean focus_out(GtkWidget* widget, GdkEventFocus*, gpointer data) noexcept {
    gadget_post_event(widget, gadget_id_from_data(data), SUBTYPE_LOST_FOCUS);
    return FALSE;
}

// Widget data: the size request last scaled, packed by packed_request.
constexpr const char* KEY_SCALED_REQUEST = "tda_scaled_request";

gpointer packed_request(int width, int height) {
    auto bits =
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(width)) << 32) | static_cast<std::uint32_t>(height);
    return reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(bits));
}

// Turns the size requests of `widget` and the widgets inside it from layout
// units into pixels (layout_scale). Each request is scaled once: a widget
// remembers the pixels it was given, and only a request that differs from
// them (set since) is scaled again.
void scale_size_requests(GtkWidget* widget) {
    if (!widget || layout_scale_factor() == 1.0) return;
    int width = -1, height = -1;
    gtk_widget_get_size_request(widget, &width, &height);
    if ((width != -1 || height != -1) &&
        g_object_get_data(G_OBJECT(widget), KEY_SCALED_REQUEST) != packed_request(width, height)) {
        width = layout_scale(width);
        height = layout_scale(height);
        gtk_widget_set_size_request(widget, width, height);
        g_object_set_data(G_OBJECT(widget), KEY_SCALED_REQUEST, packed_request(width, height));
    }
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* c = children; c; c = c->next)
            scale_size_requests(GTK_WIDGET(c->data));
        g_list_free(children);
    }
}

} // namespace

void gadget_init() {
    table_create_once(&gadget_table, sizeof(GadgetRecord), 16, gadget_release);
    gadget_lists_init();
    if (!css_provider) {
        css_provider = gtk_css_provider_new();
        if (GdkScreen* screen = gdk_screen_get_default())
            gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(css_provider), CSS_PRIORITY);
    }
}

GtkCssProvider* gadget_css_provider() {
    return css_provider;
}

GadgetRecord* gadget_lookup(ObjectId id) {
    if (!gadget_table) return nullptr;
    return static_cast<GadgetRecord*>(object_lookup(gadget_table, id));
}

GtkWidget* gadget_current_list() {
    GtkWidget* list = gadget_list_state()->current_list;
    return list && GTK_IS_LAYOUT(list) ? list : nullptr;
}

void gadget_place(GtkWidget* placed, std::int32_t x, std::int32_t y) {
    GtkWidget* list = gadget_current_list();
    if (!list || !placed) return;
    gtk_layout_put(GTK_LAYOUT(list), placed, layout_scale(x), layout_scale(y));
    scale_size_requests(placed);
}

namespace {

// Destroys widgets that never reached a container (floating ones included).
void drop_unplaced(GtkWidget* widget) {
    if (!widget) return;
    g_object_ref_sink(widget);
    gtk_widget_destroy(widget);
    g_object_unref(widget);
}

// Last creation step: realize, default font, "destroy", "tda_id", pending events.
void gadget_register(GadgetRecord* g, ObjectId id) {
    // A size request given after placement is scaled here.
    scale_size_requests(g->outer ? g->outer : g->main);
    gtk_widget_realize(g->main);
    PangoFontDescription* font = gadget_list_state()->default_font;
    if (font && g->ops->set_font) g->ops->set_font(g, font);
    g_signal_connect(g->main, "destroy", G_CALLBACK(gadget_destroyed), id_data(id));
    g_object_set_data(G_OBJECT(g->main), GADGET_KEY_ID, id_data(id + 1));
    events_flush();
}

} // namespace

ObjectId gadget_create(ObjectId number, std::int32_t x, std::int32_t y, const GadgetBuild& build) {
    GtkWidget* placed = build.outer ? build.outer : build.main;
    if (!build.main || !build.ops || !gadget_current_list() || !gadget_table) {
        drop_unplaced(placed);
        return 0;
    }
    auto* g = static_cast<GadgetRecord*>(object_allocate(gadget_table, number));
    if (!g) {
        drop_unplaced(placed);
        return 0;
    }
    ObjectId id = number == AUTO_NUMBER ? reinterpret_cast<ObjectId>(g) : number;
    g->main = build.main;
    g->outer = build.outer;
    g->ops = build.ops;
    if (build.finish && !build.finish(g, id, build.context)) {
        forget_gadget(g, id);
        drop_unplaced(placed);
        return 0;
    }
    gadget_place(placed, x, y);
    gtk_widget_show_all(placed);
    gadget_register(g, id);
    return number == AUTO_NUMBER ? id : reinterpret_cast<ObjectId>(g->main);
}

void gadget_release(ObjectId id) {
    if (!gadget_table) return;
    if (id == AUTO_NUMBER) {
        table_free_all(gadget_table);
        return;
    }
    GadgetRecord* g = gadget_lookup(id);
    if (!g) return;
    GtkWidget* main = g->main;
    gtk_widget_destroy(g->outer ? g->outer : main);
    // A gadget whose creation never reached gadget_register has no "destroy"
    // handler yet: release it here, so that the number is free afterwards.
    if (GadgetRecord* left = lookup_for(main, id)) forget_gadget(left, id);
}

void gadget_kind_set_text(GadgetRecord* g, const WideChar* text) {
    if (text == nullptr || g->ops == nullptr || g->ops->set_text == nullptr) return;
    char* utf8 = string_to_utf8_gtk(text);
    g->ops->set_text(g, utf8);
    g_free(utf8);
}

void gadget_post_event(GtkWidget* widget, ObjectId id, std::int64_t subtype) {
    ObjectId window = -1;
    GtkWidget* top = widget ? gtk_widget_get_toplevel(widget) : nullptr;
    if (top && gtk_widget_is_toplevel(top))
        window =
            static_cast<ObjectId>(reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(top), GADGET_KEY_ID)));
    event_post(EVENT_GADGET, id, window, subtype);
}

void gadget_connect_focus_handlers(GtkWidget* widget, ObjectId id) {
    g_signal_connect(widget, "focus-in-event", G_CALLBACK(focus_in), id_data(id));
    g_signal_connect(widget, "focus-out-event", G_CALLBACK(focus_out), id_data(id));
}

GadgetLockGuard::GadgetLockGuard() {
    gdk_threads_enter();
}

GadgetLockGuard::~GadgetLockGuard() {
    gdk_flush();
    gdk_threads_leave();
}

EventSuppressGuard::EventSuppressGuard() {
    event_suppress_begin();
}

EventSuppressGuard::~EventSuppressGuard() {
    event_suppress_end();
}
