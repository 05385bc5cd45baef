// A window's focus order, its closing keys and the program's name for
// assistive technology (see window.h).
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // focus chains are how GTK 3 orders Tab

#include "runtime/core/utf_convert.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "runtime/window/window_internal.h"

#include <gtk/gtk.h>

#include <initializer_list>

namespace {

// Data on the toolkit window once its closing keys are bound.
constexpr const char* KEY_CLOSE_KEYS = "tda_close_keys";

// Ctrl+W and Ctrl+Q (user data: the window's id): the close button's request.
gboolean on_close_key(GtkAccelGroup*, GObject*, guint, GdkModifierType, gpointer data) noexcept {
    event_post(EVENT_CLOSE, 0, window_id_from_data(data), 0);
    return TRUE;
}

// One Tab stop for a combo box with an entry: the entry alone in the box it
// shares with the arrow button (the arrow stays for the mouse).
void entry_only_stop(GtkWidget* combo) {
    if (!GTK_IS_COMBO_BOX(combo) || !gtk_combo_box_get_has_entry(GTK_COMBO_BOX(combo))) return;
    GtkWidget* entry = gtk_bin_get_child(GTK_BIN(combo));
    GtkWidget* box = entry != nullptr ? gtk_widget_get_parent(entry) : nullptr;
    if (box == nullptr || box == combo || !GTK_IS_CONTAINER(box)) return;
    GList* only_entry = g_list_append(nullptr, entry);
    gtk_container_set_focus_chain(GTK_CONTAINER(box), only_entry);
    g_list_free(only_entry);
}

// The toolkit names the application by its program name and ignores a name
// set on it; this answer prefers the set name.
const gchar* (*toolkit_root_name)(AtkObject*) = nullptr;

const gchar* root_name(AtkObject* root) noexcept {
    if (root->name != nullptr) return root->name;
    return toolkit_root_name != nullptr ? toolkit_root_name(root) : nullptr;
}

} // namespace

void window_set_focus_order(ObjectId window, const ObjectId* gadgets, std::int64_t count) {
    WindowRecord* record = window_lookup(window);
    if (record == nullptr) return;
    auto* layout = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(record->window), WINDOW_KEY_GADGETLIST));
    if (layout == nullptr || !GTK_IS_CONTAINER(layout)) return;
    if (gadgets == nullptr || count <= 0) {
        gtk_container_unset_focus_chain(GTK_CONTAINER(layout));
        return;
    }
    // An entry that selects its text as Tab reaches it reports the selection
    // before the toolkit's (idle) focus report, and a screen reader then says
    // only "12 selected" for a combo box's entry, without its label or role.
    // Ctrl+A still selects.
    g_object_set(gtk_settings_get_default(), "gtk-entry-select-on-focus", FALSE, nullptr);
    GList* chain = nullptr;
    for (std::int64_t i = 0; i < count; ++i) {
        const GadgetRecord* g = gadget_lookup(gadgets[i]);
        if (g == nullptr) continue;
        GtkWidget* placed = g->outer != nullptr ? g->outer : g->main;
        if (gtk_widget_get_parent(placed) != layout) continue;
        chain = g_list_prepend(chain, placed);
        if (GTK_IS_TEXT_VIEW(g->main)) gtk_text_view_set_accepts_tab(GTK_TEXT_VIEW(g->main), FALSE);
        entry_only_stop(g->main);
    }
    chain = g_list_reverse(chain);
    gtk_container_set_focus_chain(GTK_CONTAINER(layout), chain);
    g_list_free(chain);
}

void window_bind_close_keys(ObjectId window) {
    WindowRecord* record = window_lookup(window);
    if (record == nullptr || record->accelerators == nullptr ||
        g_object_get_data(G_OBJECT(record->window), KEY_CLOSE_KEYS) != nullptr)
        return;
    g_object_set_data(G_OBJECT(record->window), KEY_CLOSE_KEYS, record->window);
    for (guint key : {GDK_KEY_w, GDK_KEY_q}) {
        GClosure* closure = g_cclosure_new(G_CALLBACK(on_close_key), window_id_to_data(window), nullptr);
        gtk_accel_group_connect(record->accelerators, key, GDK_CONTROL_MASK, GTK_ACCEL_VISIBLE, closure);
    }
}

void window_set_application_name(const WideChar* name) {
    AtkObject* root = atk_get_root();
    if (name == nullptr || root == nullptr) return;
    AtkObjectClass* root_class = ATK_OBJECT_GET_CLASS(root);
    if (root_class->get_name != root_name) {
        toolkit_root_name = root_class->get_name;
        root_class->get_name = root_name;
    }
    char* utf8 = string_to_utf8_gtk(name);
    atk_object_set_name(root, utf8);
    g_free(utf8);
}
