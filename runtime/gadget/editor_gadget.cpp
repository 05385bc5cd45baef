// Editor gadget: a multi-line text view in a scrolled window. Its items are
// the lines of the text (without their line breaks). Changes made by the user
// post SUBTYPE_CHANGE; focus changes post SUBTYPE_FOCUS / SUBTYPE_LOST_FOCUS.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/gadget/field_text.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/gadget/kind_text_result.h"

#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"

#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

#include <cstring>

namespace {

GtkTextView* editor_view(const GadgetRecord* g) {
    return GTK_TEXT_VIEW(g->main);
}
GtkTextBuffer* editor_buffer(const GadgetRecord* g) {
    return gtk_text_view_get_buffer(editor_view(g));
}

// Owns a g_malloc'd text for the length of a scope.
struct GText {
    gchar* text;
    ~GText() { g_free(text); }
};

WideChar* editor_get_text(GadgetRecord* g, std::int64_t at) {
    GtkTextBuffer* buffer = editor_buffer(g);
    GtkTextIter start;
    GtkTextIter end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    GText text{gtk_text_buffer_get_text(buffer, &start, &end, TRUE)};
    return kind_text_result(text.text, at);
}

void editor_set_text(GadgetRecord* g, const char* utf8) {
    gtk_text_buffer_set_text(editor_buffer(g), utf8 != nullptr ? utf8 : "", -1);
}

// Inserts `utf8` as a line at `position`. An empty buffer simply takes the
// text; a position of -1 (or any negative one) or at or past the last line
// appends the text after a line break; otherwise the text and a line break
// go in front of that line.
std::int64_t editor_add_item(GadgetRecord* g, std::int64_t position, const char* utf8, GdkPixbuf* /*image*/) {
    GtkTextBuffer* buffer = editor_buffer(g);
    const char* text = utf8 != nullptr ? utf8 : "";
    const gint lines = gtk_text_buffer_get_line_count(buffer);
    const gint chars = gtk_text_buffer_get_char_count(buffer);
    GtkTextIter iter;
    if (lines == 1 && chars == 0) {
        gtk_text_buffer_get_start_iter(buffer, &iter);
        gtk_text_buffer_insert(buffer, &iter, text, -1);
        return 0;
    }
    const std::int64_t limit = lines == 1 ? 1 : lines - 1;
    if (position < 0 || position >= limit) {
        gtk_text_buffer_get_end_iter(buffer, &iter);
        gtk_text_buffer_insert(buffer, &iter, "\n", -1);
        gtk_text_buffer_get_end_iter(buffer, &iter);
        gtk_text_buffer_insert(buffer, &iter, text, -1);
        return 0;
    }
    gtk_text_buffer_get_iter_at_line(buffer, &iter, static_cast<gint>(position));
    gtk_text_buffer_insert(buffer, &iter, text, -1); // iter ends after the inserted text
    gtk_text_buffer_insert(buffer, &iter, "\n", -1);
    return 0;
}

// Whether line n exists (0 <= n < line count).
bool editor_has_line(GtkTextBuffer* buffer, std::int64_t n) {
    return n >= 0 && n < gtk_text_buffer_get_line_count(buffer);
}

// Start and end (before the line break) of line n, which must exist.
void editor_line_bounds(GtkTextBuffer* buffer, std::int64_t n, GtkTextIter* start, GtkTextIter* end) {
    gtk_text_buffer_get_iter_at_line(buffer, start, static_cast<gint>(n));
    *end = *start;
    if (!gtk_text_iter_ends_line(end)) {
        gtk_text_iter_forward_to_line_end(end);
    }
}

void editor_clear_items(GadgetRecord* g) {
    editor_set_text(g, "");
}

std::int64_t editor_count_items(GadgetRecord* g) {
    GtkTextBuffer* buffer = editor_buffer(g);
    if (gtk_text_buffer_get_char_count(buffer) == 0) {
        return 0;
    }
    return gtk_text_buffer_get_line_count(buffer);
}

WideChar* editor_get_item_text(GadgetRecord* g, std::int64_t n, std::int32_t /*column*/, std::int64_t at) {
    GtkTextBuffer* buffer = editor_buffer(g);
    if (!editor_has_line(buffer, n)) {
        return kind_text_result("", at);
    }
    GtkTextIter start;
    GtkTextIter end;
    editor_line_bounds(buffer, n, &start, &end);
    GText text{gtk_text_buffer_get_text(buffer, &start, &end, TRUE)};
    return kind_text_result(text.text, at);
}

void editor_set_item_text(GadgetRecord* g, std::int64_t n, const char* utf8, std::int32_t /*column*/) {
    GtkTextBuffer* buffer = editor_buffer(g);
    if (!editor_has_line(buffer, n)) {
        return;
    }
    GtkTextIter start;
    GtkTextIter end;
    editor_line_bounds(buffer, n, &start, &end);
    gtk_text_buffer_delete(buffer, &start, &end); // start now marks the emptied line
    gtk_text_buffer_insert(buffer, &start, utf8 != nullptr ? utf8 : "", -1);
}

// Deletes line n with one line break: the break before it for the last line,
// the break after it for any other line.
void editor_remove_item(GadgetRecord* g, std::int64_t n) {
    GtkTextBuffer* buffer = editor_buffer(g);
    if (!editor_has_line(buffer, n)) {
        return;
    }
    const std::int64_t last = gtk_text_buffer_get_line_count(buffer) - 1;
    GtkTextIter start;
    GtkTextIter end;
    if (n == last) {
        editor_line_bounds(buffer, n, &start, &end);
        gtk_text_iter_backward_char(&start); // stays put on the first line
    } else {
        gtk_text_buffer_get_iter_at_line(buffer, &start, static_cast<gint>(n));
        gtk_text_buffer_get_iter_at_line(buffer, &end, static_cast<gint>(n + 1));
    }
    gtk_text_buffer_delete(buffer, &start, &end);
}

// Data key on the view of a single-line editor (any non-null value).
constexpr const char* EDITOR_KEY_SINGLE_LINE = "tda_single_line";

// Buffer "insert-text" of a single-line editor (user data: unused): a text
// is inserted only up to its first line or paragraph separator and as far as
// the field has room (field_text_keep). The kept part is inserted in its
// place (emitting this signal again, now taken whole) and the original
// insertion is stopped; `location` ends after the inserted text, as the
// default handler leaves it.
void on_single_line_insert(GtkTextBuffer* buffer, GtkTextIter* location, gchar* text, gint length, gpointer) noexcept {
    if (text == nullptr) return;
    const std::size_t whole = length < 0 ? std::strlen(text) : static_cast<std::size_t>(length);
    const std::size_t keep = field_text_keep(text, whole, gtk_text_buffer_get_char_count(buffer));
    if (keep == whole) return;
    g_signal_stop_emission_by_name(buffer, "insert-text");
    if (keep > 0) gtk_text_buffer_insert(buffer, location, text, static_cast<gint>(keep));
}

// "key-press-event" of a single-line editor's view (user data: id + 1):
// Return and Enter post SUBTYPE_ENTER_KEY and are consumed, so no line break
// goes in; every other key goes on to the view. An input method that is
// composing gets Enter first (to commit its text), and then nothing is posted.
gboolean on_single_line_key(GtkWidget* view, GdkEventKey* event, gpointer data) noexcept {
    const guint key = event->keyval;
    if (key != GDK_KEY_Return && key != GDK_KEY_KP_Enter && key != GDK_KEY_ISO_Enter) return FALSE;
    if (gtk_text_view_im_context_filter_keypress(GTK_TEXT_VIEW(view), event)) return TRUE;
    const auto stored = reinterpret_cast<std::intptr_t>(data);
    if (stored != 0) gadget_post_event(view, static_cast<ObjectId>(stored - 1), SUBTYPE_ENTER_KEY);
    return TRUE;
}

// Makes the editor single-line once: connects the two handlers above and
// cuts its present text as the insert filter would.
void editor_make_single_line(GadgetRecord* g) {
    GtkTextView* view = editor_view(g);
    if (g_object_get_data(G_OBJECT(view), EDITOR_KEY_SINGLE_LINE) != nullptr) return;
    g_object_set_data(G_OBJECT(view), EDITOR_KEY_SINGLE_LINE, view);
    GtkTextBuffer* buffer = editor_buffer(g);
    GtkTextIter start;
    GtkTextIter end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    GText text{gtk_text_buffer_get_text(buffer, &start, &end, TRUE)};
    const std::size_t keep = field_text_keep(text.text, std::strlen(text.text), 0);
    if (text.text[keep] != '\0') {
        gtk_text_buffer_get_iter_at_offset(buffer, &start, static_cast<gint>(g_utf8_strlen(text.text, keep)));
        gtk_text_buffer_delete(buffer, &start, &end);
    }
    g_signal_connect(buffer, "insert-text", G_CALLBACK(on_single_line_insert), nullptr);
    gpointer id_plus_one = g_object_get_data(G_OBJECT(view), GADGET_KEY_ID);
    g_signal_connect(view, "key-press-event", G_CALLBACK(on_single_line_key), id_plus_one);
}

// The states a screen reader reads from every text view: GTK reports each as
// multi-line and says nothing of read-only. A single-line editor reports
// SINGLE_LINE instead, a view that rejects typing READ_ONLY, and every view
// SELECTABLE_TEXT. Installed once, over the toolkit's own answer.
AtkStateSet* (*toolkit_view_states)(AtkObject*) = nullptr;

AtkStateSet* editor_view_states(AtkObject* accessible) noexcept {
    AtkStateSet* states = toolkit_view_states(accessible);
    GtkWidget* view = gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible));
    if (states == nullptr || view == nullptr || !GTK_IS_TEXT_VIEW(view)) return states;
    if (g_object_get_data(G_OBJECT(view), EDITOR_KEY_SINGLE_LINE) != nullptr) {
        atk_state_set_remove_state(states, ATK_STATE_MULTI_LINE);
        atk_state_set_add_state(states, ATK_STATE_SINGLE_LINE);
    }
    if (!gtk_text_view_get_editable(GTK_TEXT_VIEW(view))) atk_state_set_add_state(states, ATK_STATE_READ_ONLY);
    atk_state_set_add_state(states, ATK_STATE_SELECTABLE_TEXT);
    return states;
}

