// Japan's holidays against published lists, the date note's era and weekday
// text, and workday stepping and counting.
#include "app/calculation/date_note.h"
#include "app/calculation/japan_holidays.h"
#include "app/calculation/workdays.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <string>

namespace {

// The sources' own names for some days: "休日" for a day between two holidays
// and, with "（祝日扱い）", for the two days of 2019 that a law of their own made
// holidays; "元日 振替休日" for a substitute; "体育の日（スポーツの日）" for 2019's.
bool same_name(std::string source, const char* ours) {
    if (ours == nullptr) return false;
    const std::string name = ours;
    source = source.substr(0, source.find("（"));
    if (source.size() > 13 && source.ends_with(" 振替休日")) source = "振替休日";
    if (source == "休日") return name == "国民の休日" || name == "即位の日" || name == "即位礼正殿の儀";
    return source == name;
}

TEST(JapanHolidays, EveryDayFrom1948To2099MatchesThePublishedLists) {
    const char* root = std::getenv("TDA_SOURCE_DIR");
    ASSERT_NE(root, nullptr) << "TDA_SOURCE_DIR (set by ctest) names the source tree";
    const std::string path = std::string(root) + "/tests/app/calculation/data/japan_holidays.csv";
    std::ifstream file(path);
    ASSERT_TRUE(file) << "cannot read " << path;
    std::map<std::int64_t, std::string> listed;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        const CivilDate d{std::stoi(line.substr(0, 4)), std::stoi(line.substr(5, 2)), std::stoi(line.substr(8, 2))};
        ASSERT_TRUE(line.size() > 11 && civil_date_valid(d.year, d.month, d.day)) << "bad line: " << line;
        listed[civil_to_day_number(d.year, d.month, d.day)] = line.substr(11);
    }
    ASSERT_GT(listed.size(), 2400u) << path << " holds too few holidays";
    int faults = 0;
    for (std::int64_t day = civil_to_day_number(1948, 7, 20); day <= civil_to_day_number(2099, 12, 31); ++day) {
        const CivilDate d = civil_from_day_number(day);
        const char* ours = japan_holiday_name(d.year, d.month, d.day);
        const auto source = listed.find(day);
        if (source == listed.end() ? ours == nullptr : same_name(source->second, ours)) continue;
        ADD_FAILURE() << d.year << "-" << d.month << "-" << d.day << ": listed "
                      << (source == listed.end() ? "(none)" : source->second) << ", computed "
                      << (ours != nullptr ? ours : "(none)");
        if (++faults == 20) break;
    }
}

TEST(DateNote, WritesTheWeekdayOrTheEraDateWithItsHoliday) {
    struct Row {
        const char* time_locale;
        int year, month, day;
        bool japanese;
        const char* note;
    } const rows[] = {
        {"C", 2027, 3, 8, false, "Monday"},
        {"de_DE.UTF-8", 2027, 3, 8, false, "Montag"},
        {"ja_JP.UTF-8", 2027, 3, 8, false, "月曜日"},
        {"ja_JP.eucJP", 2027, 3, 9, false, "火曜日"}, // converted from EUC-JP
        {"C", 2023, 2, 29, false, ""},
        {"C", 10000, 1, 1, true, ""},
        {"C", 2027, 3, 8, true, "令和9年3月8日（月）"},
        {"C", 2027, 3, 21, true, "令和9年3月21日（日・祝）春分の日"},
        {"C", 2027, 3, 22, true, "令和9年3月22日（月・休）振替休日"},
        {"C", 2019, 4, 30, true, "平成31年4月30日（火・休）国民の休日"},
        {"C", 2019, 5, 1, true, "令和元年5月1日（水・祝）即位の日"},
        {"C", 1989, 1, 7, true, "昭和64年1月7日（土）"},
        {"C", 1989, 1, 8, true, "平成元年1月8日（日）"},
        {"C", 1926, 12, 25, true, "昭和元年12月25日（土）"},
        {"C", 1912, 7, 29, true, "明治45年7月29日（月）"},
        {"C", 1912, 7, 30, true, "大正元年7月30日（火）"},
        {"C", 1873, 1, 1, true, "明治6年1月1日（水）"},
        {"C", 1872, 12, 31, true, "火曜日"},
    };
    const std::string saved = std::setlocale(LC_TIME, nullptr);
    std::string missing;
    for (const Row& row : rows) {
        if (std::setlocale(LC_TIME, row.time_locale) == nullptr) {
            missing += std::string(" ") + row.time_locale;
            continue;
        }
        EXPECT_EQ(locale_is_japanese(), row.time_locale[0] == 'j') << row.time_locale;
        EXPECT_EQ(date_note(row.year, row.month, row.day, row.japanese), row.note)
            << row.year << "-" << row.month << "-" << row.day << " under " << row.time_locale;
    }
    std::setlocale(LC_TIME, saved.c_str());
    if (!missing.empty()) GTEST_SKIP() << "locales not installed (scripts/setup.sh makes them):" << missing;
}

