// Calendar gadgets under a real X server: the initial date, the state as a
// DateValue and day clicks delivered through XTest.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "support/gadget_kinds_support.h"
#include "support/gui_support.h"

#include "runtime/date/date.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/calendar_notes.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/window/window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <clocale>
#include <ctime>
#include <string>

using namespace tda_test;

namespace {

class CalendarGadget : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = kinds_window_open(400, 300);
        discard_events();
        glib_complaints_reset();
    }
    void TearDown() override {
        window_free(window_);
        discard_events();
    }
    struct Shown {
        guint year, month, day;
    };
    Shown shown(ObjectId id) {
        Shown s{0, 0, 0};
        gtk_calendar_get_date(GTK_CALENDAR(main_of(id)), &s.year, &s.month, &s.day);
        return s;
    }
    // Clicks the middle of the day grid: a day of the shown month in every
    // month (the first and last grid rows are where other months' days sit).
    void click_middle_day(ObjectId id) {
        GtkWidget* calendar = main_of(id);
        GtkAllocation a;
        gtk_widget_get_allocation(calendar, &a);
        int x = 0;
        int y = 0;
        ASSERT_TRUE(widget_screen_origin(calendar, &x, &y));
        // The calendar draws at its own natural height (not counting the size
        // request) from the top of its area.
        gint minimum = 0;
        gint natural = 0;
        GTK_WIDGET_GET_CLASS(calendar)->get_preferred_height(calendar, &minimum, &natural);
        const int height = natural < a.height ? natural : a.height;
        xtest_click(x + a.width / 2, y + height * 6 / 10);
    }
    ObjectId window_ = 0;
};

TEST_F(CalendarGadget, DateZeroShowsTodaySelected) {
    ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 250, 200, 0);
    ASSERT_NE(id, 0);
    EXPECT_EQ(gadget_kind(id), GADGET_KIND_CALENDAR);
    DateValue now = date_now();
    Shown s = shown(id);
    EXPECT_EQ(static_cast<std::int32_t>(s.year), date_year(now));
    EXPECT_EQ(static_cast<std::int32_t>(s.month) + 1, date_month(now));
    EXPECT_EQ(static_cast<std::int32_t>(s.day), date_day(now));
    EXPECT_EQ(gadget_get_state(id), date_make(date_year(now), date_month(now), date_day(now), 0, 0, 0));
}

TEST_F(CalendarGadget, InitialDateIsSelectedWithoutAnEvent) {
    struct Case {
        DateValue date;
        guint year, month, day;
        DateValue state;
    };
    const Case cases[] = {
        {date_make(2024, 2, 29, 10, 20, 30), 2024, 1, 29, date_make(2024, 2, 29, 0, 0, 0)},
        {date_make(1970, 1, 1, 0, 0, 1), 1970, 0, 1, 0},
        {date_make(2038, 1, 19, 3, 14, 7), 2038, 0, 19, date_make(2038, 1, 19, 0, 0, 0)},
        {date_make(2000, 12, 31, 23, 59, 59), 2000, 11, 31, date_make(2000, 12, 31, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 250, 200, static_cast<std::int32_t>(c.date));
        Shown s = shown(id);
        EXPECT_EQ(s.year, c.year);
        EXPECT_EQ(s.month, c.month);
        EXPECT_EQ(s.day, c.day);
        EXPECT_EQ(gadget_get_state(id), c.state);
        EXPECT_TRUE(drain_gadget_events().empty());
        gadget_free(id);
    }
}

TEST_F(CalendarGadget, DatesOutsideTheMakeRangeReadBackInvalid) {
    // 1969-12-31 is shown (the calendar has no lower limit) but is no DateValue
    // that date_make builds.
    ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 250, 200, -86400);
    Shown s = shown(id);
    EXPECT_EQ(s.year, 1969u);
    EXPECT_EQ(s.month, 11u);
    EXPECT_EQ(s.day, 31u);
    EXPECT_EQ(gadget_get_state(id), DATE_INVALID);
}

TEST_F(CalendarGadget, InvalidInitialDateKeepsTheCalendarsOwnSelectionQuietly) {
    ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 250, 200, static_cast<std::int32_t>(DATE_INVALID));
    ASSERT_NE(id, 0);
    EXPECT_EQ(glib_complaints(), 0);
    Shown s = shown(id);
    EXPECT_GE(s.year, 2024u);
    EXPECT_LE(s.month, 11u);
}

TEST_F(CalendarGadget, ClickingADayPostsOneLeftClick) {
    ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 280, 220,
                                         static_cast<std::int32_t>(date_make(2024, 3, 1, 0, 0, 0)));
    settle();
    discard_events();
    click_middle_day(id);
    std::vector<TakenEvent> events = drain_gadget_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, EVENT_GADGET);
    EXPECT_EQ(events[0].subtype, SUBTYPE_LEFT_CLICK);
    EXPECT_EQ(events[0].object, id);
    EXPECT_EQ(events[0].window, window_);
    Shown s = shown(id);
    EXPECT_EQ(s.year, 2024u);
    EXPECT_EQ(s.month, 2u);
    EXPECT_GE(s.day, 8u);
    EXPECT_LE(s.day, 24u);
    EXPECT_EQ(gadget_get_state(id), date_make(2024, 3, static_cast<std::int32_t>(s.day), 0, 0, 0));
}

