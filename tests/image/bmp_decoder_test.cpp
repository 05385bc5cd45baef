// BMP decoder: conversions of every bit depth and compression, row order,
// palettes, RLE8, and what the decoder does with malformed files.
#include "runtime/image/image.h"
#include "support/image_decode_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tda_test;

namespace {

using Px = std::vector<int>;
using Rows = std::vector<std::vector<std::uint32_t>>;

Px rgb(std::uint32_t c) {
    return {int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255)};
}

const Px FILLED = {FILL, FILL, FILL};

// A grey-ramp palette of n entries, entry i = (i, 255 - i, i * 2 & 255).
std::vector<std::uint32_t> ramp_palette(int n) {
    std::vector<std::uint32_t> p;
    for (int i = 0; i < n; ++i)
        p.push_back(std::uint32_t(i) << 16 | std::uint32_t(255 - i) << 8 | std::uint32_t(i * 2 & 255));
    return p;
}

BmpLayout plain(std::int32_t w, std::int32_t h, std::uint16_t bits, const Rows& rows) {
    BmpLayout s;
    s.width = w;
    s.height = h;
    s.bits = bits;
    s.pixel_data = bmp_pack_rows(w, bits, rows);
    return s;
}

} // namespace

TEST(BmpDecoder, TwentyFourBitRowsComeTopFirstInTheirColours) {
    // Stored bottom row first: the file's last stored row is the image's top.
    Rows rows = {{0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF},
                 {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x000000},
                 {0xABCDEF, 0x808080, 0x7F0001, 0x00FE02, 0x030303}};
    DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(plain(5, 3, 24, rows)));
    ASSERT_TRUE(d.accepted);
    EXPECT_EQ(d.width, 5);
    EXPECT_EQ(d.height, 3);
    EXPECT_EQ(d.depth, 24);
    EXPECT_EQ(d.source_depth, 24);
    EXPECT_EQ(d.stride, 16);
    EXPECT_EQ(d.decode_result, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(d.pixel(x, y), rgb(rows[2 - y][x])) << x << "," << y;
    EXPECT_TRUE(d.outside_untouched());

    DirectDecode up = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(plain(5, 3, 24, rows)), IMAGE_DECODE_BOTTOM_UP);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(up.pixel(x, y), rgb(rows[y][x]));
}

TEST(BmpDecoder, ThirtyTwoBitDropsTheFourthByte) {
    Rows rows = {{0xFF0000, 0x00FF00, 0x0000FF}};
    BmpLayout s = plain(3, 1, 32, rows);
    for (int x = 0; x < 3; ++x)
        s.pixel_data[4 * x + 3] = 0x77;
    DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
    EXPECT_EQ(d.source_depth, 32);
    EXPECT_EQ(d.depth, 24);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(d.pixel(x, 0), rgb(rows[0][x]));
    EXPECT_TRUE(d.outside_untouched());
}

TEST(BmpDecoder, EightBitPaletteSizeFollowsColoursUsed) {
    // Colours used 0: all 256 entries are read.
    BmpLayout full = plain(4, 1, 8, {{0, 200, 255, 17}});
    full.palette = ramp_palette(256);
    DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(full));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(d.pixel(x, 0), rgb(full.palette[full.pixel_data[x]]));

    // Colours used 16: the pixel bytes follow the 16 entries directly and must
    // not be touched by the palette conversion.
    BmpLayout small = plain(4, 1, 8, {{1, 2, 15, 3}});
    small.palette = ramp_palette(16);
    small.colours_used = 16;
    d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(small));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(d.pixel(x, 0), rgb(small.palette[small.pixel_data[x]]));

    // Colours used 0 with only two entries before the rows: the pixel bytes
    // are neither read as colours nor changed by the conversion.
    BmpLayout two = plain(8, 2, 8, {{1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1}});
    two.palette = {0x000000, 0x3366CC};
    d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(two));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(d.pixel(x, y), rgb(0x3366CC)) << x << "," << y;

    // An index beyond the 16 entries reads black.
    small.pixel_data = bmp_pack_rows(4, 8, {{200, 16, 0, 255}});
    d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(small));
    EXPECT_EQ(d.pixel(0, 0), rgb(0));
    EXPECT_EQ(d.pixel(1, 0), rgb(0));
    EXPECT_EQ(d.pixel(2, 0), rgb(small.palette[0]));
    EXPECT_EQ(d.pixel(3, 0), rgb(0));
}

