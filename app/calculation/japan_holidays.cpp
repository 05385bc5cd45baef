// Japan's national holidays: one table of rules (each valid for a span of
// years), from which a year's list is built; substitute holidays and the days
// between two holidays are derived from that list as the Act words them.
#include "app/calculation/japan_holidays.h"

#include "app/calculation/civil_date.h"

namespace {

enum class Rule : std::uint8_t {
    fixed,          // on `value` of the month
    monday,         // the `value`-th Monday of the month
    spring_equinox, // in March, by the formula
    autumn_equinox, // in September, by the formula
};

struct HolidayRule {
    const char* name;
    std::int16_t first_year, last_year;
    std::uint8_t month;
    Rule rule;
    std::uint8_t value;
};

constexpr std::int16_t ALWAYS = 9999;

// Every holiday the Act (with its amendments) and the one-off laws name, by
// the years in which each date and name held. Dates before the Act took
// effect in 1948 are left out when a year is built.
constexpr HolidayRule RULES[] = {
    {"元日", 1949, ALWAYS, 1, Rule::fixed, 1},
    {"成人の日", 1949, 1999, 1, Rule::fixed, 15},
    {"成人の日", 2000, ALWAYS, 1, Rule::monday, 2},
    {"建国記念の日", 1967, ALWAYS, 2, Rule::fixed, 11},
    {"天皇誕生日", 2020, ALWAYS, 2, Rule::fixed, 23},
    {"大喪の礼", 1989, 1989, 2, Rule::fixed, 24},
    {"春分の日", 1949, 2099, 3, Rule::spring_equinox, 0},
    {"結婚の儀", 1959, 1959, 4, Rule::fixed, 10},
    {"天皇誕生日", 1949, 1988, 4, Rule::fixed, 29},
    {"みどりの日", 1989, 2006, 4, Rule::fixed, 29},
    {"昭和の日", 2007, ALWAYS, 4, Rule::fixed, 29},
    {"即位の日", 2019, 2019, 5, Rule::fixed, 1},
    {"憲法記念日", 1949, ALWAYS, 5, Rule::fixed, 3},
    {"みどりの日", 2007, ALWAYS, 5, Rule::fixed, 4},
    {"こどもの日", 1949, ALWAYS, 5, Rule::fixed, 5},
    {"結婚の儀", 1993, 1993, 6, Rule::fixed, 9},
    {"海の日", 1996, 2002, 7, Rule::fixed, 20},
    {"海の日", 2003, 2019, 7, Rule::monday, 3},
    {"海の日", 2020, 2020, 7, Rule::fixed, 23}, // moved for the Olympic Games
    {"海の日", 2021, 2021, 7, Rule::fixed, 22},
    {"海の日", 2022, ALWAYS, 7, Rule::monday, 3},
    {"スポーツの日", 2020, 2020, 7, Rule::fixed, 24},
    {"スポーツの日", 2021, 2021, 7, Rule::fixed, 23},
    {"山の日", 2016, 2019, 8, Rule::fixed, 11},
    {"山の日", 2020, 2020, 8, Rule::fixed, 10},
    {"山の日", 2021, 2021, 8, Rule::fixed, 8},
    {"山の日", 2022, ALWAYS, 8, Rule::fixed, 11},
    {"敬老の日", 1966, 2002, 9, Rule::fixed, 15},
    {"敬老の日", 2003, ALWAYS, 9, Rule::monday, 3},
    {"秋分の日", 1948, 2099, 9, Rule::autumn_equinox, 0},
    {"体育の日", 1966, 1999, 10, Rule::fixed, 10},
    {"体育の日", 2000, 2019, 10, Rule::monday, 2},
    {"スポーツの日", 2022, ALWAYS, 10, Rule::monday, 2},
    {"即位礼正殿の儀", 2019, 2019, 10, Rule::fixed, 22},
    {"文化の日", 1948, ALWAYS, 11, Rule::fixed, 3},
    {"即位礼正殿の儀", 1990, 1990, 11, Rule::fixed, 12},
    {"勤労感謝の日", 1948, ALWAYS, 11, Rule::fixed, 23},
    {"天皇誕生日", 1989, 2018, 12, Rule::fixed, 23},
};

constexpr const char* SUBSTITUTE_NAME = "振替休日";
constexpr const char* BETWEEN_NAME = "国民の休日";

constexpr std::int64_t ACT_START = civil_to_day_number(1948, 7, 20);
constexpr std::int64_t SUBSTITUTES_START = civil_to_day_number(1973, 4, 12);
constexpr std::int64_t BETWEEN_START = civil_to_day_number(1985, 12, 27);
constexpr std::int64_t RULES_OF_2007 = civil_to_day_number(2007, 1, 1);

// Day of the month of an equinox by the standard formula, in millionths of a
// day so that no rounding of doubles can move a day: for 1980 .. 2099
// floor(base + 0.242194 (Y - 1980) - floor((Y - 1980) / 4)), and for
// 1900 .. 1979 the older base with the quotient (Y - 1983) / 4 cut toward zero.
int equinox_day(int year, std::int64_t base_1900, std::int64_t base_1980) {
    const std::int64_t since = year - 1980;
    const std::int64_t base = year < 1980 ? base_1900 : base_1980;
    const std::int64_t leaps = year < 1980 ? (year - 1983) / 4 : since / 4;
    return static_cast<int>((base + 242194 * since - leaps * 1000000) / 1000000);
}

int rule_day(const HolidayRule& rule, int year) {
    switch (rule.rule) {
    case Rule::fixed:
        return rule.value;
    case Rule::monday: {
        const int first = civil_weekday(civil_to_day_number(year, rule.month, 1));
        return 1 + (8 - first) % 7 + 7 * (rule.value - 1);
    }
    case Rule::spring_equinox:
        return equinox_day(year, 20835700, 20843100);
    case Rule::autumn_equinox:
        return equinox_day(year, 23258800, 23248800);
    }
    return 0;
}

struct Entry {
    std::int64_t day_number;
    const char* name;
    JapanHolidayKind kind;
};

// One year's holidays in date order.
struct YearList {
    int year = 0; // 0: nothing cached yet
    int count = 0;
    Entry entries[JAPAN_HOLIDAYS_YEAR_MAX];

