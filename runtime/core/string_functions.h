// String operations called directly by the application and the runtime:
// substrings, integer parsing, printf-style formatting, decimal output and
// comparisons.
#pragma once

#include "runtime/core/types.h"

#include <cstdarg>
#include <cstdint>

// Substring of s from unit start (1-based; 1 or less means the first unit) of
// at most length units, written at workspace byte offset at; the position
// ends at its terminator. s may lie inside the workspace. Null s, start past
// the end or length <= 0 give the empty string. Returns the result's address,
// or null (nothing written) when the workspace cannot grow.
WideChar* string_mid(const WideChar* s, std::int32_t start, std::int32_t length, std::int64_t at);

// Substring of s from unit start to the end, written at offset at.
WideChar* string_mid_rest(const WideChar* s, std::int32_t start, std::int64_t at);

// Integer read from s: leading blanks and tabs, an optional sign, then "$"
// hex digits, "%" binary digits or decimal digits up to the first non-digit.
// Null or no digits give 0. Wraps modulo 2^64 without an overflow check.
std::int64_t string_to_number(const WideChar* s);

// printf-style formatting of a WideString format (converted to UTF-8 for
// vsnprintf; %s takes 8-bit text). With a null out: the byte length of the
// formatted text. Otherwise writes the text and terminator into out (which
// must be large enough) and returns the units written, terminator not
// counted; 0 when memory runs out or formatting fails.
std::int64_t string_format(WideChar* out, const WideChar* format, ...);
std::int64_t string_format_va(WideChar* out, const WideChar* format, std::va_list arguments);

// Writes value in decimal ("-" for negatives, "0" for 0) and a terminator
// into out (at least 12 units). Returns out.
WideChar* string_from_int(std::int32_t value, WideChar* out);

// Writes value in decimal ("-" for negatives, "0" for 0) into out (at least
// 20 units), without a terminator. Returns the units written.
std::int32_t string_write_decimal(WideChar* out, std::int64_t value);

// Difference of the first differing units, taken as signed 16-bit values;
// 0 when equal. Both strings must be valid.
std::int32_t string_compare(const WideChar* a, const WideChar* b);

// As string_compare with each unit folded by towlower first.
std::int32_t string_compare_nocase(const WideChar* a, const WideChar* b);

// string_compare_nocase over at most count units (count <= 0 gives 0).
std::int32_t string_compare_nocase_n(const WideChar* a, const WideChar* b, std::int64_t count);