TEST(BmpDecoder, OneBitIsBlackAndWhiteWhateverThePalette) {
    BmpLayout s = plain(10, 2, 1, {{1, 0, 1, 1, 0, 0, 0, 1, 1, 0}, {0, 1, 0, 0, 1, 1, 1, 0, 0, 1}});
    s.palette = {0xFF0000, 0x00FF00};
    DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
    EXPECT_EQ(d.source_depth, 1);
    std::vector<int> top = {0, 1, 0, 0, 1, 1, 1, 0, 0, 1};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(d.pixel(x, 0), (top[x] ? Px{255, 255, 255} : Px{0, 0, 0}));
        EXPECT_EQ(d.pixel(x, 1), (top[x] ? Px{0, 0, 0} : Px{255, 255, 255}));
    }
    EXPECT_TRUE(d.outside_untouched());
}

TEST(BmpDecoder, FourBitOddWidthWritesExactlyWidthPixels) {
    BmpLayout s = plain(5, 2, 4, {{1, 2, 3, 4, 5}, {15, 14, 13, 12, 11}});
    s.palette = ramp_palette(16);
    s.pixel_data[2] |= 0x09; // the unused low half of row 0's last byte
    s.pixel_data[6] |= 0x07;
    DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(d.pixel(x, 1), rgb(s.palette[1 + x]));
        EXPECT_EQ(d.pixel(x, 0), rgb(s.palette[15 - x]));
    }
    EXPECT_TRUE(d.outside_untouched());

    // Compression 2 (4-bit run-length) writes nothing.
    s.compression = 2;
    d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
    EXPECT_EQ(d.decode_result, 1);
    EXPECT_EQ(d.pixel(0, 0), FILLED);
}

TEST(BmpDecoder, SixteenBitFieldLayouts) {
    struct Case {
        std::uint32_t compression;
        std::uint32_t word;
        Px expected;
    } cases[] = {
        {0, 0x7C00, {248, 0, 0}}, {0, 0x03E0, {0, 248, 0}},     {0, 0x001F, {0, 0, 248}},
        {0, 0x8000, {0, 0, 0}},   {0, 0x4210, {128, 128, 128}}, {3, 0xF800, {248, 0, 0}},
        {3, 0x07E0, {0, 252, 0}}, {3, 0x001F, {0, 0, 248}},     {3, 0x0841, {8, 8, 8}},
    };
    for (const Case& c : cases) {
        BmpLayout s = plain(1, 1, 16, {{c.word}});
        s.compression = c.compression;
        DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
        EXPECT_EQ(d.pixel(0, 0), c.expected) << c.compression << " " << std::hex << c.word;
        EXPECT_EQ(d.source_depth, 16);
    }
    // Other compressions write nothing.
    BmpLayout s = plain(1, 1, 16, {{0x7C00}});
    s.compression = 1;
    EXPECT_EQ(decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s)).pixel(0, 0), FILLED);
}

TEST(BmpDecoder, UnsupportedDepthsWriteNothingButStillDecode) {
    for (std::uint16_t bits : {0, 2, 3, 7, 12, 48, 65535}) {
        BmpLayout s;
        s.width = 3;
        s.height = 2;
        s.bits = bits;
        s.pixel_data.assign(64, 0x5A);
        DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
        ASSERT_TRUE(d.accepted) << bits;
        EXPECT_EQ(d.decode_result, 1);
        EXPECT_EQ(d.pixel(0, 0), FILLED) << bits;
        EXPECT_TRUE(d.outside_untouched());
    }
}

