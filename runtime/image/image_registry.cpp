// The decoder registry and the per-thread decode context.
#include "runtime/core/thread_slots.h"
#include "runtime/image/image_internal.h"

namespace {

// Filled at start-up only, read without a lock afterwards.
const ImageDecoder* registered[IMAGE_DECODERS_MAX]; // in registration order
int registered_count = 0;                           // entries in use

std::int64_t context_offset = -1; // slot of the ImageDecodeContext, -1 before init

} // namespace

// Empties the registry and makes the context slot (no init or release
// procedure: the context is cleared at the start of every load).
void image_decoders_init() {
    registered_count = 0;
    if (context_offset < 0) context_offset = thread_slot_register(sizeof(ImageDecodeContext), nullptr, nullptr);
}

// Appends a decoder; a full registry ignores further ones.
void image_decoder_register(const ImageDecoder* decoder) {
    if (decoder == nullptr || registered_count >= IMAGE_DECODERS_MAX) return;
    registered[registered_count++] = decoder;
}

int image_decoder_count() {
    return registered_count;
}

const ImageDecoder* image_decoder_at(int index) {
    return index >= 0 && index < registered_count ? registered[index] : nullptr;
}

// The calling thread's context, or null before image_decoders_init (or when
// the thread's slot area cannot be allocated).
ImageDecodeContext* image_decode_context() {
    if (context_offset < 0) return nullptr;
    return static_cast<ImageDecodeContext*>(thread_slot_get(context_offset));
}
