// Shared part of the decoder fuzz targets: runs one registered decoder on the
// input bytes the way image_load does, and checks that the decoder wrote
// nothing outside the image's rows (row padding and the spare row keep their
// marker bytes). A violation aborts, which the fuzzer reports as a crash.
#pragma once

#include "runtime/image/image.h"
#include "runtime/image/image_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace fuzz {

constexpr std::uint8_t MARK = 0x5C;
constexpr std::int64_t BLOCK_LIMIT = std::int64_t{64} << 20; // larger blocks: image_load's target covers them

inline void start_library() {
    static bool started = false;
    if (started) return;
    started = true;
    image_decoders_init();
    bmp_decoder_register();
    png_decoder_register();
}

inline void run_decoder(std::int32_t tag, const std::uint8_t* data, std::size_t size) {
    start_library();
    const ImageDecoder* decoder = nullptr;
    for (int i = 0; i < image_decoder_count(); ++i)
        if (image_decoder_at(i)->tag == tag) decoder = image_decoder_at(i);
    if (decoder == nullptr || size == 0) return;
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr) return;
    ImageDecodeContext* context = image_decode_context();
    std::memset(context, 0, sizeof(*context));
    context->file = file;
    context->path = "(fuzz)";
    if (decoder->check(context) != 0) {
        std::int64_t stride = 0, block_size = 0;
        if (image_layout(context->width, context->height, context->depth, &stride, &block_size) &&
            block_size <= BLOCK_LIMIT) {
            auto* block = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(block_size)));
            if (block != nullptr) {
                std::int64_t used = std::int64_t{context->width} * (context->depth == 32 ? 4 : 3);
                std::int64_t height = context->height;
                for (std::int64_t y = 0; y < height; ++y)
                    std::memset(block + y * stride + used, MARK, stride - used);
                std::memset(block + height * stride, MARK, stride);
                for (std::int32_t flags : {0, IMAGE_DECODE_BOTTOM_UP}) {
                    decoder->decode(context, block, stride, flags);
                    for (std::int64_t y = 0; y < height; ++y)
                        for (std::int64_t x = used; x < stride; ++x)
                            if (block[y * stride + x] != MARK) std::abort();
                    for (std::int64_t x = 0; x < stride; ++x)
                        if (block[height * stride + x] != MARK) std::abort();
                    if (tag == IMAGE_FORMAT_PNG) break; // libpng's rows are read once
                }
                std::free(block);
            }
        }
        decoder->cleanup(context);
    }
    std::fclose(file);
}

} // namespace fuzz
