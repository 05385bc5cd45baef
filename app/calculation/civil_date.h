// Civil dates of the proleptic Gregorian calendar, years 1 .. 9999, and their
// day numbers. Self-contained (no DateValue, whose range is far smaller).
// Display-free, no state: every function may be called from any thread.
#pragma once

#include <cstdint>

// One calendar day: year 1 .. 9999, month 1 .. 12, day 1 .. the month's length.
struct CivilDate {
    int year;
    int month;
    int day;
};

// True when the fields name a day of the years 1 .. 9999.
bool civil_date_valid(int year, int month, int day);

// Days in the month (28 .. 31); 0 for a month outside 1 .. 12.
int civil_month_length(int year, int month);

// a / b rounded toward minus infinity; b must not be 0.
constexpr std::int64_t civil_floor_div(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

// The day number of year-month-day, after the well-known era algorithm
// (400-year eras of 146097 days, years counted from March so that the leap
// day comes last). The fields must be valid (civil_date_valid); others give a
// number but not a meaningful one.
constexpr std::int64_t civil_to_day_number(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = civil_floor_div(y, 400);
    const std::int64_t year_of_era = y - era * 400;
    const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    return era * 146097 + year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year - 719468;
}

// Day numbers count days from 1970-01-01 (day 0); earlier days are negative.
constexpr std::int64_t CIVIL_FIRST_DAY = civil_to_day_number(1, 1, 1);
constexpr std::int64_t CIVIL_LAST_DAY = civil_to_day_number(9999, 12, 31);

// The date of a day number; the number must lie in CIVIL_FIRST_DAY ..
// CIVIL_LAST_DAY (outside it the year leaves 1 .. 9999).
CivilDate civil_from_day_number(std::int64_t day_number);

// Weekday of a day number: 0 Sunday, 1 Monday .. 6 Saturday; any number.
constexpr int civil_weekday(std::int64_t day_number) {
    return static_cast<int>(day_number + 4 - civil_floor_div(day_number + 4, 7) * 7); // 1970-01-01: Thursday
}
