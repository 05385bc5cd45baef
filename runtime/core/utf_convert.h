// Conversions between 16-bit code units and byte texts (UTF-8 or one byte
// per unit), and the wrappers used at the GTK boundary.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

constexpr int CODEPAGE_UTF8 = 65001; // UTF-8
constexpr int CODEPAGE_LATIN1 = 0;   // one byte per unit, 0-255

// Converts count units (-1: up to and including the terminator) to bytes of
// the code page. With a null out: the bytes needed. Otherwise writes at most
// capacity bytes and returns the bytes written; 0 when a high surrogate is
// followed by anything but a low surrogate. Other code pages give 0.
std::int64_t utf16_to_multibyte(int page, const WideChar* units, std::int64_t count, char* out, std::int64_t capacity);

// Converts size bytes (-1: strlen + 1) of the code page to units. With a null
// out: the units needed. Otherwise writes at most capacity units and returns
// the units written. Other code pages give 0.
std::int64_t multibyte_to_utf16(int page, const char* bytes, std::int64_t size, WideChar* out, std::int64_t capacity);

// New UTF-8 text of s from g_malloc (free with g_free); never null, "" for a
// null s, for unconvertible input or when memory runs out. Always valid UTF-8:
// a lone low surrogate becomes U+FFFD.
char* string_to_utf8_gtk(const WideChar* s);

// As string_to_utf8_gtk with malloc (free with free/mem_free). Null only when
// even the 1-byte empty text cannot be allocated.
char* string_to_utf8(const WideChar* s);

// Converts UTF-8 text (null: "") into the workspace at byte offset at; the
// position ends at its terminator. Returns the units converted including the
// terminator. Invalid input still gives a terminated string (a prefix of the
// text). Returns 0 and writes nothing when the workspace cannot grow.
std::int64_t string_from_utf8(const char* text, std::int64_t at);

// New WideString from malloc (free with string_free) converted from UTF-8
// text (null: ""); always terminated. Null when memory runs out.
WideChar* string_from_utf8_alloc(const char* text);

// ISO-8859-15 text to UTF-8 and back through g_convert; a failed conversion
// gives g_strdup(text), a null text g_strdup(""). Free with g_free.
char* latin9_to_utf8(const char* text);
char* utf8_to_latin9(const char* text);
