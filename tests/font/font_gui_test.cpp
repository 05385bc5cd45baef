// Fonts: loading by name, size and flags under numbers; replacing and freeing.
// Needs Pango only, no display.
#include "runtime/font/font.h"

#include <gtest/gtest.h>
#include <pango/pango.h>

#include <string>

namespace {

class Font : public ::testing::Test {
  protected:
    void SetUp() override {
        font_init();
        font_free(-1);
    }
    void TearDown() override { font_free(-1); }
};

std::string family_of(const PangoFontDescription* d) {
    const char* f = pango_font_description_get_family(d);
    return f ? f : "";
}

TEST_F(Font, LoadsFamilyAndSizeInPangoUnits) {
    ObjectId result = font_load(0, u"Sans", 10);
    PangoFontDescription* d = font_handle(0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(result, reinterpret_cast<ObjectId>(d)); // a number gives the description
    EXPECT_EQ(family_of(d), "Sans");
    EXPECT_EQ(pango_font_description_get_size(d), 10 * 1024);
    EXPECT_FALSE(pango_font_description_get_size_is_absolute(d));
}

TEST_F(Font, StyleFlags) {
    struct Case {
        std::uint32_t flags;
        PangoWeight weight;
        PangoStyle style;
    } cases[] = {
        {0, PANGO_WEIGHT_NORMAL, PANGO_STYLE_NORMAL},           {FONT_BOLD, PANGO_WEIGHT_BOLD, PANGO_STYLE_NORMAL},
        {FONT_ITALIC, PANGO_WEIGHT_NORMAL, PANGO_STYLE_ITALIC}, {3, PANGO_WEIGHT_BOLD, PANGO_STYLE_ITALIC},
        {4, PANGO_WEIGHT_NORMAL, PANGO_STYLE_NORMAL}, // other bits are ignored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        ASSERT_NE(font_load(1, u"Sans", 9, c.flags), 0);
        PangoFontDescription* d = font_handle(1);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(pango_font_description_get_weight(d), c.weight);
        EXPECT_EQ(pango_font_description_get_style(d), c.style);
    }
}

TEST_F(Font, NameStyleWordsStayButSizeIsReplaced) {
    ASSERT_NE(font_load(2, u"Sans Bold 20", 9), 0);
    PangoFontDescription* d = font_handle(2);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(family_of(d), "Sans");
    EXPECT_EQ(pango_font_description_get_weight(d), PANGO_WEIGHT_BOLD);
    EXPECT_EQ(pango_font_description_get_size(d), 9 * 1024);
}

TEST_F(Font, NonAsciiFamilyName) {
    ASSERT_NE(font_load(3, u"IPAゴシック", 9), 0);
    EXPECT_EQ(family_of(font_handle(3)), "IPAゴシック");
}

TEST_F(Font, ReloadingANumberReplacesTheFont) {
    font_load(0, u"Sans", 10);
    font_load(0, u"Serif", 12);
    PangoFontDescription* d = font_handle(0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(family_of(d), "Serif");
    EXPECT_EQ(pango_font_description_get_size(d), 12 * 1024);
}

TEST_F(Font, AutoNumberGivesAnIdThatNamesTheFont) {
    ObjectId id = font_load(AUTO_NUMBER, u"Monospace", 11);
    ASSERT_NE(id, 0);
    ASSERT_NE(id, AUTO_NUMBER);
    PangoFontDescription* d = font_handle(id);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(family_of(d), "Monospace");
    font_free(id);
    EXPECT_EQ(font_handle(id), nullptr);
}

TEST_F(Font, FreeingUnknownNumbersDoesNothingAndMinusOneFreesAll) {
    font_load(0, u"Sans", 10);
    font_load(5, u"Sans", 8);
    ObjectId automatic = font_load(AUTO_NUMBER, u"Sans", 7);
    font_free(3);     // never loaded
    font_free(99999); // beyond the table
    font_free(12345678);
    EXPECT_NE(font_handle(0), nullptr);
    EXPECT_NE(font_handle(5), nullptr);
    EXPECT_NE(font_handle(automatic), nullptr);
    font_free(-1);
    for (ObjectId n : {ObjectId{0}, ObjectId{5}, automatic})
        EXPECT_EQ(font_handle(n), nullptr);
}

TEST_F(Font, HandleOfMissingFontsIsNull) {
    for (ObjectId n : {ObjectId{0}, ObjectId{-1}, ObjectId{-7}, ObjectId{1000}, ObjectId{0x12345678}})
        EXPECT_EQ(font_handle(n), nullptr) << n;
}

TEST_F(Font, BadSizesAndNamesLoadQuietly) {
    testing::internal::CaptureStderr();
    ASSERT_NE(font_load(0, u"Sans", -5), 0);
    EXPECT_EQ(pango_font_description_get_size(font_handle(0)), 0);
    ASSERT_NE(font_load(1, u"Sans", 0x7fffffff), 0);
    EXPECT_GT(pango_font_description_get_size(font_handle(1)), 0);
    ASSERT_NE(font_load(2, nullptr, 9), 0);
    EXPECT_EQ(pango_font_description_get_size(font_handle(2)), 9 * 1024);
    EXPECT_EQ(font_load(-5, u"Sans", 9), 0); // no number below -1 names a slot
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

} // namespace
