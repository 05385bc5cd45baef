// Converters between code units and bytes, and their GTK-boundary wrappers.
#include "runtime/core/utf_convert.h"

#include "runtime/core/memory.h"
#include "runtime/core/wide_string.h"
#include "support/allocation_failure.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>

namespace {

// Converts units (count units, no terminator) to UTF-8 bytes through the
// counting and the writing pass.
std::string to_bytes(const std::u16string& units, std::int64_t* counted = nullptr) {
    std::int64_t n =
        utf16_to_multibyte(CODEPAGE_UTF8, units.data(), static_cast<std::int64_t>(units.size()), nullptr, 0);
    if (counted != nullptr) *counted = n;
    std::string out(static_cast<std::size_t>(n) + 4, '\x7E');
    std::int64_t m =
        utf16_to_multibyte(CODEPAGE_UTF8, units.data(), static_cast<std::int64_t>(units.size()), out.data(), n);
    EXPECT_EQ(out[static_cast<std::size_t>(n)], '\x7E') << "nothing written past the capacity";
    out.resize(static_cast<std::size_t>(m));
    return out;
}

std::u16string to_units(const std::string& bytes, std::int64_t* counted = nullptr) {
    std::int64_t size = static_cast<std::int64_t>(bytes.size());
    std::int64_t n = multibyte_to_utf16(CODEPAGE_UTF8, bytes.data(), size, nullptr, 0);
    if (counted != nullptr) *counted = n;
    std::u16string out(static_cast<std::size_t>(n) + 2, u'\x7E');
    std::int64_t m = multibyte_to_utf16(CODEPAGE_UTF8, bytes.data(), size, out.data(), n);
    EXPECT_EQ(out[static_cast<std::size_t>(n)], u'\x7E') << "nothing written past the capacity";
    out.resize(static_cast<std::size_t>(m));
    return out;
}

struct RoundTrip {
    std::u16string units;
    std::string bytes;
};

TEST(Utf8Conversion, KnownCharactersConvertBothWays) {
    const RoundTrip cases[] = {
        {u"\u0041", "\x41"},
        {u"\u00E9", "\xC3\xA9"},
        {u"\u4E2D", "\xE4\xB8\xAD"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"}, // D83D DE00
        {u"\u007F", "\x7F"},
        {u"\u0080", "\xC2\x80"},
        {u"\u07FF", "\xDF\xBF"},
        {u"\u0800", "\xE0\xA0\x80"},
        {u"\uFFFF", "\xEF\xBF\xBF"},
        {u"\U00010000", "\xF0\x90\x80\x80"},
        {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {u"date 2024/03/05 \u65E5\u4ED8 \U0001F600!", "date 2024/03/05 \xE6\x97\xA5\xE4\xBB\x98 \xF0\x9F\x98\x80!"},
    };
    for (const RoundTrip& c : cases) {
        std::int64_t counted = 0;
        EXPECT_EQ(to_bytes(c.units, &counted), c.bytes);
        EXPECT_EQ(counted, static_cast<std::int64_t>(c.bytes.size()));
        EXPECT_EQ(to_units(c.bytes, &counted), c.units);
        EXPECT_EQ(counted, static_cast<std::int64_t>(c.units.size()));
    }
}

TEST(Utf8Conversion, SurrogatesOutsidePairs) {
    // A lone low surrogate is written as a three-byte character.
    EXPECT_EQ(to_bytes(std::u16string(1, u'\xDC00')), "\xED\xB0\x80");
    EXPECT_EQ(to_bytes(std::u16string(1, u'\xDFFF')), "\xED\xBF\xBF");
    EXPECT_EQ(to_units("\xED\xB0\x80"), std::u16string(1, u'\xDC00')) << "surrogate code points are not rejected";

    // A high surrogate followed by a non-surrogate: counting stops there,
    // writing fails as a whole.
    const WideChar broken[] = {u'a', 0xD800, u'A', 0};
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, broken, 3, nullptr, 0), 1);
    char out[16] = {};
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, broken, 3, out, 16), 0);

    // A high surrogate as the last unit ends the conversion there.
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, broken, 2, nullptr, 0), 1);
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, broken, 2, out, 16), 1);
    EXPECT_EQ(out[0], 'a');
}

