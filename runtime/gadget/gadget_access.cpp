// Accessible names, tooltips, captions with mnemonics, spoken texts, the
// keyboard focus and its ring, and the editor's field modes (see
// gadget_access.h).
#include "runtime/gadget/gadget_access.h"

#include "runtime/gadget/editor_centring.h"

#include "runtime/core/utf_convert.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"

#include <gtk/gtk.h>

#include <string>

namespace {

// A freshly converted UTF-8 copy of a WideString, g_free'd with the holder;
// null for a null text.
class Utf8 {
  public:
    explicit Utf8(const WideChar* text) : text_(text != nullptr ? string_to_utf8_gtk(text) : nullptr) {}
    ~Utf8() { g_free(text_); }
    Utf8(const Utf8&) = delete;
    Utf8& operator=(const Utf8&) = delete;
    const char* get() const { return text_; }

  private:
    char* text_;
};

GadgetRecord* live_of_kind(ObjectId id, std::int64_t kind) {
    GadgetRecord* g = gadget_lookup(id);
    return g != nullptr && g->ops != nullptr && (kind == 0 || g->ops->kind == kind) ? g : nullptr;
}

// The widget a screen reader and the keyboard land on: a combo box's entry,
// an image's event box, else main.
GtkWidget* focus_widget(const GadgetRecord* g) {
    if (g->ops->kind == GADGET_KIND_COMBO && g->data2 != 0) return reinterpret_cast<GtkWidget*>(g->data2);
    if (g->ops->kind == GADGET_KIND_IMAGE && g->outer != nullptr) return g->outer;
    return g->main;
}

// The gadget's accessible objects a screen reader may meet: the focus
// object first, then main when that is another widget. Returns how many.
int accessibles_of(const GadgetRecord* g, AtkObject* out[2]) {
    int n = 0;
    GtkWidget* focus = focus_widget(g);
    if (AtkObject* a = gtk_widget_get_accessible(focus)) out[n++] = a;
    if (focus != g->main)
        if (AtkObject* a = gtk_widget_get_accessible(g->main)) out[n++] = a;
    return n;
}

GtkWindow* window_of(GtkWidget* widget) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    return top != nullptr && GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr;
}

// A focused text view or calendar gets a ring in the theme's selection colour
// inside its frame: the theme shows none for text views, and on the calendar
// only a dotted line that vanishes on the selected day's colour. The
// calendar's header, arrows and day names share its style, hence the :not().
// The calendar's keyboard moves the selected day itself, so the toolkit's
// dotted day cursor (which would start at the grid's first cell) is not
// drawn. A focused image shows the ring as its frame's colour (the frame
// keeps its width, so nothing moves).
constexpr const char* FOCUS_RING_CSS = "textview:focus text, calendar:focus:not(.header):not(.button):not(.highlight) {"
                                       " box-shadow: inset 0 0 0 2px @theme_selected_bg_color; }"
                                       "calendar { outline-width: 0; }"
                                       ":focus > frame > border { border-color: @theme_selected_bg_color; }";

void add_focus_ring(GtkWidget* widget) {
    static GtkCssProvider* ring = nullptr; // shared by every ringed widget, kept for good
    if (ring == nullptr) {
        ring = gtk_css_provider_new();
        gtk_css_provider_load_from_data(ring, FOCUS_RING_CSS, -1, nullptr);
    }
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(ring),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// The object whose description carries an announced text, and its own
// description: a reference to each and a copy, held until given back.
struct Announcement {
    GtkWidget* widget = nullptr;
    AtkObject* accessible = nullptr;
    gchar* own_description = nullptr;
    bool variant = false; // alternates, so that the same text twice is still a change
    guint give_back = 0;  // the pending give-back timeout, 0 when none
} announcement;

// Window data: the window's "set-focus" arms the give-back.
constexpr const char* KEY_ANNOUNCE_WATCH = "tda_announce_watch";

void give_description_back() {
    if (announcement.accessible == nullptr) return;
    atk_object_set_description(announcement.accessible,
                               announcement.own_description != nullptr ? announcement.own_description : "");
    g_free(announcement.own_description);
    g_object_unref(announcement.accessible);
    g_object_unref(announcement.widget);
    announcement.widget = nullptr;
    announcement.accessible = nullptr;
    announcement.own_description = nullptr;
}

// The give-back timeout: the focus has been away for the delay, unless it
// came back, in which case the announcement stays until it leaves again.
gboolean give_back_if_left(gpointer) noexcept {
    announcement.give_back = 0;
    if (announcement.widget == nullptr) return G_SOURCE_REMOVE;
    GtkWindow* window = window_of(announcement.widget);
    if (window == nullptr || gtk_window_get_focus(window) != announcement.widget) give_description_back();
    return G_SOURCE_REMOVE;
}

// "set-focus" of a window in which a text was announced: when the focus
// moves away from the object that carries it, only arms the give-back (the
// toolkit reports the new focus to a screen reader from an idle call after
// this, and would still let it speak a description given back now).
void on_focus_set(GtkWindow* window, GtkWidget* focus, gpointer) noexcept {
    if (announcement.widget != nullptr && focus != announcement.widget && announcement.give_back == 0 &&
        window_of(announcement.widget) == window)
        announcement.give_back = g_timeout_add(GADGET_ANNOUNCE_GIVE_BACK_MS, give_back_if_left, nullptr);
}

} // namespace

