// BMP decoder: reads the whole file into one block and converts the common
// bit depths into 8-bit R, G, B rows (output depth 24, no alpha).
//
// Malformed files. The decoder reads only inside the file's bytes and writes
// only inside the image's rows, whatever the header says:
//   - file shorter than the 54-byte header (0 to 53 bytes, or a header shorter
//     than it claims): FAIL, check refuses it (the next decoder is tried);
//   - ftell fails, or the file is larger than BMP_FILE_MAX: FAIL (refused);
//   - the file shrinks between the size probe and the read: the block keeps
//     only the bytes actually read and everything below CLIPs to them; if not
//     even the 54-byte header arrived, FAIL;
//   - width or height above 32767, or a block too large: FAIL (image_load);
//   - pixel-row offset at or past the end of the file: CLIP, no row is
//     written (the image is made, its rows stay black as allocated);
//   - truncated rows: CLIP, the whole pixels present are written, then STOP;
//   - palette offset or colours-used count beyond the file's end or into the
//     pixel rows: CLIP, only the entries that lie wholly inside the file and
//     before the pixel rows are converted (into a lookup; the file's bytes
//     are never changed);
//   - palette index beyond the converted entries: the pixel is black;
//   - bits-per-pixel / compression pairs that do not match: the conversion
//     table decides (e.g. 24 bits with RLE8 reads plain rows; 16 bits with
//     RLE writes nothing);
//   - RLE8 run or absolute run past the end of a row: CLIP, pixels at x >=
//     width are dropped, x still advances;
//   - RLE8 delta, end of line or run that leaves the last row: STOP, nothing
//     further can land in the image;
//   - RLE8 absolute run cut off by the end of the file: CLIP, then STOP;
//   - RLE8 data without an end-of-bitmap mark: STOP at the end of the file
//     (every step consumes at least two bytes, so the loop always ends);
//   - an end-of-bitmap right after the last row: accepted as usual.
#include "runtime/image/image.h"
#include "runtime/image/image_block.h"

#include <cstdlib>
#include <cstring>

#include <immintrin.h>

namespace {

constexpr std::int64_t BMP_HEADER_SIZE = 54;                 // file header + information header
constexpr std::int64_t BMP_FILE_HEADER_SIZE = 14;            // what check reads first
constexpr std::int64_t BMP_FILE_MAX = std::int64_t{1} << 30; // larger files are refused

// The whole file in one malloc block: this header, then the file's bytes.
struct BmpFile {
    std::int64_t length;   // bytes of the file held after this header
    std::int64_t reserved; // keeps the bytes 16-byte aligned
};

std::uint8_t* file_bytes(BmpFile* file) {
    return reinterpret_cast<std::uint8_t*>(file + 1);
}

std::uint32_t read_u16(const std::uint8_t* p) {
    return p[0] | (std::uint32_t{p[1]} << 8);
}
std::uint32_t read_u32(const std::uint8_t* p) {
    return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
std::int32_t read_i32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(read_u32(p));
}

// Colour lookup of palette-indexed pixels: every index 0..255 has an entry;
// indexes beyond the file's palette read black.
struct Palette {
    std::uint8_t rgb[256][3]; // R, G, B per index
};

// Converts the palette (blue, green, red, unused becomes red, green, blue)
// into the lookup. Only entries that lie inside the file and before the pixel
// rows count: a colours-used count larger than the palette the file holds
// never reads pixel bytes as colours. The file's bytes stay as they are.
void convert_palette(const BmpFile* file, std::uint32_t bits, Palette* palette) {
    std::memset(palette, 0, sizeof(*palette));
    const std::uint8_t* bytes = reinterpret_cast<const std::uint8_t*>(file + 1);
    std::int64_t offset = BMP_FILE_HEADER_SIZE + std::int64_t{read_u32(bytes + 14)};
    std::int64_t rows = read_u32(bytes + 10);
    std::int64_t count = read_u32(bytes + 46);
    if (count == 0) count = std::int64_t{1} << bits;
    std::int64_t end = rows > offset && rows < file->length ? rows : file->length;
    std::int64_t room = offset < end ? (end - offset) / 4 : 0;
    if (count > room) count = room;
    if (count > 256) count = 256;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = bytes + offset + 4 * i;
        palette->rgb[i][0] = entry[2];
        palette->rgb[i][1] = entry[1];
        palette->rgb[i][2] = entry[0];
    }
}

