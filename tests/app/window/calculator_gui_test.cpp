// The calculator as a user meets it: the real main window, driven with real
// key presses and clicks through the X server, read back from its fields; the
// same inputs given to the command line must give the same results.
#include "app_test_support.h"
#include "support/test_support.h"

#include "app/calculation/date_note.h"
#include "runtime/date/date.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <utility>

using namespace tda_test;
using namespace tda_app_test;

namespace {

// Clicks a gadget and runs the program's loop until the click was handled.
void click(ObjectId gadget, int button = 1) {
    click_widget(widget_of(gadget), button);
    run_loop_until_marker();
}

class Calculator : public CalculatorWindowTest {};

// The year, month and day fields hold `date` as yyyy, mm and dd.
void expect_fields_show(DateValue date) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "%04d", date_year(date));
    EXPECT_EQ(text_of(year_field), expected);
    std::snprintf(expected, sizeof expected, "%02d", date_month(date));
    EXPECT_EQ(text_of(month_combo), expected);
    std::snprintf(expected, sizeof expected, "%02d", date_day(date));
    EXPECT_EQ(text_of(day_combo), expected);
}

TEST_F(Calculator, StartsWithTheCalendarsDayInTheFields) {
    // The calendar opens on today by the system's clock, whatever the year;
    // the fields take that day when it lies in the valid range and are left
    // alone otherwise, so the test holds on both sides of 2038-01-19.
    DateValue today = gadget_get_state(date_calendar);
    if (today == DATE_INVALID) {
        EXPECT_NE(text_of(year_field), "0000");
    } else {
        expect_fields_show(today);
    }
    EXPECT_EQ(text_of(after_count_field), "");
    EXPECT_EQ(text_of(before_count_field), "");
}

// The window hands its field texts to the calculation (whose rule is tested
// once, in tests/app/calculation): each row is typed into the window, the
// count into both count fields, then both "push" buttons are pressed.
struct TypedRow {
    const char *year, *month, *day, *count, *after, *before, *note, *note_ja; // under C, ja
};
const TypedRow TYPED_ROWS[] = {
    {"2024", "2", "28", "1", "2024/02/29", "2024/02/27", "Thursday", "令和6年2月29日（木）"},
    {"2024", "2", "30", "1", "0000/00/00", "0000/00/00", "", ""},
    {"\u3000２０２４", "＋０２", "％１１１００", "－＄Ａ", "2024/02/18", "2024/03/09", "Sunday",
     "令和6年2月18日（日）"}, // full-width, as typed in Japanese
};

TEST_F(Calculator, PushButtonsShowTheDatesAfterAndBefore) {
    const bool ja = locale_is_japanese();
    if (!ja) setlocale(LC_TIME, "C"); // weekdays in English
    for (const TypedRow& c : TYPED_ROWS) {
        SCOPED_TRACE(std::string(c.year) + "/" + c.month + "/" + c.day + " count [" + c.count + "]");
        ASSERT_TRUE(type_into(year_field, c.year));
        ASSERT_TRUE(type_into(month_combo, c.month));
        ASSERT_TRUE(type_into(day_combo, c.day));
        ASSERT_TRUE(type_into(after_count_field, c.count));
        ASSERT_TRUE(type_into(before_count_field, c.count));
        EXPECT_EQ(text_of(year_field), c.year);
        EXPECT_EQ(text_of(after_count_field), c.count);
        click(after_button);
        click(before_button);
        EXPECT_EQ(text_of(after_note_label), ja ? c.note_ja : c.note);
        EXPECT_EQ(text_of(after_result_field), c.after);
        EXPECT_EQ(text_of(before_result_field), c.before);
    }
}

