// Japan's national holidays under the National Holidays Act, from 1948-07-20
// on: the holidays it names with every change of date and name, the one-off
// days set by their own laws, substitute holidays (from 1973-04-12, with the
// rule of 2007) and the holidays between two holidays (from 1985-12-27).
// Computed from a table of rules, display-free. Spring and autumn equinox
// days come from the standard formula, which holds through 2099; after 2099
// they are not known and so are not holidays here (nor is a day between one
// and another holiday).
#pragma once

#include <cstdint>

// What kind of day off a holiday is.
enum class JapanHolidayKind {
    none,       // a day that is no holiday
    national,   // a holiday the Act or a law of its own names
    substitute, // the day off for a holiday that fell on a Sunday (振替休日)
    between,    // a day between two holidays (国民の休日)
};

// One holiday of a year, as japan_holidays_of_year lists it.
struct JapanHoliday {
    int month;
    int day;
    const char* name; // UTF-8, static: never freed, valid for the program's life
    JapanHolidayKind kind;
};

// Enough room for any year's holidays (2019, the fullest, has 22).
constexpr int JAPAN_HOLIDAYS_YEAR_MAX = 32;

// The holidays of `year` in date order, written to `out` (room for
// JAPAN_HOLIDAYS_YEAR_MAX entries); returns how many. 0 for a year outside
// 1948 .. 9999. Any thread: each thread keeps its own cache of the last year.
int japan_holidays_of_year(int year, JapanHoliday* out);

// The Japanese name (UTF-8, static, never freed) of the holiday on
// year-month-day, e.g. "春分の日", "振替休日", "国民の休日"; nullptr when the day
// is no holiday or the date is invalid. Any thread.
const char* japan_holiday_name(int year, int month, int day);

// The kind of day off year-month-day is; JapanHolidayKind::none for an
// ordinary day and for an invalid date. Any thread.
JapanHolidayKind japan_holiday_kind(int year, int month, int day);