namespace {

// An 8 x 4 image as RLE8 with a delta and odd absolute runs, and the twin
// rows it encodes. The pixels skipped by the delta are marked -1.
struct RleCase {
    Bytes rle;
    std::vector<std::vector<int>> rows; // stored order, -1 = not written
};

RleCase rle_case() {
    RleCase c;
    c.rle = {3, 1, 0, 5,  2,  3, 4, 5, 6, 0, // row 0: run of 3, absolute run of 5 (+ pad)
             0, 0,                           // end of line
             8, 7, 0, 0,                     // row 1: run of 8, end of line
             2, 3, 0, 2,  3,  1,             // row 2: run of 2, delta (3, 1)
             0, 3, 9, 10, 11, 0,             // row 3 from x 5: absolute run of 3 (+ pad)
             0, 1};                          // end of bitmap
    c.rows = {{1, 1, 1, 2, 3, 4, 5, 6},
              {7, 7, 7, 7, 7, 7, 7, 7},
              {3, 3, -1, -1, -1, -1, -1, -1},
              {-1, -1, -1, -1, -1, 9, 10, 11}};
    return c;
}

} // namespace

TEST(BmpDecoder, RunLengthMatchesItsUncompressedTwin) {
    RleCase c = rle_case();
    BmpLayout rle;
    rle.width = 8;
    rle.height = 4;
    rle.bits = 8;
    rle.compression = 1;
    rle.palette = ramp_palette(256);
    rle.pixel_data = c.rle;
    Rows twin_rows;
    for (const auto& row : c.rows) {
        std::vector<std::uint32_t> r;
        for (int v : row)
            r.push_back(v < 0 ? 0 : std::uint32_t(v));
        twin_rows.push_back(r);
    }
    BmpLayout twin = plain(8, 4, 8, twin_rows);
    twin.palette = rle.palette;
    for (std::int32_t flags : {0, IMAGE_DECODE_BOTTOM_UP}) {
        DirectDecode a = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(rle), flags);
        DirectDecode b = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(twin), flags);
        ASSERT_EQ(a.decode_result, 1);
        for (int y = 0; y < 4; ++y) {
            int out_y = flags ? y : 3 - y;
            for (int x = 0; x < 8; ++x) {
                if (c.rows[y][x] < 0)
                    EXPECT_EQ(a.pixel(x, out_y), FILLED) << x << "," << y;
                else
                    EXPECT_EQ(a.pixel(x, out_y), b.pixel(x, out_y)) << x << "," << y;
            }
        }
        EXPECT_TRUE(a.outside_untouched());
    }
}

namespace {

DirectDecode decode_rle(std::int32_t w, std::int32_t h, const Bytes& data) {
    BmpLayout s;
    s.width = w;
    s.height = h;
    s.bits = 8;
    s.compression = 1;
    s.palette = ramp_palette(256);
    s.pixel_data = data;
    return decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
}

} // namespace

