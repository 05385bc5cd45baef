// The calculator's whole computing rule, text in and text out, shared by the
// terminal command and the window so that the two cannot answer differently.
// Display-free: the runtime's display-free library and GLib only.
#pragma once

#include "runtime/core/types.h"
#include "runtime/date/date.h"

#include "app/calculation/civil_date.h"

#include <cstdint>
#include <string>

// The mask of every shown result: four-digit year, two-digit month and day.
constexpr const WideChar* RESULT_MASK = u"%yyyy/%mm/%dd";

// The text shown for no date.
constexpr const char* NO_DATE_TEXT = "0000/00/00";

// Which way a count of days goes from the entered date.
enum class CountDirection { after, before };

// The ASCII form of a full-width character as a Japanese input method types
// it: the digits U+FF10..FF19, "＋", "－" and "−" (U+2212, which EUC-JP and
// Shift_JIS decode the full-width hyphen to), "＄", "％", "／", the
// hexadecimal letters U+FF21..FF26 and U+FF41..FF46, and the ideographic
// space U+3000 as a blank. Every other character comes back unchanged. This is
// the one place that knows these forms.
std::uint32_t ascii_form(std::uint32_t c);

// The date named by the texts of the year, month and day fields, each read as
// string_to_number reads it (a value beyond 32 bits counts as 0) once folded
// by ascii_form; DATE_INVALID when they name no day in 1970-01-01 ..
// 2038-01-19. Null texts read as "". Texts may lie in the calling thread's
// workspace before its position; the folding works on copies there and leaves
// the position as it was.
DateValue entered_date(const WideChar* year, const WideChar* month, const WideChar* day);

// The date `count` days after or before the date in the three field texts.
// The count text is read the same way in both directions (folded as above),
// then added or subtracted. DATE_INVALID when the fields name no date or the
// result leaves the years 1 .. 9999. Uses the calling thread's workspace only
// for reading.
DateValue calculate_date(const WideChar* year, const WideChar* month, const WideChar* day, const WideChar* count,
                         CountDirection direction);

// A DATE as one UTF-8 text ("2024/01/31", "2024-1-31", "２０２４−０１−３１"):
// folded to ASCII as a whole, then split at the first "/" or "-" and at the
// next one of the same kind into year, month and day, read as entered_date
// reads them; a missing piece is "". Bytes that are no UTF-8 read as a
// character that stops a number. DATE_INVALID when it names no day in the
// entry range; null reads as "". Needs the calling thread's workspace.
DateValue date_from_text(const char* date);

// The date COUNT days after or before DATE, both UTF-8 texts (as
// date_from_text and calculate_date read them). DATE_INVALID when there is
// none. Needs the calling thread's workspace.
DateValue calculate_from_text(const char* date, const char* count, CountDirection direction);

// The signed number of days from `from` to `to`, both real dates (not
// DATE_INVALID).
std::int64_t days_between(DateValue from, DateValue to);

// The date COUNT workdays after or before DATE by Japan's calendar (Monday to
// Friday that are no national holiday; DATE itself not counted), the texts
// read as calculate_from_text reads them. DATE_INVALID when DATE names no
// date or the result leaves the years 1 .. 9999. Needs the calling thread's
// workspace.
DateValue workdays_from_text(const char* date, const char* count, CountDirection direction);

// The signed number of workdays after `from` up to and including `to` (when
// `to` lies before, minus those after `to` up to and including `from`); both
// real dates.
std::int64_t workdays_between(DateValue from, DateValue to);

// The words shown under a result (UTF-8): the weekday in the LC_TIME
// locale's language, or under a Japanese LC_TIME the era date with its
// weekday and any national holiday ("令和9年3月8日（月）"). "" for
// DATE_INVALID.
std::string result_note(DateValue result);

// The result as the window shows it (RESULT_MASK; "0000/00/00" for
// DATE_INVALID), written into the workspace at byte offset `at`; the position
// ends at its terminator. Returns the text's address.
WideChar* format_result(DateValue result, std::int64_t at);

// The same text as UTF-8. Needs the calling thread's workspace; leaves its
// position as it was.
std::string result_text(DateValue result);
