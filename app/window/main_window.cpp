// The calculator's one window and its gadgets at fixed positions.
#include "app/window/calculator.h"

#include "app/calculation/date_note.h"
#include "app/calculation/i18n.h"
#include "app/calculation/japan_holidays.h"
#include "app/command/terminal.h"
#include "app/window/accessibility.h"
#include "app/window/keyboard.h"

#include "runtime/core/string_functions.h"
#include "runtime/font/font.h"
#include "runtime/gadget/calendar_notes.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/gadget/image_gadget.h"
#include "runtime/image/image.h"
#include "runtime/window/window.h"

#include <glib.h>

ObjectId main_window;
ObjectId year_field, month_combo, day_combo;
ObjectId after_count_field, after_result_field;
ObjectId before_count_field, before_result_field;
ObjectId after_button, date_input_button, date_calendar;
ObjectId banner_gadget, logo_gadget;
ObjectId after_note_label, before_note_label;

namespace {

constexpr std::uint32_t MAIN_WINDOW_FLAGS = 364; // menu, title, minimize, centred
constexpr std::int32_t TEXT_LEFT = 0, TEXT_RIGHT = 1, TEXT_CENTRE = 2;
constexpr std::int32_t COMBO_WITH_ENTRY = 1;
constexpr std::int32_t IMAGE_SUNKEN = 1;
constexpr std::int32_t PUSH_BUTTON_FLAGS = 8; // no button flag uses 8: a plain button

// Whether a creation gave a gadget (or the window); if not, says which one on
// stderr in one line (`failure`, translated, written in the locale's
// encoding). A failed creation gives 0, which is also the before button's
// number, so nothing may be set on it afterwards.
bool created(ObjectId id, const char* failure) {
    if (id != 0) return true;
    terminal_complain(failure);
    return false;
}

void use_font(ObjectId gadget, ObjectId font) {
    gadget_set_font(gadget, font_handle(font));
}

// Items "1" .. "last", each appended at the end.
void add_number_items(ObjectId combo, int last) {
    WideChar text[12];
    for (int i = 1; i <= last; ++i) {
        string_from_int(i, text);
        gadget_add_item(combo, -1, text);
    }
}

// A secondary line: the small font, grey on the window's own colour (pinned,
// so that it stays readable under every theme).
void use_note_style(ObjectId label) {
    gadget_set_color(label, COLOR_FRONT, APP_LABEL_GREY);
    gadget_set_color(label, COLOR_BACK, APP_BACKGROUND);
    use_font(label, 2);
}

} // namespace

