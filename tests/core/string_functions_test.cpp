// Substrings, integer parsing, formatting and comparisons.
#include "runtime/core/string_functions.h"

#include "runtime/core/wide_string.h"
#include "support/allocation_failure.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <thread>

namespace {

std::u16string mid(const WideChar* s, std::int32_t start, std::int32_t length) {
    workspace_ensure();
    std::int64_t at = workspace_position();
    WideChar* result = string_mid(s, start, length, at);
    EXPECT_EQ(result, workspace_string_at(at));
    std::u16string text(workspace_string_at(at));
    EXPECT_EQ(workspace_position(), at + 2 * static_cast<std::int64_t>(text.size())) << "position at the terminator";
    workspace_set_position(at);
    return text;
}

std::u16string mid_rest(const WideChar* s, std::int32_t start) {
    workspace_ensure();
    std::int64_t at = workspace_position();
    string_mid_rest(s, start, at);
    std::u16string text(workspace_string_at(at));
    EXPECT_EQ(workspace_position(), at + 2 * static_cast<std::int64_t>(text.size()));
    workspace_set_position(at);
    return text;
}

TEST(StringMid, TakesSubstringsOfADate) {
    struct Case {
        std::int32_t start, length;
        std::u16string expected;
    } cases[] = {
        {1, 4, u"2024"},       {6, 2, u"03"},
        {9, 2, u"05"},         {0, 3, u"202"},
        {-7, 3, u"202"},       {9, 100, u"05"},
        {10, 5, u"5"},         {11, 1, u""},
        {20, 3, u""},          {1, 0, u""},
        {1, -5, u""},          {1, INT32_MAX, u"2024/03/05"},
        {INT32_MIN, 2, u"20"}, {INT32_MAX, INT32_MAX, u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mid(u"2024/03/05", c.start, c.length), c.expected) << c.start << "," << c.length;
    EXPECT_EQ(mid(nullptr, 1, 3), u"");
}

TEST(StringMid, StartOfZeroAndOneAgree) {
    for (std::int32_t length : {0, 1, 3, 50})
        EXPECT_EQ(mid(u"abcdef", 0, length), mid(u"abcdef", 1, length));
}

TEST(StringMid, SourceInsideTheWorkspaceSurvivesReallocation) {
    workspace_ensure();
    std::int64_t start = workspace_position();
    std::u16string long_text;
    for (int i = 0; i < 10000; ++i)
        long_text += static_cast<char16_t>(u'a' + i % 26);
    WideChar* source = workspace_push_string(long_text.c_str());
    ASSERT_NE(source, nullptr);
    std::int64_t at = workspace_position();
    std::int64_t capacity_before = workspace_current()->capacity;
    // Reserving the whole length again exceeds the capacity and moves the buffer.
    ASSERT_NE(string_mid(source, 3, 10000, at), nullptr);
    EXPECT_GT(workspace_current()->capacity, capacity_before);
    EXPECT_EQ(std::u16string(workspace_string_at(at)), long_text.substr(2));
    workspace_set_position(start);
}

TEST(StringMid, SmallWorkspaceOnAFreshThread) {
    std::thread worker([] {
        workspace_ensure();
        WideChar* s = workspace_push_string(u"abcd");                  // 8 of 16 bytes used
        ASSERT_NE(string_mid(s, 2, 4, workspace_position()), nullptr); // needs 14: grows
        EXPECT_EQ(std::u16string(workspace_string_at(8)), u"bcd");
        // A result written over its own source, starting at the source.
        ASSERT_NE(string_mid(workspace_string_at(0), 3, 2, 0), nullptr);
        EXPECT_EQ(std::u16string(workspace_string_at(0)), u"cd");
    });
    worker.join();
}

TEST(StringMid, WithoutRoomWritesAnEmptyResultWhereItFits) {
    std::thread worker([] {
        workspace_ensure();
        std::u16string long_text(100, u'x');
        {
            tda_test::AllocationFailureScope no_memory;
            EXPECT_EQ(string_mid(long_text.c_str(), 1, 100, 0), nullptr);
        }
        EXPECT_EQ(std::u16string(workspace_string_at(0)), u"");
        EXPECT_EQ(workspace_position(), 0);
    });
    worker.join();
}

TEST(StringMidRest, TakesTheRestFromAStart) {
    EXPECT_EQ(mid_rest(u"2024/03/05", 6), u"03/05");
    EXPECT_EQ(mid_rest(u"2024/03/05", 1), u"2024/03/05");
    EXPECT_EQ(mid_rest(u"2024/03/05", 0), u"2024/03/05");
    EXPECT_EQ(mid_rest(u"2024/03/05", INT32_MIN), u"2024/03/05") << "no huge room for a far-off start";
    EXPECT_EQ(mid_rest(u"2024/03/05", 10), u"5");
    EXPECT_EQ(mid_rest(u"2024/03/05", 11), u"");
    EXPECT_EQ(mid_rest(u"2024/03/05", INT32_MAX), u"");
    EXPECT_EQ(mid_rest(nullptr, 3), u"");
}

TEST(StringToNumber, ReadsSignsPrefixesAndStopsAtTheFirstNonDigit) {
    struct Case {
        std::u16string text;
        std::int64_t expected;
    } cases[] = {
        {u" 12ab", 12},
        {u"-$ff", -255},
        {u"%101", 5},
        {u"", 0},
        {u"- 5", 0},
        {u"$-1", 0},
        {u"\t-42x", -42},
        {u"+7", 7},
        {u"  \t +$1A", 26},
        {u"$aBc", 0xABC},
        {u"%102", 2},
        {u"%", 0},
        {u"$", 0},
        {u"-", 0},
        {u"12 34", 12},
        {u"0042", 42},
        {u"\uFF11", 0}, // full-width digits are not digits
        {u"9223372036854775807", INT64_MAX},
        {u"9223372036854775808", INT64_MIN}, // wraps to the most negative value
        {u"-9223372036854775808", INT64_MIN},
        {u"18446744073709551617", 1}, // 2^64 + 1 wraps to 1
        {u"$FFFFFFFFFFFFFFFF", -1},
        {u"$1FFFFFFFFFFFFFFFF", -1},
        {u"%1" + std::u16string(64, u'0'), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(string_to_number(c.text.c_str()), c.expected) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(string_to_number(nullptr), 0);
}

TEST(StringFormat, FormatsThroughUtf8) {
    WideChar out[64];
    EXPECT_EQ(string_format(out, u"%d:%lld", 3, -1LL), 4);
    EXPECT_EQ(std::u16string(out), u"3:-1");
    EXPECT_EQ(string_format(nullptr, u"%d:%lld", 3, -1LL), 4);

    EXPECT_EQ(string_format(out, u"%s-%.2f|%5d", "\xE6\x97\xA5", 1.5, 42), 12);
    EXPECT_EQ(std::u16string(out), u"\u65E5-1.50|   42");
    EXPECT_EQ(string_format(nullptr, u"%s", "\xE6\x97\xA5"), 3) << "a null destination gives bytes";

    EXPECT_EQ(string_format(out, u"\u5E74%04d", 7), 5) << "a format holding non-ASCII text";
    EXPECT_EQ(std::u16string(out), u"\u5E740007");

    EXPECT_EQ(string_format(out, u""), 0);
    EXPECT_EQ(std::u16string(out), u"");
}

TEST(StringFormat, EightBitTextThatIsNotUtf8StillEndsTerminated) {
    WideChar out[16];
    for (WideChar& u : out)
        u = u'#';
    string_format(out, u"a%sb", "\x80");
    std::u16string text(out);
    EXPECT_LT(text.size(), 16u);
}

TEST(StringFormat, WithoutMemoryWritesNothing) {
    WideChar out[16] = {u'#', 0};
    tda_test::AllocationFailureScope no_memory;
    EXPECT_EQ(string_format(out, u"%d", 5), 0);
    EXPECT_EQ(out[0], 0);
}

TEST(StringFromInt, WritesDecimalText) {
    struct Case {
        std::int32_t value;
        std::u16string expected;
    } cases[] = {
        {0, u"0"}, {7, u"7"}, {-7, u"-7"}, {100, u"100"}, {2147483647, u"2147483647"}, {INT32_MIN, u"-2147483648"},
    };
    for (const Case& c : cases) {
        WideChar out[16];
        EXPECT_EQ(string_from_int(c.value, out), out);
        EXPECT_EQ(std::u16string(out), c.expected);
    }
}

TEST(StringCompare, SignedUnitDifferences) {
    const WideChar han[] = {0x4E2D, 0};
    const WideChar high[] = {0x8000, 0};
    EXPECT_GT(string_compare(han, u"A"), 0);
    EXPECT_LT(string_compare(high, u"A"), 0) << "units from 0x8000 up count as negative";
    EXPECT_EQ(string_compare(high, u"A"), -32768 - 65);
    EXPECT_EQ(string_compare(u"abc", u"abc"), 0);
    EXPECT_EQ(string_compare(u"", u""), 0);
    EXPECT_EQ(string_compare(u"b", u"a"), 1);
    EXPECT_EQ(string_compare(u"ab", u"abc"), -u'c');
    EXPECT_EQ(string_compare(u"abc", u"ab"), u'c');
    EXPECT_EQ(string_compare(u"A", u"a"), u'A' - u'a');
}

TEST(StringCompare, IgnoringCase) {
    const WideChar high[] = {0x8000, 0};
    EXPECT_EQ(string_compare_nocase(u"Tda_Id", u"tda_id"), 0);
    EXPECT_EQ(string_compare_nocase(u"abd", u"ABC"), 1);
    EXPECT_EQ(string_compare_nocase(u"ABC", u"abd"), -1);
    EXPECT_EQ(string_compare_nocase(u"ab", u"ABc"), -u'c');
    EXPECT_EQ(string_compare_nocase(high, high), 0);
    EXPECT_LT(string_compare_nocase(high, u"a"), 0);
    EXPECT_EQ(string_compare_nocase(u"", u""), 0);

    EXPECT_EQ(string_compare_nocase_n(u"abcX", u"ABCy", 3), 0);
    EXPECT_NE(string_compare_nocase_n(u"abcX", u"ABCy", 4), 0);
    EXPECT_EQ(string_compare_nocase_n(u"x", u"y", 0), 0);
    EXPECT_EQ(string_compare_nocase_n(u"ab", u"AB", 10), 0) << "stops at a common terminator";
    EXPECT_EQ(string_compare_nocase_n(u"ab", u"ABC", 10), -u'c');
}

TEST(StringCompare, IgnoringCaseFollowsTheLocaleBeyondAscii) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no UTF-8 locale";
    EXPECT_EQ(string_compare_nocase(u"\u00C9T\u00C9", u"\u00E9t\u00E9"), 0);
    std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
