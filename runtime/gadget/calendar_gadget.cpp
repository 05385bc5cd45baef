// Calendar gadget: a month calendar whose state is the selected day as a
// DateValue at 00:00:00. Clicking a day posts SUBTYPE_LEFT_CLICK; so does a
// day picked from the keyboard. The calendar names its selected day to
// screen readers in the format the application gives it.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "runtime/gadget/calendar_words.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"

#include "runtime/date/date.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"

#include <gtk/gtk.h>

#include <algorithm>

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

void calendar_set_font(GadgetRecord* g, PangoFontDescription* font) {
    gadget_widget_set_font(g->main, font);
}

PangoFontDescription* calendar_get_font(GadgetRecord* g) {
    return gadget_widget_get_font(g->main);
}

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

// The keyboard moves the selected day itself: Left/Right by a day, Up/Down by
// a week, Page Up/Page Down by a month (the day kept, or the month's last),
// Home/End to the first or last day of the month; Space and Return pick the
// selected day again. The toolkit's own key handling moves a separate cursor
// that starts at the grid's first cell; without Ctrl or Alt these keys never
// reach it. Every move goes through gtk_calendar_select_day, so it posts
// what a click would.
struct TdaCalendar {
    GtkCalendar parent;
};
struct TdaCalendarClass {
    GtkCalendarClass parent_class;
};
GtkWidgetClass* toolkit_calendar_class = nullptr;

constexpr const char* CALENDAR_KEY_NAME_FORMAT = "tda_calendar_name_format";

// The first and last day the keys reach: 0001-01-01, GDate's first day, and
// 9999-12-31, the last day that GDateTime can name for the calendar's
// accessible name (GDate's own years run on to 65535, but a move past them
// wraps to year 0 and one before year 1 raises a g_critical).
constexpr GDateYear CALENDAR_FIRST_YEAR = 1;
constexpr GDateYear CALENDAR_LAST_YEAR = 9999;

// `date` moved by `days` days or `months` months (the day kept, or the
// month's last); a move past either edge stops at the edge's day.
void calendar_move(GDate* date, gint64 days, gint64 months) {
    GDate last;
    g_date_clear(&last, 1);
    g_date_set_dmy(&last, 31, G_DATE_DECEMBER, CALENDAR_LAST_YEAR);
    const gint64 last_day = g_date_get_julian(&last);
    const gint64 month = g_date_get_year(date) * 12LL + g_date_get_month(date) - 1 + months;
    if (month < CALENDAR_FIRST_YEAR * 12LL || month > CALENDAR_LAST_YEAR * 12LL + 11) {
        g_date_set_julian(date, static_cast<guint32>(month < CALENDAR_FIRST_YEAR * 12LL ? 1 : last_day));
        return;
    }
    if (months != 0) {
        const auto year = static_cast<GDateYear>(month / 12);
        const auto in_year = static_cast<GDateMonth>(month % 12 + 1);
        g_date_set_dmy(date, std::min(g_date_get_day(date), g_date_get_days_in_month(in_year, year)), in_year, year);
    }
    g_date_set_julian(date, static_cast<guint32>(std::clamp<gint64>(g_date_get_julian(date) + days, 1, last_day)));
}

// The date a key leads to from `date`; false for a key the calendar does not
// move with.
bool calendar_key_target(GtkWidget* widget, guint key, GDate* date) {
    const int forward = gtk_widget_get_direction(widget) == GTK_TEXT_DIR_RTL ? -1 : 1;
    switch (key) {
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        calendar_move(date, -forward, 0);
        return true;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        calendar_move(date, forward, 0);
        return true;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
        calendar_move(date, -7, 0);
        return true;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        calendar_move(date, 7, 0);
        return true;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
        calendar_move(date, 0, -1);
        return true;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
        calendar_move(date, 0, 1);
        return true;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
        g_date_set_day(date, 1);
        return true;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
        g_date_set_day(date, g_date_get_days_in_month(g_date_get_month(date), g_date_get_year(date)));
        return true;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space:
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
        return true;
    default:
        return false;
    }
}

