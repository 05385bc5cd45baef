// Combo box gadget: a drop-down list of text items over a three-column list
// store (item data, item text, item image), optionally with an editable entry
// and with texts forced to lower or upper case. A selection change by the
// user posts SUBTYPE_CHANGE; the entry's focus changes post SUBTYPE_FOCUS and
// SUBTYPE_LOST_FOCUS.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/gadget/field_text.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/gadget/kind_text_result.h"

#include "runtime/core/memory.h"

#include <gtk/gtk.h>

#include <cctype>
#include <cstring>

namespace {

// The model behind a list-like gadget; for a combo box a single text column.
// Owned by the gadget, freed by its free slot.
struct ListModelRecord {
    GtkListStore* store;       // the items (the combo box holds the only reference)
    void* selection;           // unused for a combo box: null
    std::int32_t data_column;  // model column of the item data: 0
    std::int32_t text_columns; // number of text columns: 1
    GList* column_map;         // model column of each text column: {1}
};

constexpr gint COLUMN_DATA = 0;  // G_TYPE_POINTER: item data
constexpr gint COLUMN_TEXT = 1;  // G_TYPE_STRING: item text (UTF-8)
constexpr gint COLUMN_IMAGE = 2; // GDK_TYPE_PIXBUF: item image

std::int32_t combo_flags(const GadgetRecord* g) {
    return static_cast<std::int32_t>(g->data1);
}
GtkComboBox* combo_box(const GadgetRecord* g) {
    return GTK_COMBO_BOX(g->main);
}
GtkEntry* combo_entry(const GadgetRecord* g) {
    return reinterpret_cast<GtkEntry*>(g->data2);
}
ListModelRecord* combo_model(const GadgetRecord* g) {
    return reinterpret_cast<ListModelRecord*>(g->data3);
}
GtkTreeModel* combo_tree(const GadgetRecord* g) {
    return GTK_TREE_MODEL(combo_model(g)->store);
}

// Owns a g_malloc'd text for the length of a scope.
struct GText {
    gchar* text;
    ~GText() { g_free(text); }
};

// Lower-cases (to_upper false) or upper-cases every single-byte letter of
// `count` bytes in place, by the process locale's classification. Bytes of
// multi-byte UTF-8 characters are not letters and stay as they are.
void case_map_bytes(char* bytes, std::size_t count, bool to_upper) {
    for (std::size_t i = 0; i < count; ++i) {
        const int c = static_cast<unsigned char>(bytes[i]);
        if (to_upper) {
            if (std::islower(c)) {
                bytes[i] = static_cast<char>(std::toupper(c));
            }
        } else if (std::isupper(c)) {
            bytes[i] = static_cast<char>(std::tolower(c));
        }
    }
}

// The text as the gadget's case flags want it, as a new g_malloc'd copy:
// COMBO_LOWER_CASE wins over COMBO_UPPER_CASE; without either, unchanged.
gchar* combo_case_text(const GadgetRecord* g, const char* utf8) {
    gchar* copy = g_strdup(utf8 != nullptr ? utf8 : "");
    const std::int32_t flags = combo_flags(g);
    if ((flags & COMBO_LOWER_CASE) != 0) {
        case_map_bytes(copy, std::strlen(copy), false);
    } else if ((flags & COMBO_UPPER_CASE) != 0) {
        case_map_bytes(copy, std::strlen(copy), true);
    }
    return copy;
}

// Iterator of item n; false when it does not exist.
bool combo_item(const GadgetRecord* g, std::int64_t n, GtkTreeIter* iter) {
    if (n < 0 || n > G_MAXINT) {
        return false;
    }
    return gtk_tree_model_iter_nth_child(combo_tree(g), iter, nullptr, static_cast<gint>(n)) != FALSE;
}

void combo_focus(GadgetRecord* g) {
    GtkEntry* entry = combo_entry(g);
    gtk_widget_grab_focus(entry != nullptr ? GTK_WIDGET(entry) : g->main);
}

void combo_free(GadgetRecord* g) {
    ListModelRecord* model = combo_model(g);
    if (model == nullptr) {
        return;
    }
    g_list_free(model->column_map);
    mem_free(model);
    g->data3 = 0;
}

std::int64_t combo_get_state(GadgetRecord* g) {
    return gtk_combo_box_get_active(combo_box(g));
}

void combo_set_state(GadgetRecord* g, std::int64_t state) {
    // Indices the toolkit cannot hold clear the selection like -1.
    const gint index = (state >= 0 && state <= G_MAXINT) ? static_cast<gint>(state) : -1;
    gtk_combo_box_set_active(combo_box(g), index);
}

WideChar* combo_get_item_text(GadgetRecord* g, std::int64_t n, std::int32_t column, std::int64_t at) {
    GtkTreeIter iter;
    if (column != 0 || !combo_item(g, n, &iter)) {
        return kind_text_result("", at);
    }
    GText text{nullptr};
    gtk_tree_model_get(combo_tree(g), &iter, COLUMN_TEXT, &text.text, -1);
    return kind_text_result(text.text, at);
}

WideChar* combo_get_text(GadgetRecord* g, std::int64_t at) {
    if (GtkEntry* entry = combo_entry(g)) {
        return kind_text_result(gtk_entry_get_text(entry), at);
    }
    const gint active = gtk_combo_box_get_active(combo_box(g));
    if (active < 0) {
        return kind_text_result("", at);
    }
    return combo_get_item_text(g, active, 0, at);
}

// Selects the first item whose text equals the (case-converted) text; with
// none, puts the text into the entry, or clears the selection without one.
void combo_set_text(GadgetRecord* g, const char* utf8) {
    GText wanted{combo_case_text(g, utf8)};
    GtkTreeModel* tree = combo_tree(g);
    GtkTreeIter iter;
    gint index = 0;
    for (gboolean more = gtk_tree_model_get_iter_first(tree, &iter); more != FALSE;
         more = gtk_tree_model_iter_next(tree, &iter), ++index) {
        GText item{nullptr};
        gtk_tree_model_get(tree, &iter, COLUMN_TEXT, &item.text, -1);
        if (item.text != nullptr && std::strcmp(item.text, wanted.text) == 0) {
            gtk_combo_box_set_active(combo_box(g), index);
            return;
        }
    }
    if (GtkEntry* entry = combo_entry(g)) {
        gtk_entry_set_text(entry, wanted.text);
    } else {
        gtk_combo_box_set_active(combo_box(g), -1);
    }
}

// Inserts an item at `position` (negative or past the end: appended).
std::int64_t combo_add_item(GadgetRecord* g, std::int64_t position, const char* utf8, GdkPixbuf* image) {
    GText text{combo_case_text(g, utf8)};
    GtkListStore* store = combo_model(g)->store;
    if (position < 0 || position > G_MAXINT) {
        position = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr);
    }
    GtkTreeIter iter;
    gtk_list_store_insert(store, &iter, static_cast<gint>(position));
    gtk_list_store_set(store, &iter, COLUMN_TEXT, text.text, COLUMN_DATA, nullptr, -1);
    if (image != nullptr && (combo_flags(g) & COMBO_IMAGES) != 0) {
        gtk_list_store_set(store, &iter, COLUMN_IMAGE, image, -1);
    }
    return 1;
}

