// Test texts for the converter and map benchmarks: deterministic sequences of
// code points from one script, as UTF-16 and as UTF-8.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>
#include <string>
#include <vector>

enum class TextKind { ASCII, LATIN1, CJK, EMOJI };

inline const char* text_kind_name(TextKind kind) {
    switch (kind) {
    case TextKind::ASCII:
        return "ascii";
    case TextKind::LATIN1:
        return "latin1";
    case TextKind::CJK:
        return "cjk";
    case TextKind::EMOJI:
        return "emoji";
    }
    return "?";
}

// The i-th code point of a text of that kind: printable ASCII, U+00A0..U+00FF,
// CJK ideographs U+4E00..U+9FFF, emoji U+1F300..U+1F64F (surrogate pairs).
inline std::uint32_t text_code_point(TextKind kind, std::uint64_t i) {
    std::uint64_t h = (i + 1) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    switch (kind) {
    case TextKind::ASCII:
        return 0x20 + static_cast<std::uint32_t>(h % 95);
    case TextKind::LATIN1:
        return 0xA0 + static_cast<std::uint32_t>(h % 96);
    case TextKind::CJK:
        return 0x4E00 + static_cast<std::uint32_t>(h % 0x5200);
    case TextKind::EMOJI:
        return 0x1F300 + static_cast<std::uint32_t>(h % 0x350);
    }
    return 0x20;
}

// Zero-terminated UTF-16 text of count code points.
inline std::vector<WideChar> make_utf16(TextKind kind, std::uint64_t count) {
    std::vector<WideChar> out;
    out.reserve(count * 2 + 1);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint32_t c = text_code_point(kind, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<WideChar>(0xD800 + (c >> 10)));
            out.push_back(static_cast<WideChar>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<WideChar>(c));
        }
    }
    out.push_back(0);
    return out;
}

// The same text as UTF-8 (std::string, terminated by c_str()).
inline std::string make_utf8(TextKind kind, std::uint64_t count) {
    std::string out;
    out.reserve(count * 4);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint32_t c = text_code_point(kind, i);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
