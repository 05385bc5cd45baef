// Notes on single days of a calendar gadget, given by the application (a
// country's holidays, say): the calendar marks the days that have one, shows
// a day's note as its tooltip and adds the selected day's note to the
// calendar's spoken name. The runtime knows nothing of what the notes mean.
#pragma once

#include "runtime/core/types.h"

// The note for a day (month 1..12) as UTF-8 plain text, or null (or "") for
// a day without one. The text belongs to the function and must stay valid
// until the next call. Asked only about real days of the years 1 .. 9999.
using CalendarDayNote = const char* (*)(int year, int month, int day);

// Gives the calendar gadget `calendar` its day notes, replacing earlier ones;
// null removes them. The days of the shown month that have a note are marked
// (replacing any other marks), again whenever the calendar shows another
// month; the pointer resting on a day shows its note as a tooltip, while the
// days' cells keep their size (no note is drawn in them); and the spoken name
// that gadget_calendar_name_days gives the selected day is followed by " "
// and that day's note. Call after gadget_calendar_name_days, which names the
// day afresh. Nothing for a missing gadget or one of another kind. Main
// thread; takes the GDK lock.
void calendar_set_day_notes(ObjectId calendar, CalendarDayNote note);
