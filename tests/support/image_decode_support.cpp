#include "support/image_decode_support.h"

#include "runtime/image/image.h"
#include "runtime/image/image_internal.h"

#include <cstdio>
#include <cstring>

namespace tda_test {

void image_library_start() {
    static bool started = false;
    if (started) return;
    started = true;
    image_decoders_init();
    bmp_decoder_register();
    png_decoder_register();
    image_table_init();
}

std::vector<int> DirectDecode::pixel(int x, int y) const {
    int channels = depth == 32 ? 4 : 3;
    const std::uint8_t* p = block.data() + y * stride + x * channels;
    return std::vector<int>(p, p + channels);
}

bool DirectDecode::outside_untouched() const {
    int channels = depth == 32 ? 4 : 3;
    for (std::int64_t y = 0; y <= height; ++y)
        for (std::int64_t x = y < height ? std::int64_t{width} * channels : 0; x < stride; ++x)
            if (block[y * stride + x] != FILL) return false;
    return true;
}

DirectDecode decode_direct(std::int32_t tag, const Bytes& bytes, std::int32_t flags) {
    // A memory stream, or an empty temporary file for no bytes (fmemopen
    // refuses a zero-sized buffer).
    Bytes copy = bytes;
    std::FILE* file = copy.empty() ? std::tmpfile() : fmemopen(copy.data(), copy.size(), "rb");
    if (file == nullptr) return DirectDecode{};
    return decode_stream(tag, file, flags);
}

DirectDecode decode_stream(std::int32_t tag, std::FILE* file, std::int32_t flags) {
    image_library_start();
    DirectDecode out;
    const ImageDecoder* decoder = nullptr;
    for (int i = 0; i < image_decoder_count(); ++i)
        if (image_decoder_at(i)->tag == tag) decoder = image_decoder_at(i);
    if (decoder == nullptr) {
        std::fclose(file);
        return out;
    }
    ImageDecodeContext* context = image_decode_context();
    std::memset(context, 0, sizeof(*context));
    context->file = file;
    context->path = "(memory)";
    if (decoder->check(context) != 0) {
        out.accepted = true;
        out.width = context->width;
        out.height = context->height;
        out.depth = context->depth == 32 ? 32 : 24;
        out.source_depth = context->source_depth;
        std::int64_t size = 0;
        if (image_layout(context->width, context->height, context->depth, &out.stride, &size)) {
            out.laid_out = true;
            out.block.assign(static_cast<std::size_t>(size), FILL);
            out.decode_result = decoder->decode(context, out.block.data(), out.stride, flags);
        }
        decoder->cleanup(context);
    }
    std::fclose(file);
    std::memset(context, 0, sizeof(*context));
    return out;
}

std::vector<int> pixbuf_pixel(GdkPixbuf* pixels, int x, int y) {
    int channels = gdk_pixbuf_get_n_channels(pixels);
    const guchar* p = gdk_pixbuf_read_pixels(pixels) + y * gdk_pixbuf_get_rowstride(pixels) + x * channels;
    return std::vector<int>(p, p + channels);
}

} // namespace tda_test
