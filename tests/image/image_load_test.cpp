// image_load and the image objects: numbers and AUTO_NUMBER, layouts and
// strides, replacement and freeing, failures, loads on several threads.
#include "runtime/image/image.h"
#include "support/image_decode_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace tda_test;

namespace {

using Px = std::vector<int>;

std::string bmp_file(const std::string& name, std::int32_t w, std::int32_t h, std::uint32_t colour) {
    BmpLayout s;
    s.width = w;
    s.height = h;
    s.bits = 24;
    std::vector<std::vector<std::uint32_t>> rows(std::size_t(h > 0 ? h : 1),
                                                 std::vector<std::uint32_t>(std::size_t(w > 0 ? w : 1), colour));
    s.pixel_data = bmp_pack_rows(w > 0 ? w : 1, 24, rows);
    return write_temp_file(bmp_bytes(s), name);
}

std::string png_file(const std::string& name, std::uint32_t w, std::uint32_t h, int colour_type) {
    PngLayout s;
    s.width = w;
    s.height = h;
    s.colour_type = colour_type;
    s.samples.assign(std::size_t(w) * h * png_channels(colour_type), 200);
    return write_temp_file(png_bytes(s), name);
}

std::u16string wide(const std::string& path) {
    return u16(path);
}

class ImageLoad : public ::testing::Test {
  protected:
    void SetUp() override { image_library_start(); }
    void TearDown() override { image_free(AUTO_NUMBER); }
};

} // namespace

TEST_F(ImageLoad, AutoNumberGivesAnIdThatEveryOperationAccepts) {
    std::string path = png_file("auto.png", 100, 49, 6);
    ObjectId id = image_load(AUTO_NUMBER, wide(path).c_str());
    ASSERT_NE(id, 0);
    ASSERT_NE(id, AUTO_NUMBER);
    GdkPixbuf* pixels = image_handle(id);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(image_width(id), 100);
    EXPECT_EQ(image_height(id), 49);
    EXPECT_EQ(image_depth(id), 32);
    EXPECT_EQ(image_depth(id, IMAGE_DEPTH_SOURCE), 32);
    EXPECT_EQ(gdk_pixbuf_get_rowstride(pixels), 400);
    EXPECT_TRUE(gdk_pixbuf_get_has_alpha(pixels));
    EXPECT_EQ(reinterpret_cast<ImageRecord*>(id)->format, IMAGE_FORMAT_PNG);
    EXPECT_EQ(pixbuf_pixel(pixels, 99, 48), (Px{200, 200, 200, 200}));
    image_free(id);
    EXPECT_EQ(image_handle(id), nullptr);
}

TEST_F(ImageLoad, NumberGivesThePixelBufferAndStridesFollowTheDepth) {
    struct Case {
        std::string path;
        int width, height, depth, source_depth, stride;
        std::int32_t format;
    } cases[] = {
        {png_file("rgb5.png", 5, 3, 2), 5, 3, 24, 24, 16, IMAGE_FORMAT_PNG},
        {png_file("rgb4.png", 4, 1, 2), 4, 1, 24, 24, 12, IMAGE_FORMAT_PNG},
        {png_file("rgb7.png", 7, 2, 2), 7, 2, 24, 24, 24, IMAGE_FORMAT_PNG},
        {png_file("grey.png", 6, 2, 0), 6, 2, 24, 8, 20, IMAGE_FORMAT_PNG},
        {bmp_file("bmp5.bmp", 5, 2, 0x102030), 5, 2, 24, 24, 16, IMAGE_FORMAT_BMP},
    };
    for (const Case& c : cases) {
        ObjectId handle = image_load(2, wide(c.path).c_str());
        ASSERT_NE(handle, 0) << c.path;
        GdkPixbuf* pixels = image_handle(2);
        EXPECT_EQ(handle, reinterpret_cast<ObjectId>(pixels));
        EXPECT_EQ(gdk_pixbuf_get_width(pixels), c.width);
        EXPECT_EQ(gdk_pixbuf_get_height(pixels), c.height);
        EXPECT_EQ(gdk_pixbuf_get_rowstride(pixels), c.stride) << c.path;
        EXPECT_EQ(image_depth(2), c.depth);
        EXPECT_EQ(image_depth(2, IMAGE_DEPTH_SOURCE), c.source_depth);
        EXPECT_EQ(image_width(2), c.width);
        EXPECT_EQ(image_height(2), c.height);
    }
    EXPECT_EQ(pixbuf_pixel(image_handle(2), 4, 1), (Px{0x10, 0x20, 0x30}));
}

