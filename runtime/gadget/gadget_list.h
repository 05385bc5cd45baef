// Gadget lists: the container into which the calling thread's new gadgets go,
// and the default gadget font of the thread. Each thread has one current list;
// window_open makes a new window's layout current, and switching between
// windows saves and restores the list state under "tda_gadgetstack".
#pragma once

#include <cstdint>

typedef struct _GtkWidget GtkWidget;
typedef struct _PangoFontDescription PangoFontDescription;

constexpr int GADGET_LIST_STACK_SIZE = 100;

// Per-thread state, kept in a thread slot; zeroed by its init procedure when
// a thread first uses it.
struct GadgetListState {
    GtkWidget* current_list;             // GtkLayout that receives new gadgets, or null
    std::int32_t stack_depth;            // saved containers in stack
    void* stack[GADGET_LIST_STACK_SIZE]; // saved containers (kept, never pushed here)
    PangoFontDescription* default_font;  // own copy of the font given to every new gadget, or null
    void* current_window;                // object whose list is current, or null
};

// Per-window saved state, attached as "tda_gadgetstack"; freed with its owner.
struct GadgetListStack {
    void* owner;                         // the window or container it belongs to
    GtkWidget* current_list;             // saved current_list
    void* stack[GADGET_LIST_STACK_SIZE]; // saved stack entries
    std::int32_t stack_depth;            // saved stack_depth
};

// Registers the per-thread state with the thread slots. Start-up only (run by
// gadget_init); a second call does nothing.
void gadget_lists_init();

// The calling thread's state (never null after gadget_lists_init).
GadgetListState* gadget_list_state();

// Makes `object`'s gadget list current: a GtkWindow's "tda_gadgetlist" layout
// (made and packed into its box when missing), or the container `object`
// itself. The previous window's list state is saved on it first. Null only
// asks. Returns the previously current window (or object), null when none.
void* gadget_list_use(void* object);
