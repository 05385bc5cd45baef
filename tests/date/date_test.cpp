// Dates: construction range, calendar checks, arithmetic with clamping and
// without wraps, fields, masks and the current-time source.
#include "runtime/core/wide_string.h"
#include "runtime/date/date.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

class DateTest : public ::testing::Test {
  protected:
    void SetUp() override { workspace_ensure(); }
};

// date_format through the workspace, as the application calls it; checks that
// the position is left at the result's terminator.
std::u16string formatted(const WideChar* mask, DateValue date) {
    const std::int64_t start = workspace_position();
    WideChar* result = date_format(mask, date, start);
    EXPECT_NE(result, nullptr);
    if (result == nullptr) return u"<failed>";
    std::u16string text(workspace_string_at(start));
    EXPECT_EQ(workspace_position(), start + 2 * static_cast<std::int64_t>(text.size()));
    workspace_set_position(start);
    return text;
}

// date_format_into with a buffer of exactly the mask's length plus one, followed
// by guard units that must stay untouched.
std::u16string formatted_into(const std::u16string& mask, DateValue date) {
    std::vector<WideChar> buffer(mask.size() + 1 + 8, u'#');
    date_format_into(mask.c_str(), date, buffer.data());
    for (std::size_t i = mask.size() + 1; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], u'#') << "written past the mask's length";
    }
    return std::u16string(buffer.data());
}

struct Fields {
    std::int32_t year, month, day, hour, minute, second;
};

Fields fields_of(DateValue d) {
    return {date_year(d), date_month(d), date_day(d), date_hour(d), date_minute(d), date_second(d)};
}

bool operator==(const Fields& a, const Fields& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second;
}

std::ostream& operator<<(std::ostream& out, const Fields& f) {
    return out << f.year << '-' << f.month << '-' << f.day << ' ' << f.hour << ':' << f.minute << ':' << f.second;
}

TEST_F(DateTest, MakeAcceptsExactlyTheThirtyOneBitRange) {
    const struct {
        Fields in;
        DateValue expected;
    } cases[] = {
        {{1970, 1, 1, 0, 0, 0}, 0},
        {{2038, 1, 19, 3, 14, 7}, 2147483647},
        {{2038, 1, 19, 3, 14, 8}, DATE_INVALID},
        {{2038, 1, 19, 3, 15, 0}, DATE_INVALID},
        {{2038, 1, 19, 4, 0, 0}, DATE_INVALID},
        {{2038, 1, 19, 2, 59, 59}, 2147482799},
        {{2038, 1, 18, 23, 59, 59}, 2147471999},
        {{2038, 1, 20, 0, 0, 0}, DATE_INVALID},
        {{2038, 2, 1, 0, 0, 0}, DATE_INVALID},
        {{1969, 12, 31, 23, 59, 59}, DATE_INVALID},
        {{2039, 1, 1, 0, 0, 0}, DATE_INVALID},
        {{2037, 12, 31, 23, 59, 59}, 2145916799},
        {{2024, 3, 5, 10, 20, 30}, 1709634030},
        {{INT32_MIN, 1, 1, 0, 0, 0}, DATE_INVALID},
        {{INT32_MAX, 1, 1, 0, 0, 0}, DATE_INVALID},
    };
    for (const auto& c : cases) {
        const Fields& f = c.in;
        EXPECT_EQ(date_make(f.year, f.month, f.day, f.hour, f.minute, f.second), c.expected) << f;
    }
}

TEST_F(DateTest, MakeRejectsDaysAndFieldsThatDoNotExist) {
    const struct {
        Fields in;
        bool valid;
    } cases[] = {
        {{2000, 2, 29, 0, 0, 0}, true},    {{2024, 2, 29, 0, 0, 0}, true},   {{2023, 2, 29, 0, 0, 0}, false},
        {{2024, 2, 30, 0, 0, 0}, false},   {{2024, 4, 31, 0, 0, 0}, false},  {{2024, 6, 31, 0, 0, 0}, false},
        {{2024, 9, 31, 0, 0, 0}, false},   {{2024, 11, 31, 0, 0, 0}, false}, {{2024, 12, 31, 0, 0, 0}, true},
        {{2024, 13, 1, 0, 0, 0}, false},   {{2024, 0, 1, 0, 0, 0}, false},   {{2024, 1, 0, 0, 0, 0}, false},
        {{2024, 1, 32, 0, 0, 0}, false},   {{2024, 1, 1, 0, 0, 60}, false},  {{2024, 1, 1, 0, 60, 0}, false},
        {{2024, 1, 1, 24, 0, 0}, false},   {{2024, 1, 1, -1, 0, 0}, false},  {{2024, 1, 1, 0, -1, 0}, false},
        {{2024, 1, 1, 0, 0, -1}, false},   {{2024, -1, 1, 0, 0, 0}, false},  {{2024, 1, -5, 0, 0, 0}, false},
        {{1972, 2, 29, 23, 59, 59}, true},
    };
    for (const auto& c : cases) {
        const Fields& f = c.in;
        const DateValue d = date_make(f.year, f.month, f.day, f.hour, f.minute, f.second);
        EXPECT_EQ(d != DATE_INVALID, c.valid) << f;
        if (c.valid) {
            EXPECT_EQ(fields_of(d), f) << "read back as built";
        }
    }
}