void combo_remove_item(GadgetRecord* g, std::int64_t n) {
    GtkTreeIter iter;
    if (combo_item(g, n, &iter)) {
        gtk_list_store_remove(combo_model(g)->store, &iter);
    }
}

void combo_clear_items(GadgetRecord* g) {
    gtk_list_store_clear(combo_model(g)->store);
    if (GtkEntry* entry = combo_entry(g)) {
        gtk_entry_set_text(entry, "");
    }
}

std::int64_t combo_count_items(GadgetRecord* g) {
    return gtk_tree_model_iter_n_children(combo_tree(g), nullptr);
}

void combo_set_item_text(GadgetRecord* g, std::int64_t n, const char* utf8, std::int32_t column) {
    GtkTreeIter iter;
    if (column != 0 || !combo_item(g, n, &iter)) {
        return;
    }
    GText text{combo_case_text(g, utf8)};
    gtk_list_store_set(combo_model(g)->store, &iter, COLUMN_TEXT, text.text, -1);
}

void combo_set_item_data(GadgetRecord* g, std::int64_t n, std::int64_t value) {
    GtkTreeIter iter;
    if (combo_item(g, n, &iter)) {
        gtk_list_store_set(combo_model(g)->store, &iter, COLUMN_DATA,
                           reinterpret_cast<gpointer>(static_cast<std::intptr_t>(value)), -1);
    }
}

std::int64_t combo_get_item_data(GadgetRecord* g, std::int64_t n) {
    GtkTreeIter iter;
    if (!combo_item(g, n, &iter)) {
        return 0;
    }
    gpointer value = nullptr;
    gtk_tree_model_get(combo_tree(g), &iter, COLUMN_DATA, &value, -1);
    return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(value));
}

