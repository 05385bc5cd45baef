// Per-thread current gadget list, saved and restored per window.
#include "runtime/gadget/gadget_list.h"

#include "runtime/core/memory.h"
#include "runtime/core/thread_slots.h"

#include <gtk/gtk.h>

#include <cstring>

namespace {

constexpr const char* KEY_GADGETLIST = "tda_gadgetlist";
constexpr const char* KEY_GADGETSTACK = "tda_gadgetstack";

std::int64_t state_offset = -1;

// Used when the slot area cannot be had (no registration, or no memory), so
// callers always get a state.
thread_local GadgetListState fallback_state;

void state_init(void* slot) {
    auto* state = static_cast<GadgetListState*>(slot);
    state->current_list = nullptr;
    state->stack_depth = 0;
    state->default_font = nullptr;
    state->current_window = nullptr;
}

// Release of an ending thread's state: its own copy of the default font.
void state_release(void* slot) {
    auto* state = static_cast<GadgetListState*>(slot);
    if (state->default_font) pango_font_description_free(state->default_font);
    state->default_font = nullptr;
}

std::int32_t clamped_depth(std::int32_t depth) {
    if (depth < 0) return 0;
    return depth > GADGET_LIST_STACK_SIZE ? GADGET_LIST_STACK_SIZE : depth;
}

// Destroy notification of "tda_gadgetstack": forgets the owner when it was the
// current window of the notifying thread, then frees the saved state.
void stack_destroyed(gpointer data) {
    auto* saved = static_cast<GadgetListStack*>(data);
    GadgetListState* state = gadget_list_state();
    if (state->current_window == saved->owner) {
        state->current_window = nullptr;
        state->current_list = nullptr;
        state->stack_depth = 0;
    }
    mem_free(saved);
}

// "destroy" of a widget that owns a saved state: drops the data at once, so
// that the notification above runs when the widget is destroyed rather than
// when its last reference goes.
void owner_destroyed(GtkWidget* widget, gpointer) noexcept {
    g_object_set_data(G_OBJECT(widget), KEY_GADGETSTACK, nullptr);
}

// The last child that gtk_container_foreach visits.
void remember_child(GtkWidget* child, gpointer data) {
    *static_cast<GtkWidget**>(data) = child;
}

// The gadget list of a window: its "tda_gadgetlist", made on demand and packed
// into the window's box. Null when the window has no place for one.
GtkWidget* window_list(GtkWindow* window) {
    auto* list = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window), KEY_GADGETLIST));
    if (list) return list;
    GtkWidget* child = nullptr;
    gtk_container_foreach(GTK_CONTAINER(window), remember_child, &child);
    if (child && !GTK_IS_BOX(child)) return nullptr;
    list = gtk_layout_new(nullptr, nullptr);
    if (!list) return nullptr;
    gtk_widget_show(list);
    if (child)
        gtk_box_pack_start(GTK_BOX(child), list, TRUE, TRUE, 0);
    else
        gtk_container_add(GTK_CONTAINER(window), list);
    g_object_set_data(G_OBJECT(window), KEY_GADGETLIST, list);
    return list;
}

} // namespace

void gadget_lists_init() {
    if (state_offset >= 0) return;
    state_offset = thread_slot_register(sizeof(GadgetListState), state_init, state_release);
}

GadgetListState* gadget_list_state() {
    if (state_offset >= 0) {
        if (void* slot = thread_slot_get(state_offset)) return static_cast<GadgetListState*>(slot);
    }
    return &fallback_state;
}

void* gadget_list_use(void* object) {
    GadgetListState* state = gadget_list_state();
    void* previous = state->current_window;
    if (!object) return previous;

    if (previous) {
        auto* saved = static_cast<GadgetListStack*>(g_object_get_data(G_OBJECT(previous), KEY_GADGETSTACK));
        if (saved) {
            std::int32_t depth = clamped_depth(state->stack_depth);
            saved->current_list = state->current_list;
            saved->stack_depth = depth;
            std::memcpy(saved->stack, state->stack, sizeof(void*) * static_cast<std::size_t>(depth));
        }
    }

    GtkWidget* list = GTK_IS_WINDOW(object) ? window_list(GTK_WINDOW(object)) : static_cast<GtkWidget*>(object);

    auto* saved = static_cast<GadgetListStack*>(g_object_get_data(G_OBJECT(object), KEY_GADGETSTACK));
    if (saved) {
        std::int32_t depth = clamped_depth(saved->stack_depth);
        state->current_list = saved->current_list;
        state->stack_depth = depth;
        std::memcpy(state->stack, saved->stack, sizeof(void*) * static_cast<std::size_t>(depth));
    } else {
        state->current_list = list;
        state->stack_depth = 0;
        saved = static_cast<GadgetListStack*>(mem_alloc_zeroed(sizeof(GadgetListStack)));
        if (saved) {
            saved->owner = object;
            g_object_set_data_full(G_OBJECT(object), KEY_GADGETSTACK, saved, stack_destroyed);
            if (GTK_IS_WIDGET(object)) g_signal_connect(object, "destroy", G_CALLBACK(owner_destroyed), nullptr);
        }
    }
    state->current_window = object;
    return previous;
}