TEST(Utf8Conversion, BrokenByteSequences) {
    struct Case {
        std::string bytes;
        std::u16string counted_units; // what the counting pass sees
        std::int64_t written;         // result of the writing pass
    } cases[] = {
        {"\xC3\x41", std::u16string(1, u'\x0003'), 1}, // the 41 is consumed as the broken continuation
        {"\xE4\xB8", u"", 0},                          // cut off: conversion stops
        {"ab\xF0\x9F\x98", u"ab", 2},
        {"a\x80"
         "b",
         u"a", 0}, // continuation byte where a lead belongs
        {"a\xF8"
         "b",
         u"a", 0},
        {"a\xFF", u"a", 0},
        {"x\xF4\x90\x80\x80y", u"x", 1},           // above U+10FFFF: conversion stops
        {"\xC0\x80", std::u16string(1, u'\0'), 1}, // overlong forms are not rejected
    };
    for (const Case& c : cases) {
        std::int64_t size = static_cast<std::int64_t>(c.bytes.size());
        EXPECT_EQ(multibyte_to_utf16(CODEPAGE_UTF8, c.bytes.data(), size, nullptr, 0),
                  static_cast<std::int64_t>(c.counted_units.size()))
            << c.bytes;
        WideChar out[16];
        EXPECT_EQ(multibyte_to_utf16(CODEPAGE_UTF8, c.bytes.data(), size, out, 16), c.written) << c.bytes;
        if (c.written > 0) {
            EXPECT_EQ(std::u16string(out, static_cast<std::size_t>(c.written)), c.counted_units);
        }
    }
}

TEST(Utf8Conversion, WritingNeverSplitsACharacterAtTheCapacity) {
    char bytes[8];
    std::memset(bytes, '#', sizeof bytes);
    const WideChar e_acute[] = {u'a', 0xE9, 0};
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, e_acute, 2, bytes, 2), 1);
    EXPECT_EQ(bytes[1], '#');
    std::memset(bytes, '#', sizeof bytes);
    const WideChar pair[] = {0xD83D, 0xDE00, 0};
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, pair, 2, bytes, 3), 0);
    EXPECT_EQ(bytes[0], '#');

    WideChar units[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(multibyte_to_utf16(CODEPAGE_UTF8, "\xF0\x9F\x98\x80", 4, units, 1), 0) << "a pair needs two free units";
    EXPECT_EQ(units[0], u'#');
    EXPECT_EQ(multibyte_to_utf16(CODEPAGE_UTF8, "abcdefghijkl", 12, units, 3), 3);
    EXPECT_EQ(units[3], u'#');
}

TEST(Utf8Conversion, CountsAndEmptyInputs) {
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, u"ab", -1, nullptr, 0), 3) << "-1 includes the terminator";
    EXPECT_EQ(multibyte_to_utf16(CODEPAGE_UTF8, "ab", -1, nullptr, 0), 3);
    EXPECT_EQ(multibyte_to_utf16(CODEPAGE_UTF8, nullptr, -1, nullptr, 0), 0);
    EXPECT_EQ(multibyte_to_utf16(CODEPAGE_UTF8, "ab", 0, nullptr, 0), 0);
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, nullptr, -1, nullptr, 0), 0);
    char bytes[4];
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, u"ab", 0, bytes, 4), 0);
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, u"ab", 2, bytes, 0), 0);
}

TEST(Latin1Conversion, OneBytePerUnit) {
    const WideChar units[] = {u'A', 0x100, 0xFF, 0x4E2D, 0xE9, 0};
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_LATIN1, units, 5, nullptr, 0), 3) << "units of 256 and above are skipped";
    char bytes[8] = {};
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_LATIN1, units, 5, bytes, 8), 3);
    EXPECT_EQ(std::string(bytes, 3), "A\xFF\xE9");
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_LATIN1, units, 5, bytes, 2), 2);
    EXPECT_EQ(utf16_to_multibyte(CODEPAGE_LATIN1, units, 0, nullptr, 0), 0);

    EXPECT_EQ(multibyte_to_utf16(CODEPAGE_LATIN1, "A\xE9\x80", 3, nullptr, 0), 3);
    WideChar out[4] = {};
    EXPECT_EQ(multibyte_to_utf16(CODEPAGE_LATIN1, "A\xE9\x80", 3, out, 4), 3);
    EXPECT_EQ(out[0], u'A');
    EXPECT_EQ(out[1], 0xE9);
    EXPECT_EQ(out[2], 0x80);
    EXPECT_EQ(multibyte_to_utf16(CODEPAGE_LATIN1, "A\xE9\x80", 3, out, 2), 2);
}

