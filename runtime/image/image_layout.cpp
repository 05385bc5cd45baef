// Pixel block layout of one frame.
#include "runtime/image/image.h"

// depth 32: R, G, B, A, stride 4 x width. Otherwise R, G, B with the stride
// raised to a multiple of 4 (3 x width + (width AND 3)). One spare row.
bool image_layout(std::int32_t width, std::int32_t height, std::int32_t depth, std::int64_t* stride,
                  std::int64_t* block_size) {
    if (width <= 0 || height <= 0 || width > IMAGE_DIMENSION_MAX || height > IMAGE_DIMENSION_MAX) return false;
    std::int64_t w = width;
    std::int64_t row = depth == 32 ? 4 * w : 3 * w + (w & 3);
    std::int64_t size = row * (std::int64_t{height} + 1); // at most 131068 x 32768: no overflow
    if (size > IMAGE_BLOCK_MAX) return false;
    *stride = row;
    *block_size = size;
    return true;
}
