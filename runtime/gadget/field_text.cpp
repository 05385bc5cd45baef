// The one-line field rule: a text ends at its first line or paragraph
// separator, and a field holds at most FIELD_MAX_CHARS characters.
#include "runtime/gadget/field_text.h"

#include "runtime/gadget/gadget_kinds.h"

namespace {

// Whether a line or paragraph separator starts the `count` bytes at `p`:
// the C0 ones, NEL (C2 85) and U+2028 / U+2029 (E2 80 A8 / A9).
bool starts_separator(const unsigned char* p, std::size_t count) {
    if (*p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') return true;
    if (*p == 0xC2) return count >= 2 && p[1] == 0x85;
    return *p == 0xE2 && count >= 3 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9);
}

} // namespace

std::size_t field_text_keep(const char* text, std::size_t end, std::ptrdiff_t held) {
    if (text == nullptr) return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::ptrdiff_t room = FIELD_MAX_CHARS - held;
    std::size_t i = 0;
    for (; i < end; ++i) {
        if ((bytes[i] & 0xC0) == 0x80) continue; // inside a character
        if (room <= 0 || starts_separator(bytes + i, end - i)) break;
        --room;
    }
    return i;
}
