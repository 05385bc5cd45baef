// Helpers for tests that drive the real calculator window in-process: start
// it once, run the program's own loop body, read fields back, and type into
// them with real key presses through the X server.
#pragma once

#include "app/calculation/i18n.h"
#include "app/window/app.h"
#include "app/window/calculator.h"

#include "runtime/core/wide_string.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "support/gadget_kinds_support.h"
#include "support/gui_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

namespace tda_app_test {

// Starts the calculator as main does, once per process, on a private Xvfb
// when no display is set. False when no display can be had.
inline bool start_calculator() {
    static bool started = false;
    if (started) return true;
    if (!tda_test::display_start()) return false;
    static int argc = 1;
    static char name[] = "tovamidaysafter";
    static char* args[] = {name, nullptr};
    static char** argv = args;
    i18n_init();
    app_start(&argc, &argv);
    started = true;
    return true;
}

// Runs the program's own loop body (wait, dispatch) for about `ms`, or until
// `done` (when given) holds; returns whether it held.
inline bool run_loop(int ms, const std::function<bool()>& done = {}) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (done && done()) return true;
        std::int64_t type = event_wait_timeout(5);
        if (type != EVENT_NONE && type != EVENT_TOOLKIT_ONLY) dispatch_event(type);
    }
    return done && done();
}

// The text of a gadget as UTF-8.
inline std::string text_of(ObjectId gadget) {
    return tda_test::utf8(tda_test::gadget_text_of(gadget));
}

inline GtkWidget* widget_of(ObjectId gadget) {
    GadgetRecord* g = gadget_lookup(gadget);
    return g ? g->main : nullptr;
}

// Runs the program's loop body until a marker sent through the X server
// now has come back: every input sent before it has then been dispatched.
// Fails the test when the marker does not come within 10 s.
inline void run_loop_until_marker() {
    GtkWidget* any = widget_of(year_field);
    if (!tda_test::send_marker(any)) return;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        std::int64_t type = event_wait_timeout(5);
        if (type == tda_test::EVENT_TEST_MARKER) return;
        if (type != EVENT_NONE && type != EVENT_TOOLKIT_ONLY) dispatch_event(type);
    }
    ADD_FAILURE() << "waited 10 s in vain for the marker sent after the input";
}

// Types text with a US keyboard's keys, shifting where needed; beyond ASCII GTK's Ctrl+Shift+U.
inline void type_text(const std::string& text) {
    for (const char& c : text) {
        if ((c & 0xC0) == 0x80) continue; // inside a character beyond ASCII
        if ((c & 0x80) != 0) {
            for (const char* k : {"Control_L", "Shift_L"})
                tda_test::xtest_key_down(k, true);
            tda_test::xtest_key("u");
            for (const char* k : {"Shift_L", "Control_L"})
                tda_test::xtest_key_down(k, false);
            char hex[12]; // the code, then the space that ends it
            g_snprintf(hex, sizeof hex, "%x ", static_cast<unsigned>(g_utf8_get_char(&c)));
            tda_test::xtest_type(hex);
            continue;
        }
        const char* key = nullptr;
        bool shift = false;
        switch (c) {
        case '$':
            key = "4";
            shift = true;
            break;
        case '%':
            key = "5";
            shift = true;
            break;
        case '+':
            key = "equal";
            shift = true;
            break;
        case '-':
            key = "minus";
            break;
        case ' ':
            key = "space";
            break;
        default:
            break;
        }
        if (!key) {
            tda_test::xtest_type(std::string(1, c));
            continue;
        }
        if (shift) tda_test::xtest_key_down("Shift_L", true);
        tda_test::xtest_key(key);
        if (shift) tda_test::xtest_key_down("Shift_L", false);
    }
}

// Clicks into a field (for a combo: its entry, on the left), selects all of
// its text and types the replacement; the field keeps the focus. False when
// the gadget has no widget on screen.
inline bool type_into(ObjectId gadget, const std::string& text) {
    GtkWidget* w = widget_of(gadget);
    int x = 0, y = 0;
    if (!w || !tda_test::widget_screen_origin(w, &x, &y)) return false;
    GtkAllocation a;
    gtk_widget_get_allocation(w, &a);
    tda_test::xtest_click(x + std::min(20, a.width / 4), y + a.height / 2);
    run_loop(40);
    tda_test::xtest_key_down("Control_L", true);
    tda_test::xtest_key("a");
    tda_test::xtest_key_down("Control_L", false);
    tda_test::xtest_key("BackSpace");
    type_text(text);
    run_loop_until_marker();
    return true;
}

// Fixture for tests of the running calculator: starts it once and lets the
// window settle; every test fails without a display.
class CalculatorWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!start_calculator()) return;
        tda_test::settle(500);
        run_loop(300);
    }
    void SetUp() override { ASSERT_TRUE(start_calculator()) << "no display could be had"; }
};

} // namespace tda_app_test
