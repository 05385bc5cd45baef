// Calendar gadget: a month calendar whose state is the selected day as a
// DateValue at 00:00:00. Clicking a day posts SUBTYPE_LEFT_CLICK.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"

#include "runtime/date/date.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"

#include <gtk/gtk.h>

namespace {

// The selected day at 00:00:00; DATE_INVALID when no day is selected or the
// date lies outside the range date_make accepts.
std::int64_t calendar_get_state(GadgetRecord* g) {
    guint year = 0;
    guint month = 0;
    guint day = 0;
    gtk_calendar_get_date(GTK_CALENDAR(g->main), &year, &month, &day);
    return date_make(static_cast<std::int32_t>(year), static_cast<std::int32_t>(month) + 1,
                     static_cast<std::int32_t>(day), 0, 0, 0);
}

// Shows the month of `state` (0 = today) with its day selected; the time of
// day is ignored. A date whose fields cannot be read (DATE_INVALID, or a year
// the calendar cannot show) leaves the selection as it is.
void calendar_set_state(GadgetRecord* g, std::int64_t state) {
    DateValue date = state == 0 ? date_now() : state;
    const std::int32_t year = date_year(date);
    const std::int32_t month = date_month(date);
    const std::int32_t day = date_day(date);
    if (year <= 0 || month < 1 || month > 12 || day < 1 || day > 31) {
        return;
    }
    GtkCalendar* calendar = GTK_CALENDAR(g->main);
    gtk_calendar_select_month(calendar, static_cast<guint>(month - 1), static_cast<guint>(year));
    gtk_calendar_select_day(calendar, static_cast<guint>(day));
}

void calendar_set_font(GadgetRecord* g, PangoFontDescription* font) { gadget_widget_set_font(g->main, font); }

PangoFontDescription* calendar_get_font(GadgetRecord* g) { return gadget_widget_get_font(g->main); }

const GadgetOps* calendar_ops() {
    static const GadgetOps ops = [] {
        GadgetOps o{};
        o.size = sizeof(GadgetOps);
        o.kind = GADGET_KIND_CALENDAR;
        o.get_state = calendar_get_state;
        o.set_state = calendar_set_state;
        o.set_font = calendar_set_font;
        o.get_font = calendar_get_font;
        return o;
    }();
    return &ops;
}

// "day-selected": one left click for the gadget, unless a close request
// waits at the head of the queue.
void on_calendar_day_selected(GtkCalendar* calendar, gpointer data) noexcept {
    if (event_peek_type() == EVENT_CLOSE) {
        return;
    }
    gadget_post_event(GTK_WIDGET(calendar), gadget_id_from_data(data), SUBTYPE_LEFT_CLICK);
}

} // namespace

namespace {

// What calendar_finish needs besides the record.
struct CalendarOrder {
    std::int32_t width, height;
    std::int64_t date;
};

bool calendar_finish(GadgetRecord* g, ObjectId id, void* context) {
    const auto* order = static_cast<const CalendarOrder*>(context);
    gtk_widget_set_size_request(g->main, order->width, order->height);
    // Selected before "day-selected" is connected, so the initial date posts nothing.
    g->ops->set_state(g, order->date);
    g_signal_connect(g->main, "day-selected", G_CALLBACK(on_calendar_day_selected), GADGET_ID_DATA(id));
    return true;
}

} // namespace

// Creates a calendar gadget in the current gadget list showing `date`
// (0 = today). Returns the id for AUTO_NUMBER, else the calendar; 0 when there
// is no current list or the gadget cannot be made. Takes no lock.
ObjectId gadget_calendar_create(ObjectId number, std::int32_t x, std::int32_t y, std::int32_t width,
                                std::int32_t height, std::int32_t date) {
    GtkWidget* calendar = gtk_calendar_new();
    if (calendar == nullptr) {
        return 0;
    }
    CalendarOrder order{width, height, date};
    return gadget_create(number, x, y, {calendar, nullptr, calendar_ops(), calendar_finish, &order});
}