TEST(BmpDecoder, RunLengthDataThatLeavesTheImageIsClippedOrStopped) {
    // Each case must finish, write only inside the rows, and leave the named
    // pixel as expected (stored row y is buffer row h - 1 - y).
    struct Case {
        const char* name;
        std::int32_t w, h;
        Bytes data;
        int x, buffer_y;
        Px expected;
    } cases[] = {
        {"run past the row end is clipped", 4, 2, {255, 9, 0, 1}, 3, 1, rgb(ramp_palette(256)[9])},
        {"absolute run past the row end is clipped",
         4,
         2,
         {0, 6, 1, 2, 3, 4, 5, 6, 0, 1},
         3,
         1,
         rgb(ramp_palette(256)[4])},
        {"delta past the last row stops", 4, 2, {0, 2, 0, 200, 5, 5}, 0, 0, FILLED},
        {"delta past the row end drops later pixels", 4, 2, {0, 2, 250, 0, 2, 7}, 3, 1, FILLED},
        {"no end-of-bitmap mark", 4, 2, {4, 1, 0, 0, 4, 2}, 0, 0, rgb(ramp_palette(256)[2])},
        {"end-of-bitmap right after the last row",
         2,
         2,
         {2, 1, 0, 0, 2, 2, 0, 0, 0, 1},
         1,
         0,
         rgb(ramp_palette(256)[2])},
        {"lines past the last row stop", 2, 1, {2, 1, 0, 0, 0, 0, 0, 0, 2, 9}, 0, 0, rgb(ramp_palette(256)[1])},
        {"absolute run cut by the end of the file", 4, 1, {0, 9, 5, 6}, 1, 0, rgb(ramp_palette(256)[6])},
        {"absolute run cut before its data", 4, 1, {0, 9}, 0, 0, FILLED},
        {"delta cut by the end of the file", 4, 1, {0, 2, 1}, 0, 0, FILLED},
        {"odd trailing byte", 4, 1, {3, 4, 0}, 2, 0, rgb(ramp_palette(256)[4])},
        {"empty data", 4, 1, {}, 0, 0, FILLED},
    };
    for (const Case& c : cases) {
        DirectDecode d = decode_rle(c.w, c.h, c.data);
        ASSERT_TRUE(d.accepted) << c.name;
        EXPECT_EQ(d.decode_result, 1) << c.name;
        EXPECT_EQ(d.pixel(c.x, c.buffer_y), c.expected) << c.name;
        EXPECT_TRUE(d.outside_untouched()) << c.name;
    }
}

TEST(BmpDecoder, RunLengthWithoutEndMarkOnALargeImageEnds) {
    // Many end-of-line codes and runs, no end mark: the walk stops at the end
    // of the data.
    Bytes data;
    for (int i = 0; i < 5000; ++i) {
        data.insert(data.end(), {200, std::uint8_t(i), 0, 0});
    }
    DirectDecode d = decode_rle(300, 3000, data);
    EXPECT_EQ(d.decode_result, 1);
    EXPECT_EQ(d.pixel(0, 2999), rgb(ramp_palette(256)[0]));
    EXPECT_EQ(d.pixel(199, 0), rgb(ramp_palette(256)[2999 & 255]));
    EXPECT_EQ(d.pixel(200, 0), FILLED);
}

TEST(BmpDecoder, FilesShorterThanTheHeaderAreRefused) {
    // 0 to 53 bytes of a valid file: the header is incomplete.
    Bytes whole = bmp_bytes(plain(2, 2, 24, {{1, 2}, {3, 4}}));
    for (std::size_t n = 0; n < 54; ++n) {
        Bytes cut(whole.begin(), whole.begin() + n);
        EXPECT_FALSE(decode_direct(IMAGE_FORMAT_BMP, cut).accepted) << n;
    }
    EXPECT_TRUE(decode_direct(IMAGE_FORMAT_BMP, Bytes(whole.begin(), whole.begin() + 54)).accepted);
}

TEST(BmpDecoder, SignatureAndReservedFieldsDecideAcceptance) {
    BmpLayout s = plain(1, 1, 24, {{0x102030}});
    EXPECT_TRUE(decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s)).accepted);
    BmpLayout r1 = s;
    r1.reserved1 = 1;
    EXPECT_FALSE(decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(r1)).accepted);
    BmpLayout r2 = s;
    r2.reserved2 = 0x8000;
    EXPECT_FALSE(decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(r2)).accepted);
    Bytes wrong = bmp_bytes(s);
    wrong[1] = 'A';
    EXPECT_FALSE(decode_direct(IMAGE_FORMAT_BMP, wrong).accepted);
}

