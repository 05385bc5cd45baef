// Substrings, integer parsing, formatting and comparisons of WideStrings.
#include "runtime/core/string_functions.h"

#include "runtime/core/memory.h"
#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"

#include <cstdio>
#include <cwctype>

namespace {

constexpr std::int64_t FORMAT_OUT_CAPACITY = 536870911; // units: the caller guarantees the room

// Frees a malloc'd text when the scope ends.
class MallocText {
  public:
    explicit MallocText(char* text) : text_(text) {}
    ~MallocText() { mem_free(text_); }
    MallocText(const MallocText&) = delete;
    MallocText& operator=(const MallocText&) = delete;
    char* get() const { return text_; }

  private:
    char* text_;
};

// A unit taken as a signed 16-bit value.
std::int32_t signed_unit(WideChar u) {
    return static_cast<std::int16_t>(u);
}

// towlower of a unit taken as a signed 16-bit value; units from 0x8000 up
// go in negative and come back unchanged.
std::int32_t folded_unit(WideChar u) {
    std::int32_t value = signed_unit(u);
    if (value < 0) return value;
    return static_cast<std::int32_t>(std::towlower(static_cast<std::wint_t>(value)));
}

// Value of unit u as a digit of base, or -1.
int digit_value(WideChar u, int base) {
    int d;
    if (u >= u'0' && u <= u'9')
        d = u - u'0';
    else if (u >= u'a' && u <= u'f')
        d = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        d = u - u'A' + 10;
    else
        return -1;
    return d < base ? d : -1;
}

} // namespace

WideChar* string_mid(const WideChar* s, std::int32_t start, std::int32_t length, std::int64_t at) {
    if (at < -1 || at > INT32_MAX) return nullptr;
    std::int64_t n = length < 0 ? 0 : length;
    // Skip start - 1 units, never past the terminator; and reserve no more
    // than the units that are actually there, so a huge length asks for no
    // huge room.
    std::int64_t skip = 0;
    std::int64_t available = 0;
    if (s != nullptr) {
        std::int64_t total = string_length(s);
        skip = start > 1 ? std::int64_t{start} - 1 : 0;
        if (skip > total) skip = total;
        available = total - skip;
    }
    if (n > available) n = available;
    std::int64_t anchor = workspace_anchor(s); // s may lie in the workspace, which may move
    WideChar* room = workspace_reserve(static_cast<std::int32_t>(n), static_cast<std::int32_t>(at));
    if (room == nullptr) {
        workspace_truncate(at == -1 ? workspace_position() : at); // an empty result when it fits
        return nullptr;
    }
    if (anchor != 0) s = workspace_address_at(anchor);
    std::int64_t copied = 0;
    if (s != nullptr) {
        const WideChar* from = s + skip;
        while (copied < n && from[copied] != 0) {
            room[copied] = from[copied];
            ++copied;
        }
    }
    workspace_drop(n - copied);
    room[copied] = 0;
    return room;
}

WideChar* string_mid_rest(const WideChar* s, std::int32_t start, std::int64_t at) {
    if (s == nullptr) {
        std::int64_t offset = at == -1 ? workspace_position() : at;
        workspace_truncate(offset);
        return workspace_string_at(offset);
    }
    std::int64_t from = start > 1 ? start : 1;
    std::int64_t rest = string_length(s) - from + 1;
    if (rest < 0) rest = 0;
    if (rest > INT32_MAX) rest = INT32_MAX;
    return string_mid(s, start, static_cast<std::int32_t>(rest), at);
}

std::int64_t string_to_number(const WideChar* s) {
    if (s == nullptr) return 0;
    while (*s == u' ' || *s == u'\t')
        ++s;
    bool negative = false;
    if (*s == u'-') {
        negative = true;
        ++s;
    } else if (*s == u'+') {
        ++s;
    }
    int base = 10;
    if (*s == u'$') {
        base = 16;
        ++s;
    } else if (*s == u'%') {
        base = 2;
        ++s;
    }
    // Unsigned arithmetic: the value wraps modulo 2^64 by definition.
    std::uint64_t value = 0;
    for (int d; (d = digit_value(*s, base)) >= 0; ++s)
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    if (negative) value = 0 - value;
    return static_cast<std::int64_t>(value);
}

std::int64_t string_format_va(WideChar* out, const WideChar* format, std::va_list arguments) {
    MallocText format_text(string_to_utf8(format));
    if (format_text.get() == nullptr) {
        if (out != nullptr) out[0] = 0;
        return 0;
    }
    std::va_list counting;
    va_copy(counting, arguments);
    int count = std::vsnprintf(nullptr, 0, format_text.get(), counting);
    va_end(counting);
    if (out == nullptr) return count < 0 ? 0 : count;
    out[0] = 0;
    if (count < 0) return 0;
    std::size_t size = static_cast<std::size_t>(count) + 1;
    MallocText text(static_cast<char*>(mem_alloc(size)));
    if (text.get() == nullptr) return 0;
    std::vsnprintf(text.get(), size, format_text.get(), arguments);
    std::int64_t units = multibyte_to_utf16(CODEPAGE_UTF8, text.get(), count + 1, out, FORMAT_OUT_CAPACITY);
    if (units > 0 && out[units - 1] == 0) return units - 1;
    // Text that is not valid UTF-8 (from an 8-bit %s argument) may stop the
    // conversion early: still leave a terminated string.
    out[units] = 0;
    return units;
}

std::int64_t string_format(WideChar* out, const WideChar* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::int64_t result = string_format_va(out, format, arguments);
    va_end(arguments);
    return result;
}

std::int32_t string_write_decimal(WideChar* out, std::int64_t value) {
    WideChar* p = out;
    // The magnitude as unsigned, so the most negative value is written correctly.
    std::uint64_t magnitude = static_cast<std::uint64_t>(value);
    if (value < 0) {
        *p++ = u'-';
        magnitude = 0u - magnitude;
    }
    WideChar digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<WideChar>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0)
        *p++ = digits[--n];
    return static_cast<std::int32_t>(p - out);
}

WideChar* string_from_int(std::int32_t value, WideChar* out) {
    out[string_write_decimal(out, value)] = 0;
    return out;
}

std::int32_t string_compare(const WideChar* a, const WideChar* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return signed_unit(*a) - signed_unit(*b);
        if (*a == 0) return 0;
    }
}

std::int32_t string_compare_nocase(const WideChar* a, const WideChar* b) {
    for (;; ++a, ++b) {
        std::int32_t fa = *a == *b ? 0 : folded_unit(*a);
        std::int32_t fb = *a == *b ? 0 : folded_unit(*b);
        if (fa != fb) return fa - fb;
        if (*a == *b && *a == 0) return 0;
    }
}

std::int32_t string_compare_nocase_n(const WideChar* a, const WideChar* b, std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i, ++a, ++b) {
        std::int32_t fa = *a == *b ? 0 : folded_unit(*a);
        std::int32_t fb = *a == *b ? 0 : folded_unit(*b);
        if (fa != fb) return fa - fb;
        if (*a == *b && *a == 0) return 0;
    }
    return 0;
}
