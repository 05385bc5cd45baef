// The calculator's work: dates after and before, the calendar's date, the
// about box.
#include "app/calculator.h"

#include "runtime/core/string_functions.h"
#include "runtime/core/wide_string.h"
#include "runtime/date/date.h"
#include "runtime/gadget/gadget.h"
#include "runtime/message/message_box.h"

#include <limits>

namespace {

constexpr const WideChar* RESULT_MASK = u"%yyyy/%mm/%dd";

// The number in a gadget's text, read as string_to_number reads it, with an
// optional prefix put in front of the text first. The workspace position is
// restored before returning.
std::int64_t read_number(ObjectId gadget, const WideChar* prefix) {
    std::int64_t start = workspace_position();
    if (prefix) workspace_push_string(prefix);
    gadget_get_text(gadget, workspace_position());
    std::int64_t value = string_to_number(workspace_string_at(start));
    workspace_set_position(start);
    return value;
}

// A date field as date_make takes it. A value that does not fit 32 bits
// becomes 0, which no field accepts, so "4294969320" cannot pass as 2024.
std::int32_t date_field(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(value);
}

// Sets a gadget's text to the workspace text at offset start (ending at the
// position) and puts the position back to the end of that text.
void set_text_from_workspace(ObjectId gadget, std::int64_t start) {
    std::int64_t end = workspace_position();
    workspace_step();
    gadget_set_text(gadget, workspace_string_at(start));
    workspace_set_position(end);
}

// Reads the entered date and a count, adds count days and shows the result.
void compute(ObjectId count_field, const WideChar* count_prefix, ObjectId result_field) {
    std::int32_t year = date_field(read_number(year_field, nullptr));
    std::int32_t month = date_field(read_number(month_combo, nullptr));
    std::int32_t day = date_field(read_number(day_combo, nullptr));
    std::int64_t count = read_number(count_field, count_prefix);

    DateValue d = date_make(year, month, day, 0, 0, 0);
    DateValue r = date_add(d, DATE_UNIT_DAY, count);

    std::int64_t start = workspace_position();
    date_format(RESULT_MASK, r, start);
    set_text_from_workspace(result_field, start);
    workspace_set_position(start);
}

} // namespace

std::int64_t compute_date_after(std::int64_t) {
    compute(after_count_field, nullptr, after_result_field);
    return 0;
}

// The count is read with a "-" in front, so 5 means 5 days back; a count that
// already starts with a sign or a blank reads as 0.
std::int64_t compute_date_before(std::int64_t) {
    compute(before_count_field, u"-", before_result_field);
    return 0;
}

std::int64_t fill_date_from_calendar(std::int64_t) {
    DateValue d = gadget_get_state(date_calendar);
    if (d == 0) return 0;

    std::int64_t start = workspace_position();
    date_format(RESULT_MASK, d, start);
    workspace_step(); // keep the formatted date while its pieces are cut out
    const WideChar* text = workspace_string_at(start);

    struct Piece { ObjectId gadget; std::int32_t from, length; };
    const Piece pieces[] = {{year_field, 1, 4}, {month_combo, 6, 2}, {day_combo, 9, 2}};
    for (const Piece& piece : pieces) {
        std::int64_t at = workspace_position();
        // string_mid copes with its source lying in the workspace even when
        // the reservation moves the buffer; re-read the address afterwards.
        string_mid(text, piece.from, piece.length, at);
        set_text_from_workspace(piece.gadget, at);
        workspace_set_position(at);
        text = workspace_string_at(start);
    }
    workspace_set_position(start);
    return 0;
}

std::int64_t show_about(std::int64_t subtype) {
    if (subtype != SUBTYPE_LEFT_CLICK) return 0;
    message_box(u"合同会社Tovami Corporation",
                u"\n合同会社Tovami Corporation\n"
                u"\u3000\u3000〒950-0000 新潟県架空市見本町1-2-3\n"
                u"https://tovami.example.com/");
    return 0;
}