TEST_F(ImageLoad, ReloadingANumberFreesTheOldImage) {
    ObjectId first = image_load(3, wide(bmp_file("a.bmp", 2, 2, 0xFF0000)).c_str());
    ASSERT_NE(first, 0);
    GdkPixbuf* old_pixels = image_handle(3);
    g_object_ref(old_pixels); // as a widget showing it would
    ObjectId second = image_load(3, wide(bmp_file("b.bmp", 3, 1, 0x00FF00)).c_str());
    ASSERT_NE(second, 0);
    EXPECT_NE(image_handle(3), old_pixels);
    EXPECT_EQ(image_width(3), 3);
    // Only our reference is left, and the old pixels are still readable.
    EXPECT_EQ(G_OBJECT(old_pixels)->ref_count, 1u);
    EXPECT_EQ(pixbuf_pixel(old_pixels, 1, 1), (Px{255, 0, 0}));
    g_object_unref(old_pixels);
}

TEST_F(ImageLoad, FreeingAllLeavesNoImage) {
    ObjectId a = image_load(AUTO_NUMBER, wide(bmp_file("c.bmp", 1, 1, 1)).c_str());
    ASSERT_NE(image_load(0, wide(bmp_file("d.bmp", 1, 1, 2)).c_str()), 0);
    ASSERT_NE(image_load(5, wide(bmp_file("e.bmp", 1, 1, 3)).c_str()), 0);
    image_free(AUTO_NUMBER);
    for (ObjectId id : {a, ObjectId{0}, ObjectId{5}}) {
        EXPECT_EQ(image_handle(id), nullptr);
        EXPECT_EQ(image_width(id), 0);
        EXPECT_EQ(image_height(id), 0);
        EXPECT_EQ(image_depth(id), 0);
        EXPECT_EQ(image_depth(id, IMAGE_DEPTH_SOURCE), 0);
    }
    image_free(5);  // freeing again does nothing
    image_free(77); // never used
}

TEST_F(ImageLoad, FailuresReturnZeroAndLeaveTheNumberEmpty) {
    Bytes not_image = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
    Bytes signature_only = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    BmpLayout reserved;
    reserved.reserved1 = 7;
    reserved.pixel_data.assign(4, 0);
    BmpLayout wide_bmp;
    wide_bmp.width = 40000;
    wide_bmp.pixel_data.assign(16, 0);
    BmpLayout tall_negative;
    tall_negative.height = -4;
    tall_negative.pixel_data.assign(16, 0);
    BmpLayout huge; // 32767 x 32767 RGB: a block far above the limit
    huge.width = 32767;
    huge.height = 32767;
    huge.pixel_data.assign(16, 0);
    BmpLayout empty;
    empty.width = 0;
    std::pair<std::string, Bytes> files[] = {
        {"not_image.txt", not_image},
        {"signature.png", signature_only},
        {"reserved.bmp", bmp_bytes(reserved)},
        {"wide.bmp", bmp_bytes(wide_bmp)},
        {"negative.bmp", bmp_bytes(tall_negative)},
        {"huge.bmp", bmp_bytes(huge)},
        {"empty.bmp", bmp_bytes(empty)},
        {"zero.bin", Bytes{}},
    };
    for (auto& [name, bytes] : files) {
        std::string path = write_temp_file(bytes, name);
        EXPECT_EQ(image_load(4, wide(path).c_str()), 0) << name;
        EXPECT_EQ(image_handle(4), nullptr) << name;
        EXPECT_EQ(image_load(AUTO_NUMBER, wide(path).c_str()), 0) << name;
    }
    EXPECT_EQ(image_load(4, u"/nonexistent/dir/none.png"), 0);
    EXPECT_EQ(image_load(4, nullptr), 0);

    // A failed load under a number that held an image leaves it empty.
    ASSERT_NE(image_load(4, wide(bmp_file("ok.bmp", 1, 1, 9)).c_str()), 0);
    EXPECT_EQ(image_load(4, wide(write_temp_file(not_image, "again.txt")).c_str()), 0);
    EXPECT_EQ(image_handle(4), nullptr);
}

TEST_F(ImageLoad, FileNamesAreConvertedToUtf8) {
    std::string path = bmp_file("日付.bmp", 2, 1, 0x0000FF);
    ObjectId id = image_load(AUTO_NUMBER, wide(path).c_str());
    ASSERT_NE(id, 0);
    EXPECT_EQ(pixbuf_pixel(image_handle(id), 1, 0), (Px{0, 0, 255}));
}