TEST(CodePages, UnknownPagesConvertNothing) {
    char bytes[8] = {};
    WideChar units[8] = {};
    for (int page : {1, 1252, 65000, -1}) {
        EXPECT_EQ(utf16_to_multibyte(page, u"abc", -1, nullptr, 0), 0);
        EXPECT_EQ(utf16_to_multibyte(page, u"abc", -1, bytes, 8), 0);
        EXPECT_EQ(multibyte_to_utf16(page, "abc", -1, nullptr, 0), 0);
        EXPECT_EQ(multibyte_to_utf16(page, "abc", -1, units, 8), 0);
    }
}

TEST(Utf8Conversion, AgreesWithGLibOnRandomValidText) {
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> kind(0, 4);
    for (int round = 0; round < 200; ++round) {
        std::u16string units;
        int length = static_cast<int>(random() % 300);
        for (int i = 0; i < length; ++i) {
            switch (kind(random)) {
            case 0:
                units += static_cast<char16_t>(0x20 + random() % 0x5F);
                break;
            case 1:
                units += static_cast<char16_t>(0x80 + random() % 0x780);
                break;
            case 2:
                units += static_cast<char16_t>(0x800 + random() % (0xD800 - 0x800));
                break;
            case 3:
                units += static_cast<char16_t>(0xE000 + random() % 0x2000);
                break;
            default: {
                char32_t cp = 0x10000 + random() % 0x100000;
                units += static_cast<char16_t>(0xD800 | ((cp - 0x10000) >> 10));
                units += static_cast<char16_t>(0xDC00 | ((cp - 0x10000) & 0x3FF));
            }
            }
        }
        gchar* expected =
            g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(units.c_str()), -1, nullptr, nullptr, nullptr);
        ASSERT_NE(expected, nullptr);
        char* ours = string_to_utf8(units.c_str());
        EXPECT_STREQ(ours, expected);
        WideChar* back = string_from_utf8_alloc(ours);
        EXPECT_EQ(std::u16string(back), units);
        string_free(back);
        mem_free(ours);
        g_free(expected);
    }
}

// Straightforward decoder following the conversion rules one byte at a
// time; the converter's fast paths must agree with it on any input.
std::int64_t reference_decode(const std::string& bytes, std::u16string* out, std::int64_t capacity) {
    std::int64_t n = 0;
    std::size_t i = 0;
    const std::size_t size = bytes.size();
    while (i < size) {
        unsigned lead = static_cast<unsigned char>(bytes[i]);
        unsigned cp;
        int follow;
        if (lead < 0x80) {
            cp = lead;
            follow = 0;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            cp = lead & 0x1F;
            follow = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F;
            follow = 2;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            cp = lead & 0x07;
            follow = 3;
        } else
            return out != nullptr ? 0 : n;
        if (size - i - 1 < static_cast<std::size_t>(follow)) break;
        ++i;
        for (int k = 0; k < follow; ++k) {
            unsigned c = static_cast<unsigned char>(bytes[i++]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp <= 0xFFFF) {
            if (out != nullptr) {
                if (n >= capacity) break;
                *out += static_cast<char16_t>(cp);
            }
            n += 1;
        } else if (cp <= 0x10FFFF) {
            if (out != nullptr) {
                if (n + 2 > capacity) break;
                *out += static_cast<char16_t>(0xD800 | ((cp - 0x10000) >> 10));
                *out += static_cast<char16_t>(0xDC00 | ((cp - 0x10000) & 0x3FF));
            }
            n += 2;
        } else {
            break;
        }
    }
    return n;
}

// The same for the other direction.
std::int64_t reference_encode(const std::u16string& units, std::string* out, std::int64_t capacity) {
    std::int64_t w = 0;
    const std::size_t count = units.size();
    for (std::size_t i = 0; i < count;) {
        if (out != nullptr && w >= capacity) return w; // writing stops once the output is full
        unsigned u = units[i];
        unsigned cp = u;
        std::size_t used = 1;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= count) return w;
            unsigned low = units[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) return out != nullptr ? 0 : w;
            cp = 0x10000 + (((u & 0x3FF) << 10) | (low & 0x3FF));
            used = 2;
        }
        std::string bytes;
        if (cp < 0x80)
            bytes += static_cast<char>(cp);
        else if (cp < 0x800) {
            bytes += static_cast<char>(0xC0 | (cp >> 6));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            bytes += static_cast<char>(0xE0 | (cp >> 12));
            bytes += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (cp >> 18));
            bytes += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        }
        if (out != nullptr) {
            if (w + static_cast<std::int64_t>(bytes.size()) > capacity) return w;
            *out += bytes;
        }
        w += static_cast<std::int64_t>(bytes.size());
        i += used;
    }
    return w;
}