    // Inserts in date order; a day already listed keeps its first entry.
    void add(std::int64_t day_number, const char* name, JapanHolidayKind kind) {
        int at = count;
        while (at > 0 && entries[at - 1].day_number > day_number)
            --at;
        if ((at > 0 && entries[at - 1].day_number == day_number) || count == JAPAN_HOLIDAYS_YEAR_MAX) return;
        for (int i = count; i > at; --i)
            entries[i] = entries[i - 1];
        entries[at] = {day_number, name, kind};
        ++count;
    }

    JapanHolidayKind kind_of(std::int64_t day_number) const {
        for (int i = 0; i < count; ++i) {
            if (entries[i].day_number == day_number) return entries[i].kind;
        }
        return JapanHolidayKind::none;
    }
};

void build_year(int year, YearList& list) {
    list.year = year;
    list.count = 0;
    for (const HolidayRule& rule : RULES) {
        if (year < rule.first_year || year > rule.last_year) continue;
        const std::int64_t day = civil_to_day_number(year, rule.month, rule_day(rule, year));
        if (day >= ACT_START) list.add(day, rule.name, JapanHolidayKind::national);
    }
    const int nationals = list.count;
    Entry national[JAPAN_HOLIDAYS_YEAR_MAX];
    for (int i = 0; i < nationals; ++i)
        national[i] = list.entries[i];

    // A holiday on a Sunday gives the next day off; until 2006 only when
    // that day was no holiday itself, from 2007 the next day that is none.
    for (int i = 0; i < nationals; ++i) {
        const std::int64_t day = national[i].day_number;
        if (day < SUBSTITUTES_START || civil_weekday(day) != 0) continue;
        std::int64_t off = day + 1;
        if (day < RULES_OF_2007) {
            if (list.kind_of(off) == JapanHolidayKind::national) continue;
        } else {
            while (list.kind_of(off) == JapanHolidayKind::national)
                ++off;
        }
        if (civil_from_day_number(off).year == year) list.add(off, SUBSTITUTE_NAME, JapanHolidayKind::substitute);
    }

    // A day between two holidays is off; until 2006 not when it was a
    // Sunday or a substitute holiday (add keeps a substitute's entry).
    for (int i = 0; i + 1 < nationals; ++i) {
        const std::int64_t day = national[i].day_number + 1;
        if (day < BETWEEN_START || national[i + 1].day_number != day + 1) continue;
        if (day < RULES_OF_2007 && civil_weekday(day) == 0) continue;
        list.add(day, BETWEEN_NAME, JapanHolidayKind::between);
    }
}

// The calling thread's list of the year asked for last, rebuilt when another
// year is asked for.
const YearList& year_list(int year) {
    thread_local YearList cache;
    if (cache.year != year) build_year(year, cache);
    return cache;
}

const Entry* find(int year, int month, int day) {
    if (!civil_date_valid(year, month, day) || year < 1948) return nullptr;
    const YearList& list = year_list(year);
    const std::int64_t day_number = civil_to_day_number(year, month, day);
    for (int i = 0; i < list.count; ++i) {
        if (list.entries[i].day_number == day_number) return &list.entries[i];
    }
    return nullptr;
}

} // namespace

int japan_holidays_of_year(int year, JapanHoliday* out) {
    if (year < 1948 || year > 9999 || out == nullptr) return 0;
    const YearList& list = year_list(year);
    for (int i = 0; i < list.count; ++i) {
        const CivilDate date = civil_from_day_number(list.entries[i].day_number);
        out[i] = {date.month, date.day, list.entries[i].name, list.entries[i].kind};
    }
    return list.count;
}

const char* japan_holiday_name(int year, int month, int day) {
    const Entry* entry = find(year, month, day);
    return entry != nullptr ? entry->name : nullptr;
}

JapanHolidayKind japan_holiday_kind(int year, int month, int day) {
    const Entry* entry = find(year, month, day);
    return entry != nullptr ? entry->kind : JapanHolidayKind::none;
}
