// The calculator's computing rule: the entered date plus or minus a count of
// days, each text read by string_to_number, and DATE texts split into fields.
#include "app/calculation/calculation.h"

#include "app/calculation/date_note.h"
#include "app/calculation/workdays.h"

#include "runtime/core/string_functions.h"
#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"

#include <glib.h>

#include <cstdlib>
#include <limits>

namespace {

constexpr DateValue SECONDS_PER_DAY = 86400;

// A field text read by string_to_number after folding (ascii_form) on a copy
// at the workspace's position; the position is back where it was afterwards.
// The text itself is left alone. When the workspace cannot grow, the text is
// read unfolded.
std::int64_t read_number(const WideChar* text) {
    const std::int64_t start = workspace_position();
    WideChar* copy = workspace_push_string(text);
    if (copy == nullptr) return string_to_number(text);
    for (WideChar* c = copy; *c != 0; ++c)
        *c = static_cast<WideChar>(ascii_form(*c));
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
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) return 0;
    return static_cast<std::int32_t>(value);
}

// A UTF-8 text as a WideString owned by the holder (null, read as "", when
// memory runs out).
class Wide {
  public:
    explicit Wide(const std::string& utf8) : text_(string_from_utf8_alloc(utf8.c_str())) {}
    ~Wide() { string_free(text_); }
    Wide(const Wide&) = delete;
    Wide& operator=(const Wide&) = delete;
    operator const WideChar*() const { return text_; }

  private:
    WideChar* text_;
};

// A text as valid UTF-8 folded by ascii_form: a byte that is no UTF-8 becomes
// U+FFFD, which no number reading takes.
std::string folded(const char* text) {
    g_autofree gchar* valid = g_utf8_make_valid(text != nullptr ? text : "", -1);
    std::string out;
    for (const gchar* p = valid; *p != 0; p = g_utf8_next_char(p)) {
        char bytes[6];
        out.append(bytes, static_cast<std::size_t>(g_unichar_to_utf8(ascii_form(g_utf8_get_char(p)), bytes)));
    }
    return out;
}

// The year, month and day texts of a folded DATE.
struct DatePieces {
    std::string year, month, day;
};

DatePieces split_date(const std::string& date) {
    DatePieces pieces;
    const std::size_t first = date.find_first_of("/-");
    if (first == std::string::npos) {
        pieces.year = date;
        return pieces;
    }
    pieces.year = date.substr(0, first);
    const std::size_t second = date.find(date[first], first + 1);
    pieces.month = date.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (second != std::string::npos) pieces.day = date.substr(second + 1);
    return pieces;
}

} // namespace

std::uint32_t ascii_form(std::uint32_t c) {
    if ((c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF26) || (c >= 0xFF41 && c <= 0xFF46) || c == 0xFF0B ||
        c == 0xFF0D || c == 0xFF04 || c == 0xFF05 || c == 0xFF0F)
        return c - 0xFEE0; // the full-width block mirrors ASCII 0x21..0x7E
    if (c == 0x2212) return u'-';
    if (c == 0x3000) return u' ';
    return c;
}

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
DateValue calculate_date(const WideChar* year, const WideChar* month, const WideChar* day, const WideChar* count,
                         CountDirection direction) {
    const HeldText held_count(count);
    const DateValue date = entered_date(year, month, day);
    std::int64_t days = read_number(held_count.get());
    if (direction == CountDirection::before)
        days = static_cast<std::int64_t>(std::uint64_t{0} - static_cast<std::uint64_t>(days));
    return date_add(date, DATE_UNIT_DAY, days);
}

DateValue date_from_text(const char* date) {
    const DatePieces d = split_date(folded(date));
    return entered_date(Wide(d.year), Wide(d.month), Wide(d.day));
}

DateValue calculate_from_text(const char* date, const char* count, CountDirection direction) {
    const DatePieces d = split_date(folded(date));
    return calculate_date(Wide(d.year), Wide(d.month), Wide(d.day), Wide(folded(count)), direction);
}

std::int64_t days_between(DateValue from, DateValue to) {
    return (to - from) / SECONDS_PER_DAY;
}

namespace {

CivilDate civil_of(DateValue date) {
    return civil_from_day_number(civil_floor_div(date, SECONDS_PER_DAY));
}

} // namespace

DateValue workdays_from_text(const char* date, const char* count, CountDirection direction) {
    const DateValue start = date_from_text(date);
    if (start == DATE_INVALID) return DATE_INVALID;
    const std::string folded_count = folded(count);
    std::int64_t n = read_number(Wide(folded_count));
    if (direction == CountDirection::before)
        n = static_cast<std::int64_t>(std::uint64_t{0} - static_cast<std::uint64_t>(n));
    CivilDate result{};
    if (!add_workdays(civil_of(start), n, &result)) return DATE_INVALID;
    return civil_to_day_number(result.year, result.month, result.day) * SECONDS_PER_DAY;
}

std::int64_t workdays_between(DateValue from, DateValue to) {
    std::int64_t count = 0;
    count_workdays(civil_of(from), civil_of(to), &count);
    return count;
}

std::string result_note(DateValue result) {
    if (result == DATE_INVALID) return "";
    const CivilDate d = civil_of(result);
    return date_note(d.year, d.month, d.day, locale_is_japanese());
}

WideChar* format_result(DateValue result, std::int64_t at) {
    return date_format(RESULT_MASK, result, at);
}

std::string result_text(DateValue result) {
    const std::int64_t start = workspace_position();
    char* utf8 = string_to_utf8(format_result(result, start)); // malloc'd
    workspace_set_position(start);
    const std::string text = utf8 != nullptr ? utf8 : NO_DATE_TEXT;
    std::free(utf8);
    return text;
}
