// PNG decoder over libpng's sequential reading interface: every colour type
// and bit depth becomes 8-bit R, G, B (depth 24) or R, G, B, A (depth 32) rows.
//
// Errors return through setjmp. Each entry that calls libpng sets up its own
// error return and leaves the libpng work to a separate function, so the frame
// that holds the jmp_buf keeps only values fixed before setjmp and no object
// with a destructor lives across it. Errors and warnings print nothing.
#include "runtime/image/image.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace {

// libpng calls this on an error: back to the caller's setjmp, silently.
[[noreturn]] void quiet_error(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// Warnings (ancillary chunk trouble and the like) are dropped.
void quiet_warning(png_structp, png_const_charp) {}

// Source depth by the file's colour type, bit depth and tRNS chunk.
std::int32_t source_depth(int colour_type, int bit_depth, bool transparency) {
    switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY:
        return transparency && bit_depth < 8 ? 8 : bit_depth;
    case PNG_COLOR_TYPE_RGB:
        return transparency ? 32 : 24;
    case PNG_COLOR_TYPE_PALETTE:
        return transparency ? 32 : bit_depth;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return bit_depth;
    default:
        return 32;
    }
}

// The libpng part of check, run under the error return set up by png_check.
// Returns 1 when the header was read and the transformations give 8-bit RGB
// or RGBA rows that fit the layout of the depth reported.
int read_header(png_structp png, ImageDecodeContext* context) {
    png_set_error_fn(png, png_get_error_ptr(png), quiet_error, quiet_warning);
    png_init_io(png, context->file);
    png_set_sig_bytes(png, 8);
#ifdef TDA_FUZZING
    // Fuzzing builds accept bad CRCs so that mutated files reach the decoder.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
    png_infop info = png_create_info_struct(png);
    context->data = info;
    if (info == nullptr) return 0;
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, colour_type = 0, interlace = 0, compression = 0, filter = 0;
    png_get_IHDR(png, info, &width, &height, &bit_depth, &colour_type, &interlace, &compression, &filter);
    bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

    if (transparency) png_set_tRNS_to_alpha(png);
    if (colour_type == PNG_COLOR_TYPE_PALETTE || colour_type == PNG_COLOR_TYPE_GRAY ||
        colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (bit_depth < 8) png_set_expand(png);
        if (colour_type == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(png);
        else
            png_set_gray_to_rgb(png);
    }
    if (bit_depth == 16) png_set_strip_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    png_uint_32 out_width = 0, out_height = 0;
    int out_depth = 0, out_type = 0;
    png_get_IHDR(png, info, &out_width, &out_height, &out_depth, &out_type, &interlace, &compression, &filter);
    context->width = static_cast<std::int32_t>(out_width);
    context->height = static_cast<std::int32_t>(out_height);
    context->colour_type = out_type;
    context->bit_depth = out_depth;
    context->depth = out_type == PNG_COLOR_TYPE_RGB ? 24 : 32;
    context->source_depth = source_depth(colour_type, bit_depth, transparency);

    // libpng writes png_get_rowbytes bytes per row; refuse anything that
    // would not fit the row of the depth reported.
    if (out_depth != 8 || (out_type != PNG_COLOR_TYPE_RGB && out_type != PNG_COLOR_TYPE_RGB_ALPHA)) return 0;
    if (png_get_rowbytes(png, info) > png_size_t{out_width} * static_cast<png_size_t>(context->depth / 8)) return 0;
    return 1;
}

// Destroys the structures through copies of the pointers, so that no local
// of a frame holding a jmp_buf changes after its setjmp.
void destroy_copies(png_structp png, png_infop info) {
    png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
}

// Destroys both structures held in the context and clears them.
void destroy(ImageDecodeContext* context) {
    png_structp png = static_cast<png_structp>(context->state);
    if (png != nullptr) destroy_copies(png, static_cast<png_infop>(context->data));
    context->state = nullptr;
    context->data = nullptr;
}

// Accepts a PNG file: signature, header, transformations (see read_header).
// On any libpng error both structures are destroyed and 0 returned.
int png_check(ImageDecodeContext* context) {
    png_byte signature[8];
    if (std::fread(signature, 1, sizeof(signature), context->file) != sizeof(signature)) return 0;
    if (png_sig_cmp(signature, 0, sizeof(signature)) != 0) return 0;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quiet_error, quiet_warning);
    context->state = png;
    context->data = nullptr;
    if (png == nullptr) return 0;
    if (setjmp(png_jmpbuf(png)) != 0) {
        destroy(context);
        return 0;
    }
    if (read_header(png, context) == 0) {
        destroy(context);
        return 0;
    }
    return 1;
}

// The libpng part of decode: every pass reads all rows, one at a time.
int read_rows(png_structp png, ImageDecodeContext* context, std::uint8_t* buffer, std::int64_t stride,
              std::int32_t flags) {
    int passes = png_set_interlace_handling(png);
    bool bottom_up = (flags & IMAGE_DECODE_BOTTOM_UP) != 0;
    std::int64_t height = context->height;
    for (int pass = 0; pass < passes; ++pass) {
        png_bytep row = bottom_up ? buffer + (height - 1) * stride : buffer;
        for (std::int64_t y = 0; y < height; ++y) {
            png_read_rows(png, &row, nullptr, 1);
            row = bottom_up ? row - stride : row + stride;
        }
    }
    return 1;
}

// Writes the rows; 0 as soon as libpng reports an error (the rows written so
// far stay; cleanup releases the structures).
int png_decode(ImageDecodeContext* context, std::uint8_t* buffer, std::int64_t stride, std::int32_t flags) {
    png_structp png = static_cast<png_structp>(context->state);
    if (png == nullptr || context->data == nullptr || buffer == nullptr || context->height <= 0) return 0;
    if (stride < std::int64_t{context->width} * (context->depth / 8)) return 0;
    if (setjmp(png_jmpbuf(png)) != 0) return 0;
    return read_rows(png, context, buffer, stride, flags);
}

// Destroys the read and information structures (copies of the context's
// pointers are handed to libpng).
void png_cleanup(ImageDecodeContext* context) {
    png_structp png = static_cast<png_structp>(context->state);
    png_infop info = static_cast<png_infop>(context->data);
    if (png == nullptr) return;
    // Destroying raises no error, but no libpng call runs without a live
    // error return: a stale one from decode's frame must never be used.
    if (setjmp(png_jmpbuf(png)) != 0) return;
    destroy_copies(png, info);
}

const ImageDecoder png_decoder = {png_check, png_decode, png_cleanup, IMAGE_FORMAT_PNG};
bool png_registered = false; // set by the first registration

} // namespace

// Appends the PNG decoder to the registry; calls after the first do nothing.
void png_decoder_register() {
    if (png_registered) return;
    png_registered = true;
    image_decoder_register(&png_decoder);
}
