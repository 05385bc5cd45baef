// Dates: a DateValue is the number of seconds since 1970-01-01 00:00:00 of a
// wall clock without time zone. Values are built from fields, moved by
// calendar units, read back field by field and formatted by a mask. All
// conversions are plain UTC arithmetic; only date_now looks at the local zone.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>
#include <ctime>

using DateValue = std::int64_t;

// No valid date. Field operations give 0 for it, date_format "0000"/"00".
constexpr DateValue DATE_INVALID = -1;

// Range accepted by date_make: 1970-01-01 00:00:00 .. 2038-01-19 03:14:07.
constexpr DateValue DATE_MAKE_FIRST = 0;
constexpr DateValue DATE_MAKE_LAST = 2147483647;

// Range of every result of date_add: 0001-01-01 00:00:00 .. 9999-12-31
// 23:59:59, the dates a four-digit year can show. A result outside it is
// DATE_INVALID rather than a wrapped or unprintable value.
constexpr DateValue DATE_ADD_FIRST = -62135596800;
constexpr DateValue DATE_ADD_LAST = 253402300799;

// Unit codes of date_add.
constexpr std::uint32_t DATE_UNIT_YEAR = 0;   // 12 months each
constexpr std::uint32_t DATE_UNIT_MONTH = 1;  // calendar months, day clamped to the month's end
constexpr std::uint32_t DATE_UNIT_WEEK = 2;   // 604800 seconds
constexpr std::uint32_t DATE_UNIT_DAY = 3;    // 86400 seconds
constexpr std::uint32_t DATE_UNIT_HOUR = 4;   // 3600 seconds
constexpr std::uint32_t DATE_UNIT_MINUTE = 5; // 60 seconds
constexpr std::uint32_t DATE_UNIT_SECOND = 6; // 1 second

// The DateValue of the given fields (month 1-12, day 1-31, hour 0-23, minute
// and second 0-59) within 1970-01-01 00:00:00 .. 2038-01-19 03:14:07; fields
// are never normalised. DATE_INVALID otherwise.
DateValue date_make(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour, std::int32_t minute,
                    std::int32_t second);

// The current local wall-clock reading as a DateValue; DATE_INVALID past
// 2038-01-19 03:14:07 or on a leap second.
DateValue date_now();

// Source of the current time for date_now (seconds since 1970 UTC, as time()
// gives). Null restores the system clock. For tests; not thread-safe.
using DateTimeSource = std::time_t (*)();
void date_set_time_source(DateTimeSource source);

// date moved by amount units (negative amounts move back). DATE_INVALID for
// DATE_INVALID, for a month result outside the date_make range, and for any
// result outside DATE_ADD_FIRST .. DATE_ADD_LAST; an unknown unit code gives
// the date unchanged.
DateValue date_add(DateValue date, std::uint32_t unit, std::int64_t amount);

// Fields of a DateValue; 0 for DATE_INVALID or a value whose year the system's
// broken-down time cannot hold.
std::int32_t date_year(DateValue date);   // e.g. 2024
std::int32_t date_month(DateValue date);  // 1-12
std::int32_t date_day(DateValue date);    // 1-31
std::int32_t date_hour(DateValue date);   // 0-23
std::int32_t date_minute(DateValue date); // 0-59
std::int32_t date_second(DateValue date); // 0-59

// Formats date by mask (tokens after "%", case-insensitive: yyyy, yy, mm, dd,
// hh, ii, ss; yyyy always gives four digits, 0055 for the year 55;
// anything else is copied) at workspace byte offset at; the
// position ends at the result's terminator. mask may lie in the workspace. A
// null mask gives the empty string. A date outside years 0..9999 shows as
// DATE_INVALID does ("0000", "00"). Returns the result's address, or null
// (nothing written) when the workspace cannot grow.
WideChar* date_format(const WideChar* mask, DateValue date, std::int64_t at);

// As date_format into out, which must hold the mask's length plus one units
// (the result is never longer than the mask). Returns out.
WideChar* date_format_into(const WideChar* mask, DateValue date, WideChar* out);
