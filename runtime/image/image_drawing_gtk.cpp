// The image library's per-thread drawing state: room for a cairo surface and
// context, a font object and a chain of saved states, released when a thread
// ends. Nothing in this system draws onto images, so the slot stays empty;
// the release procedure still destroys whatever it holds.
#include "runtime/core/memory.h"
#include "runtime/core/thread_slots.h"
#include "runtime/image/image.h"

#include <cairo.h>
#include <glib-object.h>

namespace {

// One saved drawing state.
struct ImageDrawingSaved {
    ImageDrawingSaved* next;  // older saved state
    GObject* object;          // a reference held by the saved state, or null
    cairo_pattern_t* pattern; // the saved source pattern, or null
};

struct ImageDrawingState {
    cairo_surface_t* surface; // surface drawn on, or null
    cairo_t* context;         // cairo context on the surface, or null
    GObject* font;            // font object in use (one reference), or null
    ImageDrawingSaved* saved; // newest saved state (blocks from mem_alloc), or null
};

std::int64_t drawing_offset = -1; // the slot, -1 before image_drawing_init

// Release procedure of the slot: destroys what the ending thread's state holds
// and resets it.
void release_drawing_state(void* slot) {
    auto* state = static_cast<ImageDrawingState*>(slot);
    if (state->context != nullptr) cairo_destroy(state->context);
    if (state->surface != nullptr) cairo_surface_destroy(state->surface);
    if (state->font != nullptr) g_object_unref(state->font);
    for (ImageDrawingSaved* saved = state->saved; saved != nullptr;) {
        ImageDrawingSaved* next = saved->next;
        if (saved->object != nullptr) g_object_unref(saved->object);
        if (saved->pattern != nullptr) cairo_pattern_destroy(saved->pattern);
        mem_free(saved);
        saved = next;
    }
    *state = ImageDrawingState{};
}

} // namespace

// Registers the drawing-state slot (once) with its release procedure.
void image_drawing_init() {
    if (drawing_offset < 0)
        drawing_offset = thread_slot_register(sizeof(ImageDrawingState), nullptr, release_drawing_state);
}