void gadget_set_access(ObjectId gadget, const WideChar* name, const WideChar* description) {
    GadgetRecord* g = live_of_kind(gadget, 0);
    if (g == nullptr) return;
    GadgetLockGuard lock;
    Utf8 name_text(name), description_text(description);
    AtkObject* objects[2];
    for (int i = 0, n = accessibles_of(g, objects); i < n; ++i) {
        if (name_text.get() != nullptr) atk_object_set_name(objects[i], name_text.get());
        if (description_text.get() != nullptr) atk_object_set_description(objects[i], description_text.get());
    }
}

void gadget_set_tooltip(ObjectId gadget, const WideChar* text) {
    GadgetRecord* g = live_of_kind(gadget, 0);
    if (g == nullptr) return;
    GadgetLockGuard lock;
    Utf8 tip(text);
    gtk_widget_set_tooltip_text(focus_widget(g), tip.get() != nullptr && *tip.get() != '\0' ? tip.get() : nullptr);
}

void gadget_set_label_for(ObjectId label, const ObjectId* targets, std::int64_t count) {
    GadgetRecord* caption = live_of_kind(label, GADGET_KIND_TEXT);
    if (caption == nullptr || !GTK_IS_LABEL(caption->main)) return;
    GadgetLockGuard lock;
    GtkLabel* text = GTK_LABEL(caption->main);
    gtk_label_set_use_underline(text, TRUE);
    AtkObject* label_access = gtk_widget_get_accessible(caption->main);
    bool mnemonic_set = false;
    for (std::int64_t i = 0; targets != nullptr && i < count; ++i) {
        const GadgetRecord* target = live_of_kind(targets[i], 0);
        if (target == nullptr) continue;
        if (!mnemonic_set) gtk_label_set_mnemonic_widget(text, focus_widget(target));
        mnemonic_set = true;
        AtkObject* objects[2];
        for (int k = 0, n = accessibles_of(target, objects); k < n && label_access != nullptr; ++k) {
            atk_object_add_relationship(objects[k], ATK_RELATION_LABELLED_BY, label_access);
            atk_object_add_relationship(label_access, ATK_RELATION_LABEL_FOR, objects[k]);
        }
    }
    // A window already shown keeps drawing the underline of a new mnemonic
    // until its setting next changes; a change now hides it until Alt is held.
    if (GtkWindow* window = window_of(caption->main)) {
        gtk_window_set_mnemonics_visible(window, TRUE);
        gtk_window_set_mnemonics_visible(window, FALSE);
    }
}

void gadget_announce(ObjectId gadget, const WideChar* text) {
    GadgetRecord* g = live_of_kind(gadget, 0);
    if (g == nullptr || text == nullptr) return;
    GadgetLockGuard lock;
    GtkWindow* window = window_of(g->main);
    GtkWidget* focus = window != nullptr ? gtk_window_get_focus(window) : nullptr;
    AtkObject* accessible = focus != nullptr ? gtk_widget_get_accessible(focus) : nullptr;
    if (accessible == nullptr) return;
    if (announcement.accessible != accessible) {
        give_description_back();
        announcement.widget = GTK_WIDGET(g_object_ref(focus));
        announcement.accessible = ATK_OBJECT(g_object_ref(accessible));
        announcement.own_description = g_strdup(atk_object_get_description(accessible));
        if (g_object_get_data(G_OBJECT(window), KEY_ANNOUNCE_WATCH) == nullptr) {
            g_object_set_data(G_OBJECT(window), KEY_ANNOUNCE_WATCH, window);
            g_signal_connect(window, "set-focus", G_CALLBACK(on_focus_set), nullptr);
        }
    }
    // A screen reader speaks a description only when it changed: the same
    // text again differs by a trailing space, which is not heard.
    announcement.variant = !announcement.variant;
    Utf8 spoken(text);
    std::string description = spoken.get();
    if (!announcement.variant) description += ' ';
    atk_object_set_description(accessible, description.c_str());
}

void gadget_set_focus(ObjectId gadget) {
    GadgetRecord* g = live_of_kind(gadget, 0);
    if (g == nullptr) return;
    GadgetLockGuard lock;
    EventSuppressGuard quiet;
    if (g->ops->focus != nullptr)
        g->ops->focus(g);
    else
        gtk_widget_grab_focus(focus_widget(g));
}

void gadget_set_focus_ring(ObjectId gadget) {
    GadgetRecord* g = live_of_kind(gadget, 0);
    if (g == nullptr) return;
    GadgetLockGuard lock;
    add_focus_ring(g->main);
    // An image's ring is its frame, which sits in the event box that has the focus.
    if (g->ops->kind == GADGET_KIND_IMAGE && g->outer != nullptr && GTK_IS_BIN(g->outer))
        if (GtkWidget* frame = gtk_bin_get_child(GTK_BIN(g->outer)); frame != nullptr && GTK_IS_FRAME(frame))
            add_focus_ring(frame);
}

void gadget_editor_set_single_line(ObjectId editor) {
    GadgetRecord* g = live_of_kind(editor, GADGET_KIND_EDITOR);
    if (g == nullptr || g->ops->set_attribute == nullptr) return;
    GadgetLockGuard lock;
    EventSuppressGuard quiet; // cutting a present second line is the program's change
    g->ops->set_attribute(g, EDITOR_SINGLE_LINE, 1);
    editor_centre_line(g->main);
}

void gadget_editor_set_read_only(ObjectId editor, bool read_only) {
    GadgetRecord* g = live_of_kind(editor, GADGET_KIND_EDITOR);
    if (g == nullptr || g->ops->set_attribute == nullptr) return;
    GadgetLockGuard lock;
    g->ops->set_attribute(g, EDITOR_READ_ONLY, read_only ? 1 : 0);
}