TEST(Workdays, StepOverHolidaysAndCountBackToTheStepEvenAtTheLimits) {
    constexpr std::int64_t none = std::numeric_limits<std::int64_t>::min(); // in `to`: no date
    struct Row {
        CivilDate from;
        std::int64_t n;
        CivilDate to; // year 0: no date
    } const rows[] = {
        {{2027, 3, 19}, 1, {2027, 3, 23}},   // over a Sunday equinox's substitute
        {{2019, 4, 26}, 1, {2019, 5, 7}},    // the ten days off of 2019
        {{2019, 5, 7}, -1, {2019, 4, 26}},   //
        {{2100, 3, 19}, 1, {2100, 3, 22}},   // equinoxes after 2099 are not known
        {{2027, 3, 21}, 0, {2027, 3, 21}},   // n = 0: the date itself
        {{9999, 12, 30}, 1, {9999, 12, 31}}, // the last day, a Friday
        {{9999, 12, 31}, 1, {0, 0, 0}},
        {{1, 1, 2}, -1, {1, 1, 1}}, // the first day, a Monday
        {{1, 1, 1}, -1, {0, 0, 0}},
        {{2024, 1, 1}, 1000000000000000000, {0, 0, 0}},
        {{2024, 1, 1}, std::numeric_limits<std::int64_t>::max(), {0, 0, 0}},
        {{2024, 1, 1}, none, {0, 0, 0}},
        {{2023, 2, 29}, 1, {0, 0, 0}},
    };
    for (const Row& row : rows) {
        CivilDate to{-1, -1, -1};
        const bool found = add_workdays(row.from, row.n, &to);
        ASSERT_EQ(found, row.to.year != 0)
            << row.from.year << "-" << row.from.month << "-" << row.from.day << " + " << row.n;
        if (!found) continue;
        EXPECT_TRUE(to.year == row.to.year && to.month == row.to.month && to.day == row.to.day)
            << "got " << to.year << "-" << to.month << "-" << to.day << " for n " << row.n;
        std::int64_t count = none;
        EXPECT_TRUE(count_workdays(row.from, to, &count) && count == row.n) << "counted " << count;
    }
    // The counts agree with a day-by-day walk over all the years of rules.
    const CivilDate start{1947, 12, 1};
    std::int64_t walked = 0;
    for (std::int64_t day = civil_to_day_number(1947, 12, 2); day <= civil_to_day_number(2101, 1, 31); ++day) {
        const CivilDate d = civil_from_day_number(day);
        walked += is_japan_workday(d.year, d.month, d.day) ? 1 : 0;
        std::int64_t count = none;
        ASSERT_TRUE(count_workdays(start, d, &count) && count == walked) << d.year << "-" << d.month << "-" << d.day;
        ASSERT_TRUE(count_workdays(d, start, &count) && count == -walked);
    }
}

} // namespace