// Row converters: each writes pixels R, G, B triples to out from the stored
// row at in, which holds at least the bytes those pixels need.

void row_1bit(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels) {
    for (std::int64_t x = 0; x < pixels; ++x) {
        std::uint8_t v = (in[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
        out[0] = v;
        out[1] = v;
        out[2] = v;
        out += 3;
    }
}

// Writes the palette colour of index (three bytes, nothing past the pixel).
inline void put_indexed(std::uint8_t* out, const Palette& palette, unsigned index) {
    std::memcpy(out, palette.rgb[index], 3);
}

void row_4bit(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels, const Palette& palette) {
    std::int64_t pairs = pixels >> 1;
    for (std::int64_t i = 0; i < pairs; ++i) {
        std::uint8_t b = in[i];
        put_indexed(out, palette, b >> 4);
        put_indexed(out + 3, palette, b & 15);
        out += 6;
    }
    if (pixels & 1) put_indexed(out, palette, in[pairs] >> 4);
}

void row_8bit(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels, const Palette& palette) {
    std::int64_t x = 0;
    for (; x + 4 <= pixels; x += 4) {
        put_indexed(out, palette, in[x]);
        put_indexed(out + 3, palette, in[x + 1]);
        put_indexed(out + 6, palette, in[x + 2]);
        put_indexed(out + 9, palette, in[x + 3]);
        out += 12;
    }
    for (; x < pixels; ++x) {
        put_indexed(out, palette, in[x]);
        out += 3;
    }
}

void row_16bit_555(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels) {
    for (std::int64_t x = 0; x < pixels; ++x) {
        std::uint32_t v = read_u16(in + 2 * x);
        out[0] = static_cast<std::uint8_t>(((v >> 10) & 31) * 8);
        out[1] = static_cast<std::uint8_t>(((v >> 5) & 31) * 8);
        out[2] = static_cast<std::uint8_t>((v & 31) * 8);
        out += 3;
    }
}

void row_16bit_565(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels) {
    for (std::int64_t x = 0; x < pixels; ++x) {
        std::uint32_t v = read_u16(in + 2 * x);
        out[0] = static_cast<std::uint8_t>(((v >> 11) & 31) * 8);
        out[1] = static_cast<std::uint8_t>(((v >> 5) & 63) * 4);
        out[2] = static_cast<std::uint8_t>((v & 31) * 8);
        out += 3;
    }
}

void row_24bit_plain(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels) {
    for (std::int64_t x = 0; x < pixels; ++x) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        in += 3;
        out += 3;
    }
}

// Four pixels per step with one byte shuffle. Each step loads and stores 16
// bytes of which 12 belong to the four pixels; it runs only while two more
// pixels follow, so neither the load nor the store leaves the row, and the 4
// extra bytes stored are rewritten by the next step.
__attribute__((target("ssse3"))) void row_24bit_ssse3(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    std::int64_t x = 0;
    for (; x + 6 <= pixels; x += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(v, order));
        in += 12;
        out += 12;
    }
    row_24bit_plain(in, out, pixels - x);
}

__attribute__((target("ssse3"))) void row_32bit_ssse3(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    std::int64_t x = 0;
    for (; x + 6 <= pixels; x += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(v, order));
        in += 16;
        out += 12;
    }
    for (; x < pixels; ++x) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        in += 4;
        out += 3;
    }
}

const bool have_ssse3 = __builtin_cpu_supports("ssse3");

void row_24bit(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels) {
    if (have_ssse3)
        row_24bit_ssse3(in, out, pixels);
    else
        row_24bit_plain(in, out, pixels);
}

void row_32bit(const std::uint8_t* in, std::uint8_t* out, std::int64_t pixels) {
    if (have_ssse3) {
        row_32bit_ssse3(in, out, pixels);
        return;
    }
    for (std::int64_t x = 0; x < pixels; ++x) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        in += 4;
        out += 3;
    }
}