TEST(Utf8Conversion, FastPathsAgreeWithTheByteByByteRulesOnAnyInput) {
    std::mt19937 random(77);
    const unsigned char pieces[][4] = {
        {0x41},
        {0xC3, 0xA9},
        {0xE4, 0xB8, 0xAD},
        {0xF0, 0x9F, 0x98, 0x80},
        {0xC3, 0x41},
        {0x80},
        {0xF8},
        {0xE4, 0xB8},
        {0xF4, 0x90, 0x80, 0x80},
        {0xF0, 0x80, 0x80, 0x80},
        {0xED, 0xB0, 0x80},
        {0xC0, 0x80},
        {0xF7, 0xBF, 0xBF, 0xBF},
    };
    const int piece_lengths[] = {1, 2, 3, 4, 2, 1, 1, 2, 4, 4, 3, 2, 4};
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        int length = static_cast<int>(random() % 120);
        int broken_at = static_cast<int>(random() % 140);
        for (int p = 0; p < length; ++p) {
            int piece = p == broken_at ? static_cast<int>(4 + random() % 9) : static_cast<int>(random() % 4);
            bytes.append(reinterpret_cast<const char*>(pieces[piece]), static_cast<std::size_t>(piece_lengths[piece]));
        }
        if (random() % 2 == 0) bytes += '\0';
        const auto size = static_cast<std::int64_t>(bytes.size());
        ASSERT_EQ(multibyte_to_utf16(CODEPAGE_UTF8, bytes.data(), size, nullptr, 0),
                  reference_decode(bytes, nullptr, 0));
        std::int64_t counted = reference_decode(bytes, nullptr, 0);
        for (std::int64_t capacity : {counted, counted / 2 + 1, counted + 3}) {
            std::u16string expected;
            std::int64_t expected_n = reference_decode(bytes, &expected, capacity);
            std::u16string got(static_cast<std::size_t>(capacity) + 1, u'#');
            std::int64_t n = multibyte_to_utf16(CODEPAGE_UTF8, bytes.data(), size, got.data(), capacity);
            ASSERT_EQ(n, expected_n) << "round " << round << " capacity " << capacity;
            ASSERT_EQ(got[static_cast<std::size_t>(capacity)], u'#');
            if (n > 0) {
                ASSERT_EQ(got.substr(0, static_cast<std::size_t>(n)), expected.substr(0, static_cast<std::size_t>(n)));
            }
        }
    }
    for (int round = 0; round < 3000; ++round) {
        std::u16string units;
        int length = static_cast<int>(random() % 120);
        int broken_at = static_cast<int>(random() % 160);
        for (int p = 0; p < length; ++p) {
            switch (p == broken_at ? 5 + random() % 2 : random() % 5) {
            case 0:
                units += static_cast<char16_t>(0x20 + random() % 0x5F);
                break;
            case 1:
                units += static_cast<char16_t>(0xA0 + random() % 0x60);
                break;
            case 2:
                units += static_cast<char16_t>(0x4E00 + random() % 0x5200);
                break;
            case 3:
                units += u"\U0001F600";
                break;
            case 4:
                units += static_cast<char16_t>(0xDC00 + random() % 0x400);
                break; // lone low: allowed
            case 5:
                units += static_cast<char16_t>(0xD800);
                units += u'x';
                break; // broken pair
            default:
                units += static_cast<char16_t>(0xDBFF);
                break; // high, maybe last
            }
        }
        const auto count = static_cast<std::int64_t>(units.size());
        std::int64_t counted = reference_encode(units, nullptr, 0);
        ASSERT_EQ(utf16_to_multibyte(CODEPAGE_UTF8, units.data(), count, nullptr, 0), counted) << "round " << round;
        for (std::int64_t capacity : {counted, counted / 2 + 1, counted + 5}) {
            if (capacity <= 0) continue;
            std::string expected;
            std::int64_t expected_w = reference_encode(units, &expected, capacity);
            std::string got(static_cast<std::size_t>(capacity) + 1, '#');
            std::int64_t w = utf16_to_multibyte(CODEPAGE_UTF8, units.data(), count, got.data(), capacity);
            ASSERT_EQ(w, expected_w) << "round " << round << " capacity " << capacity;
            ASSERT_EQ(got[static_cast<std::size_t>(capacity)], '#');
            if (w > 0) {
                ASSERT_EQ(got.substr(0, static_cast<std::size_t>(w)), expected.substr(0, static_cast<std::size_t>(w)));
            }
        }
    }
}

