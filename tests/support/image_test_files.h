// Image files made in code for the image tests, the fuzz seed corpora and
// benchmarks: BMP bytes written field by field, PNG files written with
// libpng's writer. Display-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tda_test {

using Bytes = std::vector<std::uint8_t>;

// A BMP file: header fields as they are to be written. pixel_data follows the
// palette unless pixel_offset says otherwise.
struct BmpLayout {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colours_used = 0;     // header field as written
    std::vector<std::uint32_t> palette; // 0x00RRGGBB per entry, written B, G, R, 0
    Bytes pixel_data;                   // stored rows (bottom row first) or RLE data
    std::uint32_t info_size = 40;       // information header size field
    std::uint16_t reserved1 = 0;        // offset 6
    std::uint16_t reserved2 = 0;        // offset 8
    std::int64_t pixel_offset = -1;     // offset 10; -1: right after the palette
};

// The bytes of the file described by layout.
Bytes bmp_bytes(const BmpLayout& layout);

// Packs stored rows (bottom row first) of pixel values into padded BMP rows:
// values are palette indexes (1, 4, 8 bits), 16-bit words (16 bits) or
// 0x00RRGGBB colours (24, 32 bits, written B, G, R[, 0]).
Bytes bmp_pack_rows(std::int32_t width, std::uint16_t bits,
                    const std::vector<std::vector<std::uint32_t>>& rows_bottom_first);

// A PNG image: samples row by row, channels interleaved, each sample at the
// file's bit depth (0 .. 2^bit_depth - 1). For palette images the samples are
// indexes into palette.
struct PngLayout {
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    int colour_type = 2; // PNG colour type 0, 2, 3, 4, 6
    int bit_depth = 8;
    bool interlaced = false;
    std::vector<std::uint32_t> samples;           // width * channels * height samples
    std::vector<std::uint32_t> palette;           // 0x00RRGGBB entries (colour type 3)
    std::vector<std::uint8_t> palette_alpha;      // tRNS alpha per palette entry (colour type 3)
    bool grey_transparent = false;                // tRNS for colour types 0 / 2
    std::uint32_t transparent_grey = 0;           // tRNS grey value (colour type 0)
    std::uint32_t transparent_rgb[3] = {0, 0, 0}; // tRNS colour (colour type 2)
    int compression_level = -1;                   // zlib level, -1: libpng's default
};

// Samples per pixel of a PNG colour type.
int png_channels(int colour_type);

// The bytes of a PNG file written by libpng; empty if libpng refused.
Bytes png_bytes(const PngLayout& layout);

// Writes bytes to a new file in a per-process temporary directory and returns
// its path.
std::string write_temp_file(const Bytes& bytes, const std::string& name);

// Writes bytes to path; false on failure.
bool write_file(const std::string& path, const Bytes& bytes);

} // namespace tda_test
