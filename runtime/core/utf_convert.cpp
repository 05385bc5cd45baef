// Converters between 16-bit code units and byte texts.
#include "runtime/core/utf_convert.h"

#include "runtime/core/memory.h"
#include "runtime/core/wide_string.h"

#include <glib.h>

#include <cstring>

namespace {

constexpr std::uint64_t ASCII_UNITS_MASK = 0xFF80FF80FF80FF80ull;  // four units, all below 0x80
constexpr std::uint64_t ASCII_BYTES_MASK = 0x8080808080808080ull;  // eight bytes, all below 0x80

bool is_high(WideChar u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(WideChar u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Four units read at once (any alignment).
std::uint64_t load_units(const WideChar* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

std::uint64_t load_bytes(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Bytes needed for units; stops at a high surrogate that is not followed by
// a low one.
std::int64_t utf8_count(const WideChar* units, std::int64_t count) {
    std::int64_t bytes = 0;
    std::int64_t i = 0;
    while (i < count) {
        while (i + 4 <= count && (load_units(units + i) & ASCII_UNITS_MASK) == 0) {
            i += 4;
            bytes += 4;
        }
        if (i >= count) break;
        WideChar u = units[i];
        if (u < 0x80) {
            bytes += 1;
        } else if (u < 0x800) {
            bytes += 2;
        } else if (is_high(u)) {
            if (i + 1 >= count || !is_low(units[i + 1])) return bytes;
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
        ++i;
    }
    return bytes;
}

// Writes at most capacity bytes; a character that does not fit whole ends the
// conversion. 0 when a high surrogate is followed by a unit that is not a
// low surrogate.
std::int64_t utf8_write(const WideChar* units, std::int64_t count, unsigned char* out, std::int64_t capacity) {
    std::int64_t w = 0;
    std::int64_t i = 0;
    while (i < count && w < capacity) {
        // Runs of plain ASCII, four units at a time.
        while (i + 4 <= count && w + 4 <= capacity) {
            std::uint64_t word = load_units(units + i);
            if ((word & ASCII_UNITS_MASK) != 0) break;
            out[w] = static_cast<unsigned char>(word);
            out[w + 1] = static_cast<unsigned char>(word >> 16);
            out[w + 2] = static_cast<unsigned char>(word >> 32);
            out[w + 3] = static_cast<unsigned char>(word >> 48);
            i += 4;
            w += 4;
        }
        if (i >= count || w >= capacity) break;
        std::uint32_t cp = units[i];
        if (cp < 0x80) {
            out[w++] = static_cast<unsigned char>(cp);
            ++i;
            continue;
        }
        if (cp < 0x800) {
            if (w + 2 > capacity) break;
            out[w++] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            out[w++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            ++i;
            continue;
        }
        if (is_high(static_cast<WideChar>(cp))) {
            if (i + 1 >= count) break;  // last input unit: the conversion ends here
            WideChar low = units[i + 1];
            if (!is_low(low)) return 0;  // broken pair: the whole conversion fails
            cp = 0x10000 + (((cp & 0x3FF) << 10) | (low & 0x3FFu));
            if (w + 4 > capacity) break;
            out[w++] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            out[w++] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            out[w++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            out[w++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            i += 2;
            continue;
        }
        if (w + 3 > capacity) break;
        out[w++] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        out[w++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        out[w++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        ++i;
    }
    return w;
}

// One pass over UTF-8 bytes; counts units when out is null, otherwise writes
// at most capacity of them.
std::int64_t utf8_decode(const unsigned char* in, std::int64_t size, WideChar* out, std::int64_t capacity) {
    std::int64_t n = 0;  // units counted or written
    std::int64_t i = 0;
    const bool writing = out != nullptr;
    while (i < size) {
        // Runs of plain ASCII, eight bytes at a time.
        if (writing) {
            while (i + 8 <= size && n + 8 <= capacity) {
                std::uint64_t word = load_bytes(reinterpret_cast<const char*>(in + i));
                if ((word & ASCII_BYTES_MASK) != 0) break;
                for (int k = 0; k < 8; ++k) out[n + k] = static_cast<WideChar>((word >> (8 * k)) & 0xFF);
                i += 8;
                n += 8;
            }
        } else {
            while (i + 8 <= size && (load_bytes(reinterpret_cast<const char*>(in + i)) & ASCII_BYTES_MASK) == 0) {
                i += 8;
                n += 8;
            }
        }
        if (i >= size) break;
        std::uint32_t lead = in[i];
        std::uint32_t cp;
        int follow;
        if (lead < 0x80) {
            cp = lead;
            follow = 0;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            cp = lead & 0x1F;
            follow = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F;
            follow = 2;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            cp = lead & 0x07;
            follow = 3;
        } else {
            // A continuation byte where a lead belongs, or F8-FF.
            return writing ? 0 : n;
        }
        if (size - i - 1 < follow) break;  // the sequence is cut off
        ++i;
        for (int k = 0; k < follow; ++k) {
            std::uint32_t c = in[i++];
            if ((c & 0xC0) != 0x80) break;  // ends the sequence early; the byte is consumed
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp <= 0xFFFF) {
            if (writing) {
                if (n >= capacity) break;
                out[n] = static_cast<WideChar>(cp);
            }
            n += 1;
        } else if (cp <= 0x10FFFF) {
            if (writing) {
                if (n + 2 > capacity) break;
                out[n] = static_cast<WideChar>(0xD800 | ((cp - 0x10000) >> 10));
                out[n + 1] = static_cast<WideChar>(0xDC00 | ((cp - 0x10000) & 0x3FF));
            }
            n += 2;
        } else {
            break;
        }
    }
    return n;
}

}  // namespace

std::int64_t utf16_to_multibyte(int page, const WideChar* units, std::int64_t count, char* out,
                                std::int64_t capacity) {
    if (units == nullptr) return 0;
    if (count == -1) count = string_length(units) + 1;
    if (count <= 0) return 0;
    if (page == CODEPAGE_UTF8) {
        if (out == nullptr) return utf8_count(units, count);
        if (capacity <= 0) return 0;
        return utf8_write(units, count, reinterpret_cast<unsigned char*>(out), capacity);
    }
    if (page == CODEPAGE_LATIN1) {
        if (out == nullptr) {
            std::int64_t bytes = 0;
            for (std::int64_t i = 0; i < count; ++i)
                if (units[i] < 256) ++bytes;
            return bytes;
        }
        std::int64_t w = 0;
        for (std::int64_t i = 0; i < count && w < capacity; ++i)
            if (units[i] < 256) out[w++] = static_cast<char>(units[i]);
        return w;
    }
    return 0;
}

std::int64_t multibyte_to_utf16(int page, const char* bytes, std::int64_t size, WideChar* out,
                                std::int64_t capacity) {
    if (bytes == nullptr) return 0;
    if (size == -1) size = static_cast<std::int64_t>(std::strlen(bytes)) + 1;
    if (size <= 0) return 0;
    if (page == CODEPAGE_UTF8) {
        if (out != nullptr && capacity <= 0) return 0;
        return utf8_decode(reinterpret_cast<const unsigned char*>(bytes), size, out, capacity);
    }
    if (page == CODEPAGE_LATIN1) {
        if (out == nullptr) return size;
        std::int64_t n = size < capacity ? size : capacity;
        for (std::int64_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
        return n < 0 ? 0 : n;
    }
    return 0;
}

char* string_to_utf8_gtk(const WideChar* s) {
    if (s == nullptr) return g_strdup("");
    std::int64_t count = string_length(s) + 1;
    std::int64_t n = utf16_to_multibyte(CODEPAGE_UTF8, s, count, nullptr, 0);
    if (n <= 0) return g_strdup("");
    auto* text = static_cast<char*>(g_try_malloc(static_cast<gsize>(n + 1)));
    if (text == nullptr) return g_strdup("");
    std::int64_t m = utf16_to_multibyte(CODEPAGE_UTF8, s, count, text, n);
    text[m] = 0;
    return text;
}

char* string_to_utf8(const WideChar* s) {
    std::int64_t length = string_length(s);
    std::int64_t n = s == nullptr ? 0 : utf16_to_multibyte(CODEPAGE_UTF8, s, length + 1, nullptr, 0);
    char* text = n <= 0 ? nullptr : static_cast<char*>(mem_alloc(static_cast<std::size_t>(n + 1)));
    if (text == nullptr) {
        text = static_cast<char*>(mem_alloc(1));
        if (text != nullptr) text[0] = 0;
        return text;
    }
    std::int64_t m = utf16_to_multibyte(CODEPAGE_UTF8, s, length + 1, text, n);
    text[m] = 0;
    return text;
}

std::int64_t string_from_utf8(const char* text, std::int64_t at) {
    if (text == nullptr) text = "";
    std::int64_t size = static_cast<std::int64_t>(std::strlen(text)) + 1;
    std::int64_t n = multibyte_to_utf16(CODEPAGE_UTF8, text, size, nullptr, 0);
    if (at < -1 || at > INT32_MAX) return 0;
    // Room for n - 1 units; the reservation always leaves space for one more
    // unit, where a valid text's terminator lands.
    std::int64_t room_units = n > 0 ? n - 1 : 0;
    WideChar* room = room_units > INT32_MAX ? nullptr
                                            : workspace_reserve(static_cast<std::int32_t>(room_units),
                                                                static_cast<std::int32_t>(at));
    if (room == nullptr) {
        workspace_truncate(at == -1 ? workspace_position() : at);  // an empty result when it fits
        return 0;
    }
    std::int64_t start = workspace_position() - 2 * room_units;
    std::int64_t m = n > 0 ? multibyte_to_utf16(CODEPAGE_UTF8, text, size, room, n) : 0;
    std::int64_t kept;
    if (m > 0 && room[m - 1] == 0) {
        kept = m - 1;  // a valid text: its terminator is converted too
    } else if (m < n) {
        kept = m;  // invalid input stopped the conversion early; there is room for a terminator
    } else {
        // Invalid input whose counted units filled the room and the spare
        // unit: extend the room by one unit so the terminator still fits.
        room = workspace_reserve(static_cast<std::int32_t>(n), static_cast<std::int32_t>(start));
        kept = room != nullptr ? n : n - 1;
        if (room == nullptr) room = workspace_string_at(start);
    }
    room[kept] = 0;
    workspace_set_position(start + 2 * kept);
    return kept + 1;
}

WideChar* string_from_utf8_alloc(const char* text) {
    if (text == nullptr) text = "";
    std::int64_t size = static_cast<std::int64_t>(std::strlen(text)) + 1;
    std::int64_t n = multibyte_to_utf16(CODEPAGE_UTF8, text, size, nullptr, 0);
    // One unit more than counted, so even invalid input ends terminated.
    auto* s = static_cast<WideChar*>(mem_alloc(static_cast<std::size_t>(2 * (n + 1))));
    if (s == nullptr) return nullptr;
    std::int64_t m = n > 0 ? multibyte_to_utf16(CODEPAGE_UTF8, text, size, s, n) : 0;
    if (m == 0 || s[m - 1] != 0) s[m] = 0;
    return s;
}

char* latin9_to_utf8(const char* text) {
    if (text == nullptr) return g_strdup("");
    char* converted = g_convert(text, -1, "UTF-8", "ISO-8859-15", nullptr, nullptr, nullptr);
    return converted != nullptr ? converted : g_strdup(text);
}

char* utf8_to_latin9(const char* text) {
    if (text == nullptr) return g_strdup("");
    char* converted = g_convert(text, -1, "ISO-8859-15", "UTF-8", nullptr, nullptr, nullptr);
    return converted != nullptr ? converted : g_strdup(text);
}
