// The common gadget operations that dispatch through a kind's GadgetOps.
#include "runtime/gadget/gadget.h"

#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"
#include "runtime/gadget/gadget_list.h"
#include "runtime/gadget/layout_scale.h"

#include <gtk/gtk.h>

namespace {

// A freshly converted UTF-8 copy of a WideString (null gives ""), g_free'd
// when the guard goes.
class Utf8Text {
  public:
    explicit Utf8Text(const WideChar* text) : text_(string_to_utf8_gtk(text)) {}
    ~Utf8Text() { g_free(text_); }
    Utf8Text(const Utf8Text&) = delete;
    Utf8Text& operator=(const Utf8Text&) = delete;
    const char* get() const { return text_; }

  private:
    char* text_;
};

// An empty WideString at workspace offset `at`.
WideChar* empty_at(std::int64_t at) {
    WideChar* p = workspace_reserve(0, static_cast<std::int32_t>(at));
    if (p) *p = 0;
    return p;
}

// The record of a live gadget whose kind table is in place, or null.
GadgetRecord* live_gadget(ObjectId id) {
    GadgetRecord* g = gadget_lookup(id);
    return g && g->ops ? g : nullptr;
}

GtkWidget* placed_widget(const GadgetRecord* g) {
    return g->outer ? g->outer : g->main;
}

// The container child property "x" or "y" of `w` in its layout.
int layout_child_coordinate(GtkWidget* parent, GtkWidget* w, const char* name) {
    int value = 0;
    gtk_container_child_get(GTK_CONTAINER(parent), w, name, &value, nullptr);
    return value;
}

} // namespace

void gadget_set_text(ObjectId id, const WideChar* text) {
    GadgetRecord* g = live_gadget(id);
    if (!g || !g->ops->set_text) return;
    GadgetLockGuard lock;
    Utf8Text utf8(text);
    EventSuppressGuard quiet;
    g->ops->set_text(g, utf8.get());
}

WideChar* gadget_get_text(ObjectId id, std::int64_t at) {
    GadgetRecord* g = live_gadget(id);
    if (!g || !g->ops->get_text) return empty_at(at);
    GadgetLockGuard lock;
    return g->ops->get_text(g, at);
}

std::int64_t gadget_add_item(ObjectId id, std::int64_t position, const WideChar* text) {
    GadgetRecord* g = live_gadget(id);
    if (!g || (!g->ops->add_item_ex && !g->ops->add_item)) return 0;
    GadgetLockGuard lock;
    Utf8Text utf8(text);
    EventSuppressGuard quiet;
    if (g->ops->add_item_ex) return g->ops->add_item_ex(g, position, utf8.get(), nullptr, 0);
    return g->ops->add_item(g, position, utf8.get(), nullptr);
}

void gadget_set_color(ObjectId id, std::int32_t selector, std::int64_t colour) {
    GadgetRecord* g = live_gadget(id);
    if (!g || !g->ops->set_color) return;
    GadgetLockGuard lock;
    g->ops->set_color(g, selector, static_cast<std::int32_t>(colour));
}

std::int64_t gadget_get_color(ObjectId id, std::int32_t selector) {
    GadgetRecord* g = live_gadget(id);
    if (!g || !g->ops->get_color) return COLOR_DEFAULT;
    return g->ops->get_color(g, selector);
}

void gadget_set_font(ObjectId id, PangoFontDescription* font) {
    if (reinterpret_cast<std::intptr_t>(font) == -1) font = nullptr;
    if (id == -1) {
        // The thread keeps its own copy: the font object may be replaced or
        // freed while the default stays in force.
        GadgetListState* state = gadget_list_state();
        PangoFontDescription* copy = font ? pango_font_description_copy(font) : nullptr;
        if (state->default_font) pango_font_description_free(state->default_font);
        state->default_font = copy;
        return;
    }
    GadgetRecord* g = live_gadget(id);
    if (!g || !g->ops->set_font) return;
    GadgetLockGuard lock;
    g->ops->set_font(g, font);
}