void install_editor_view_states() {
    auto* access_class = static_cast<AtkObjectClass*>(g_type_class_ref(GTK_TYPE_TEXT_VIEW_ACCESSIBLE));
    if (access_class == nullptr || access_class->ref_state_set == editor_view_states) return;
    toolkit_view_states = access_class->ref_state_set;
    access_class->ref_state_set = editor_view_states; // the class reference is kept for good
}

// Tells a screen reader that already holds the view's states about a change.
void notify_view_state(GadgetRecord* g, AtkStateType state, bool value) {
    if (AtkObject* accessible = gtk_widget_get_accessible(g->main))
        atk_object_notify_state_change(accessible, state, value ? TRUE : FALSE);
}

std::int64_t editor_get_attribute(GadgetRecord* g, std::int32_t code) {
    switch (code) {
    case EDITOR_READ_ONLY:
        return gtk_text_view_get_editable(editor_view(g)) ? 0 : 1;
    case EDITOR_WORD_WRAP:
        return gtk_text_view_get_wrap_mode(editor_view(g)) == GTK_WRAP_WORD ? 1 : 0;
    case EDITOR_SINGLE_LINE:
        return g_object_get_data(G_OBJECT(editor_view(g)), EDITOR_KEY_SINGLE_LINE) != nullptr ? 1 : 0;
    default:
        return 0;
    }
}

