// What a screen reader announces for the calculator's gadgets, and the order
// in which Tab walks through them.
#pragma once

#include "runtime/core/types.h"

// The visible labels that name an input; 0 where a label is missing.
struct MainWindowLabels {
    ObjectId year;        // "Year"
    ObjectId month;       // "Month"
    ObjectId day;         // "Day"
    ObjectId days_after;  // "days after"
    ObjectId days_before; // "days before"
};

// Gives every input, button, result, the calendar and the logos of the main
// window an accessible name and description, and links the fields with the
// labels that stand beside them (labelled-by / label-for); the push buttons,
// the date input button and the logo show their description as a tooltip
// too. Gadgets that do not
// exist are passed over. Main thread, GDK lock held (as during creation).
void describe_main_window_for_access(const MainWindowLabels& labels);

// Lets Tab leave the text fields (they would otherwise insert a tab) and sets
// the window's focus chain to reading order: year, month, day, days after,
// its push, days before, its push, calendar, the date input button. Does
// nothing when the year field is missing. Main thread, GDK lock held.
void set_main_window_focus_order();