void gadget_set_font(ObjectId id, std::int64_t font) {
    gadget_set_font(id, reinterpret_cast<PangoFontDescription*>(static_cast<std::intptr_t>(font)));
}

PangoFontDescription* gadget_get_font(ObjectId id) {
    GadgetRecord* g = live_gadget(id);
    if (!g || !g->ops->get_font) return nullptr;
    GadgetLockGuard lock;
    return g->ops->get_font(g);
}

void gadget_resize(ObjectId id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    GadgetRecord* g = live_gadget(id);
    if (!g) return;
    GadgetLockGuard lock;
    GtkWidget* w = placed_widget(g);
    bool hide_again = !gtk_widget_get_visible(w);
    if (hide_again) gtk_widget_show(w);

    if (g->ops->resize) {
        g->ops->resize(g, x, y, width, height);
    } else {
        // Callers give layout units; the toolkit takes pixels.
        if (x != RESIZE_KEEP) x = layout_scale(x);
        if (y != RESIZE_KEEP) y = layout_scale(y);
        if (width != RESIZE_KEEP) width = layout_scale(width);
        if (height != RESIZE_KEEP) height = layout_scale(height);
        if (x != RESIZE_KEEP || y != RESIZE_KEEP) {
            GtkWidget* parent = gtk_widget_get_parent(w);
            if (parent && GTK_IS_LAYOUT(parent)) {
                if (x == RESIZE_KEEP) x = layout_child_coordinate(parent, w, "x");
                if (y == RESIZE_KEEP) y = layout_child_coordinate(parent, w, "y");
                gtk_layout_move(GTK_LAYOUT(parent), w, x, y);
            }
        }
        if (width != RESIZE_KEEP || height != RESIZE_KEEP) {
            GtkRequisition minimum{};
            gtk_widget_get_preferred_size(w, &minimum, nullptr);
            if (width == RESIZE_KEEP) width = minimum.width;
            if (height == RESIZE_KEEP) height = minimum.height;
            if (width > 0 && height > 0) gtk_widget_set_size_request(w, width, height);
        }
    }

    if (hide_again) gtk_widget_hide(w);
}

std::int64_t gadget_get_state(ObjectId id) {
    GadgetRecord* g = live_gadget(id);
    if (!g || !g->ops->get_state) return 0;
    return g->ops->get_state(g);
}

void gadget_set_state(ObjectId id, std::int64_t state) {
    GadgetRecord* g = live_gadget(id);
    if (!g || !g->ops->set_state) return;
    GadgetLockGuard lock;
    EventSuppressGuard quiet;
    g->ops->set_state(g, state);
}

std::int64_t gadget_kind(ObjectId id) {
    GadgetRecord* g = live_gadget(id);
    return g ? g->ops->kind : 0;
}

namespace {

// Size of the placed widget in layout units (the toolkit has pixels, see
// layout_scale.h): allocation for a splitter child, else its size
// request, falling back to main's request when the placed one has none.
std::int64_t gadget_extent(ObjectId id, bool want_width) {
    GadgetRecord* g = live_gadget(id);
    if (!g) return 0;
    GtkWidget* w = placed_widget(g);
    if (g_object_get_data(G_OBJECT(w), GADGET_KEY_SPLITTER_CHILD)) {
        GtkAllocation a;
        gtk_widget_get_allocation(w, &a);
        return layout_unscale(want_width ? a.width : a.height);
    }
    int rw = -1, rh = -1;
    gtk_widget_get_size_request(w, &rw, &rh);
    if (rw == -1 && rh == -1 && w != g->main) gtk_widget_get_size_request(g->main, &rw, &rh);
    return layout_unscale(want_width ? rw : rh);
}

} // namespace

std::int64_t gadget_width(ObjectId id) {
    return gadget_extent(id, true);
}

std::int64_t gadget_height(ObjectId id) {
    return gadget_extent(id, false);
}
