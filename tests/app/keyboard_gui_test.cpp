// The calculator from the keyboard alone: real Tab presses walk the inputs in
// reading order, and Space or Return on a focused "push" computes its result.
#include "app_test_support.h"

#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <string>

using namespace tda_test;
using namespace tda_app_test;

namespace {

// Where the keyboard lands for a gadget: a combo box's entry, else its widget.
GtkWidget* focus_target(ObjectId gadget) {
    GtkWidget* w = widget_of(gadget);
    if (w && GTK_IS_COMBO_BOX(w) && gtk_combo_box_get_has_entry(GTK_COMBO_BOX(w))) return gtk_bin_get_child(GTK_BIN(w));
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
    run_loop(60);
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
    return "?";
}

class Keyboard : public CalculatorWindowTest {};

TEST_F(Keyboard, TabWalksTheInputsInReadingOrderAndShiftTabBack) {
    const ObjectId order[] = {year_field,         month_combo,   day_combo,     after_count_field, after_button,
                              before_count_field, before_button, date_calendar, date_input_button};
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

TEST_F(Keyboard, TabLeavesTheCountFieldsWithoutTypingATab) {
    type_into(after_count_field, "5");
    press("Tab");
    EXPECT_EQ(text_of(after_count_field), "5");
    EXPECT_EQ(focused(), focus_target(after_button));
    type_into(before_count_field, "5");
    press("Tab");
    EXPECT_EQ(text_of(before_count_field), "5");
    EXPECT_EQ(focused(), focus_target(before_button));
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
            run_loop(100);
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
    run_loop(60);
    type_into(before_count_field, "");
    press("Tab"); // before push
    press("Tab"); // calendar
    press("Tab"); // date input
    ASSERT_EQ(focused(), focus_target(date_input_button));
    press("space");
    run_loop(100);
    EXPECT_EQ(text_of(year_field), "2021");
    EXPECT_EQ(text_of(month_combo), "03");
    EXPECT_EQ(text_of(day_combo), "14");
}

} // namespace
