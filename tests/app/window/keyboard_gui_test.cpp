// The calculator from the keyboard alone: real Tab presses walk the inputs in
// reading order, Space or Return on a focused "push" computes its result,
// Enter in a count field computes without a line break, Return or Space on the
// logo opens the about box and Esc closes it, Ctrl+C copies a result, Ctrl+W
// and Ctrl+Q ask to close, Alt+letter reaches a field, the arrow keys move the
// calendar's day, and a focused field, the calendar and the logo show a ring.
#include "app_test_support.h"
#include "runtime/date/date.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <string>
#include <vector>

using namespace tda_test;
using namespace tda_app_test;

namespace {

// Where the keyboard lands for a gadget: a combo box's entry, the logo's
// event box, else its widget.
GtkWidget* focus_target(ObjectId gadget) {
    GtkWidget* w = widget_of(gadget);
    if (w && GTK_IS_COMBO_BOX(w) && gtk_combo_box_get_has_entry(GTK_COMBO_BOX(w))) return gtk_bin_get_child(GTK_BIN(w));
    if (w && GTK_IS_IMAGE(w)) return gadget_lookup(gadget)->outer;
    return w;
}

GtkWidget* focused() {
    GtkWidget* top = gtk_widget_get_toplevel(widget_of(year_field));
    return GTK_IS_WINDOW(top) ? gtk_window_get_focus(GTK_WINDOW(top)) : nullptr;
}

void press(const char* key, bool shift = false) {
    if (shift) xtest_key_down("Shift_L", true);
    xtest_key(key);
    if (shift) xtest_key_down("Shift_L", false);
    run_loop_until_marker();
}

const char* name_of(ObjectId gadget) {
    if (gadget == year_field) return "year";
    if (gadget == month_combo) return "month";
    if (gadget == day_combo) return "day";
    if (gadget == after_count_field) return "days after";
    if (gadget == after_button) return "after push";
    if (gadget == before_count_field) return "days before";
    if (gadget == before_button) return "before push";
    if (gadget == date_calendar) return "calendar";
    if (gadget == date_input_button) return "date input";
    if (gadget == after_result_field) return "after result";
    if (gadget == before_result_field) return "before result";
    if (gadget == logo_gadget) return "logo";
    return "?";
}

void press_with_control(const char* key) {
    xtest_key_down("Control_L", true);
    xtest_key(key);
    xtest_key_down("Control_L", false);
    run_loop_until_marker();
}

class Keyboard : public CalculatorWindowTest {
  protected:
    static void SetUpTestSuite() {
        CalculatorWindowTest::SetUpTestSuite();
        if (start_calculator()) focus_at_start = focused();
    }
    static inline GtkWidget* focus_at_start = nullptr;
};

// The about box watched from its own loop: Escape is pressed once the box is
// visible; should the box still be open 3 s later, it is answered directly
// so that the test goes on (and fails).
struct AboutBox {
    bool seen = false, still_open = false, done = false;
    bool owned = false; // transient for the main window, its focus on a button
    std::chrono::steady_clock::time_point escaped;
};

GtkWidget* visible_message_box() {
    GtkWidget* found = nullptr;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next)
        if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data))) found = GTK_WIDGET(l->data);
    g_list_free(tops);
    return found;
}

gboolean watch_about(gpointer data) {
    auto* about = static_cast<AboutBox*>(data);
    GtkWidget* box = visible_message_box();
    if (box && !about->seen) {
        about->seen = true;
        about->escaped = std::chrono::steady_clock::now();
        GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(box));
        about->owned = gtk_window_get_transient_for(GTK_WINDOW(box)) ==
                           GTK_WINDOW(gtk_widget_get_toplevel(widget_of(year_field))) &&
                       focus != nullptr && GTK_IS_BUTTON(focus);
        xtest_key("Escape");
    } else if (box && std::chrono::steady_clock::now() - about->escaped > std::chrono::seconds(3)) {
        about->still_open = true;
        gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    }
    about->done = about->seen && (!box || about->still_open);
    return about->done ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

// Runs the program's loop body until a close request is dispatched (true, and
// the dispatcher said stop) or 3 s passed (false).
bool close_request_stops_the_loop() {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        std::int64_t type = event_wait_timeout(5);
        if (type == EVENT_CLOSE) return dispatch_event(type) == DISPATCH_STOP;
        if (type != EVENT_NONE && type != EVENT_TOOLKIT_ONLY) dispatch_event(type);
    }
    return false;
}

std::string clipboard_text() {
    struct Reply {
        bool done = false;
        std::string text;
    } reply;
    gtk_clipboard_request_text(
        gtk_clipboard_get(GDK_SELECTION_CLIPBOARD),
        [](GtkClipboard*, const gchar* text, gpointer data) {
            auto* r = static_cast<Reply*>(data);
            r->text = text ? text : "";
            r->done = true;
        },
        &reply);
    pump_until(
        "the clipboard's text", [&] { return reply.done; }, 3000);
    return reply.text;
}