TEST(BmpDecoder, MalformedHeadersAndOffsetsAreClipped) {
    // Pixel-row offset past the end of the file: nothing is written.
    Bytes far_bytes = bmp_bytes(plain(2, 2, 24, {{1, 2}, {3, 4}}));
    far_bytes[10] = 0xF0;
    far_bytes[11] = 0xFF;
    far_bytes[12] = 0xFF;
    far_bytes[13] = 0xFF;
    DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, far_bytes);
    EXPECT_EQ(d.decode_result, 1);
    EXPECT_EQ(d.pixel(0, 0), FILLED);
    EXPECT_TRUE(d.outside_untouched());

    // Colours used far beyond the file: only entries inside the file are
    // converted (ASan builds would catch a write past the block).
    BmpLayout huge = plain(4, 2, 8, {{0, 1, 2, 3}, {3, 2, 1, 0}});
    huge.palette = ramp_palette(4);
    huge.colours_used = 0xFFFFFFFF;
    d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(huge));
    EXPECT_EQ(d.decode_result, 1);
    EXPECT_TRUE(d.outside_untouched());

    // An information header size that puts the palette past the file's end:
    // every index reads black.
    Bytes off = bmp_bytes(plain(2, 1, 8, {{1, 2}}));
    off[14] = 0xFF;
    off[15] = 0xFF;
    off[16] = 0xFF;
    off[17] = 0xFF;
    d = decode_direct(IMAGE_FORMAT_BMP, off);
    EXPECT_EQ(d.pixel(0, 0), rgb(0));
    EXPECT_EQ(d.pixel(1, 0), rgb(0));
}

TEST(BmpDecoder, TruncatedRowsKeepTheWholePixelsPresent) {
    Rows rows = {{0x111111, 0x222222, 0x333333, 0x444444},
                 {0x555555, 0x666666, 0x777777, 0x888888},
                 {0x999999, 0xAAAAAA, 0xBBBBBB, 0xCCCCCC}};
    Bytes whole = bmp_bytes(plain(4, 3, 24, rows));
    // Cut in the middle of stored row 1's third pixel.
    Bytes cut(whole.begin(), whole.begin() + 54 + 12 + 7);
    DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, cut);
    ASSERT_TRUE(d.accepted);
    EXPECT_EQ(d.decode_result, 1);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(d.pixel(x, 2), rgb(rows[0][x]));
    EXPECT_EQ(d.pixel(0, 1), rgb(rows[1][0]));
    EXPECT_EQ(d.pixel(1, 1), rgb(rows[1][1]));
    EXPECT_EQ(d.pixel(2, 1), FILLED);
    EXPECT_EQ(d.pixel(0, 0), FILLED);
    EXPECT_TRUE(d.outside_untouched());
}

TEST(BmpDecoder, MismatchedDepthAndCompressionFollowTheTable) {
    // 24 bits with an RLE8 compression code still reads plain rows.
    BmpLayout s = plain(2, 1, 24, {{0x102030, 0x405060}});
    s.compression = 1;
    DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
    EXPECT_EQ(d.pixel(1, 0), rgb(0x405060));
    // 8 bits with bit fields (3) reads palette indexes.
    BmpLayout p = plain(2, 1, 8, {{1, 0}});
    p.palette = ramp_palette(2);
    p.colours_used = 2;
    p.compression = 3;
    d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(p));
    EXPECT_EQ(d.pixel(0, 0), rgb(p.palette[1]));
}

TEST(BmpDecoder, SizesTheRecordCannotHoldGiveNoLayout) {
    struct Case {
        std::int32_t w, h;
    } cases[] = {{40000, 1}, {1, 32768}, {0, 5}, {5, 0}, {-3, 2}, {3, -2}, {32767, 32767}, {INT32_MIN, 1}};
    for (const Case& c : cases) {
        BmpLayout s;
        s.width = c.w;
        s.height = c.h;
        s.pixel_data.assign(16, 1);
        DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
        EXPECT_TRUE(d.accepted);
        EXPECT_FALSE(d.laid_out) << c.w << "x" << c.h;
    }
}