enum class RowKind { None, Bits1, Bits4, Bits8, Rle8, Bits16_555, Bits16_565, Bits24, Bits32 };

RowKind row_kind(std::uint32_t bits, std::uint32_t compression) {
    switch (bits) {
    case 1:
        return RowKind::Bits1;
    case 4:
        return compression == 2 ? RowKind::None : RowKind::Bits4;
    case 8:
        return compression == 1 ? RowKind::Rle8 : RowKind::Bits8;
    case 16:
        if (compression == 0) return RowKind::Bits16_555;
        if (compression == 3) return RowKind::Bits16_565;
        return RowKind::None;
    case 24:
        return RowKind::Bits24;
    case 32:
        return RowKind::Bits32;
    default:
        return RowKind::None;
    }
}

// Buffer row of stored row y (stored rows run from the image's bottom up).
inline std::uint8_t* output_row(std::uint8_t* buffer, std::int64_t stride, std::int64_t height, std::int64_t y,
                                bool bottom_up) {
    return buffer + (bottom_up ? y : height - 1 - y) * stride;
}

void decode_rows(RowKind kind, const std::uint8_t* bytes, std::int64_t length, std::int64_t offset, std::int64_t width,
                 std::int64_t height, std::uint32_t bits, const Palette& palette, std::uint8_t* buffer,
                 std::int64_t stride, bool bottom_up) {
    std::int64_t row_bytes = (width * bits + 31) / 32 * 4;
    for (std::int64_t y = 0; y < height; ++y) {
        std::int64_t start = offset + y * row_bytes;
        if (start >= length) return;
        std::int64_t pixels = width;
        std::int64_t available = length - start;
        if (available * 8 < width * bits) pixels = available * 8 / bits; // truncated: last row
        if (pixels <= 0) return;
        const std::uint8_t* in = bytes + start;
        std::uint8_t* out = output_row(buffer, stride, height, y, bottom_up);
        switch (kind) {
        case RowKind::Bits1:
            row_1bit(in, out, pixels);
            break;
        case RowKind::Bits4:
            row_4bit(in, out, pixels, palette);
            break;
        case RowKind::Bits8:
            row_8bit(in, out, pixels, palette);
            break;
        case RowKind::Bits16_555:
            row_16bit_555(in, out, pixels);
            break;
        case RowKind::Bits16_565:
            row_16bit_565(in, out, pixels);
            break;
        case RowKind::Bits24:
            row_24bit(in, out, pixels);
            break;
        case RowKind::Bits32:
            row_32bit(in, out, pixels);
            break;
        default:
            return;
        }
        if (pixels < width) return;
    }
}

// Writes count pixels of one colour from x on in stored row y, dropping those
// outside the row.
void rle_fill(std::uint8_t* row, std::int64_t x, std::int64_t count, std::int64_t width, const std::uint8_t* rgb) {
    std::int64_t end = x + count < width ? x + count : width;
    for (std::int64_t i = x; i < end; ++i)
        std::memcpy(row + 3 * i, rgb, 3);
}

void decode_rle8(const std::uint8_t* bytes, std::int64_t length, std::int64_t offset, std::int64_t width,
                 std::int64_t height, const Palette& palette, std::uint8_t* buffer, std::int64_t stride,
                 bool bottom_up) {
    std::int64_t x = 0, y = 0;
    std::int64_t pos = offset;
    while (pos + 2 <= length) {
        if (y >= height) return;
        std::uint8_t* row = output_row(buffer, stride, height, y, bottom_up);
        std::uint32_t first = bytes[pos], second = bytes[pos + 1];
        pos += 2;
        if (first > 0) {
            if (x < width) rle_fill(row, x, first, width, palette.rgb[second]);
            x += first;
        } else if (second == 0) {
            y += 1;
            x = 0;
        } else if (second == 1) {
            return;
        } else if (second == 2) {
            if (pos + 2 > length) return;
            x += bytes[pos];
            y += bytes[pos + 1];
            pos += 2;
        } else {
            std::int64_t n = second;
            std::int64_t present = length - pos < n ? length - pos : n;
            std::int64_t end = x + present < width ? x + present : width;
            for (std::int64_t i = x; i < end; ++i)
                std::memcpy(row + 3 * i, palette.rgb[bytes[pos + i - x]], 3);
            if (present < n) return;
            x += n;
            pos += n + (n & 1);
        }
    }
}