TEST_F(ImageLoad, TruncatedPngStillGivesAnImage) {
    PngLayout s;
    s.width = 300;
    s.height = 300;
    s.colour_type = 2;
    s.samples.assign(300 * 300 * 3, 77);
    s.compression_level = 0;
    Bytes whole = png_bytes(s);
    std::string path = write_temp_file(Bytes(whole.begin(), whole.begin() + whole.size() / 2), "cut.png");
    ObjectId id = image_load(AUTO_NUMBER, wide(path).c_str());
    ASSERT_NE(id, 0);
    EXPECT_EQ(pixbuf_pixel(image_handle(id), 299, 10), (Px{77, 77, 77}));
}

TEST_F(ImageLoad, RowsTheDecoderLeavesUnwrittenAreBlack) {
    // Each file leaves rows of a 64 x 64 image unwritten. A freed block full of
    // text lies where the pixels will go; none of it may show.
    BmpLayout far;
    far.width = far.height = 64;
    far.pixel_data =
        bmp_pack_rows(64, 24, std::vector<std::vector<std::uint32_t>>(64, std::vector<std::uint32_t>(64, 0xFFFFFF)));
    Bytes whole = bmp_bytes(far);
    Bytes past_end = whole;
    past_end[12] = 0x10; // pixel-row offset 1 MiB + 54, far past the end
    BmpLayout unsupported = far;
    unsupported.bits = 12;
    Bytes truncated(whole.begin(), whole.begin() + 54 + 3 * 64 * 8); // the bottom 8 rows only
    const struct {
        const char* name;
        Bytes bytes;
        int unwritten_rows; // counted from the top
    } cases[] = {
        {"far.bmp", past_end, 64},
        {"unsupported.bmp", bmp_bytes(unsupported), 64},
        {"truncated.bmp", truncated, 56},
    };
    for (const auto& c : cases) {
        std::string path = write_temp_file(c.bytes, c.name);
        void* stale = std::malloc(64 * 64 * 3);
        std::memset(stale, 'x', 64 * 64 * 3);
        std::free(stale);
        ObjectId id = image_load(AUTO_NUMBER, wide(path).c_str());
        ASSERT_NE(id, 0) << c.name;
        GdkPixbuf* pixels = image_handle(id);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(pixbuf_pixel(pixels, x, y), (y < c.unwritten_rows ? Px{0, 0, 0} : Px{255, 255, 255}))
                    << c.name << " at " << x << "," << y;
        image_free(id);
    }
}

TEST_F(ImageLoad, ThreadsLoadWithTheirOwnContexts) {
    std::string bmp = bmp_file("t.bmp", 9, 4, 0x445566);
    std::string png = png_file("t.png", 6, 8, 6);
    std::atomic<int> failures{0};
    auto worker = [&](const std::string& path, int w, int h) {
        std::u16string name = wide(path);
        for (int i = 0; i < 40; ++i) {
            ObjectId id = image_load(AUTO_NUMBER, name.c_str());
            if (id == 0 || image_width(id) != w || image_height(id) != h) failures++;
            image_free(id);
        }
    };
    std::thread a(worker, bmp, 9, 4), b(worker, png, 6, 8);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(ImageLayout, StridesAndLimits) {
    struct Case {
        std::int32_t w, h, depth;
        bool ok;
        std::int64_t stride, size;
    } cases[] = {
        {100, 49, 32, true, 400, 400 * 50},
        {5, 1, 24, true, 16, 32},
        {1, 1, 24, true, 4, 8},
        {2, 1, 24, true, 8, 16},
        {3, 1, 24, true, 12, 24},
        {4, 1, 24, true, 12, 24},
        {6, 2, 8, true, 20, 60},
        {0, 1, 24, false, 0, 0},
        {1, 0, 32, false, 0, 0},
        {32768, 1, 24, false, 0, 0},
        {1, 32768, 24, false, 0, 0},
        {-1, 5, 24, false, 0, 0},
        {32767, 32767, 32, false, 0, 0},
        {11000, 11000, 32, true, 44000, 44000LL * 11001},
    };
    for (const Case& c : cases) {
        std::int64_t stride = -1, size = -1;
        EXPECT_EQ(image_layout(c.w, c.h, c.depth, &stride, &size), c.ok) << c.w << "x" << c.h;
        if (c.ok) {
            EXPECT_EQ(stride, c.stride) << c.w;
            EXPECT_EQ(size, c.size) << c.w;
        }
    }
}