// Labels and buttons speak LC_MESSAGES' language, uncut in their places (ctest: also ja_JP.UTF-8, C).
TEST_F(Calculator, LabelsSpeakTheLocalesLanguageAndFitTheirPlaces) {
    const std::string messages = setlocale(LC_MESSAGES, nullptr);
    ASSERT_EQ(messages, std::getenv("TDA_EXPECT_LOCALE") ? std::getenv("TDA_EXPECT_LOCALE") : messages) << "no locale";
    const struct {
        const char *c, *ja;
        int width;
    } rows[] = {{"Year", "年", 40},
                {"Month", "月", 60},
                {"Day", "日", 40},
                {"days after", "日後", 80},
                {"days before", "日前", 90},
                {"valid period: 1970-01-01 <--> 2038-01-19", "有効期間: 1970-01-01 <--> 2038-01-19", 380},
                {"push", "計算", 100}};
    GList* placed =
        gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_ancestor(widget_of(year_field), GTK_TYPE_LAYOUT)));
    for (const auto& row : rows) {
        const std::string text = messages.rfind("ja", 0) == 0 ? row.ja : row.c;
        GtkWidget* label = nullptr;
        for (GList* l = placed; l != nullptr && label == nullptr; l = l->next) {
            GtkWidget* w = GTK_WIDGET(l->data); // down hbox, event box or button to the label
            for (GList* c; w != nullptr && (GTK_IS_BIN(w) || GTK_IS_BOX(w)); g_list_free(c))
                w = (c = gtk_container_get_children(GTK_CONTAINER(w))) ? GTK_WIDGET(c->data) : nullptr;
            const std::string shown = GTK_IS_LABEL(w) ? gtk_label_get_text(GTK_LABEL(w)) : ""; // "年" or "年(Y)"
            if (shown == text || shown.rfind(text + "(", 0) == 0) label = w;
        }
        ASSERT_NE(label, nullptr) << "no label reads " << text;
        int natural = 0; // the width of the whole text on one line
        gtk_widget_get_preferred_width(label, nullptr, &natural);
        EXPECT_LE(natural, std::min(row.width, gtk_widget_get_allocated_width(label))) << text << " is cut";
    }
    g_list_free(placed);
    GtkCalendar* calendar = GTK_CALENDAR(widget_of(date_calendar)); // and holidays under ja
    gtk_calendar_select_month(calendar, 2, 2027);
    gtk_calendar_select_day(calendar, 21);
    const char* day = messages.rfind("ja", 0) == 0 ? "2027年 3月 21日 日曜日 春分の日" : "Sunday March 21 2027";
    EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(GTK_WIDGET(calendar))), day);
}

// The longest note fits the band under the first result, which ends just above the second row:
// a note needing more room would overlap it (ctest: also at text scale 1.5).
TEST_F(Calculator, ResultNotesFitTheirBands) {
    gadget_set_text(after_note_label, u"平成2年11月12日（月・祝）即位礼正殿の儀");
    run_loop(60);
    GtkWidget* band = gadget_lookup(after_note_label)->outer;
    GtkAllocation a, other;
    gtk_widget_get_allocation(band, &a);
    GList* placed = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(band)));
    for (GList* l = placed; l != nullptr; l = l->next) {
        gtk_widget_get_allocation(GTK_WIDGET(l->data), &other);
        EXPECT_TRUE(l->data == band || !gdk_rectangle_intersect(&a, &other, nullptr));
    }
    g_list_free(placed);
}

TEST_F(Calculator, EachClickRecomputesEvenWithoutChanges) {
    type_into(year_field, "2024");
    type_into(month_combo, "2");
    type_into(day_combo, "28");
    type_into(after_count_field, "1");
    click(after_button);
    ASSERT_EQ(text_of(after_result_field), "2024/02/29");
    gadget_set_text(after_result_field, u"scribble");
    click(after_button);
    EXPECT_EQ(text_of(after_result_field), "2024/02/29");
}

TEST_F(Calculator, DateInputButtonCopiesThePickedDay) {
    // Pick a day in the middle of the calendar's grid with the mouse.
    GtkWidget* cal = widget_of(date_calendar);
    int x = 0, y = 0;
    ASSERT_TRUE(widget_screen_origin(cal, &x, &y));
    GtkAllocation a;
    gtk_widget_get_allocation(cal, &a);
    xtest_click(x + a.width / 2, y + a.height * 2 / 3);
    run_loop_until_marker();
    DateValue picked = gadget_get_state(date_calendar);
    ASSERT_GT(picked, 0);
    type_into(year_field, "1999");
    type_into(month_combo, "12");
    type_into(day_combo, "31");
    gadget_set_text(after_result_field, u"untouched");

    click(date_input_button);
    expect_fields_show(picked);
    EXPECT_EQ(text_of(after_result_field), "untouched"); // copying computes nothing
}