namespace {

// A stream whose size probe reports `claimed` bytes but whose reads deliver
// only the real ones (a file that shrinks between the probe and the read), or
// whose seek to the end fails.
struct ShrinkingFile {
    Bytes bytes;
    std::int64_t claimed;
    bool seek_end_fails;
    std::int64_t position = 0;
};

ssize_t shrinking_read(void* cookie, char* buf, size_t size) {
    auto* f = static_cast<ShrinkingFile*>(cookie);
    std::int64_t left = std::int64_t(f->bytes.size()) - f->position;
    std::int64_t n = left < std::int64_t(size) ? left : std::int64_t(size);
    if (n <= 0) return 0;
    std::memcpy(buf, f->bytes.data() + f->position, size_t(n));
    f->position += n;
    return n;
}

int shrinking_seek(void* cookie, off64_t* offset, int whence) {
    auto* f = static_cast<ShrinkingFile*>(cookie);
    if (whence == SEEK_END) {
        if (f->seek_end_fails) return -1;
        f->position = f->claimed + *offset;
    } else if (whence == SEEK_SET) {
        f->position = *offset;
    } else {
        f->position += *offset;
    }
    *offset = f->position;
    return 0;
}

DirectDecode decode_shrinking(ShrinkingFile* f) {
    cookie_io_functions_t io{shrinking_read, nullptr, shrinking_seek, nullptr};
    return decode_stream(IMAGE_FORMAT_BMP, fopencookie(f, "rb", io));
}

} // namespace

TEST(BmpDecoder, StreamsThatLieAboutTheirSize) {
    Rows rows = {{0x111111, 0x222222}, {0x333333, 0x444444}};
    Bytes whole = bmp_bytes(plain(2, 2, 24, rows));

    // The file shrank after the probe: the rows present are decoded.
    ShrinkingFile shrunk{Bytes(whole.begin(), whole.begin() + 62), std::int64_t(whole.size()), false};
    DirectDecode d = decode_shrinking(&shrunk);
    ASSERT_TRUE(d.accepted);
    EXPECT_EQ(d.pixel(0, 1), rgb(0x111111));
    EXPECT_EQ(d.pixel(0, 0), FILLED);
    EXPECT_TRUE(d.outside_untouched());

    // Shrank below the header: refused.
    ShrinkingFile tiny{Bytes(whole.begin(), whole.begin() + 30), std::int64_t(whole.size()), false};
    EXPECT_FALSE(decode_shrinking(&tiny).accepted);

    // The size probe fails: refused.
    ShrinkingFile broken{whole, std::int64_t(whole.size()), true};
    EXPECT_FALSE(decode_shrinking(&broken).accepted);
}

TEST(BmpDecoder, WideRowsConvertEveryPixelAtEveryWidth) {
    // Wide rows take the four-pixels-at-a-time path; every width from 1 to 41
    // checks its tail and that nothing beyond the row's pixels is written.
    for (std::uint16_t bits : {24, 32}) {
        for (std::int32_t w = 1; w <= 41; ++w) {
            Rows rows;
            for (int y = 0; y < 3; ++y) {
                std::vector<std::uint32_t> row;
                for (int x = 0; x < w; ++x)
                    row.push_back((std::uint32_t(x * 40503 + y * 9973 + w) * 2654435761u) >> 8);
                rows.push_back(row);
            }
            BmpLayout s = plain(w, 3, bits, rows);
            DirectDecode d = decode_direct(IMAGE_FORMAT_BMP, bmp_bytes(s));
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(d.pixel(x, y), rgb(rows[2 - y][x])) << bits << " bits, width " << w << " at " << x;
            ASSERT_TRUE(d.outside_untouched()) << bits << " bits, width " << w;
            // The file ends right after the last pixel (no row padding).
            Bytes cut = bmp_bytes(s);
            cut.resize(cut.size() - ((4 - (w * bits / 8) % 4) % 4));
            DirectDecode c = decode_direct(IMAGE_FORMAT_BMP, cut);
            ASSERT_EQ(c.pixel(w - 1, 0), rgb(rows[2][w - 1])) << bits << " bits, width " << w;
        }
    }
}