TEST_F(Keyboard, EnterComputesEscClosesAboutCtrlCCopiesCtrlWAndCtrlQClose) {
    EXPECT_EQ(focus_at_start, focus_target(after_count_field)) << "start-up focus is not in the days-after count";

    // Enter in a count field computes that row, and no field takes a line break.
    type_into(year_field, "2024");
    press("Return");
    EXPECT_EQ(text_of(year_field), "2024");
    type_into(month_combo, "1");
    type_into(day_combo, "10");
    struct Row {
        ObjectId count, result;
        const char *days, *expected;
    };
    for (const Row& row : {Row{after_count_field, after_result_field, "12", "2024/01/22"},
                           Row{before_count_field, before_result_field, "+7", "2024/01/03"}}) {
        SCOPED_TRACE(std::string("Enter in ") + name_of(row.count));
        gadget_set_text(row.result, u"");
        type_into(row.count, row.days);
        press("Return");
        EXPECT_EQ(text_of(row.result), row.expected);
        EXPECT_EQ(text_of(row.count), row.days);
        EXPECT_EQ(focused(), focus_target(row.count));
    }

    // A pasted text keeps its first line.
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "30\n40", -1);
    type_into(after_count_field, "");
    press_with_control("v");
    EXPECT_EQ(text_of(after_count_field), "30");
    press("Return");
    EXPECT_EQ(text_of(after_result_field), "2024/02/09");

    // A result rejects typing but can be selected and copied.
    type_into(after_result_field, "x");
    EXPECT_EQ(text_of(after_result_field), "2024/02/09");
    press_with_control("a");
    press_with_control("c");
    EXPECT_EQ(clipboard_text(), "2024/02/09");

    // A click, or Return or Space on the focused logo, opens the about box;
    // Esc closes it (the click returns once the box is gone) and the focus is
    // back where it was.
    for (const char* key : {"click", "Return", "space"}) {
        SCOPED_TRACE(std::string("about box by ") + key);
        AboutBox about;
        const bool click = std::string(key) == "click";
        gtk_widget_grab_focus(click ? focus_target(after_count_field) : focus_target(logo_gadget));
        GtkWidget* before = focused();
        const guint watch = g_timeout_add(20, watch_about, &about);
        if (click)
            click_widget(widget_of(logo_gadget));
        else
            press(key);
        if (!run_loop(6000, [&] { return about.done; })) g_source_remove(watch);
        EXPECT_TRUE(about.seen) << "no about box within 6 s";
        EXPECT_TRUE(about.owned) << "the box is not transient for the window or its focus is not on a button";
        EXPECT_FALSE(about.still_open) << "Escape did not close the about box";
        EXPECT_EQ(focused(), before);
    }

    // Ctrl+W and Ctrl+Q make the same close request as the close button.
    for (const char* key : {"w", "q"}) {
        SCOPED_TRACE(std::string("Ctrl+") + key);
        type_into(before_count_field, "");
        xtest_key_down("Control_L", true);
        xtest_key(key);
        xtest_key_down("Control_L", false);
        EXPECT_TRUE(close_request_stops_the_loop()) << "no close request within 3 s";
    }
}

TEST_F(Keyboard, AFocusedFieldAndTheCalendarShowARing) {
    // The right-hand edge of each, away from a field's caret at the left.
    for (ObjectId gadget : {before_count_field, date_calendar, logo_gadget}) {
        SCOPED_TRACE(name_of(gadget));
        GtkWidget* widget = focus_target(gadget);
        auto right_edge = [&] {
            settle(300);
            int x = 0, y = 0;
            EXPECT_TRUE(widget_screen_origin(widget, &x, &y));
            GtkAllocation a;
            gtk_widget_get_allocation(widget, &a);
            std::vector<Pixel> band;
            for (int dy = 0; dy < a.height; ++dy)
                for (int dx = a.width - 4; dx < a.width; ++dx)
                    band.push_back(screen_pixel(x + dx, y + dy));
            return band;
        };
        gtk_widget_grab_focus(widget_of(after_count_field));
        const std::vector<Pixel> unfocused = right_edge();
        gtk_widget_grab_focus(widget);
        ASSERT_EQ(focused(), widget);
        const std::vector<Pixel> focused_band = right_edge();
        ASSERT_EQ(focused_band.size(), unfocused.size());
        std::size_t changed = 0;
        for (std::size_t i = 0; i < unfocused.size(); ++i) {
            const Pixel &a = unfocused[i], &b = focused_band[i];
            changed += a.red != b.red || a.green != b.green || a.blue != b.blue;
        }
        EXPECT_GE(changed, unfocused.size() / 8) << "focused, it looks as it does unfocused";
    }
}

TEST_F(Keyboard, TabWalksTheInputsInReadingOrderAndShiftTabBack) {
    const ObjectId order[] = {year_field,          month_combo,        day_combo,          after_count_field,
                              after_button,        after_result_field, before_count_field, before_button,
                              before_result_field, date_calendar,      date_input_button,  logo_gadget};
    type_into(year_field, "2024");
    ASSERT_EQ(focused(), focus_target(year_field));
    for (std::size_t i = 1; i < std::size(order); ++i) {
        SCOPED_TRACE(std::string("Tab to ") + name_of(order[i]));
        press("Tab");
        EXPECT_EQ(focused(), focus_target(order[i]));
    }
    EXPECT_EQ(text_of(year_field), "2024"); // Tab moved on instead of typing a tab

    for (std::size_t i = std::size(order) - 1; i-- > 0;) {
        SCOPED_TRACE(std::string("Shift+Tab to ") + name_of(order[i]));
        press("Tab", true);
        EXPECT_EQ(focused(), focus_target(order[i]));
    }
}

