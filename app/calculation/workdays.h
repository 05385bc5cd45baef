// Workdays in Japan: Monday to Friday, except Japan's national holidays
// (japan_holidays.h). Years 1 .. 9999; a result beyond them is "no date".
// After 2099 the equinox days are not known (their formula ends there), so
// from 2100 on they count as workdays like any other Monday to Friday.
// Display-free; any thread (the first call builds a shared table once).
#pragma once

#include "app/calculation/civil_date.h"

#include <cstdint>

// True when the day is a Monday to Friday that is no holiday in Japan; false
// for an invalid date.
bool is_japan_workday(int year, int month, int day);

// The `n`-th workday after `date` (the date itself not counted) into
// *result; for a negative n the |n|-th workday before it; for n = 0 the date
// itself. False, with *result untouched, for an invalid date, a null result
// or when that workday would lie outside the years 1 .. 9999. Takes a
// logarithmic number of steps, however large n is.
bool add_workdays(CivilDate date, std::int64_t n, CivilDate* result);

// The workdays after `from` up to and including `to` into *count; when `to`
// is before `from`, minus the workdays after `to` up to and including `from`.
// False, with *count untouched, for an invalid date or a null count.
bool count_workdays(CivilDate from, CivilDate to, std::int64_t* count);
