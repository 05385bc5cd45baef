// Workdays: every question is answered through W(d), the number of workdays
// from 0001-01-01 through day d: Mondays to Fridays in closed form, less the
// holidays on them, which a table holds per year. Counting is a difference of
// two W values; stepping is a binary search for the day where W reaches its
// target, so a huge count costs no more than a small one.
#include "app/calculation/workdays.h"

#include "app/calculation/japan_holidays.h"

namespace {

constexpr int FIRST_HOLIDAY_YEAR = 1948;
constexpr int YEARS = 9999 - FIRST_HOLIDAY_YEAR + 1;

bool weekday_holiday(int year, const JapanHoliday& holiday) {
    const int weekday = civil_weekday(civil_to_day_number(year, holiday.month, holiday.day));
    return weekday != 0 && weekday != 6;
}

// holidays_before[i]: holidays falling on Monday to Friday in the years
// FIRST_HOLIDAY_YEAR .. FIRST_HOLIDAY_YEAR + i - 1.
struct HolidayPrefix {
    std::int32_t holidays_before[YEARS + 1];

    HolidayPrefix() {
        holidays_before[0] = 0;
        JapanHoliday list[JAPAN_HOLIDAYS_YEAR_MAX];
        for (int i = 0; i < YEARS; ++i) {
            const int year = FIRST_HOLIDAY_YEAR + i;
            const int count = japan_holidays_of_year(year, list);
            int on_weekdays = 0;
            for (int k = 0; k < count; ++k)
                on_weekdays += weekday_holiday(year, list[k]) ? 1 : 0;
            holidays_before[i + 1] = holidays_before[i] + on_weekdays;
        }
    }
};

const HolidayPrefix& holiday_prefix() {
    static const HolidayPrefix prefix; // built once, thread-safe
    return prefix;
}

// W(d): workdays in CIVIL_FIRST_DAY .. day_number (0 before it). The day must
// not lie after CIVIL_LAST_DAY.
std::int64_t workdays_through(std::int64_t day_number) {
    if (day_number < CIVIL_FIRST_DAY) return 0;
    // 0001-01-01 was a Monday, so whole weeks from it hold 5 weekdays each.
    const std::int64_t since = day_number - CIVIL_FIRST_DAY;
    const std::int64_t rest = since % 7;
    std::int64_t count = since / 7 * 5 + (rest < 5 ? rest + 1 : 5);

    const CivilDate date = civil_from_day_number(day_number);
    if (date.year < FIRST_HOLIDAY_YEAR) return count;
    count -= holiday_prefix().holidays_before[date.year - FIRST_HOLIDAY_YEAR];
    JapanHoliday list[JAPAN_HOLIDAYS_YEAR_MAX];
    const int holidays = japan_holidays_of_year(date.year, list);
    for (int k = 0; k < holidays; ++k) {
        const JapanHoliday& h = list[k];
        if (h.month > date.month || (h.month == date.month && h.day > date.day)) break;
        count -= weekday_holiday(date.year, h) ? 1 : 0;
    }
    return count;
}

} // namespace

bool is_japan_workday(int year, int month, int day) {
    if (!civil_date_valid(year, month, day)) return false;
    const int weekday = civil_weekday(civil_to_day_number(year, month, day));
    return weekday != 0 && weekday != 6 && japan_holiday_kind(year, month, day) == JapanHolidayKind::none;
}

bool add_workdays(CivilDate date, std::int64_t n, CivilDate* result) {
    if (result == nullptr || !civil_date_valid(date.year, date.month, date.day)) return false;
    if (n == 0) {
        *result = date;
        return true;
    }
    const std::int64_t day_number = civil_to_day_number(date.year, date.month, date.day);
    // The wanted day is the first whose W reaches `target`.
    std::int64_t target;
    if (n > 0) {
        const std::int64_t through_date = workdays_through(day_number);
        if (n > workdays_through(CIVIL_LAST_DAY) - through_date) return false;
        target = through_date + n;
    } else {
        const std::int64_t before_date = workdays_through(day_number - 1);
        if (n < -before_date) return false; // target below 1; no -n that could overflow
        target = before_date + n + 1;
    }
    std::int64_t low = CIVIL_FIRST_DAY, high = CIVIL_LAST_DAY; // W(high) >= target
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        if (workdays_through(middle) >= target) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    *result = civil_from_day_number(low);
    return true;
}

bool count_workdays(CivilDate from, CivilDate to, std::int64_t* count) {
    if (count == nullptr || !civil_date_valid(from.year, from.month, from.day) ||
        !civil_date_valid(to.year, to.month, to.day)) {
        return false;
    }
    *count = workdays_through(civil_to_day_number(to.year, to.month, to.day)) -
             workdays_through(civil_to_day_number(from.year, from.month, from.day));
    return true;
}
