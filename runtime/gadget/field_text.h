// What a one-line text field takes of an inserted text: the single-line
// editor and the combo box's entry share the rule (FIELD_MAX_CHARS).
#pragma once

#include <cstddef>

// Number of leading bytes of the UTF-8 `text` (`length` bytes) that a
// one-line field holding `held`
// characters takes: those before the first line or paragraph separator (\n,
// \r, \v, \f, U+0085, U+2028, U+2029), and no more characters than make the
// field hold FIELD_MAX_CHARS. Stops at a whole character; reads no byte past
// the end. Null `text`: 0. Any thread.
std::size_t field_text_keep(const char* text, std::size_t length, std::ptrdiff_t held);