TEST(Utf8Conversion, LongRunsOfOneKindAtEveryAlignment) {
    // Runs long enough for the block paths, after 0-3 ASCII characters, with
    // a different character at the end so the tail is exercised too.
    const std::u16string kinds[] = {u"a", u"\u00E9", u"\u4E2D", u"\U0001F600", std::u16string(1, char16_t(0xDC05))};
    for (const std::u16string& kind : kinds) {
        for (int prefix = 0; prefix < 4; ++prefix) {
            std::u16string units(static_cast<std::size_t>(prefix), u'x');
            for (int k = 0; k < 40; ++k)
                units += kind;
            units += u"\u00FFz";
            std::string expected;
            reference_encode(units, &expected, INT64_MAX);
            std::int64_t counted = 0;
            EXPECT_EQ(to_bytes(units, &counted), expected) << prefix;
            EXPECT_EQ(counted, static_cast<std::int64_t>(expected.size()));
            std::u16string back;
            reference_decode(expected, &back, INT64_MAX);
            EXPECT_EQ(to_units(expected), back) << prefix;
        }
    }
    // Four-byte forms that are not plain pairs: overlong, and above U+10FFFF.
    const char* odd_sequences[] = {"\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF7\xBF\xBF\xBF",
                                   "\xF4\x8F\xBF\xBF"};
    for (const char* sequence : odd_sequences) {
        for (int prefix = 0; prefix < 4; ++prefix) {
            std::string bytes(static_cast<std::size_t>(prefix), 'x');
            for (int k = 0; k < 20; ++k)
                bytes += sequence;
            bytes += "tail";
            std::u16string expected;
            std::int64_t expected_count = reference_decode(bytes, nullptr, 0);
            reference_decode(bytes, &expected, INT64_MAX);
            std::int64_t counted = 0;
            EXPECT_EQ(to_units(bytes, &counted), expected) << prefix;
            EXPECT_EQ(counted, expected_count);
        }
    }
}

// ---- GTK boundary ----

TEST(StringToUtf8, ValidAndUnconvertibleStrings) {
    struct Case {
        std::u16string units;
        const char* expected;
        const char* expected_gtk = nullptr; // when the toolkit's copy differs
    } cases[] = {
        {u"", ""},
        {u"push", "push"},
        {u"\u3000\u65E5\u4ED8\u5165\u529B", "\xE3\x80\x80\xE6\x97\xA5\xE4\xBB\x98\xE5\x85\xA5\xE5\x8A\x9B"},
        {std::u16string{char16_t(0xD800), u'A'}, ""}, // a broken pair at the start: the empty text
        // The toolkit gets valid UTF-8 only: a lone low surrogate shows as U+FFFD.
        {std::u16string{char16_t(0xDC00)}, "\xED\xB0\x80", "\xEF\xBF\xBD"},
        {std::u16string{u'a', u'b', char16_t(0xD800)}, "ab"}, // counting stops at the lone high surrogate
    };
    for (const Case& c : cases) {
        gchar* gtk_text = string_to_utf8_gtk(c.units.c_str());
        char* text = string_to_utf8(c.units.c_str());
        ASSERT_NE(gtk_text, nullptr);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(gtk_text, c.expected_gtk ? c.expected_gtk : c.expected);
        EXPECT_STREQ(text, c.expected);
        g_free(gtk_text);
        mem_free(text);
    }
    gchar* from_null = string_to_utf8_gtk(nullptr);
    EXPECT_STREQ(from_null, "");
    g_free(from_null);
    char* plain_null = string_to_utf8(nullptr);
    EXPECT_STREQ(plain_null, "");
    mem_free(plain_null);
}

