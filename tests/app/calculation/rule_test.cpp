// The calculation rule, once, through the calculation library as both front
// ends call it: the window hands over its field texts (calculate_date), the
// command a DATE and a COUNT (calculate_from_text). A new case is one more row.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include "app/calculation/calculation.h"

#include "runtime/core/wide_string.h"

#include <string>

namespace {

struct RuleRow {
    const char *year, *month, *day, *count, *after, *before;
};
const RuleRow CALCULATION_RULE[] = {
    {"2024", "2", "28", "1", "2024/02/29", "2024/02/27"}, // leap day both ways
    {"1970", "1", "1", "1", "1970/01/02", "1969/12/31"},  // no range check on results
    {"2024", "2", "30", "1", "0000/00/00", "0000/00/00"}, // no such day
    {"2038", "1", "20", "0", "0000/00/00", "0000/00/00"}, // past the entry range
    {"year", "1", "1", "1", "0000/00/00", "0000/00/00"},
    {"2024", "1", "1x", "1", "2024/01/02", "2023/12/31"},   // digits up to the first other character
    {"2038", "1", "10", "30", "2038/02/09", "2037/12/11"},  // past 2038 in full
    {"2024", "1", "1", "$10", "2024/01/17", "2023/12/16"},  // hexadecimal
    {"2024", "1", "1", "%101", "2024/01/06", "2023/12/27"}, // binary
    {"2024", "03", "3x", "12ab", "2024/03/15", "2024/02/20"},
    {"2024", "1", "10", "-7", "2024/01/03", "2024/01/17"}, // a negative count goes the other way
    {"2024", "1", "10", " 7", "2024/01/17", "2024/01/03"}, // blanks and signs
    {"2024", "1", "10", "+7", "2024/01/17", "2024/01/03"},
    {"2024", "2", "28", "", "2024/02/28", "2024/02/28"},                 // no number: 0
    {"2000", "1", "1", "$FFFFFFFFFFFFFFFF", "1999/12/31", "2000/01/02"}, // wraps to -1
    {"2000", "1", "1", "99999999999999999999", "0000/00/00", "0000/00/00"},
    {"2000", "1", "1", "-9223372036854775808", "0000/00/00", "0000/00/00"},
    {"2000", "1", "1", "4294967297", "0000/00/00", "0000/00/00"},
    {"4294969320", "1", "1", "1", "0000/00/00", "0000/00/00"}, // a year beyond 32 bits is no year
    {"\u3000２０２４", "＋０２", "％１１１００", "－＄Ａ", "2024/02/18",
     "2024/03/09"}, // full-width, as typed in Japanese
    {"2024", "1", "10", "−＄ａ", "2023/12/31", "2024/01/20"},
    {"2024", "01", "01", "1\xff", "2024/01/02", "2023/12/31"}, // a byte that is no character stops the reading
    {"2024", "1", "1", "1\xef\xbf\xbd", "2024/01/02", "2023/12/31"},
};

// A DATE as one text: folded as a whole, then split at "/" or "-".
struct DateRow {
    const char *date, *count, *after;
};
const DateRow DATE_TEXTS[] = {
    {"2024-01-10", "-7", "2024/01/03"},          {"2024/01", "1", "0000/00/00"}, {"", "1", "0000/00/00"},
    {"2024／02／28", "1", "2024/02/29"},         // full-width separators
    {"２０２４−０１−０２", "1", "2024/01/03"},   // U+2212, as EUC-JP and Shift_JIS decode the full-width hyphen
    {"２０２４－０１－０２", "1", "2024/01/03"}, // U+FF0D
    {"2024/01-02", "1", "0000/00/00"},           // the second separator is of the first one's kind
    {"\xff\xfe/\xc0/1", "1", "0000/00/00"},
};

std::string wide_result(const RuleRow& r, CountDirection direction) {
    auto wide = [](const char* s) {
        g_autofree gchar* valid = g_utf8_make_valid(s, -1); // as GTK hands a field's text
        return tda_test::u16(valid);
    };
    const std::u16string y = wide(r.year), m = wide(r.month), d = wide(r.day), c = wide(r.count);
    return result_text(calculate_date(
        reinterpret_cast<const WideChar*>(y.c_str()), reinterpret_cast<const WideChar*>(m.c_str()),
        reinterpret_cast<const WideChar*>(d.c_str()), reinterpret_cast<const WideChar*>(c.c_str()), direction));
}

TEST(CalculationRule, FieldTextsAndDateTextsGiveTheSameAnswer) {
    workspace_init();
    for (const RuleRow& r : CALCULATION_RULE) {
        const std::string date = std::string(r.year) + "/" + r.month + "/" + r.day;
        SCOPED_TRACE(date + " count [" + r.count + "]");
        EXPECT_EQ(wide_result(r, CountDirection::after), r.after);
        EXPECT_EQ(wide_result(r, CountDirection::before), r.before);
        EXPECT_EQ(result_text(calculate_from_text(date.c_str(), r.count, CountDirection::after)), r.after);
        EXPECT_EQ(result_text(calculate_from_text(date.c_str(), r.count, CountDirection::before)), r.before);
    }
    for (const DateRow& r : DATE_TEXTS) {
        SCOPED_TRACE(r.date);
        EXPECT_EQ(result_text(calculate_from_text(r.date, r.count, CountDirection::after)), r.after);
    }
    EXPECT_EQ(days_between(date_from_text("2025-01-01"), date_from_text("2024/01/01")), -366);
}

} // namespace