TEST_F(Calculator, DateInputButtonCopiesTheEpochAndKeepsTheFieldsForDaysOutOfRange) {
    struct Case {
        int year, month, day; // the calendar's day (month from 1)
        const char *year_text, *month_text, *day_text;
    };
    const Case cases[] = {
        {1970, 1, 1, "1970", "01", "01"}, // DateValue 0 is a day like any other
        {2040, 5, 5, "1999", "12", "31"}, // beyond 2038-01-19: the typed date stays
        {1969, 12, 31, "1999", "12", "31"},
        {2038, 1, 19, "2038", "01", "19"},
    };
    GtkCalendar* calendar = GTK_CALENDAR(widget_of(date_calendar));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
        type_into(year_field, "1999");
        type_into(month_combo, "12");
        type_into(day_combo, "31");
        gtk_calendar_select_month(calendar, static_cast<guint>(c.month - 1), static_cast<guint>(c.year));
        gtk_calendar_select_day(calendar, static_cast<guint>(c.day));
        run_loop(60);
        click(date_input_button);
        EXPECT_EQ(text_of(year_field), c.year_text);
        EXPECT_EQ(text_of(month_combo), c.month_text);
        EXPECT_EQ(text_of(day_combo), c.day_text);
    }
}

TEST_F(Calculator, ButtonsAndLogoExplainThemselvesInATooltip) {
    for (ObjectId gadget : {after_button, before_button, date_input_button, logo_gadget}) {
        // The logo takes the focus, and its tip, on its event box.
        GtkWidget* widget = gadget == logo_gadget ? gadget_lookup(gadget)->outer : widget_of(gadget);
        gchar* tip = gtk_widget_get_tooltip_text(widget);
        EXPECT_TRUE(tip != nullptr && *tip != '\0');
        g_free(tip);
    }
}

// While an about box runs its own loop, a watch polling every 100 ms finds
// it, notes its title and text and presses its OK button with a real click.
// A box still open 3 s after that click is closed by a response (and the
// test fails), so that no box can hold the test forever.
struct AboutWatch {
    int seen = 0;
    bool forced = false;
    bool stop = false;
    int ticks_since_click = -1;
    std::string title, text;
};

gboolean watch_about(gpointer data) {
    auto* watch = static_cast<AboutWatch*>(data);
    if (watch->stop) return G_SOURCE_REMOVE;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next) {
        if (!GTK_IS_MESSAGE_DIALOG(l->data) || !gtk_widget_get_visible(GTK_WIDGET(l->data))) continue;
        GtkWidget* dialog = GTK_WIDGET(l->data);
        if (watch->ticks_since_click < 0) {
            ++watch->seen;
            watch->title = gtk_window_get_title(GTK_WINDOW(dialog));
            gchar* text = nullptr;
            g_object_get(dialog, "text", &text, nullptr);
            watch->text = text ? text : "";
            g_free(text);
            GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
            watch->ticks_since_click = 0;
            if (ok) click_widget(ok);
        } else if (++watch->ticks_since_click > 30) {
            watch->forced = true;
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
        }
    }
    g_list_free(tops);
    return G_SOURCE_CONTINUE;
}

TEST_F(Calculator, LeftClickOnTheSmallLogoShowsTheAboutBox) {
    AboutWatch watch;
    g_timeout_add(100, watch_about, &watch);
    click(logo_gadget, 3); // right click: nothing
    click(banner_gadget);  // the banner has no handler
    EXPECT_EQ(watch.seen, 0);

    click(logo_gadget); // returns once the box was closed by the watch
    watch.stop = true;
    EXPECT_EQ(watch.seen, 1);
    EXPECT_FALSE(watch.forced) << "the about box stayed open after a click on its OK button";
    EXPECT_EQ(watch.title, "合同会社Tovami Corporation");
    EXPECT_EQ(watch.text.rfind("\n合同会社Tovami Corporation\n\u3000\u3000", 0), 0u);
    EXPECT_NE(watch.text.find("example.com"), std::string::npos);
    EXPECT_NE(watch.text.back(), '\n');
    run_loop(150); // the watch's last tick removes it
}

} // namespace
