// Accessible names, descriptions, labels and tooltips of the main window,
// its keyboard focus order, and the spoken results.
#include "app/window/accessibility.h"

#include "app/calculation/i18n.h"
#include "app/window/calculator.h"
#include "runtime/core/utf_convert.h"
#include "runtime/gadget/gadget_access.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/window/window.h"

#include <iterator>
#include <string>

namespace {

// A null description leaves the gadget's as it is.
void describe(ObjectId gadget, const char* name, const char* description) {
    const WideText wide_name(name);
    if (description == nullptr)
        gadget_set_access(gadget, wide_name, nullptr);
    else
        gadget_set_access(gadget, wide_name, WideText(description));
}

// `text` without the blanks around it ("　日付入力" has an ideographic space
// in front).
std::string trimmed(const char* text) {
    const char* start = text;
    while (*start != '\0' && g_unichar_isspace(g_utf8_get_char(start)))
        start = g_utf8_next_char(start);
    const char* end = start;
    for (const char* p = start; *p != '\0'; p = g_utf8_next_char(p))
        if (!g_unichar_isspace(g_utf8_get_char(p))) end = g_utf8_next_char(p);
    return std::string(start, end);
}

// A button named by its caption first (what a voice-control user says), then
// what it does; its description shows as a tooltip too, since a caption
// alone ("push", "　日付入力") says little.
void describe_button(ObjectId button, const char* caption, const char* purpose, const char* description) {
    const std::string shown = trimmed(caption);
    // TRANSLATORS: a button's accessible name: its caption, then what it
    // does ("push, date after"). Join them as your language joins two
    // phrases in a list ("、" in Japanese).
    gchar* name = shown.empty() ? g_strdup(purpose) : g_strdup_printf(_("%s, %s"), shown.c_str(), purpose);
    describe(button, name, description);
    gadget_set_tooltip(button, WideText(description));
    g_free(name);
}

} // namespace

void describe_main_window_for_access(const MainWindowLabels& labels) {
    describe(year_field, _("Year"), _("Year of the start date"));
    describe(month_combo, _("Month"), _("Month of the start date"));
    describe(day_combo, _("Day"), _("Day of the start date"));
    describe(after_count_field, _("Days after"), _("Number of days to add to the start date"));
    describe(after_result_field, _("Date after"), _("The start date plus the days after"));
    describe_button(after_button, _("push"), _("date after"),
                    _("Shows the start date plus the days after in Date after"));
    describe(before_count_field, _("Days before"), _("Number of days to take from the start date"));
    describe(before_result_field, _("Date before"), _("The start date minus the days before"));
    describe_button(before_button, _("push"), _("date before"),
                    _("Shows the start date minus the days before in Date before"));
    describe(date_calendar, _("Calendar"), _("Pick a day to copy into Year, Month and Day"));
    // The selected day names the calendar, so that a screen reader says the
    // day each arrow key moves to, in the words and order of LC_TIME alone.
    gadget_calendar_name_days(date_calendar, nullptr);
    describe_button(date_input_button, DATE_INPUT_CAPTION, _("copy calendar date"),
                    _("Copies the day picked in the calendar into Year, Month and Day"));
    describe(logo_gadget, _("About TovamiDaysAfter"), _("Shows the about box"));
    gadget_set_tooltip(logo_gadget, WideText(_("Shows the about box")));
    describe(banner_gadget, "TovamiDaysAfter", nullptr);
    // The program's name, not its application id, heads its accessibility tree.
    window_set_application_name(u"TovamiDaysAfter");

    // Each label names its input (and its row's result); its mnemonic, which
    // the translator marks, moves to the input.
    const struct {
        ObjectId label;
        ObjectId targets[2];
        std::int64_t count;
    } captions[] = {{labels.year, {year_field}, 1},
                    {labels.month, {month_combo}, 1},
                    {labels.day, {day_combo}, 1},
                    {labels.days_after, {after_count_field, after_result_field}, 2},
                    {labels.days_before, {before_count_field, before_result_field}, 2}};
    for (const auto& c : captions)
        if (c.label != 0) gadget_set_label_for(c.label, c.targets, c.count);
}

void set_main_window_focus_order() {
    const ObjectId order[] = {year_field,          month_combo,        day_combo,          after_count_field,
                              after_button,        after_result_field, before_count_field, before_button,
                              before_result_field, date_calendar,      date_input_button,  logo_gadget};
    window_set_focus_order(main_window, order, static_cast<std::int64_t>(std::size(order)));
}

void announce_result(ObjectId result_field, const WideChar* shown, DateValue result, const std::string& note) {
    const char* row = result_field == after_result_field ? _("Date after") : _("Date before");
    gchar* text = string_to_utf8_gtk(shown);
    // TRANSLATORS: a result as spoken: the result field's name, then the date
    // or "no date".
    gchar* spoken = g_strdup_printf(_("%s: %s"), row, result == DATE_INVALID ? _("no date") : text);
    // The note under the result (weekday, era, holiday) is heard after it.
    g_autofree gchar* heard = note.empty() ? g_strdup(spoken) : g_strdup_printf(_("%s, %s"), spoken, note.c_str());
    gadget_announce(result_field, WideText(heard));
    g_free(spoken);
    g_free(text);
}