int bmp_check(ImageDecodeContext* context) {
    std::FILE* stream = context->file;
    if (std::fseek(stream, 0, SEEK_END) != 0) return 0;
    long size = std::ftell(stream);
    if (std::fseek(stream, 0, SEEK_SET) != 0) return 0;
    if (size < BMP_FILE_HEADER_SIZE || size > BMP_FILE_MAX) return 0;
    auto* file = static_cast<BmpFile*>(image_block_alloc(sizeof(BmpFile) + static_cast<std::size_t>(size)));
    if (file == nullptr) return 0;
    std::uint8_t* bytes = file_bytes(file);
    file->length = static_cast<std::int64_t>(std::fread(bytes, 1, BMP_FILE_HEADER_SIZE, stream));
    context->state = file;
    if (file->length < BMP_FILE_HEADER_SIZE || bytes[0] != 'B' || bytes[1] != 'M' || read_u16(bytes + 6) != 0 ||
        read_u16(bytes + 8) != 0) {
        std::free(file);
        context->state = nullptr;
        return 0;
    }
    file->length += static_cast<std::int64_t>(
        std::fread(bytes + BMP_FILE_HEADER_SIZE, 1, static_cast<std::size_t>(size - BMP_FILE_HEADER_SIZE), stream));
    if (file->length < BMP_HEADER_SIZE) {
        std::free(file);
        context->state = nullptr;
        return 0;
    }
    context->width = read_i32(bytes + 18);
    context->height = read_i32(bytes + 22);
    context->depth = 24;
    context->source_depth = static_cast<std::int32_t>(read_u16(bytes + 28));
    context->data = file;
    return 1;
}

int bmp_decode(ImageDecodeContext* context, std::uint8_t* buffer, std::int64_t stride, std::int32_t flags) {
    auto* file = static_cast<BmpFile*>(context->data);
    if (file == nullptr || buffer == nullptr) return 0;
    std::uint8_t* bytes = file_bytes(file);
    std::int64_t width = read_i32(bytes + 18);
    std::int64_t height = read_i32(bytes + 22);
    std::uint32_t bits = read_u16(bytes + 28);
    std::uint32_t compression = read_u32(bytes + 30);
    std::int64_t offset = read_u32(bytes + 10);
    // The caller sized the buffer from the context; never write beyond that.
    if (width != context->width || height != context->height || stride < 3 * width) return 0;
    if (width > IMAGE_DIMENSION_MAX || height > IMAGE_DIMENSION_MAX) return 0;

    Palette palette;
    if (bits <= 8 && bits != 1)
        convert_palette(file, bits > 0 ? bits : 0, &palette);
    else
        std::memset(&palette, 0, sizeof(palette));
    if (width <= 0 || height <= 0) return 1;

    bool bottom_up = (flags & IMAGE_DECODE_BOTTOM_UP) != 0;
    RowKind kind = row_kind(bits, compression);
    if (kind == RowKind::Rle8)
        decode_rle8(bytes, file->length, offset, width, height, palette, buffer, stride, bottom_up);
    else if (kind != RowKind::None)
        decode_rows(kind, bytes, file->length, offset, width, height, bits, palette, buffer, stride, bottom_up);
    return 1;
}

void bmp_cleanup(ImageDecodeContext* context) {
    std::free(context->state);
    context->state = nullptr;
    context->data = nullptr;
}

const ImageDecoder bmp_decoder = {bmp_check, bmp_decode, bmp_cleanup, IMAGE_FORMAT_BMP};

} // namespace

// Appends the BMP decoder to the registry. Called once at start-up, before
// the PNG decoder.
void bmp_decoder_register() {
    image_decoder_register(&bmp_decoder);
}
