// What a screen reader announces for the calculator's gadgets, the order in
// which Tab walks through them, and the results spoken as they appear.
#pragma once

#include <string>

#include "runtime/core/types.h"
#include "runtime/date/date.h"

// The visible labels that name an input; 0 where a label is missing.
struct MainWindowLabels {
    ObjectId year;        // "Year"
    ObjectId month;       // "Month"
    ObjectId day;         // "Day"
    ObjectId days_after;  // "days after"
    ObjectId days_before; // "days before"
};

// Gives every input, button, result, the calendar and the logos of the main
// window an accessible name and description (the buttons' names begin with
// their captions), ties the fields, combo boxes and results to the labels
// beside them (labelled-by / label-for, and the label's mnemonic, written by
// the translator, moves to the field), names the calendar by its selected
// day and the application "TovamiDaysAfter". The push buttons, the date
// input button and the logo show their description as a tooltip too.
// Gadgets that do not exist are passed over. Main thread, GDK lock held (as
// during creation).
void describe_main_window_for_access(const MainWindowLabels& labels);

// Sets the window's Tab order to reading order: year, month, day, days after,
// its push, its result, days before, its push, its result, calendar, the
// date input button, the logo. Main thread, GDK lock held.
void set_main_window_focus_order();

// Has a screen reader speak a new result without moving the focus: the
// result's name and `shown`, the text the handler wrote into the result
// field (for DATE_INVALID "no date" instead), followed by ", " and `note`
// (the words under the result) unless it is empty. Nothing happens when the
// window has no focus. Main thread, GDK lock held.
void announce_result(ObjectId result_field, const WideChar* shown, DateValue result, const std::string& note);