void editor_set_attribute(GadgetRecord* g, std::int32_t code, std::int64_t value) {
    switch (code) {
    case EDITOR_READ_ONLY:
        gtk_text_view_set_editable(editor_view(g), value == 0 ? TRUE : FALSE);
        notify_view_state(g, ATK_STATE_READ_ONLY, value != 0);
        break;
    case EDITOR_WORD_WRAP:
        gtk_text_view_set_wrap_mode(editor_view(g), value != 0 ? GTK_WRAP_WORD : GTK_WRAP_NONE);
        break;
    case EDITOR_SINGLE_LINE:
        if (value != 0) {
            editor_make_single_line(g);
            notify_view_state(g, ATK_STATE_MULTI_LINE, false);
            notify_view_state(g, ATK_STATE_SINGLE_LINE, true);
        }
        break;
    default:
        break;
    }
}

void editor_set_font(GadgetRecord* g, PangoFontDescription* font) {
    gadget_widget_set_font(g->main, font);
}

PangoFontDescription* editor_get_font(GadgetRecord* g) {
    return gadget_widget_get_font(g->main);
}

void editor_set_color(GadgetRecord* g, std::int32_t selector, std::int32_t colour) {
    gadget_apply_color(g, g->main, selector, colour);
}

std::int64_t editor_get_color(GadgetRecord* g, std::int32_t selector) {
    return gadget_stored_color(g, selector);
}