void combo_set_item_image(GadgetRecord* g, std::int64_t n, GdkPixbuf* image) {
    GtkTreeIter iter;
    if ((combo_flags(g) & COMBO_IMAGES) == 0 || !combo_item(g, n, &iter)) {
        return;
    }
    if (image != nullptr && !GDK_IS_PIXBUF(image)) {
        return;
    }
    gtk_list_store_set(combo_model(g)->store, &iter, COLUMN_IMAGE, image, -1);
}

void combo_set_font(GadgetRecord* g, PangoFontDescription* font) {
    gadget_widget_set_font(g->main, font);
    g_object_set(G_OBJECT(reinterpret_cast<GtkCellRenderer*>(g->data4)), "font-desc", font, nullptr);
    if (GtkEntry* entry = combo_entry(g)) {
        gadget_widget_set_font(GTK_WIDGET(entry), font);
    }
}

PangoFontDescription* combo_get_font(GadgetRecord* g) {
    return gadget_widget_get_font(g->main);
}

const GadgetOps* combo_ops() {
    static const GadgetOps ops = [] {
        GadgetOps o{};
        o.size = sizeof(GadgetOps);
        o.kind = GADGET_KIND_COMBO;
        o.focus = combo_focus;
        o.free = combo_free;
        o.get_state = combo_get_state;
        o.set_state = combo_set_state;
        o.get_text = combo_get_text;
        o.set_text = combo_set_text;
        o.add_item = combo_add_item;
        o.remove_item = combo_remove_item;
        o.clear_items = combo_clear_items;
        o.count_items = combo_count_items;
        o.get_item_text = combo_get_item_text;
        o.set_item_text = combo_set_item_text;
        o.set_font = combo_set_font;
        o.set_item_data = combo_set_item_data;
        o.get_item_data = combo_get_item_data;
        o.get_font = combo_get_font;
        o.set_item_image = combo_set_item_image;
        return o;
    }();
    return &ops;
}

// "changed" of the combo box: one change for the gadget.
void on_combo_changed(GtkComboBox* combo, gpointer data) noexcept {
    gadget_post_event(GTK_WIDGET(combo), gadget_id_from_data(data), SUBTYPE_CHANGE);
}

// "insert-text" filter of the entry: inserts the typed text case-mapped
// instead of as typed. The handler blocks itself around its own insertion,
// which still passes through any other filter connected to the entry.
void combo_filter_insert(GtkEditable* editable, const gchar* text, gint length, gpointer position, gpointer filter,
                         bool to_upper) {
    const std::size_t count = length >= 0 ? static_cast<std::size_t>(length) : std::strlen(text);
    gchar* mapped = static_cast<gchar*>(g_malloc(count + 1));
    std::memcpy(mapped, text, count);
    mapped[count] = '\0';
    case_map_bytes(mapped, count, to_upper);
    const auto match = static_cast<GSignalMatchType>(G_SIGNAL_MATCH_FUNC | G_SIGNAL_MATCH_DATA);
    g_signal_handlers_block_matched(editable, match, 0, 0, nullptr, filter, nullptr);
    gtk_editable_insert_text(editable, mapped, static_cast<gint>(count), static_cast<gint*>(position));
    g_signal_handlers_unblock_matched(editable, match, 0, 0, nullptr, filter, nullptr);
    g_signal_stop_emission_by_name(editable, "insert-text");
    g_free(mapped);
}

// "insert-text" filter of the entry, connected before the case filters: a
// text is inserted only up to its first line or paragraph separator and as
// far as the entry has room (field_text_keep). The kept part is inserted in
// its place, passing through every filter again, and the original insertion
// is stopped.
void on_entry_insert_line(GtkEditable* editable, gchar* text, gint length, gpointer position,
                          gpointer /*data*/) noexcept {
    if (text == nullptr) return;
    const std::size_t whole = length < 0 ? std::strlen(text) : static_cast<std::size_t>(length);
    const std::size_t keep = field_text_keep(text, whole, gtk_entry_get_text_length(GTK_ENTRY(editable)));
    if (keep == whole) return;
    g_signal_stop_emission_by_name(editable, "insert-text");
    if (keep > 0) gtk_editable_insert_text(editable, text, static_cast<gint>(keep), static_cast<gint*>(position));
}

void on_entry_insert_lower(GtkEditable* editable, gchar* text, gint length, gpointer position,
                           gpointer /*data*/) noexcept {
    combo_filter_insert(editable, text, length, position, reinterpret_cast<gpointer>(on_entry_insert_lower), false);
}

