// Day notes of a calendar gadget: marks in the shown month, tooltips, and
// the note after the selected day's spoken name.
#include "runtime/gadget/calendar_notes.h"

#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"

#include <gtk/gtk.h>

#include <string>

namespace {

constexpr const char* NOTES_KEY = "tda_calendar_day_notes";
// Where gadget_calendar_name_days keeps its format; without one the
// calendar's name is not its selected day, and no note is added to it.
constexpr const char* NAME_FORMAT_KEY = "tda_calendar_name_format";

// Hangs on the calendar (freed with it); the detail function reads it too,
// so a replaced note function is changed in place.
struct DayNotes {
    CalendarDayNote note;
    gulong month_changed, day_selected;
};

DayNotes* notes_of(GtkCalendar* calendar) {
    return static_cast<DayNotes*>(g_object_get_data(G_OBJECT(calendar), NOTES_KEY));
}

int days_in_month(int year, int month) {
    static constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : DAYS[month - 1];
}

// The note of a day as the calendar counts (month 0..11); null when there is
// none or the day is no real day of the years 1 .. 9999.
const char* note_on(const DayNotes* notes, guint year, guint month, guint day) {
    if (notes == nullptr || notes->note == nullptr || year < 1 || year > 9999 || month > 11 || day < 1 ||
        static_cast<int>(day) > days_in_month(static_cast<int>(year), static_cast<int>(month) + 1))
        return nullptr;
    const char* note = notes->note(static_cast<int>(year), static_cast<int>(month) + 1, static_cast<int>(day));
    return note != nullptr && *note != '\0' ? note : nullptr;
}

void mark_noted_days(GtkCalendar* calendar) {
    gtk_calendar_clear_marks(calendar);
    guint year = 0, month = 0;
    gtk_calendar_get_date(calendar, &year, &month, nullptr);
    const DayNotes* notes = notes_of(calendar);
    for (guint day = 1; day <= 31; ++day)
        if (note_on(notes, year, month, day) != nullptr) gtk_calendar_mark_day(calendar, day);
}

// Follows the name the calendar has just given its selected day with the
// day's note.
void add_note_to_name(GtkCalendar* calendar) {
    guint year = 0, month = 0, day = 0;
    gtk_calendar_get_date(calendar, &year, &month, &day);
    const char* note = note_on(notes_of(calendar), year, month, day);
    AtkObject* accessible = gtk_widget_get_accessible(GTK_WIDGET(calendar));
    if (note == nullptr || accessible == nullptr || g_object_get_data(G_OBJECT(calendar), NAME_FORMAT_KEY) == nullptr)
        return;
    const char* name = atk_object_get_name(accessible);
    atk_object_set_name(accessible, (std::string(name != nullptr ? name : "") + " " + note).c_str());
}

// The note as the day's detail, which the calendar shows only as its tooltip
// (details are not drawn); details are Pango markup, the note plain text.
gchar* day_detail(GtkCalendar*, guint year, guint month, guint day, gpointer data) noexcept {
    const char* note = note_on(static_cast<const DayNotes*>(data), year, month, day);
    return note != nullptr ? g_markup_escape_text(note, -1) : nullptr;
}

// "month-changed" (also after the arrows and the year buttons): marks are
// kept by day number, so the new month's noted days are marked afresh.
void on_month_changed(GtkCalendar* calendar, gpointer) noexcept {
    mark_noted_days(calendar);
}

// "day-selected", after the calendar has named the day.
void on_day_selected(GtkCalendar* calendar, gpointer) noexcept {
    add_note_to_name(calendar);
}

// Names the selected day again through the stored format (the format is
// copied: naming replaces the stored one).
void rename_selected_day(ObjectId id, GtkCalendar* calendar) {
    const auto* format = static_cast<const char*>(g_object_get_data(G_OBJECT(calendar), NAME_FORMAT_KEY));
    if (format == nullptr) return;
    gchar* copy = g_strdup(format);
    gadget_calendar_name_days(id, copy);
    g_free(copy);
}

} // namespace

void calendar_set_day_notes(ObjectId id, CalendarDayNote note) {
    GadgetLockGuard lock;
    GadgetRecord* g = gadget_lookup(id);
    if (g == nullptr || gadget_kind(id) != GADGET_KIND_CALENDAR) return;
    GtkCalendar* calendar = GTK_CALENDAR(g->main);
    DayNotes* notes = notes_of(calendar);
    if (note == nullptr) {
        if (notes == nullptr) return;
        gtk_calendar_set_detail_func(calendar, nullptr, nullptr, nullptr);
        g_signal_handler_disconnect(calendar, notes->month_changed);
        g_signal_handler_disconnect(calendar, notes->day_selected);
        g_object_set_data(G_OBJECT(calendar), NOTES_KEY, nullptr); // frees notes
        gtk_calendar_clear_marks(calendar);
        rename_selected_day(id, calendar);
        return;
    }
    if (notes == nullptr) {
        notes = g_new0(DayNotes, 1);
        g_object_set_data_full(G_OBJECT(calendar), NOTES_KEY, notes, g_free);
        notes->month_changed = g_signal_connect(calendar, "month-changed", G_CALLBACK(on_month_changed), nullptr);
        notes->day_selected = g_signal_connect_after(calendar, "day-selected", G_CALLBACK(on_day_selected), nullptr);
        // Details as tooltips only: the cells keep the size they have without them.
        gtk_calendar_set_display_options(calendar,
                                         static_cast<GtkCalendarDisplayOptions>(
                                             gtk_calendar_get_display_options(calendar) & ~GTK_CALENDAR_SHOW_DETAILS));
        gtk_calendar_set_detail_func(calendar, day_detail, notes, nullptr);
    }
    notes->note = note;
    mark_noted_days(calendar);
    rename_selected_day(id, calendar);
    add_note_to_name(calendar);
    gtk_widget_queue_draw(GTK_WIDGET(calendar));
}