std::int64_t open_main_window(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height) {
    main_window = window_open(AUTO_NUMBER, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                              static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), u"TovamiDaysAfter",
                              MAIN_WINDOW_FLAGS, nullptr);
    if (!created(main_window, _("cannot create the main window"))) return 1;
    window_set_color(main_window, APP_BACKGROUND);

    ObjectId label;
    MainWindowLabels labels{};
    year_field = gadget_editor_create(AUTO_NUMBER, 40, 70, 100, 30, 0);
    if (!created(year_field, _("cannot create the year field"))) return 1;
    use_font(year_field, 0);
    // TRANSLATORS: the year field's first text, replaced at once by the
    // calendar's year.
    gadget_add_item(year_field, -1, WideText(_("year")));

    after_count_field = gadget_editor_create(AUTO_NUMBER, 30, 160, 100, 35, 0);
    if (!created(after_count_field, _("cannot create the days-after count field"))) return 1;
    gadget_set_color(after_count_field, COLOR_FRONT, APP_COUNT_TEXT);
    use_font(after_count_field, 0);

    after_result_field = gadget_editor_create(AUTO_NUMBER, 260, 160, 160, 35, 0);
    if (!created(after_result_field, _("cannot create the days-after result field"))) return 1;
    gadget_set_color(after_result_field, COLOR_FRONT, APP_BLACK);

    if (!created(gadget_text_create(AUTO_NUMBER, 240, 165, 10, 20, u"=", TEXT_CENTRE),
                 _("cannot create the \"=\" label of the days-after row")))
        return 1;

    // TRANSLATORS: the labels "days after" and "days before" sit between a
    // count and "="; they have 80 and 90 pixels, "Year" and "Day" 40, "Month"
    // 60. The underscore marks the letter that, with Alt, moves to the field
    // (Y, M, D, A, B); a language without those letters appends it: "年(_Y)".
    // Write "__" for an underscore shown as such.
    label = gadget_text_create(AUTO_NUMBER, 150, 170, 80, 25, WideText(_("days _after")), TEXT_RIGHT);
    if (!created(label, _("cannot create the \"days after\" label"))) return 1;
    labels.days_after = label;
    gadget_set_color(label, COLOR_FRONT, APP_LABEL_GREY);
    gadget_set_color(label, COLOR_BACK, APP_BACKGROUND);
    use_font(label, 1);

    label = gadget_text_create(AUTO_NUMBER, 40, 110, 380, 25, WideText(_("valid period: 1970-01-01 <--> 2038-01-19")),
                               TEXT_CENTRE);
    if (!created(label, _("cannot create the valid period label"))) return 1;
    use_font(label, 1);
    // TRANSLATORS: a label with its Alt letter (see "days _after").
    label = gadget_text_create(AUTO_NUMBER, 320, 40, 40, 25, WideText(_("_Day")), TEXT_LEFT);
    if (!created(label, _("cannot create the \"Day\" label"))) return 1;
    labels.day = label;
    use_font(label, 1);
    // TRANSLATORS: a label with its Alt letter (see "days _after").
    label = gadget_text_create(AUTO_NUMBER, 180, 40, 60, 25, WideText(_("_Month")), TEXT_LEFT);
    if (!created(label, _("cannot create the \"Month\" label"))) return 1;
    labels.month = label;
    use_font(label, 1);

    day_combo = gadget_combo_create(AUTO_NUMBER, 320, 70, 100, 30, COMBO_WITH_ENTRY);
    if (!created(day_combo, _("cannot create the day combo box"))) return 1;
    add_number_items(day_combo, 31);

    // TRANSLATORS: the button that computes a row's result.
    if (!created(gadget_button_create(before_button, 430, 220, 100, 40, WideText(_("push")), PUSH_BUTTON_FLAGS),
                 _("cannot create the days-before push button")))
        return 1;
    use_font(before_button, 0);

    before_count_field = gadget_editor_create(AUTO_NUMBER, 30, 220, 100, 35, 0);
    if (!created(before_count_field, _("cannot create the days-before count field"))) return 1;

    // TRANSLATORS: a label with its Alt letter (see "days _after").
    label = gadget_text_create(AUTO_NUMBER, 140, 230, 90, 25, WideText(_("days _before")), TEXT_RIGHT);
    if (!created(label, _("cannot create the \"days before\" label"))) return 1;
    labels.days_before = label;
    use_font(label, 2);
    if (!created(gadget_text_create(AUTO_NUMBER, 240, 225, 10, 20, u"=", TEXT_CENTRE),
                 _("cannot create the \"=\" label of the days-before row")))
        return 1;

    before_result_field = gadget_editor_create(AUTO_NUMBER, 260, 220, 160, 35, 0);
    if (!created(before_result_field, _("cannot create the days-before result field"))) return 1;
    gadget_set_color(before_result_field, COLOR_FRONT, APP_BLACK);

    date_calendar = gadget_calendar_create(AUTO_NUMBER, 560, 10, 200, 170, 0);
    if (!created(date_calendar, _("cannot create the calendar"))) return 1;
    use_font(date_calendar, 1);

    after_button = gadget_button_create(AUTO_NUMBER, 430, 160, 100, 40, WideText(_("push")), PUSH_BUTTON_FLAGS);
    if (!created(after_button, _("cannot create the days-after push button"))) return 1;
    use_font(after_button, 0);

    month_combo = gadget_combo_create(AUTO_NUMBER, 180, 70, 100, 30, COMBO_WITH_ENTRY);
    if (!created(month_combo, _("cannot create the month combo box"))) return 1;
    use_font(month_combo, 0);
    add_number_items(month_combo, 12);

    banner_gadget = gadget_image_create(AUTO_NUMBER, 30, 310, 600, 50, image_handle(banner_image), IMAGE_SUNKEN);
    if (!created(banner_gadget, _("cannot create the banner image"))) return 1;
    logo_gadget = gadget_image_create(AUTO_NUMBER, 660, 310, 100, 49, image_handle(logo_image), IMAGE_SUNKEN);
    if (!created(logo_gadget, _("cannot create the logo image"))) return 1;

    // TRANSLATORS: a label with its Alt letter (see "days _after").
    labels.year = gadget_text_create(AUTO_NUMBER, 40, 40, 40, 25, WideText(_("_Year")), TEXT_LEFT);
    if (!created(labels.year, _("cannot create the \"Year\" label"))) return 1;

    date_input_button = gadget_button_create(AUTO_NUMBER, 660, 190, 90, 25, WideText(DATE_INPUT_CAPTION), 0);
    if (!created(date_input_button, _("cannot create the date input button"))) return 1;
    use_font(date_input_button, 3);

    // The notes sit in the empty bands under the result fields, clear of the
    // push buttons above and the next row below, and as wide as the longest
    // holiday name needs; empty until a result is computed.
    after_note_label = gadget_text_create(AUTO_NUMBER, 260, 201, 390, 18, nullptr, TEXT_LEFT);
    if (!created(after_note_label, _("cannot create the note under the days-after result"))) return 1;
    use_note_style(after_note_label);
    before_note_label = gadget_text_create(AUTO_NUMBER, 260, 261, 390, 18, nullptr, TEXT_LEFT);
    if (!created(before_note_label, _("cannot create the note under the days-before result"))) return 1;
    use_note_style(before_note_label);

    describe_main_window_for_access(labels);
    // After the calendar is named by its day, which the holiday's name follows.
    if (locale_is_japanese()) calendar_set_day_notes(date_calendar, japan_holiday_name);
    set_main_window_focus_order();
    set_up_main_window_keyboard();
    return 0;
}
