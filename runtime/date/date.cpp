// Dates: construction, current time, arithmetic, fields and formatting.
// Conversions are zone-free: fields to seconds by proleptic Gregorian day
// arithmetic (what timegm computes), seconds to fields by gmtime_r.
#include "runtime/date/date.h"

#include "runtime/core/memory.h"
#include "runtime/core/string_functions.h"
#include "runtime/core/wide_string.h"

#include <climits>
#include <cwctype>

namespace {

DateTimeSource time_source = nullptr; // null: the system clock

std::time_t system_time() {
    return std::time(nullptr);
}

bool is_leap_year(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t year_of_era = year - era * 400;
    const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

// Broken-down fields of a DateValue; false for DATE_INVALID or a value whose
// year the system's broken-down time cannot hold.
bool break_down(DateValue date, std::tm* out) {
    if (date == DATE_INVALID) return false;
    const std::time_t seconds = static_cast<std::time_t>(date);
    return gmtime_r(&seconds, out) != nullptr;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

// date moved by months calendar months; the day is kept or lowered to the
// month's last day, never below 28.
DateValue add_months(DateValue date, std::int64_t months) {
    std::tm t{};
    if (!break_down(date, &t)) return DATE_INVALID; // too far out to be in the date_add range
    std::int64_t month = 0;
    if (__builtin_add_overflow(static_cast<std::int64_t>(t.tm_mon), months, &month)) return DATE_INVALID;
    // Whole years carried out of the month (the month then lies in 0..11).
    const std::int64_t carried_years = floor_div(month, 12);
    month = (month % 12 + 12) % 12;
    // date_make accepts only 1970..2038; testing here keeps the year from
    // overflowing or being narrowed to 32 bits.
    if (carried_years < -10000 || carried_years > 10000) return DATE_INVALID;
    const std::int64_t year = static_cast<std::int64_t>(t.tm_year) + 1900 + carried_years;
    if (year < 1970 || year > 2038) return DATE_INVALID;
    // The day is tried at its own value, then lowered while it stays above 27.
    std::int32_t day = t.tm_mday;
    while (true) {
        const DateValue result = date_make(static_cast<std::int32_t>(year), static_cast<std::int32_t>(month) + 1, day,
                                           t.tm_hour, t.tm_min, t.tm_sec);
        if (result != DATE_INVALID) return result;
        day -= 1;
        if (day <= 27) return DATE_INVALID;
    }
}

// The fields as shown by date_format: all 0 (DATE_INVALID's look) when the
// date has no fields or its year needs more than four digits, so that every
// token yields at most as many units as it has.
struct ShownFields {
    std::int32_t year;   // 0..9999
    std::int32_t month;  // 1-12, or 0
    std::int32_t day;    // 1-31, or 0
    std::int32_t hour;   // 0-23
    std::int32_t minute; // 0-59
    std::int32_t second; // 0-59
};

ShownFields shown_fields(DateValue date) {
    std::tm t{};
    if (!break_down(date, &t)) return {};
    const std::int64_t year = static_cast<std::int64_t>(t.tm_year) + 1900;
    if (year < 0 || year > 9999) return {};
    return {static_cast<std::int32_t>(year), t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

int write_two_digits(std::int32_t value, WideChar* out) {
    out[0] = static_cast<WideChar>(u'0' + (value / 10) % 10);
    out[1] = static_cast<WideChar>(u'0' + value % 10);
    return 2;
}

bool token_follows(const WideChar* at, const char16_t* token) {
    for (; *token != 0; ++at, ++token) {
        if (*at == 0) return false;
        if (*at == *token) continue;                                // a lower-case letter folds to itself
        if (*at < 0x80 && (*at < u'A' || *at > u'Z')) return false; // ASCII other than capitals folds to itself
        if (static_cast<wint_t>(std::towlower(static_cast<wint_t>(*at))) != static_cast<wint_t>(*token)) return false;
    }
    return true;
}

// One step of the mask walk at *cursor: writes at most 4 units into piece,
// advances the cursor, and returns the number of units written.
int format_step(const WideChar** cursor, const ShownFields& f, WideChar* piece) {
    const WideChar* p = *cursor;
    if (*p != u'%') {
        piece[0] = *p;
        *cursor = p + 1;
        return 1;
    }
    struct Token {
        const char16_t* text; // lower-case token after "%"
        int length;           // its units
    };
    static constexpr Token tokens[] = {{u"yyyy", 4}, {u"yy", 2}, {u"mm", 2}, {u"dd", 2},
                                       {u"hh", 2},   {u"ii", 2}, {u"ss", 2}};
    for (int k = 0; k < 7; ++k) {
        if (!token_follows(p + 1, tokens[k].text)) continue;
        *cursor = p + 1 + tokens[k].length;
        switch (k) {
        case 0: {
            // Always four digits: year 55 is 0055, DATE_INVALID's 0 is 0000.
            // shown_fields keeps the year below 10000, so none is cut.
            std::int32_t year = f.year;
            for (int i = 3; i >= 0; --i, year /= 10)
                piece[i] = static_cast<WideChar>(u'0' + year % 10);
            return 4;
        }
        case 1:
            return write_two_digits(f.year % 100, piece);
        case 2:
            return write_two_digits(f.month, piece);
        case 3:
            return write_two_digits(f.day, piece);
        case 4:
            return write_two_digits(f.hour, piece);
        case 5:
            return write_two_digits(f.minute, piece);
        default:
            return write_two_digits(f.second, piece);
        }
    }
    piece[0] = u'%'; // no token: the percent sign itself, then go on after it
    *cursor = p + 1;
    return 1;
}

constexpr std::int32_t FORMAT_RESERVE = 4096; // units reserved at a time

} // namespace

DateValue date_make(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour, std::int32_t minute,
                    std::int32_t second) {
    if (year == 2038) {
        // 2038-01-19 03:14:07 is the last moment that fits in 31 bits.
        if (month > 1 || day > 19) return DATE_INVALID;
        if (day == 19) {
            if (hour > 3) return DATE_INVALID;
            if (hour == 3) {
                if (minute > 14) return DATE_INVALID;
                if (minute == 14 && second > 7) return DATE_INVALID;
            }
        }
    } else if (year < 1970 || year > 2037) {
        return DATE_INVALID;
    }
    if (day == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) return DATE_INVALID;
    if (month == 2) {
        if (day > 29) return DATE_INVALID;
        if (day == 29 && !is_leap_year(year)) return DATE_INVALID;
    }
    if (second < 0 || second > 59 || minute < 0 || minute > 59 || hour < 0 || hour > 23) return DATE_INVALID;
    if (day < 1 || day > 31 || month < 1 || month > 12) return DATE_INVALID;
    return days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

void date_set_time_source(DateTimeSource source) {
    time_source = source;
}

DateValue date_now() {
    const std::time_t now = (time_source != nullptr ? time_source : system_time)();
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return DATE_INVALID;
    return date_make(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

// Rule against silent wraps: every result of date_add lies in DATE_ADD_FIRST ..
// DATE_ADD_LAST (years 1 to 9999). An amount whose product with the unit's
// length, or whose sum with the date, leaves that span (or 64 bits) gives
// DATE_INVALID instead of a wrapped or unprintable value. Month and year
// results must moreover lie in the date_make range.
DateValue date_add(DateValue date, std::uint32_t unit, std::int64_t amount) {
    if (date == DATE_INVALID) return DATE_INVALID;
    if (unit > DATE_UNIT_SECOND) return date;
    if (unit == DATE_UNIT_YEAR || unit == DATE_UNIT_MONTH) {
        std::int64_t months = amount;
        if (unit == DATE_UNIT_YEAR && __builtin_mul_overflow(amount, std::int64_t{12}, &months)) return DATE_INVALID;
        return add_months(date, months);
    }
    static constexpr std::int64_t unit_seconds[] = {0, 0, 604800, 86400, 3600, 60, 1};
    std::int64_t delta = 0;
    std::int64_t result = 0;
    if (__builtin_mul_overflow(amount, unit_seconds[unit], &delta)) return DATE_INVALID;
    if (__builtin_add_overflow(date, delta, &result)) return DATE_INVALID;
    if (result < DATE_ADD_FIRST || result > DATE_ADD_LAST) return DATE_INVALID;
    return result;
}

std::int32_t date_year(DateValue date) {
    std::tm t{};
    return break_down(date, &t) ? static_cast<std::int32_t>(static_cast<std::int64_t>(t.tm_year) + 1900) : 0;
}

std::int32_t date_month(DateValue date) {
    std::tm t{};
    return break_down(date, &t) ? t.tm_mon + 1 : 0;
}

std::int32_t date_day(DateValue date) {
    std::tm t{};
    return break_down(date, &t) ? t.tm_mday : 0;
}

std::int32_t date_hour(DateValue date) {
    std::tm t{};
    return break_down(date, &t) ? t.tm_hour : 0;
}

std::int32_t date_minute(DateValue date) {
    std::tm t{};
    return break_down(date, &t) ? t.tm_min : 0;
}

std::int32_t date_second(DateValue date) {
    std::tm t{};
    return break_down(date, &t) ? t.tm_sec : 0;
}

WideChar* date_format_into(const WideChar* mask, DateValue date, WideChar* out) {
    if (out == nullptr) return nullptr;
    std::int64_t written = 0;
    if (mask != nullptr) {
        const ShownFields fields = shown_fields(date);
        const WideChar* cursor = mask;
        while (*cursor != 0)
            written += format_step(&cursor, fields, out + written);
    }
    out[written] = 0;
    return out;
}

WideChar* date_format(const WideChar* mask, DateValue date, std::int64_t at) {
    if (at < 0 || at > INT32_MAX) return nullptr;
    const auto offset = static_cast<std::int32_t>(at);
    // The mask may lie in the workspace, which moves when it grows: work on a copy.
    WideChar* mask_copy = nullptr;
    WideChar short_copy[64];
    if (mask != nullptr && string_length(mask) < 64) {
        string_copy(short_copy, mask);
        mask_copy = short_copy;
    } else if (mask != nullptr) {
        const std::int64_t length = string_length(mask);
        mask_copy = static_cast<WideChar*>(mem_alloc(static_cast<std::size_t>(length + 1) * sizeof(WideChar)));
        if (mask_copy == nullptr) return nullptr;
        string_copy(mask_copy, mask);
    }
    std::int32_t reserved = FORMAT_RESERVE;
    WideChar* out = workspace_reserve(reserved, offset);
    if (out == nullptr) {
        if (mask_copy != short_copy) mem_free(mask_copy);
        return nullptr;
    }
    std::int64_t written = 0;
    if (mask_copy != nullptr) {
        const ShownFields fields = shown_fields(date);
        const WideChar* cursor = mask_copy;
        while (*cursor != 0) {
            written += format_step(&cursor, fields, out + written);
            if (written > reserved - 5) {
                // Keep room for the longest step and the terminator; what was
                // written stays at the offset while the buffer may move.
                WideChar* grown = workspace_reserve(reserved + FORMAT_RESERVE, offset);
                if (grown == nullptr) {
                    workspace_set_position(at);
                    if (mask_copy != short_copy) mem_free(mask_copy);
                    return nullptr;
                }
                reserved += FORMAT_RESERVE;
                out = grown;
            }
        }
    }
    out[written] = 0;
    workspace_drop(reserved - written);
    if (mask_copy != short_copy) mem_free(mask_copy);
    return out;
}
