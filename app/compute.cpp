// The calculator's computing rule: the entered date plus or minus a count of
// days, each text read by string_to_number.
#include "app/compute.h"

#include "runtime/core/string_functions.h"
#include "runtime/core/wide_string.h"

#include <limits>

namespace {

// The ASCII form of the full-width characters that a Japanese input method
// types by default, so that they read as what the user meant: the digits
// U+FF10..FF19, "＋" U+FF0B, "－" U+FF0D and "−" U+2212, "＄" U+FF04, "％"
// U+FF05, the hexadecimal letters U+FF21..FF26 and U+FF41..FF46, and the
// ideographic space U+3000 as a blank. Every other unit stays as it is.
WideChar ascii_form(WideChar c) {
    if ((c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF26) || (c >= 0xFF41 && c <= 0xFF46) ||
        c == 0xFF0B || c == 0xFF0D || c == 0xFF04 || c == 0xFF05)
        return static_cast<WideChar>(c - 0xFEE0); // the full-width block mirrors ASCII 0x21..0x7E
    if (c == 0x2212) return u'-';
    if (c == 0x3000) return u' ';
    return c;
}

// A field text read by string_to_number after folding (ascii_form) on a copy
// at the workspace's position; the position is back where it was afterwards.
// The text itself is left alone. When the workspace cannot grow, the text is
// read unfolded.
std::int64_t read_number(const WideChar* text) {
    const std::int64_t start = workspace_position();
    WideChar* copy = workspace_push_string(text);
    if (copy == nullptr) return string_to_number(text);
    for (WideChar* c = copy; *c != 0; ++c) *c = ascii_form(*c);
    const std::int64_t value = string_to_number(copy);
    workspace_set_position(start);
    return value;
}

// A text argument that may lie in the workspace, found again after a copy
// made by read_number has moved the buffer.
class HeldText {
  public:
    explicit HeldText(const WideChar* text) : text_(text), anchor_(workspace_anchor(text)) {}
    const WideChar* get() const { return anchor_ != 0 ? workspace_address_at(anchor_) : text_; }

  private:
    const WideChar* text_;
    std::int64_t anchor_; // 0 when the text lies outside the workspace
};

// A date field as date_make takes it. A value that does not fit 32 bits
// becomes 0, which no field accepts, so "4294969320" cannot pass as 2024.
std::int32_t date_field(const HeldText& text) {
    const std::int64_t value = read_number(text.get());
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(value);
}

} // namespace

DateValue entered_date(const WideChar* year, const WideChar* month, const WideChar* day) {
    const HeldText texts[] = {HeldText(year), HeldText(month), HeldText(day)};
    const std::int32_t y = date_field(texts[0]);
    const std::int32_t m = date_field(texts[1]);
    return date_make(y, m, date_field(texts[2]), 0, 0, 0);
}

// The count is read by string_to_number in both directions (after folding
// full-width forms, as every field text is): leading blanks and
// tabs, one sign, "$" hexadecimal, "%" binary, digits up to the first other
// character. The before count is then subtracted, so " 7" and "+7" go seven
// days back and "-7" seven days forward. The negation wraps like the reading
// itself (modulo 2^64); the one value that stays negative, -2^63, is far
// beyond any date and gives DATE_INVALID either way.
DateValue calculate_date(const WideChar* year, const WideChar* month, const WideChar* day,
                         const WideChar* count, CountDirection direction) {
    const HeldText held_count(count);
    const DateValue date = entered_date(year, month, day);
    std::int64_t days = read_number(held_count.get());
    if (direction == CountDirection::before)
        days = static_cast<std::int64_t>(std::uint64_t{0} - static_cast<std::uint64_t>(days));
    return date_add(date, DATE_UNIT_DAY, days);
}

WideChar* format_result(DateValue result, std::int64_t at) { return date_format(RESULT_MASK, result, at); }
