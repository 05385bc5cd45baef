// What a screen reader announces for the calculator's gadgets, the order in
// which Tab walks through them, and the results spoken as they appear.
#pragma once

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
// their captions), links the fields, combo boxes and results with the labels
// beside them (labelled-by / label-for), gives the labels mnemonics (Alt+key
// moves to the field), names the calendar by its selected day and the
// application "TovamiDaysAfter". The push buttons, the date input button and
// the logo show their description as a tooltip too. Gadgets that do not
// exist are passed over. Main thread, GDK lock held (as during creation).
void describe_main_window_for_access(const MainWindowLabels& labels);

// Lets Tab leave the text fields (they would otherwise insert a tab) and sets
// the window's focus chain to reading order: year, month, day, days after,
// its push, its result, days before, its push, its result, calendar, the
// date input button, the logo. Does nothing when the year field is missing.
// Main thread, GDK lock held.
void set_main_window_focus_order();

// Has a screen reader speak a new result without moving the focus: the
// focused object's description becomes the result's name and value (for
// DATE_INVALID "no date") followed by ", " and `note` unless it is null or
// empty, and follow_focus_for_access gives the object its
// own description back once the focus has left it. Nothing happens when the
// window has no focus. Main thread, GDK lock held.
void announce_result(ObjectId result_field, DateValue result, const char* note);

// Call for every dispatched event: once the focus has left the object that
// carries an announced result, gives it its own description back (a screen
// reader ignores changes of objects without the focus). Main thread.
void follow_focus_for_access();