TEST(StringToUtf8, WithoutMemoryGivesNullOnlyWhenNothingCanBeAllocated) {
    tda_test::AllocationFailureScope no_memory;
    EXPECT_EQ(string_to_utf8(u"abc"), nullptr);
}

TEST(StringFromUtf8, WritesAtTheOffsetAndLeavesThePositionAtTheTerminator) {
    workspace_ensure();
    std::int64_t start = workspace_position();
    workspace_push_string(u"Year: ");
    std::int64_t at = workspace_position();
    EXPECT_EQ(string_from_utf8("2024\xE5\xB9\xB4", at), 6);
    EXPECT_EQ(std::u16string(workspace_string_at(start)), u"Year: 2024\u5E74");
    EXPECT_EQ(workspace_position(), at + 10);

    EXPECT_EQ(string_from_utf8(nullptr, start), 1);
    EXPECT_EQ(std::u16string(workspace_string_at(start)), u"");
    EXPECT_EQ(workspace_position(), start);
}

TEST(StringFromUtf8, InvalidTextStillEndsTerminatedInsideTheRoom) {
    struct Case {
        const char* text;
        std::u16string expected;
    } cases[] = {
        {"abc\xF0\x9F", u"abc"}, // cut-off sequence: the counted prefix survives
        {"\x80"
         "abc",
         u""}, // a stray continuation byte: nothing survives
        {"ab\xC3\x41"
         "cd",
         u"ab\x0003"
         "cd"}, // broken continuation consumes the 41
        {"x\xF4\x90\x80\x80", u"x"},
    };
    for (const Case& c : cases) {
        workspace_ensure();
        std::int64_t at = workspace_position();
        workspace_push_string(u"ZZZZZZZZZZZZZZZZ"); // stale text the result must not run into
        workspace_set_position(at);
        string_from_utf8(c.text, at);
        EXPECT_EQ(std::u16string(workspace_string_at(at)), c.expected) << c.text;
        EXPECT_EQ(workspace_position(), at + 2 * static_cast<std::int64_t>(c.expected.size())) << c.text;
        workspace_set_position(at);

        WideChar* allocated = string_from_utf8_alloc(c.text);
        ASSERT_NE(allocated, nullptr);
        EXPECT_EQ(std::u16string(allocated), c.expected) << c.text;
        string_free(allocated);
    }
}

TEST(StringFromUtf8, WithoutRoomWritesNothing) {
    std::thread worker([] {
        workspace_ensure();
        std::string long_text(1000, 'q');
        {
            tda_test::AllocationFailureScope no_memory;
            EXPECT_EQ(string_from_utf8(long_text.c_str(), 0), 0);
            EXPECT_EQ(string_from_utf8_alloc("abc"), nullptr);
        }
        EXPECT_EQ(std::u16string(workspace_string_at(0)), u"") << "an empty result where it fits";
        EXPECT_EQ(workspace_current()->capacity, 16);
    });
    worker.join();
}

TEST(Latin9, ConvertsBothWaysAndFallsBackToACopy) {
    gchar* euro = latin9_to_utf8("\xA4 5");
    EXPECT_STREQ(euro, "\xE2\x82\xAC 5");
    gchar* back = utf8_to_latin9(euro);
    EXPECT_STREQ(back, "\xA4 5");
    gchar* unconvertible = utf8_to_latin9("\xE4\xB8\xAD"); // U+4E2D has no ISO-8859-15 byte
    EXPECT_STREQ(unconvertible, "\xE4\xB8\xAD");
    gchar* empty = latin9_to_utf8(nullptr);
    EXPECT_STREQ(empty, "");
    gchar* empty_too = utf8_to_latin9(nullptr);
    EXPECT_STREQ(empty_too, "");
    for (gchar* p : {euro, back, unconvertible, empty, empty_too})
        g_free(p);
}

} // namespace