void on_entry_insert_upper(GtkEditable* editable, gchar* text, gint length, gpointer position,
                           gpointer /*data*/) noexcept {
    combo_filter_insert(editable, text, length, position, reinterpret_cast<gpointer>(on_entry_insert_upper), true);
}

// What combo_finish needs besides the record.
struct ComboOrder {
    GtkWidget* combo;
    GtkCellRenderer* text_cell;
    std::int32_t width, height, flags;
};

// Allocates the model record first: when it cannot be had nothing else has
// been changed, and the gadget is abandoned.
bool combo_finish(GadgetRecord* g, ObjectId id, void* context) {
    const auto* order = static_cast<const ComboOrder*>(context);
    auto* model = static_cast<ListModelRecord*>(mem_alloc_zeroed(sizeof(ListModelRecord)));
    if (model == nullptr) {
        return false;
    }
    GtkWidget* combo = order->combo;
    g_signal_connect(combo, "changed", G_CALLBACK(on_combo_changed), GADGET_ID_DATA(id));
    gtk_widget_set_size_request(combo, order->width, order->height);

    g->data3 = reinterpret_cast<std::intptr_t>(model);
    g->data4 = reinterpret_cast<std::intptr_t>(order->text_cell);
    g->data1 = order->flags;

    if ((order->flags & COMBO_EDITABLE) != 0) {
        GtkWidget* entry = gtk_bin_get_child(GTK_BIN(combo));
        gtk_entry_set_width_chars(GTK_ENTRY(entry), 0);
        g->data2 = reinterpret_cast<std::intptr_t>(entry);
        g_object_set_data(G_OBJECT(entry), GADGET_KEY_ID, GADGET_ID_DATA(id + 1));
        g_signal_connect(entry, "insert-text", G_CALLBACK(on_entry_insert_line), nullptr);
        if ((order->flags & COMBO_LOWER_CASE) != 0) {
            g_signal_connect(entry, "insert-text", G_CALLBACK(on_entry_insert_lower), nullptr);
        }
        if ((order->flags & COMBO_UPPER_CASE) != 0) {
            g_signal_connect(entry, "insert-text", G_CALLBACK(on_entry_insert_upper), nullptr);
        }
        gadget_connect_focus_handlers(entry, id);
    } else {
        g->data2 = 0;
    }

    model->store = GTK_LIST_STORE(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)));
    model->selection = nullptr;
    model->data_column = COLUMN_DATA;
    model->text_columns = 1;
    model->column_map = g_list_append(nullptr, GINT_TO_POINTER(COLUMN_TEXT));
    return true;
}

} // namespace

// Creates a combo box gadget in the current gadget list. Returns the id for
// AUTO_NUMBER, else the combo box; 0 when there is no current list or a
// widget, the store or the model record cannot be made. Takes no lock.
ObjectId gadget_combo_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                             std::int32_t flags) {
    GtkWidget* box = gtk_event_box_new();
    if (box == nullptr) {
        return 0;
    }
    GtkListStore* store = gtk_list_store_new(3, G_TYPE_POINTER, G_TYPE_STRING, GDK_TYPE_PIXBUF);
    const bool editable = (flags & COMBO_EDITABLE) != 0;
    GtkWidget* combo = nullptr;
    if (store != nullptr) {
        combo = editable ? gtk_combo_box_new_with_model_and_entry(GTK_TREE_MODEL(store))
                         : gtk_combo_box_new_with_model(GTK_TREE_MODEL(store));
        g_object_unref(store); // the combo box holds the only reference now
    }
    if (combo == nullptr) {
        g_object_ref_sink(box);
        g_object_unref(box);
        return 0;
    }
    if (editable) {
        gtk_combo_box_set_entry_text_column(GTK_COMBO_BOX(combo), COLUMN_TEXT);
        gtk_cell_layout_clear(GTK_CELL_LAYOUT(combo));
    }
    GtkCellRenderer* image_cell = gtk_cell_renderer_pixbuf_new();
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), image_cell, FALSE);
    gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(combo), image_cell, "pixbuf", COLUMN_IMAGE);
    GtkCellRenderer* text_cell = gtk_cell_renderer_text_new();
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), text_cell, TRUE);
    gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(combo), text_cell, "text", COLUMN_TEXT);
    gtk_container_add(GTK_CONTAINER(box), combo);

    ComboOrder order{combo, text_cell, width, height, flags};
    return gadget_create(number, x, y, {combo, box, combo_ops(), combo_finish, &order});
}
