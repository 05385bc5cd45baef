// image_load: probe the file with each registered decoder, decode into pixel
// blocks of our own and wrap them in GdkPixbuf objects.
#include "runtime/core/linked_list.h"
#include "runtime/core/utf_convert.h"
#include "runtime/image/image_block.h"
#include "runtime/image/image_internal.h"

#include <glib-object.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void free_pixels(guchar* pixels, gpointer) {
    std::free(pixels);
}

// One frame: allocates the block, lets the decoder fill it and wraps it.
// Null when the block cannot be had or the toolkit refuses the buffer; the
// decoder's result is not examined (a file that fails part-way still gives
// an image).
GdkPixbuf* decode_frame(ImageDecodeContext* context, std::int64_t stride, std::int64_t block_size) {
    auto* block = static_cast<std::uint8_t*>(image_block_alloc(static_cast<std::size_t>(block_size)));
    if (block == nullptr) return nullptr;
    context->decoder->decode(context, block, stride, 0);
    GdkPixbuf* pixels = gdk_pixbuf_new_from_data(block, GDK_COLORSPACE_RGB, context->depth == 32, 8, context->width,
                                                 context->height, static_cast<int>(stride), free_pixels, nullptr);
    if (pixels == nullptr) std::free(block);
    return pixels;
}

// Drops every frame's pixels and the list itself.
void free_frames(LinkedList* frames) {
    for (std::int64_t i = 0;; ++i) {
        auto* frame = static_cast<ImageFrame*>(list_select(frames, i));
        if (frame == nullptr) break;
        if (frame->pixels != nullptr) g_object_unref(frame->pixels);
    }
    list_free(frames);
}

// Offers the open file to each decoder in registration order; the first that
// accepts is stored in the context.
bool probe(ImageDecodeContext* context) {
    int count = image_decoder_count();
    for (int i = 0; i < count; ++i) {
        const ImageDecoder* decoder = image_decoder_at(i);
        if (std::fseek(context->file, 0, SEEK_SET) != 0) return false;
        if (decoder->check != nullptr && decoder->check(context) != 0) {
            context->decoder = decoder;
            return true;
        }
    }
    return false;
}

// Builds the record's pixels from the accepted file. False when nothing could
// be made.
bool build(ImageDecodeContext* context, ImageRecord* record) {
    std::int64_t stride = 0, block_size = 0;
    if (context->decoder->decode == nullptr) return false;
    if (!image_layout(context->width, context->height, context->depth, &stride, &block_size)) return false;
    GdkPixbuf* pixels = nullptr;
    LinkedList* frames = nullptr;
    std::int32_t delay = context->frame_delay;
    if (context->frame_count <= 1) {
        pixels = decode_frame(context, stride, block_size);
    } else {
        frames = list_create(sizeof(ImageFrame), nullptr, nullptr, 0);
        if (frames == nullptr) return false;
        for (std::int32_t i = 0; i < context->frame_count; ++i) {
            auto* frame = static_cast<ImageFrame*>(list_add(frames));
            if (frame == nullptr) break;
            frame->pixels = decode_frame(context, stride, block_size);
            frame->delay = context->frame_delay;
        }
        auto* first = static_cast<ImageFrame*>(list_select(frames, 0));
        if (first != nullptr) {
            pixels = first->pixels;
            delay = first->delay;
        }
        if (pixels == nullptr) {
            free_frames(frames);
            return false;
        }
    }
    if (pixels == nullptr) return false;
    record->width = static_cast<std::int16_t>(context->width);
    record->height = static_cast<std::int16_t>(context->height);
    record->depth = static_cast<std::int16_t>(context->depth == 32 ? 32 : 24);
    record->source_depth = static_cast<std::int16_t>(context->source_depth);
    record->format = context->decoder->tag;
    record->frame_count = context->frame_count;
    record->frames = frames;
    record->frame_delay = delay;
    record->pixels = pixels; // last: a non-null first field makes the record live
    return true;
}

// Object data on a pixel buffer: its double-size drawing (a reference).
constexpr const char* KEY_DOUBLE_SIZE = "tda_image_2x";

// "dir/logo.png" -> "dir/logo@2x.png"; a name without an extension gets
// "@2x" at the end.
std::string double_size_name(const char* name) {
    std::string path = name;
    std::size_t slash = path.rfind('/');
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
    path.insert(dot, "@2x");
    return path;
}

// The first frame of the file at `name` when it is exactly width x height
// pixels, through the registered decoders; null otherwise.
GdkPixbuf* load_exact(const char* name, std::int32_t width, std::int32_t height) {
    ImageDecodeContext* context = image_decode_context();
    if (context == nullptr) return nullptr;
    std::memset(context, 0, sizeof(*context));
    context->path = name;
    context->file = std::fopen(name, "rb");
    GdkPixbuf* pixels = nullptr;
    if (context->file != nullptr) {
        if (probe(context)) {
            std::int64_t stride = 0, block_size = 0;
            if (context->decoder->decode != nullptr && context->width == width && context->height == height &&
                image_layout(context->width, context->height, context->depth, &stride, &block_size))
                pixels = decode_frame(context, stride, block_size);
            if (context->decoder->cleanup != nullptr) context->decoder->cleanup(context);
        }
        std::fclose(context->file);
    }
    std::memset(context, 0, sizeof(*context));
    return pixels;
}

void attach_double_size(const char* name, GdkPixbuf* pixels) {
    std::string twice = double_size_name(name);
    GdkPixbuf* big = load_exact(twice.c_str(), 2 * gdk_pixbuf_get_width(pixels), 2 * gdk_pixbuf_get_height(pixels));
    if (big != nullptr) g_object_set_data_full(G_OBJECT(pixels), KEY_DOUBLE_SIZE, big, g_object_unref);
}

} // namespace

GdkPixbuf* image_double_size(GdkPixbuf* pixels) {
    if (pixels == nullptr) return nullptr;
    return static_cast<GdkPixbuf*>(g_object_get_data(G_OBJECT(pixels), KEY_DOUBLE_SIZE));
}

ObjectId image_load(ObjectId number, const WideChar* path) {
    ObjectTable* table = image_table();
    if (table == nullptr) return 0;
    char* name = string_to_utf8(path);
    if (name == nullptr) return 0;
    auto* record = static_cast<ImageRecord*>(object_allocate(table, number));
    ImageDecodeContext* context = image_decode_context();
    bool loaded = false;
    if (record != nullptr && context != nullptr) {
        std::memset(context, 0, sizeof(*context));
        context->path = name;
        context->file = std::fopen(name, "rb");
        if (context->file != nullptr) {
            if (probe(context)) {
                loaded = build(context, record);
                if (context->decoder->cleanup != nullptr) context->decoder->cleanup(context);
            }
            std::fclose(context->file);
            context->file = nullptr;
        }
        context->path = nullptr;
    }
    if (loaded) attach_double_size(name, record->pixels);
    std::free(name);
    if (record == nullptr) return 0;
    ObjectId id = number == AUTO_NUMBER ? reinterpret_cast<ObjectId>(record) : number;
    if (!loaded) {
        object_release(table, id);
        return 0;
    }
    return number == AUTO_NUMBER ? id : reinterpret_cast<ObjectId>(record->pixels);
}
