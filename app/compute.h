// The calculator's one computing rule, shared by the window's handlers and the
// command line so that the two cannot answer differently. Display-free.
#pragma once

#include "runtime/core/types.h"
#include "runtime/date/date.h"

#include <cstdint>

// The mask of every shown result: four-digit year, two-digit month and day.
constexpr const WideChar* RESULT_MASK = u"%yyyy/%mm/%dd";

// Which way a count of days goes from the entered date.
enum class CountDirection { after, before };

// The date named by the texts of the year, month and day fields, each read as
// string_to_number reads it (a value beyond 32 bits counts as 0) once the
// full-width digits, signs, "＄", "％", hexadecimal letters and the ideographic
// space are folded to ASCII; DATE_INVALID when they name no day in
// 1970-01-01 .. 2038-01-19. Null texts read as "". Texts may lie in the
// calling thread's workspace before its position; the folding works on copies
// there and leaves the position as it was.
DateValue entered_date(const WideChar* year, const WideChar* month, const WideChar* day);

// The date `count` days after or before the date in the three field texts.
// The count text is read the same way in both directions (folded as above), then added or
// subtracted. DATE_INVALID when the fields name no date or the result leaves
// the years 1 .. 9999. Uses the calling thread's workspace only for reading.
DateValue calculate_date(const WideChar* year, const WideChar* month, const WideChar* day,
                         const WideChar* count, CountDirection direction);

// The result as the window shows it (RESULT_MASK; "0000/00/00" for
// DATE_INVALID), written into the workspace at byte offset `at`; the position
// ends at its terminator. Returns the text's address.
WideChar* format_result(DateValue result, std::int64_t at);