TEST_F(DateTest, FieldsAreTheSameInEveryTimeZone) {
    const char* saved = std::getenv("TZ");
    const std::string saved_tz = saved != nullptr ? saved : "";
    const DateValue d = date_make(2024, 3, 5, 10, 20, 30);
    for (const char* zone : {"UTC0", "JST-9", "EST5EDT,M3.2.0,M11.1.0", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(date_make(2024, 3, 5, 10, 20, 30), d) << zone;
        EXPECT_EQ(fields_of(d), (Fields{2024, 3, 5, 10, 20, 30})) << zone;
    }
    if (saved != nullptr)
        setenv("TZ", saved_tz.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(DateTest, InvalidAndUnrepresentableValuesHaveZeroFields) {
    const Fields zero{0, 0, 0, 0, 0, 0};
    for (DateValue d : {DATE_INVALID, INT64_MAX, INT64_MIN})
        EXPECT_EQ(fields_of(d), zero) << d;
    EXPECT_EQ(fields_of(-86400), (Fields{1969, 12, 31, 0, 0, 0}));
    EXPECT_EQ(fields_of(-2), (Fields{1969, 12, 31, 23, 59, 58}));
}

TEST_F(DateTest, MonthArithmeticClampsTheDayToTheMonthsEnd) {
    const struct {
        Fields from;
        std::uint32_t unit;
        std::int64_t amount;
        Fields to; // year 0: DATE_INVALID
    } cases[] = {
        {{2024, 1, 31, 0, 0, 0}, DATE_UNIT_MONTH, 1, {2024, 2, 29, 0, 0, 0}},
        {{2023, 1, 31, 0, 0, 0}, DATE_UNIT_MONTH, 1, {2023, 2, 28, 0, 0, 0}},
        {{2024, 2, 29, 12, 0, 1}, DATE_UNIT_YEAR, 1, {2025, 2, 28, 12, 0, 1}},
        {{2024, 1, 15, 0, 0, 0}, DATE_UNIT_MONTH, -13, {2022, 12, 15, 0, 0, 0}},
        {{2024, 3, 31, 8, 9, 10}, DATE_UNIT_MONTH, -1, {2024, 2, 29, 8, 9, 10}},
        {{2024, 5, 31, 0, 0, 0}, DATE_UNIT_MONTH, 1, {2024, 6, 30, 0, 0, 0}},
        {{2024, 12, 31, 0, 0, 0}, DATE_UNIT_MONTH, 2, {2025, 2, 28, 0, 0, 0}},
        {{2024, 1, 15, 0, 0, 0}, DATE_UNIT_MONTH, 0, {2024, 1, 15, 0, 0, 0}},
        {{2024, 1, 15, 0, 0, 0}, DATE_UNIT_YEAR, -54, {1970, 1, 15, 0, 0, 0}},
        {{2037, 12, 1, 0, 0, 0}, DATE_UNIT_MONTH, 2, {0, 0, 0, 0, 0, 0}},
        {{2037, 12, 19, 4, 0, 0}, DATE_UNIT_MONTH, 1, {0, 0, 0, 0, 0, 0}},
        {{2037, 12, 19, 3, 0, 0}, DATE_UNIT_MONTH, 1, {2038, 1, 19, 3, 0, 0}},
        {{1970, 1, 31, 0, 0, 0}, DATE_UNIT_MONTH, -1, {0, 0, 0, 0, 0, 0}},
        {{2024, 1, 15, 0, 0, 0}, DATE_UNIT_MONTH, INT32_MAX, {0, 0, 0, 0, 0, 0}},
        {{2024, 1, 15, 0, 0, 0}, DATE_UNIT_MONTH, INT64_MIN, {0, 0, 0, 0, 0, 0}},
        {{2024, 1, 15, 0, 0, 0}, DATE_UNIT_YEAR, INT64_MAX / 2, {0, 0, 0, 0, 0, 0}},
        {{2024, 1, 15, 0, 0, 0}, DATE_UNIT_YEAR, 4294967297, {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const Fields& f = c.from;
        const DateValue from = date_make(f.year, f.month, f.day, f.hour, f.minute, f.second);
        ASSERT_NE(from, DATE_INVALID) << f;
        const DateValue result = date_add(from, c.unit, c.amount);
        if (c.to.year == 0) {
            EXPECT_EQ(result, DATE_INVALID) << f << " + " << c.amount << " unit " << c.unit;
        } else {
            EXPECT_EQ(fields_of(result), c.to) << f << " + " << c.amount << " unit " << c.unit;
        }
    }
}

TEST_F(DateTest, FixedUnitsAddSecondsAndNeverWrap) {
    const DateValue d = date_make(2024, 3, 5, 10, 20, 30);
    const struct {
        DateValue from;
        std::uint32_t unit;
        std::int64_t amount;
        DateValue expected;
    } cases[] = {
        {d, DATE_UNIT_WEEK, 2, d + 2 * 604800},
        {d, DATE_UNIT_DAY, -3, d - 3 * 86400},
        {d, DATE_UNIT_HOUR, 5, d + 5 * 3600},
        {d, DATE_UNIT_MINUTE, -7, d - 7 * 60},
        {d, DATE_UNIT_SECOND, 1, d + 1},
        {0, DATE_UNIT_DAY, -1, -86400},
        {d, 7, 100, d},
        {d, 0xFFFFFFFFu, 100, d},
        {DATE_INVALID, DATE_UNIT_DAY, 1, DATE_INVALID},
        {DATE_INVALID, DATE_UNIT_MONTH, 1, DATE_INVALID},
        {DATE_INVALID, 7, 1, DATE_INVALID},
        // Past the 31-bit range with a plain count: allowed, and exact.
        {2147483647, DATE_UNIT_SECOND, 1, 2147483648},
        {2147483647, DATE_UNIT_DAY, 1000000, 2147483647 + std::int64_t{1000000} * 86400},
        {2147483647, DATE_UNIT_DAY, INT32_MAX, DATE_INVALID}, // year 5 881 000: past four digits
        // The four-digit calendar is the limit of every result.
        {0, DATE_UNIT_SECOND, DATE_ADD_LAST, DATE_ADD_LAST},
        {0, DATE_UNIT_SECOND, DATE_ADD_LAST + 1, DATE_INVALID},
        {0, DATE_UNIT_DAY, 2932896, 2932896 * std::int64_t{86400}},
        {0, DATE_UNIT_DAY, 2932897, DATE_INVALID},
        {0, DATE_UNIT_DAY, -719162, DATE_ADD_FIRST},
        {0, DATE_UNIT_DAY, -719163, DATE_INVALID},
        // Counts whose seconds cannot be represented at all.
        {d, DATE_UNIT_DAY, 4294967297, DATE_INVALID},
        {d, DATE_UNIT_WEEK, INT64_MAX, DATE_INVALID},
        {d, DATE_UNIT_WEEK, INT64_MIN, DATE_INVALID},
        {d, DATE_UNIT_SECOND, INT64_MAX, DATE_INVALID},
        {INT64_MAX, DATE_UNIT_SECOND, 1, DATE_INVALID},
        {INT64_MIN, DATE_UNIT_SECOND, -1, DATE_INVALID},
        {INT64_MAX, DATE_UNIT_MONTH, 1, DATE_INVALID},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(date_add(c.from, c.unit, c.amount), c.expected) << c.from << " + " << c.amount << " unit " << c.unit;
    }
}

TEST_F(DateTest, FormatMasks) {
    const DateValue d = date_make(2024, 3, 5, 10, 20, 30);
    const DateValue early = date_make(2005, 11, 9, 1, 2, 3);
    const struct {
        const char16_t* mask;
        DateValue date;
        const char16_t* expected;
    } cases[] = {
        {u"%yyyy/%mm/%dd", d, u"2024/03/05"},
        {u"%YY-%MM", d, u"24-03"},
        {u"%%yyyy", d, u"%2024"},
        {u"%yyy", d, u"24y"},
        {u"%Yyyy", d, u"2024"},
        {u"%yy", early, u"05"},
        {u"%hh:%ii:%ss", d, u"10:20:30"},
        {u"%HH%iI%Ss", early, u"010203"},
        {u"%x%", d, u"%x%"},
        {u"abc%", d, u"abc%"},
        {u"%", d, u"%"},
        {u"%%", d, u"%%"},
        {u"%y", d, u"%y"},
        {u"", d, u""},
        {u"年%yyyy月%mm", d, u"年2024月03"},
        {u"%yyyy/%mm/%dd", DATE_INVALID, u"0000/00/00"},
        {u"%yy %hh%ii%ss", DATE_INVALID, u"00 000000"},
        {u"%yyyy/%mm/%dd", -86400, u"1969/12/31"},
        {u"%yyyy/%mm/%dd", DATE_ADD_FIRST, u"0001/01/01"},
        {u"%yyyy/%mm/%dd", date_add(date_make(2024, 1, 1, 0, 0, 0), DATE_UNIT_DAY, -719000), u"0055/06/12"},
        {u"%yyyy/%mm/%dd", DATE_ADD_LAST, u"9999/12/31"},
        // Beyond four-digit years a date shows as no date.
        {u"%yyyy/%mm/%dd", DATE_ADD_LAST + 1, u"0000/00/00"},
        {u"%yyyy/%mm/%dd", INT64_MAX, u"0000/00/00"},
        {u"%yyyy/%mm/%dd", INT64_MIN, u"0000/00/00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatted(c.mask, c.date), c.expected) << "case " << (&c - cases);
        EXPECT_EQ(formatted_into(c.mask, c.date), c.expected) << "case " << (&c - cases);
    }
}

TEST_F(DateTest, FormatShowsResultsPast2038InFull) {
    const DateValue start = date_make(2038, 1, 10, 0, 0, 0);
    const DateValue later = date_add(start, DATE_UNIT_DAY, 30);
    EXPECT_EQ(later, 2146694400 + 30 * std::int64_t{86400});
    EXPECT_EQ(formatted(u"%yyyy/%mm/%dd", later), u"2038/02/09");
    EXPECT_EQ(formatted_into(u"%yyyy/%mm/%dd", later), u"2038/02/09");
    EXPECT_EQ(formatted(u"%yyyy/%mm/%dd", date_add(2147483647, DATE_UNIT_SECOND, 1)), u"2038/01/19");
    EXPECT_EQ(formatted(u"%yyyy/%mm/%dd", date_add(start, DATE_UNIT_DAY, 4294967297)), u"0000/00/00");
}

TEST_F(DateTest, NullMaskGivesTheEmptyString) {
    EXPECT_EQ(formatted(nullptr, 0), u"");
    WideChar out[2] = {u'#', u'#'};
    date_format_into(nullptr, 0, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(date_format_into(u"x", 0, nullptr), nullptr);
}

TEST_F(DateTest, LongMaskGrowsTheReservationAndKeepsEarlierText) {
    std::u16string mask;
    std::u16string expected;
    for (int i = 0; i < 3000; ++i) {
        mask += u"<%yyyy>";
        expected += u"<2024>";
    }
    EXPECT_EQ(formatted(mask.c_str(), date_make(2024, 1, 1, 0, 0, 0)), expected);
}

TEST_F(DateTest, MaskInsideTheWorkspaceSurvivesItsGrowth) {
    const std::int64_t start = workspace_position();
    std::u16string mask;
    for (int i = 0; i < 2500; ++i)
        mask += u"%dd.";
    workspace_push_string(mask.c_str());
    workspace_step(); // keep the mask's terminator
    const std::int64_t result_at = workspace_position();
    const WideChar* mask_in_workspace = workspace_string_at(start);
    date_format(mask_in_workspace, date_make(2024, 7, 8, 0, 0, 0), result_at);
    std::u16string expected;
    for (int i = 0; i < 2500; ++i)
        expected += u"08.";
    EXPECT_EQ(std::u16string(workspace_string_at(result_at)), expected);
    workspace_set_position(start);
}

std::time_t fixed_now = 0;
std::time_t fixed_clock() {
    return fixed_now;
}

TEST_F(DateTest, NowReadsTheLocalWallClockFromTheTimeSource) {
    const char* saved = std::getenv("TZ");
    const std::string saved_tz = saved != nullptr ? saved : "";
    date_set_time_source(fixed_clock);
    const struct {
        const char* zone;
        std::time_t now;
        DateValue expected;
    } cases[] = {
        {"UTC0", 1709634030, 1709634030},
        {"JST-9", 1709634030, 1709634030 + 9 * 3600},
        {"EST5", 1709634030, 1709634030 - 5 * 3600},
        {"UTC0", 2147483647, 2147483647},
        {"UTC0", 2147483648, DATE_INVALID},
        {"JST-9", 2147483647 - 9 * 3600 + 1, DATE_INVALID},
        {"EST5", 3600, DATE_INVALID}, // 1969-12-31 in that zone
    };
    for (const auto& c : cases) {
        setenv("TZ", c.zone, 1);
        tzset();
        fixed_now = c.now;
        EXPECT_EQ(date_now(), c.expected) << c.zone << " " << c.now;
    }
    date_set_time_source(nullptr);
    setenv("TZ", "UTC0", 1);
    tzset();
    // Back on the system clock: the same reading as the seam gives for the
    // clock's own time, on either side of 2038-01-19.
    const std::time_t before = std::time(nullptr);
    const DateValue now = date_now();
    const std::time_t after = std::time(nullptr);
    if (after > 2147483647) {
        EXPECT_EQ(now, DATE_INVALID);
    } else {
        EXPECT_GE(now, static_cast<DateValue>(before));
        EXPECT_LE(now, static_cast<DateValue>(after));
    }
    if (saved != nullptr)
        setenv("TZ", saved_tz.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace
