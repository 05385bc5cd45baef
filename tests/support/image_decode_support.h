// Drives the image library in the image tests: start-up of the display-free
// parts, decoders run by hand on bytes in memory, pixels read back.
#pragma once

#include "support/image_test_files.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace tda_test {

// Once per process: decoder registry and context slot, BMP then PNG decoder,
// the image table (no display needed).
void image_library_start();

// Result of running one decoder by hand on bytes, as image_load would.
struct DirectDecode {
    bool accepted = false;  // check took the bytes
    bool laid_out = false;  // the size gave a valid block layout
    int decode_result = -1; // decode's result (-1: not called)
    std::int32_t width = 0, height = 0, depth = 0, source_depth = 0;
    std::int64_t stride = 0;
    std::vector<std::uint8_t> block; // stride * (height + 1) bytes, filled with FILL before decode

    // Pixel (x, y) of the block as R, G, B[, A].
    std::vector<int> pixel(int x, int y) const;
    // True when nothing was written outside the rows' pixels (row padding
    // and the spare row still hold FILL).
    bool outside_untouched() const;
};

constexpr std::uint8_t FILL = 0xA5;

// Runs check, decode (with flags) and cleanup of the decoder with tag on the
// bytes (read through a memory stream).
DirectDecode decode_direct(std::int32_t tag, const Bytes& bytes, std::int32_t flags = 0);

// The same on an open stream (which the call closes).
DirectDecode decode_stream(std::int32_t tag, std::FILE* file, std::int32_t flags = 0);

// Pixel (x, y) of a GdkPixbuf as R, G, B[, A].
std::vector<int> pixbuf_pixel(GdkPixbuf* pixels, int x, int y);

} // namespace tda_test
