// The calculator's computing rule: the entered date plus or minus a count of
// days, each text read by string_to_number.
#include "app/compute.h"

#include "runtime/core/string_functions.h"

#include <limits>

namespace {

// A date field as date_make takes it. A value that does not fit 32 bits
// becomes 0, which no field accepts, so "4294969320" cannot pass as 2024.
std::int32_t date_field(const WideChar* text) {
    const std::int64_t value = string_to_number(text);
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(value);
}

} // namespace

DateValue entered_date(const WideChar* year, const WideChar* month, const WideChar* day) {
    return date_make(date_field(year), date_field(month), date_field(day), 0, 0, 0);
}

// The count is read by string_to_number in both directions: leading blanks and
// tabs, one sign, "$" hexadecimal, "%" binary, digits up to the first other
// character. The before count is then subtracted, so " 7" and "+7" go seven
// days back and "-7" seven days forward. The negation wraps like the reading
// itself (modulo 2^64); the one value that stays negative, -2^63, is far
// beyond any date and gives DATE_INVALID either way.
DateValue calculate_date(const WideChar* year, const WideChar* month, const WideChar* day,
                         const WideChar* count, CountDirection direction) {
    const DateValue date = entered_date(year, month, day);
    std::int64_t days = string_to_number(count);
    if (direction == CountDirection::before)
        days = static_cast<std::int64_t>(std::uint64_t{0} - static_cast<std::uint64_t>(days));
    return date_add(date, DATE_UNIT_DAY, days);
}

WideChar* format_result(DateValue result, std::int64_t at) { return date_format(RESULT_MASK, result, at); }
