// The calculator's work: dates after and before, the calendar's date, the
// about box.
#include "app/calculation/calculation.h"
#include "app/calculation/i18n.h"
#include "app/window/accessibility.h"
#include "app/window/calculator.h"

#include "runtime/core/string_functions.h"
#include "runtime/core/wide_string.h"
#include "runtime/date/date.h"
#include "runtime/gadget/gadget.h"
#include "runtime/message/message_box.h"

#include <iterator>
#include <string>

namespace {

// Sets a gadget's text to the workspace text at offset start (ending at the
// position) and puts the position back to the end of that text.
void set_text_from_workspace(ObjectId gadget, std::int64_t start) {
    std::int64_t end = workspace_position();
    workspace_step();
    gadget_set_text(gadget, workspace_string_at(start));
    workspace_set_position(end);
}

// Reads the entered date and a count from the fields, computes as the
// command line does and shows the result with its note under it.
void compute(ObjectId count_field, CountDirection direction, ObjectId result_field, ObjectId note_label) {
    const std::int64_t start = workspace_position();
    const ObjectId inputs[] = {year_field, month_combo, day_combo, count_field};
    std::int64_t at[std::size(inputs)];
    for (std::size_t i = 0; i < std::size(inputs); ++i) {
        at[i] = workspace_position();
        if (gadget_get_text(inputs[i], at[i]) == nullptr) {
            workspace_set_position(at[i]);
            workspace_push_string(nullptr); // read as ""
        }
        workspace_step(); // keep this text while the next ones are read
    }
    // Addresses only now: reading may have moved the workspace's buffer.
    const DateValue r = calculate_date(workspace_string_at(at[0]), workspace_string_at(at[1]),
                                       workspace_string_at(at[2]), workspace_string_at(at[3]), direction);
    workspace_set_position(start);
    format_result(r, start);
    set_text_from_workspace(result_field, start);
    const std::string note = result_note(r);
    // What was written is spoken; the position lies past it, so it stays put.
    announce_result(result_field, workspace_string_at(start), r, note);
    workspace_set_position(start);
    gadget_set_text(note_label, WideText(note.c_str()));
}

} // namespace

std::int64_t compute_date_after(std::int64_t) {
    compute(after_count_field, CountDirection::after, after_result_field, after_note_label);
    return 0;
}

std::int64_t compute_date_before(std::int64_t) {
    compute(before_count_field, CountDirection::before, before_result_field, before_note_label);
    return 0;
}

std::int64_t fill_date_from_calendar(std::int64_t) {
    // 0 is a real day here (1970-01-01), so "no calendar" is asked of the
    // gadget itself. A day outside the accepted range (DATE_INVALID) leaves
    // the fields as the user typed them.
    if (gadget_kind(date_calendar) == 0) return 0;
    const DateValue d = gadget_get_state(date_calendar);
    if (d < DATE_MAKE_FIRST || d > DATE_MAKE_LAST) return 0;

    std::int64_t start = workspace_position();
    date_format(RESULT_MASK, d, start);
    workspace_step(); // keep the formatted date while its pieces are cut out
    const WideChar* text = workspace_string_at(start);

    struct Piece {
        ObjectId gadget;
        std::int32_t from, length;
    };
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
    // The maker's name and address read the same in every language; they are
    // marked so that a language in another script may transcribe them.
    message_box(WideText(_("合同会社Tovami Corporation")), WideText(_("\n合同会社Tovami Corporation\n"
                                                                      "\u3000\u3000〒950-0000 新潟県架空市見本町1-2-3\n"
                                                                      "https://tovami.example.com/")));
    return 0;
}
