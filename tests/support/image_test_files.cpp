#include "support/image_test_files.h"

#include <png.h>

#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace tda_test {

namespace {

void put16(Bytes& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

Bytes bmp_bytes(const BmpLayout& layout) {
    std::size_t palette_at = 14 + layout.info_size;
    std::size_t header_end = palette_at < 54 ? 54 : palette_at;
    Bytes out(header_end + 4 * layout.palette.size(), 0);
    out[0] = 'B';
    out[1] = 'M';
    put16(out, 6, layout.reserved1);
    put16(out, 8, layout.reserved2);
    put32(out, 14, layout.info_size);
    put32(out, 18, static_cast<std::uint32_t>(layout.width));
    put32(out, 22, static_cast<std::uint32_t>(layout.height));
    put16(out, 26, 1);
    put16(out, 28, layout.bits);
    put32(out, 30, layout.compression);
    put32(out, 34, static_cast<std::uint32_t>(layout.pixel_data.size()));
    put32(out, 46, layout.colours_used);
    for (std::size_t i = 0; i < layout.palette.size(); ++i) {
        std::uint32_t c = layout.palette[i];
        out[palette_at + 4 * i] = static_cast<std::uint8_t>(c);
        out[palette_at + 4 * i + 1] = static_cast<std::uint8_t>(c >> 8);
        out[palette_at + 4 * i + 2] = static_cast<std::uint8_t>(c >> 16);
        out[palette_at + 4 * i + 3] = 0;
    }
    std::size_t offset = layout.pixel_offset >= 0 ? static_cast<std::size_t>(layout.pixel_offset) : out.size();
    if (offset > out.size()) out.resize(offset, 0);
    put32(out, 10, static_cast<std::uint32_t>(layout.pixel_offset >= 0 ? layout.pixel_offset : offset));
    if (offset + layout.pixel_data.size() > out.size()) out.resize(offset + layout.pixel_data.size(), 0);
    if (!layout.pixel_data.empty())
        std::memcpy(out.data() + offset, layout.pixel_data.data(), layout.pixel_data.size());
    put32(out, 2, static_cast<std::uint32_t>(out.size()));
    return out;
}

Bytes bmp_pack_rows(std::int32_t width, std::uint16_t bits,
                    const std::vector<std::vector<std::uint32_t>>& rows_bottom_first) {
    std::size_t row_bytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    Bytes out(row_bytes * rows_bottom_first.size(), 0);
    for (std::size_t y = 0; y < rows_bottom_first.size(); ++y) {
        std::uint8_t* row = out.data() + y * row_bytes;
        const auto& values = rows_bottom_first[y];
        for (std::size_t x = 0; x < values.size() && x < static_cast<std::size_t>(width); ++x) {
            std::uint32_t v = values[x];
            switch (bits) {
            case 1:
                row[x / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<std::uint8_t>((v & 15) << (x % 2 ? 0 : 4));
                break;
            case 8:
                row[x] = static_cast<std::uint8_t>(v);
                break;
            case 16:
                row[2 * x] = static_cast<std::uint8_t>(v);
                row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                break;
            case 24:
            case 32: {
                std::size_t at = x * (bits / 8);
                row[at] = static_cast<std::uint8_t>(v);
                row[at + 1] = static_cast<std::uint8_t>(v >> 8);
                row[at + 2] = static_cast<std::uint8_t>(v >> 16);
                break;
            }
            default:
                break;
            }
        }
    }
    return out;
}

int png_channels(int colour_type) {
    switch (colour_type) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

namespace {

void write_to_bytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flush_nothing(png_structp) {}

[[noreturn]] void writer_error(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void writer_warning(png_structp, png_const_charp) {}

// Packs one row of samples into the file's bit depth (big-endian as PNG wants).
void pack_row(const PngLayout& layout, std::uint32_t y, png_bytep row) {
    std::size_t per_row = static_cast<std::size_t>(layout.width) * png_channels(layout.colour_type);
    const std::uint32_t* in = layout.samples.data() + y * per_row;
    int d = layout.bit_depth;
    std::memset(row, 0, (per_row * d + 7) / 8);
    for (std::size_t i = 0; i < per_row; ++i) {
        std::uint32_t v = in[i];
        if (d == 16) {
            row[2 * i] = static_cast<png_byte>(v >> 8);
            row[2 * i + 1] = static_cast<png_byte>(v);
        } else if (d == 8) {
            row[i] = static_cast<png_byte>(v);
        } else {
            std::size_t bit = i * d;
            row[bit / 8] |= static_cast<png_byte>((v & ((1u << d) - 1)) << (8 - d - bit % 8));
        }
    }
}

// The libpng calls of png_bytes, in their own frame (see png_bytes).
void write_png(png_structp png, png_infop info, const PngLayout& layout, Bytes* out, png_bytep row) {
    png_set_write_fn(png, out, write_to_bytes, flush_nothing);
    png_set_IHDR(png, info, layout.width, layout.height, layout.bit_depth, layout.colour_type,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    if (layout.colour_type == 3) {
        int n = static_cast<int>(layout.palette.size());
        for (int i = 0; i < n && i < 256; ++i) {
            palette[i].red = static_cast<png_byte>(layout.palette[i] >> 16);
            palette[i].green = static_cast<png_byte>(layout.palette[i] >> 8);
            palette[i].blue = static_cast<png_byte>(layout.palette[i]);
        }
        png_set_PLTE(png, info, palette, n < 256 ? n : 256);
        if (!layout.palette_alpha.empty())
            png_set_tRNS(png, info, layout.palette_alpha.data(), static_cast<int>(layout.palette_alpha.size()),
                         nullptr);
    } else if (layout.grey_transparent) {
        png_color_16 colour{};
        colour.gray = static_cast<png_uint_16>(layout.transparent_grey);
        colour.red = static_cast<png_uint_16>(layout.transparent_rgb[0]);
        colour.green = static_cast<png_uint_16>(layout.transparent_rgb[1]);
        colour.blue = static_cast<png_uint_16>(layout.transparent_rgb[2]);
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    if (layout.compression_level >= 0) {
        png_set_compression_level(png, layout.compression_level);
        png_set_filter(png, 0, PNG_FILTER_NONE);
    }
    png_write_info(png, info);
    int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < layout.height; ++y) {
            pack_row(layout, y, row);
            png_write_row(png, row);
        }
    }
    png_write_end(png, info);
}

} // namespace

// The setjmp frame holds only values fixed before it; the vector lives in the
// caller, the row buffer is malloc'd.
static bool png_bytes_into(const PngLayout& layout, Bytes* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, writer_error, writer_warning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    png_bytep row = static_cast<png_bytep>(std::malloc(static_cast<std::size_t>(layout.width) * 8 + 8));
    if (info == nullptr || row == nullptr) {
        png_destroy_write_struct(&png, &info);
        std::free(row);
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        std::free(row);
        return false;
    }
    write_png(png, info, layout, out, row);
    png_destroy_write_struct(&png, &info);
    std::free(row);
    return true;
}

Bytes png_bytes(const PngLayout& layout) {
    Bytes out;
    if (!png_bytes_into(layout, &out)) out.clear();
    return out;
}

bool write_file(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string write_temp_file(const Bytes& bytes, const std::string& name) {
    static std::string dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/tda-image-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        dir = made != nullptr ? made : "/tmp";
        if (made != nullptr)
            std::atexit([] {
                std::error_code ignored;
                std::filesystem::remove_all(dir, ignored);
            });
    }
    std::string path = dir + "/" + name;
    write_file(path, bytes);
    return path;
}

} // namespace tda_test
