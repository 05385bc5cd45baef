// PNG decoder: every colour type with and without tRNS at its depths, 16-bit
// stripping, interlacing, row order, damaged and truncated files.
#include "runtime/image/image.h"
#include "support/image_decode_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

using namespace tda_test;

namespace {

using Px = std::vector<int>;

// Deterministic samples covering the whole range of the depth.
std::vector<std::uint32_t> pattern_samples(const PngLayout& s) {
    std::vector<std::uint32_t> out;
    std::uint32_t max = (1u << s.bit_depth) - 1;
    std::size_t n = std::size_t(s.width) * s.height * png_channels(s.colour_type);
    std::uint32_t palette_size = s.colour_type == 3 ? std::uint32_t(s.palette.size()) : 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t v = std::uint32_t(i * 2654435761u >> 7);
        out.push_back(palette_size ? v % palette_size : (i % 5 == 0 ? max : i % 7 == 0 ? 0 : v & max));
    }
    return out;
}

std::uint32_t scale8(std::uint32_t v, int depth) {
    if (depth == 16) return v >> 8;
    if (depth == 8) return v;
    return v * 255 / ((1u << depth) - 1);
}

// The pixel libpng's transformations should give for (x, y) of layout.
Px expected_pixel(const PngLayout& s, int x, int y, bool with_alpha) {
    int ch = png_channels(s.colour_type);
    const std::uint32_t* p = s.samples.data() + (std::size_t(y) * s.width + x) * ch;
    Px out;
    bool transparent = false;
    switch (s.colour_type) {
    case 0: {
        std::uint32_t g = scale8(p[0], s.bit_depth);
        out = {int(g), int(g), int(g)};
        transparent = s.grey_transparent && p[0] == s.transparent_grey;
        break;
    }
    case 2:
        out = {int(scale8(p[0], s.bit_depth)), int(scale8(p[1], s.bit_depth)), int(scale8(p[2], s.bit_depth))};
        transparent = s.grey_transparent && p[0] == s.transparent_rgb[0] && p[1] == s.transparent_rgb[1] &&
                      p[2] == s.transparent_rgb[2];
        break;
    case 3: {
        std::uint32_t c = s.palette[p[0]];
        out = {int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255)};
        if (with_alpha) out.push_back(p[0] < s.palette_alpha.size() ? s.palette_alpha[p[0]] : 255);
        return out;
    }
    case 4: {
        std::uint32_t g = scale8(p[0], s.bit_depth);
        return {int(g), int(g), int(g), int(scale8(p[1], s.bit_depth))};
    }
    case 6:
        return {int(scale8(p[0], s.bit_depth)), int(scale8(p[1], s.bit_depth)), int(scale8(p[2], s.bit_depth)),
                int(scale8(p[3], s.bit_depth))};
    }
    if (with_alpha) out.push_back(transparent ? 0 : 255);
    return out;
}

PngLayout make_spec(int colour_type, int depth, bool trns, std::uint32_t w = 7, std::uint32_t h = 5) {
    PngLayout s;
    s.width = w;
    s.height = h;
    s.colour_type = colour_type;
    s.bit_depth = depth;
    if (colour_type == 3) {
        for (std::uint32_t i = 0; i < (1u << depth); ++i)
            s.palette.push_back(i * 0x0B1D37 & 0xFFFFFF);
        if (trns) s.palette_alpha = {0, 128, 255};
    } else if (trns) {
        s.grey_transparent = true;
    }
    s.samples = pattern_samples(s);
    if (trns && colour_type == 0) s.transparent_grey = s.samples[1];
    if (trns && colour_type == 2)
        for (int i = 0; i < 3; ++i)
            s.transparent_rgb[i] = s.samples[3 + i];
    return s;
}

} // namespace

TEST(PngDecoder, ColourTypesAndTransparencyGiveTheirDepths) {
    struct Case {
        int colour_type, bit_depth;
        bool trns;
        int depth, source_depth;
    } cases[] = {
        {0, 1, false, 24, 1},   {0, 2, false, 24, 2},  {0, 4, false, 24, 4},   {0, 8, false, 24, 8},
        {0, 16, false, 24, 16}, {0, 1, true, 32, 8},   {0, 4, true, 32, 8},    {0, 8, true, 32, 8},
        {0, 16, true, 32, 16},  {2, 8, false, 24, 24}, {2, 16, false, 24, 24}, {2, 8, true, 32, 32},
        {2, 16, true, 32, 32},  {3, 1, false, 24, 1},  {3, 2, false, 24, 2},   {3, 4, false, 24, 4},
        {3, 8, false, 24, 8},   {3, 2, true, 32, 32},  {3, 8, true, 32, 32},   {4, 8, false, 32, 8},
        {4, 16, false, 32, 16}, {6, 8, false, 32, 32}, {6, 16, false, 32, 32},
    };
    for (const Case& c : cases) {
        PngLayout s = make_spec(c.colour_type, c.bit_depth, c.trns);
        Bytes file = png_bytes(s);
        ASSERT_FALSE(file.empty());
        DirectDecode d = decode_direct(IMAGE_FORMAT_PNG, file);
        std::string name =
            "type " + std::to_string(c.colour_type) + " depth " + std::to_string(c.bit_depth) + (c.trns ? " tRNS" : "");
        ASSERT_TRUE(d.accepted) << name;
        EXPECT_EQ(d.depth, c.depth) << name;
        EXPECT_EQ(d.source_depth, c.source_depth) << name;
        EXPECT_EQ(d.decode_result, 1) << name;
        for (int y = 0; y < int(s.height); ++y)
            for (int x = 0; x < int(s.width); ++x)
                ASSERT_EQ(d.pixel(x, y), expected_pixel(s, x, y, c.depth == 32)) << name << " at " << x << "," << y;
        EXPECT_TRUE(d.outside_untouched()) << name;
    }
}

