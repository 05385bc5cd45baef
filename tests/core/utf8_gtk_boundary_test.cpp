// Text handed to the toolkit is always valid UTF-8, whatever units a string
// holds: lone low surrogates show as U+FFFD, the rest converts unchanged.
#include "runtime/core/utf_convert.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TEST(StringToUtf8Gtk, LoneLowSurrogatesBecomeReplacementCharacters) {
    struct Case {
        std::u16string units;
        std::string expected;
    } cases[] = {
        {std::u16string{u'1', char16_t(0xDFFF), u'2'}, "1\xEF\xBF\xBD"
                                                       "2"},
        {std::u16string{char16_t(0xDC00), char16_t(0xDC00)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        // A whole pair stays a four-byte character; a low half after it is lone.
        {std::u16string{char16_t(0xD83D), char16_t(0xDE00), char16_t(0xDE00)}, "\xF0\x9F\x98\x80\xEF\xBF\xBD"},
        {std::u16string{u'\uD7FF', u'\uE000'}, "\xED\x9F\xBF\xEE\x80\x80"}, // neighbours of the surrogates
    };
    for (const Case& c : cases) {
        gchar* text = string_to_utf8_gtk(c.units.c_str());
        EXPECT_EQ(std::string(text), c.expected);
        g_free(text);
    }
}

TEST(StringToUtf8Gtk, RandomUnitsAlwaysGiveValidUtf8) {
    std::mt19937 rng(8);
    for (int round = 0; round < 20000; ++round) {
        std::u16string s;
        for (int n = static_cast<int>(rng() % 40); n > 0; --n) {
            std::uint32_t pick = rng() % 4;
            char16_t u =
                pick == 0 ? static_cast<char16_t>(0xD800 + rng() % 0x800) : static_cast<char16_t>(1 + rng() % 0xFFFF);
            s += u;
        }
        gchar* text = string_to_utf8_gtk(s.c_str());
        ASSERT_TRUE(g_utf8_validate(text, -1, nullptr)) << "round " << round;
        g_free(text);
    }
}

} // namespace