TEST_F(CalendarGadget, ClickWhileCloseRequestHeadsQueuePostsNothing) {
    ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 280, 220,
                                         static_cast<std::int32_t>(date_make(2024, 3, 1, 0, 0, 0)));
    settle();
    discard_events();
    event_post(EVENT_CLOSE, 0, window_, 0);
    click_middle_day(id);
    std::vector<TakenEvent> events = drain_events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].type, EVENT_CLOSE);
    EXPECT_EQ(count_events(events, EVENT_GADGET), 0);
    EXPECT_NE(shown(id).day, 1u); // the day was still selected
}

TEST_F(CalendarGadget, DayNotesMarkTheirDaysAndShowAsTooltips) {
    ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 280, 220, date_make(2027, 3, 20, 0, 0, 0));
    GtkCalendar* calendar = GTK_CALENDAR(main_of(id));
    // Every day of March 2027 but the 20th has a note, with characters that are markup.
    calendar_set_day_notes(id, [](int year, int month, int day) -> const char* {
        static char note[32];
        g_snprintf(note, sizeof note, "day %d <&>", day);
        return year == 2027 && month == 3 && day != 20 ? note : nullptr;
    });
    EXPECT_TRUE(gtk_calendar_get_day_is_marked(calendar, 21) && !gtk_calendar_get_day_is_marked(calendar, 20));
    settle();
    click_middle_day(id); // a day with a note; the pointer rests on it
    std::string tip;      // the text of the tooltip, which names its window
    EXPECT_TRUE(pump_until("the tooltip of the day under the pointer", [&] {
        GList* tops = gtk_window_list_toplevels();
        for (GList* l = tops; l != nullptr; l = l->next)
            if (const char* n = atk_object_get_name(gtk_widget_get_accessible(GTK_WIDGET(l->data))))
                tip = g_str_has_prefix(n, "day ") ? n : tip;
        g_list_free(tops);
        return !tip.empty();
    }));
    EXPECT_TRUE(g_str_has_suffix(tip.c_str(), " <&>")) << tip;
    gtk_calendar_select_month(calendar, 3, 2027); // April: no notes, no marks
    EXPECT_FALSE(gtk_calendar_get_day_is_marked(calendar, 21));
}

// The selected day names the calendar in LC_TIME's words and order, from
// the date alone: a zone that skipped the day (Samoa skipped 30 December
// 2011) has no local midnight for it.
TEST_F(CalendarGadget, NamesItsDayInOneLocaleCategoryWhateverTheZone) {
    const struct {
        const char *time_locale, *zone, *format;
        int year, month, day;
        const char* name;
    } rows[] = {{"C", "UTC", nullptr, 2024, 1, 28, "Sunday January 28 2024"},
                {"ja_JP.UTF-8", "UTC", nullptr, 2024, 1, 28, "2024年 1月 28日 日曜日"},
                {"C", "Pacific/Apia", "%A %-d %B %Y", 2011, 12, 30, "Friday 30 December 2011"},
                {"C", "UTC", "%d.%m.", 2024, 2, 29, "29.02."}};
    const std::string time_locale = setlocale(LC_TIME, nullptr), zone = g_getenv("TZ") ? g_getenv("TZ") : "";
    ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 250, 200);
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.time_locale) + " " + row.zone);
        ASSERT_NE(setlocale(LC_TIME, row.time_locale), nullptr) << "locale " << row.time_locale << " is missing";
        g_setenv("TZ", row.zone, TRUE);
        tzset();
        gadget_calendar_name_days(id, row.format);
        gtk_calendar_select_month(GTK_CALENDAR(main_of(id)), row.month - 1, row.year);
        gtk_calendar_select_day(GTK_CALENDAR(main_of(id)), row.day);
        EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(main_of(id))), row.name);
    }
    setlocale(LC_TIME, time_locale.c_str());
    if (zone.empty())
        g_unsetenv("TZ");
    else
        g_setenv("TZ", zone.c_str(), TRUE);
    tzset();
}

TEST_F(CalendarGadget, HasNoText) {
    ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 250, 200);
    Shown before = shown(id);
    gadget_set_text(id, u"2024/01/01");
    EXPECT_EQ(gadget_text_of(id), u"");
    Shown after = shown(id);
    EXPECT_EQ(after.day, before.day);
    EXPECT_EQ(after.month, before.month);
}

TEST_F(CalendarGadget, FontIsStoredOnTheCalendar) {
    ObjectId id = gadget_calendar_create(AUTO_NUMBER, 10, 10, 250, 200);
    PangoFontDescription* font = pango_font_description_from_string("Sans 9");
    gadget_set_font(id, font);
    EXPECT_TRUE(same_font(gadget_get_font(id), font));
    gadget_free(id);
    pango_font_description_free(font);
}

} // namespace