gboolean calendar_key_press(GtkWidget* widget, GdkEventKey* event) noexcept {
    GtkCalendar* calendar = GTK_CALENDAR(widget);
    guint year = 0, month = 0, day = 0;
    gtk_calendar_get_date(calendar, &year, &month, &day);
    const bool plain = (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) == 0;
    // A date GDate cannot hold (year 0 or past 65535, no day selected) leaves every key to the
    // toolkit.
    if (plain && day != 0 && year <= G_MAXUINT16 &&
        g_date_valid_dmy(static_cast<GDateDay>(day), static_cast<GDateMonth>(month + 1),
                         static_cast<GDateYear>(year))) {
        GDate date;
        g_date_clear(&date, 1);
        g_date_set_dmy(&date, static_cast<GDateDay>(day), static_cast<GDateMonth>(month + 1),
                       static_cast<GDateYear>(year));
        if (calendar_key_target(widget, event->keyval, &date)) {
            if (g_date_valid(&date)) {
                const guint new_month = g_date_get_month(&date) - 1, new_year = g_date_get_year(&date);
                if (new_month != month || new_year != year) gtk_calendar_select_month(calendar, new_month, new_year);
                gtk_calendar_select_day(calendar, g_date_get_day(&date));
            }
            return TRUE;
        }
    }
    return toolkit_calendar_class->key_press_event(widget, event);
}

// The selected day as the calendar's accessible name, in the format stored
// under CALENDAR_KEY_NAME_FORMAT (a strftime format); nothing
// without a format or a selected day.
void calendar_name_selected_day(GtkCalendar* calendar) noexcept {
    const auto* format = static_cast<const char*>(g_object_get_data(G_OBJECT(calendar), CALENDAR_KEY_NAME_FORMAT));
    guint year = 0, month = 0, day = 0;
    gtk_calendar_get_date(calendar, &year, &month, &day);
    if (format == nullptr || day == 0) return;
    // From the date alone: a local midnight may not exist (a zone that
    // skipped the day, or whose clocks jump at midnight).
    gchar* name = calendar_day_words(format, year, month + 1, day);
    AtkObject* accessible = gtk_widget_get_accessible(GTK_WIDGET(calendar));
    if (name != nullptr && accessible != nullptr) atk_object_set_name(accessible, name);
    g_free(name);
}

void tda_calendar_class_init(gpointer klass, gpointer) noexcept {
    toolkit_calendar_class = GTK_WIDGET_CLASS(g_type_class_peek_parent(klass));
    GTK_WIDGET_CLASS(klass)->key_press_event = calendar_key_press;
    GTK_CALENDAR_CLASS(klass)->day_selected = calendar_name_selected_day;
}

GType tda_calendar_get_type() {
    static gsize type = 0;
    if (g_once_init_enter(&type)) {
        GType registered = g_type_register_static_simple(GTK_TYPE_CALENDAR, "TdaCalendar", sizeof(TdaCalendarClass),
                                                         tda_calendar_class_init, sizeof(TdaCalendar), nullptr,
                                                         static_cast<GTypeFlags>(0));
        g_once_init_leave(&type, registered);
    }
    return type;
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
    GtkWidget* calendar = GTK_WIDGET(g_object_new(tda_calendar_get_type(), nullptr));
    if (calendar == nullptr) {
        return 0;
    }
    CalendarOrder order{width, height, date};
    return gadget_create(number, x, y, {calendar, nullptr, calendar_ops(), calendar_finish, &order});
}

void gadget_calendar_name_days(ObjectId gadget, const char* format) {
    GadgetRecord* g = gadget_lookup(gadget);
    if (g == nullptr || gadget_kind(gadget) != GADGET_KIND_CALENDAR) return;
    g_object_set_data_full(G_OBJECT(g->main), CALENDAR_KEY_NAME_FORMAT,
                           format != nullptr ? g_strdup(format) : calendar_locale_day_format(), g_free);
    calendar_name_selected_day(GTK_CALENDAR(g->main));
}