const GadgetOps* editor_ops() {
    static const GadgetOps ops = [] {
        GadgetOps o{};
        o.size = sizeof(GadgetOps);
        o.kind = GADGET_KIND_EDITOR;
        o.get_text = editor_get_text;
        o.set_text = editor_set_text;
        o.add_item = editor_add_item;
        o.remove_item = editor_remove_item;
        o.clear_items = editor_clear_items;
        o.count_items = editor_count_items;
        o.get_item_text = editor_get_item_text;
        o.set_item_text = editor_set_item_text;
        o.set_font = editor_set_font;
        o.get_attribute = editor_get_attribute;
        o.set_attribute = editor_set_attribute;
        o.set_color = editor_set_color;
        o.get_color = editor_get_color;
        o.get_font = editor_get_font;
        install_editor_view_states();
        return o;
    }();
    return &ops;
}

// Buffer "changed" (user data: the view): one change for the gadget named by
// the view's "tda_id", unless a close request waits at the head of the queue.
void on_editor_changed(GtkTextBuffer* /*buffer*/, gpointer view) noexcept {
    if (event_peek_type() == EVENT_CLOSE) {
        return;
    }
    const std::intptr_t stored = reinterpret_cast<std::intptr_t>(g_object_get_data(G_OBJECT(view), "tda_id"));
    if (stored == 0) {
        return; // not registered (or already gone)
    }
    gadget_post_event(GTK_WIDGET(view), static_cast<ObjectId>(stored - 1), SUBTYPE_CHANGE);
}

} // namespace

namespace {

// GTK counts the vertical scrollbar's whole minimum length (about 46 pixels
// with the default theme) in a scrolled window's minimum height, overlay
// scrollbars or not, so an editor asked for 30 pixels would be laid out 48
// tall and cover what lies below it. A shorter minimum slider for this one
// scrollbar lets the requested size hold; the scrollbar still appears and
// works when the text overflows.
void keep_requested_height(GtkWidget* scroller) noexcept {
    static GtkCssProvider* short_scrollbar = nullptr;
    if (short_scrollbar == nullptr) {
        short_scrollbar = gtk_css_provider_new();
        gtk_css_provider_load_from_data(short_scrollbar,
                                        "scrollbar.vertical slider { min-height: 4px; }"
                                        "scrollbar.vertical button { min-height: 0; padding: 0; }",
                                        -1, nullptr);
    }
    GtkWidget* bar = gtk_scrolled_window_get_vscrollbar(GTK_SCROLLED_WINDOW(scroller));
    if (bar != nullptr)
        gtk_style_context_add_provider(gtk_widget_get_style_context(bar), GTK_STYLE_PROVIDER(short_scrollbar),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

} // namespace

namespace {

// What editor_finish needs besides the record.
struct EditorOrder {
    std::int32_t width, height, flags;
};

bool editor_finish(GadgetRecord* g, ObjectId id, void* context) {
    const auto* order = static_cast<const EditorOrder*>(context);
    gtk_widget_set_size_request(g->outer, order->width, order->height);
    if ((order->flags & EDITOR_READ_ONLY) != 0) {
        g->ops->set_attribute(g, EDITOR_READ_ONLY, 1);
    }
    if ((order->flags & EDITOR_WORD_WRAP) != 0) {
        gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(g->main), GTK_WRAP_WORD);
    }
    // The change handler reads the id from the view's "tda_id", which exists
    // only once the gadget is registered; nothing changes the text before.
    g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(g->main)), "changed", G_CALLBACK(on_editor_changed),
                     g->main);
    gadget_connect_focus_handlers(g->main, id);
    return true;
}

} // namespace

// Creates an editor gadget in the current gadget list. Returns the id for
// AUTO_NUMBER, else the text view; 0 when there is no current list or the
// gadget cannot be made. Takes no lock.
ObjectId gadget_editor_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                              std::int32_t flags) {
    GtkWidget* view = gtk_text_view_new();
    if (view == nullptr) {
        return 0;
    }
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_ETCHED_IN);
    gtk_container_add(GTK_CONTAINER(scroller), view);
    keep_requested_height(scroller);

    EditorOrder order{width, height, flags};
    return gadget_create(number, x, y, {view, scroller, editor_ops(), editor_finish, &order});
}