TEST(PngDecoder, OneBitGreyIsBlackAndWhite) {
    PngLayout s = make_spec(0, 1, false, 2, 1);
    s.samples = {0, 1};
    DirectDecode d = decode_direct(IMAGE_FORMAT_PNG, png_bytes(s));
    EXPECT_EQ(d.pixel(0, 0), (Px{0, 0, 0}));
    EXPECT_EQ(d.pixel(1, 0), (Px{255, 255, 255}));
}

TEST(PngDecoder, SixteenBitRgbaIsStrippedToItsHighBytes) {
    PngLayout s = make_spec(6, 16, false, 2, 1);
    s.samples = {0x1234, 0xABCD, 0x00FF, 0xFF00, 0xFFFF, 0x0001, 0x8080, 0x7F7F};
    DirectDecode d = decode_direct(IMAGE_FORMAT_PNG, png_bytes(s));
    EXPECT_EQ(d.depth, 32);
    EXPECT_EQ(d.pixel(0, 0), (Px{0x12, 0xAB, 0x00, 0xFF}));
    EXPECT_EQ(d.pixel(1, 0), (Px{0xFF, 0x00, 0x80, 0x7F}));
}

TEST(PngDecoder, InterlacedEqualsNonInterlaced) {
    for (int colour_type : {0, 2, 3, 6}) {
        PngLayout plain = make_spec(colour_type, colour_type == 0 ? 4 : 8, false, 13, 11);
        PngLayout interlaced = plain;
        interlaced.interlaced = true;
        for (std::int32_t flags : {0, IMAGE_DECODE_BOTTOM_UP}) {
            DirectDecode a = decode_direct(IMAGE_FORMAT_PNG, png_bytes(plain), flags);
            DirectDecode b = decode_direct(IMAGE_FORMAT_PNG, png_bytes(interlaced), flags);
            ASSERT_TRUE(b.accepted);
            EXPECT_EQ(a.block, b.block) << colour_type;
        }
    }
}

TEST(PngDecoder, BottomUpReversesTheRows) {
    PngLayout s = make_spec(2, 8, false, 3, 4);
    DirectDecode d = decode_direct(IMAGE_FORMAT_PNG, png_bytes(s), IMAGE_DECODE_BOTTOM_UP);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(d.pixel(x, 3 - y), expected_pixel(s, x, y, false));
    EXPECT_TRUE(d.outside_untouched());
}

namespace {

// Runs body with the standard error stream sent to a temporary file and
// returns what was written there.
template <typename Body> std::string captured_stderr(Body body) {
    std::fflush(stderr);
    std::FILE* sink = std::tmpfile();
    int saved = dup(2);
    dup2(fileno(sink), 2);
    body();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(sink);
    for (int c; (c = std::fgetc(sink)) != EOF;)
        text.push_back(char(c));
    std::fclose(sink);
    return text;
}

} // namespace

TEST(PngDecoder, DamagedFilesAreRefusedSilently) {
    Bytes good = png_bytes(make_spec(2, 8, false, 4, 4));
    std::vector<std::pair<std::string, Bytes>> cases;
    cases.push_back({"signature only", Bytes(good.begin(), good.begin() + 8)});
    cases.push_back({"short signature", Bytes(good.begin(), good.begin() + 5)});
    cases.push_back({"empty", Bytes{}});
    Bytes crc = good;
    crc[29] ^= 0xFF; // IHDR's CRC
    cases.push_back({"header CRC", crc});
    Bytes width = good;
    width[16] = 0x80; // width above 2^31
    cases.push_back({"bad header", width});
    Bytes critical = good;
    critical[37] = 'X'; // the chunk after IHDR becomes an unknown critical chunk "XDAT"
    cases.push_back({"unknown critical chunk", critical});
    cases.push_back({"header cut", Bytes(good.begin(), good.begin() + 20)});
    for (auto& [name, bytes] : cases) {
        DirectDecode d;
        std::string err = captured_stderr([&] { d = decode_direct(IMAGE_FORMAT_PNG, bytes); });
        EXPECT_FALSE(d.accepted) << name;
        EXPECT_EQ(err, "") << name;
    }
}

TEST(PngDecoder, TruncatedImageDataKeepsTheRowsBeforeTheCut) {
    // libpng reads image data in pieces of up to 8 KiB: the image is large
    // enough for many pieces to arrive before the cut.
    PngLayout s = make_spec(2, 8, false, 256, 256);
    s.compression_level = 0; // stored blocks: the rows lie in file order
    Bytes whole = png_bytes(s);
    Bytes cut(whole.begin(), whole.begin() + whole.size() / 2);
    DirectDecode d;
    std::string err = captured_stderr([&] { d = decode_direct(IMAGE_FORMAT_PNG, cut); });
    EXPECT_EQ(err, "");
    ASSERT_TRUE(d.accepted);
    EXPECT_EQ(d.decode_result, 0);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(d.pixel(x, y), expected_pixel(s, x, y, false)) << x << "," << y;
    EXPECT_TRUE(d.outside_untouched());

    // A corrupt image data CRC stops the rows the same way.
    Bytes bad = whole;
    bad[bad.size() - 12 - 5] ^= 0x55; // the last byte of the IDAT's data
    err = captured_stderr([&] { d = decode_direct(IMAGE_FORMAT_PNG, bad); });
    EXPECT_EQ(err, "");
    EXPECT_TRUE(d.accepted);
}