TEST_F(Keyboard, SpaceAndReturnOnAFocusedPushComputeTheResult) {
    type_into(year_field, "2024");
    type_into(month_combo, "2");
    type_into(day_combo, "28");
    struct Case {
        ObjectId count, button, result;
        const char *days, *expected;
    };
    const Case cases[] = {
        {after_count_field, after_button, after_result_field, "1", "2024/02/29"},
        {before_count_field, before_button, before_result_field, "28", "2024/01/31"},
    };
    for (const Case& c : cases) {
        for (const char* key : {"space", "Return"}) {
            SCOPED_TRACE(std::string(name_of(c.button)) + " with " + key);
            gadget_set_text(c.result, u"");
            type_into(c.count, c.days);
            press("Tab");
            ASSERT_EQ(focused(), focus_target(c.button));
            EXPECT_EQ(text_of(c.result), "");
            press(key);
            EXPECT_EQ(text_of(c.result), c.expected);
            EXPECT_EQ(focused(), focus_target(c.button)); // the focus stays on the button
        }
    }
}

TEST_F(Keyboard, SpaceOnTheDateInputButtonCopiesTheCalendarDay) {
    type_into(year_field, "1999");
    type_into(month_combo, "12");
    type_into(day_combo, "31");
    gtk_calendar_select_month(GTK_CALENDAR(widget_of(date_calendar)), 2, 2021); // March 2021
    gtk_calendar_select_day(GTK_CALENDAR(widget_of(date_calendar)), 14);
    run_loop_until_marker();
    type_into(before_result_field, "");
    press("Tab"); // calendar
    press("Tab"); // date input
    ASSERT_EQ(focused(), focus_target(date_input_button));
    press("space");
    EXPECT_EQ(text_of(year_field), "2021");
    EXPECT_EQ(text_of(month_combo), "03");
    EXPECT_EQ(text_of(day_combo), "14");
}

TEST_F(Keyboard, AltAndTheUnderlinedLetterReachTheField) {
    const struct {
        const char* key;
        ObjectId field;
    } rows[] = {
        {"y", year_field}, {"m", month_combo}, {"d", day_combo}, {"a", after_count_field}, {"b", before_count_field}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("Alt+") + row.key);
        gtk_widget_grab_focus(focus_target(row.field == year_field ? date_calendar : year_field));
        xtest_key_down("Alt_L", true);
        xtest_key(row.key);
        xtest_key_down("Alt_L", false);
        run_loop_until_marker();
        EXPECT_EQ(focused(), focus_target(row.field));
    }
}

TEST_F(Keyboard, ArrowsPagesHomeAndEndMoveTheCalendarsDay) {
    GtkCalendar* calendar = GTK_CALENDAR(widget_of(date_calendar));
    gtk_calendar_select_month(calendar, 1, 2024); // from 29 February 2024, one key at a time
    gtk_calendar_select_day(calendar, 29);
    gtk_widget_grab_focus(widget_of(date_calendar));
    const struct {
        const char* key; // none: the day is selected directly
        int year, month, day;
    } rows[] = {{"Right", 2024, 3, 1},      {"Left", 2024, 2, 29},      {"Up", 2024, 2, 22},     {"Down", 2024, 2, 29},
                {"Page_Down", 2024, 3, 29}, {"Page_Up", 2024, 2, 29},   {"Home", 2024, 2, 1},    {"End", 2024, 2, 29},
                {"Page_Up", 2024, 1, 29},   {"Left", 2024, 1, 28},      {nullptr, 1, 1, 3},      {"Up", 1, 1, 1},
                {"Left", 1, 1, 1},          {"Page_Up", 1, 1, 1},       {nullptr, 9999, 12, 30}, {"Down", 9999, 12, 31},
                {"Right", 9999, 12, 31},    {"Page_Down", 9999, 12, 31}};
    const GLogLevelFlags fatal = g_log_set_always_fatal(G_LOG_LEVEL_CRITICAL); // no key at an edge complains
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key ? row.key : "selected");
        if (row.key == nullptr) gtk_calendar_select_month(calendar, row.month - 1, row.year);
        row.key ? press(row.key) : gtk_calendar_select_day(calendar, row.day);
        guint year = 0, month = 0, day = 0;
        gtk_calendar_get_date(calendar, &year, &month, &day);
        EXPECT_EQ(year * 10000 + (month + 1) * 100 + day,
                  static_cast<guint>(row.year * 10000 + row.month * 100 + row.day));
    }
    g_log_set_always_fatal(fatal);
    // The calendar names the day it moved to, in the words and order of LC_TIME (C or English).
    EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(widget_of(date_calendar))), "Friday December 31 9999");
}

} // namespace
