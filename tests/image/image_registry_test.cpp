// The decoder registry and the load sequence seen from a decoder: order of
// probing, cleanup and close, multi-frame images, the registry's limit.
#include "runtime/core/linked_list.h"
#include "runtime/image/image.h"
#include "runtime/image/image_internal.h"
#include "support/image_decode_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tda_test;

namespace {

// A decoder of files that begin with "FRAMES": three frames of 2 x 1 RGBA
// pixels, frame i filled with the value 10 * (i + 1), delays 100, 200, 300.
struct FakeCounts {
    int checks = 0, decodes = 0, cleanups = 0;
    bool file_open_at_cleanup = false;
} counts;

int fake_check(ImageDecodeContext* context) {
    counts.checks++;
    char head[6];
    if (std::fread(head, 1, 6, context->file) != 6 || std::memcmp(head, "FRAMES", 6) != 0) return 0;
    context->width = 2;
    context->height = 1;
    context->depth = 32;
    context->source_depth = 32;
    context->frame_count = 3;
    context->frame_delay = 100;
    return 1;
}

int fake_decode(ImageDecodeContext* context, std::uint8_t* buffer, std::int64_t stride, std::int32_t flags) {
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(stride, 8);
    counts.decodes++;
    std::memset(buffer, 10 * counts.decodes, 8);
    context->frame_delay = 100 * counts.decodes;
    return 1;
}

void fake_cleanup(ImageDecodeContext* context) {
    counts.cleanups++;
    counts.file_open_at_cleanup = context->file != nullptr && std::ftell(context->file) >= 0;
}

const ImageDecoder fake_decoder = {fake_check, fake_decode, fake_cleanup, 0x454b4146};

class ImageRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        image_library_start();
        static bool registered = false;
        if (!registered) image_decoder_register(&fake_decoder);
        registered = true;
        counts = FakeCounts{};
    }
    void TearDown() override { image_free(AUTO_NUMBER); }
};

} // namespace

TEST_F(ImageRegistry, DecodersAreTriedInRegistrationOrder) {
    ASSERT_GE(image_decoder_count(), 3);
    EXPECT_EQ(image_decoder_at(0)->tag, IMAGE_FORMAT_BMP);
    EXPECT_EQ(image_decoder_at(1)->tag, IMAGE_FORMAT_PNG);
    EXPECT_EQ(image_decoder_at(image_decoder_count() - 1), &fake_decoder);
    // A second PNG registration is ignored.
    int before = image_decoder_count();
    png_decoder_register();
    EXPECT_EQ(image_decoder_count(), before);
}

TEST_F(ImageRegistry, MultiFrameImagesKeepEveryFrame) {
    std::string path = write_temp_file(Bytes{'F', 'R', 'A', 'M', 'E', 'S'}, "frames.bin");
    ObjectId id = image_load(AUTO_NUMBER, u16(path).c_str());
    ASSERT_NE(id, 0);
    EXPECT_EQ(counts.decodes, 3);
    EXPECT_EQ(counts.cleanups, 1);
    EXPECT_TRUE(counts.file_open_at_cleanup);
    auto* record = reinterpret_cast<ImageRecord*>(id);
    EXPECT_EQ(record->frame_count, 3);
    ASSERT_NE(record->frames, nullptr);
    EXPECT_EQ(record->frame_delay, 100);
    EXPECT_EQ(pixbuf_pixel(image_handle(id), 1, 0), (std::vector<int>{10, 10, 10, 10}));
    for (int i = 0; i < 3; ++i) {
        auto* frame = static_cast<ImageFrame*>(list_select(record->frames, i));
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->delay, 100 * (i + 1));
        EXPECT_EQ(pixbuf_pixel(frame->pixels, 0, 0)[0], 10 * (i + 1));
    }
    // Freeing drops each frame's reference; a reference of our own survives.
    auto* second = static_cast<ImageFrame*>(list_select(record->frames, 1));
    GdkPixbuf* kept = second->pixels;
    g_object_ref(kept);
    image_free(id);
    EXPECT_EQ(G_OBJECT(kept)->ref_count, 1u);
    g_object_unref(kept);
}

TEST_F(ImageRegistry, MissingFileCallsNoDecoder) {
    EXPECT_EQ(image_load(AUTO_NUMBER, u"/nonexistent/frames.bin"), 0);
    EXPECT_EQ(counts.checks, 0);
    EXPECT_EQ(counts.cleanups, 0);
}

TEST_F(ImageRegistry, RefusedFilesGetNoCleanup) {
    std::string path = write_temp_file(Bytes{'n', 'o', 'p', 'e'}, "nope.bin");
    EXPECT_EQ(image_load(1, u16(path).c_str()), 0);
    EXPECT_EQ(counts.checks, 1);
    EXPECT_EQ(counts.cleanups, 0);
}

TEST(ImageRegistryLimit, HoldsAtMostThirtyDecoders) {
    image_library_start();
    for (int i = 0; i < 40; ++i)
        image_decoder_register(&fake_decoder);
    EXPECT_EQ(image_decoder_count(), IMAGE_DECODERS_MAX);
    EXPECT_EQ(image_decoder_at(0)->tag, IMAGE_FORMAT_BMP);
    EXPECT_EQ(image_decoder_at(IMAGE_DECODERS_MAX), nullptr);
}
