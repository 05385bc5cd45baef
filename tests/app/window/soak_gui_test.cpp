// The calculator under a long session: 40 000 clicks on the "push" buttons
// and 40 000 keystrokes into the fields, all through the program's own loop
// body (event_wait_timeout, dispatch_event). Resident memory, the event
// pool's chunks and the result updates are checked and printed.
#include "app_test_support.h"

#include "runtime/core/wide_string.h"
#include "runtime/date/date.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace tda_test;
using tda_app_test::widget_of;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int SOAK_ROUNDS = 5000; // the sanitizer checks every access, a tenth suffices
#else
constexpr int SOAK_ROUNDS = 20000; // two clicks and two keystrokes each
#endif
constexpr int WARM_ROUNDS = 500; // the first 1 000 clicks
constexpr int CHECK_EVERY = 997; // rounds between read-backs of a keystroke's effect
// Resident growth allowed after the warm-up: 21 bytes a round, so that a leak
// of that size shows however many rounds run (about 84 KiB seen in 50 000).
constexpr std::int64_t GROWTH_LIMIT = std::int64_t{21} * SOAK_ROUNDS;

// Resident set size of this process in bytes.
std::int64_t resident_bytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    long size = 0, resident = 0;
    int got = std::fscanf(f, "%ld %ld", &size, &resident);
    std::fclose(f);
    return got == 2 ? static_cast<std::int64_t>(resident) * sysconf(_SC_PAGESIZE) : -1;
}

// The widget that takes the keys of a field: a combo's entry, else the field.
GtkWidget* key_target(ObjectId gadget) {
    GtkWidget* w = widget_of(gadget);
    if (w && GTK_IS_COMBO_BOX(w)) return gtk_bin_get_child(GTK_BIN(w));
    return w;
}

// Counts of what the loop dispatched.
struct LoopCounts {
    std::int64_t after_clicks = 0, before_clicks = 0, other = 0;
};

// Runs the program's loop body until neither queued nor toolkit events are
// left.
void run_until_idle(LoopCounts& counts) {
    for (;;) {
        std::int64_t type = event_wait_timeout(0);
        if (type == EVENT_NONE) return;
        if (type == EVENT_TOOLKIT_ONLY) continue;
        if (type == EVENT_GADGET && event_gadget() == after_button)
            ++counts.after_clicks;
        else if (type == EVENT_GADGET && event_gadget() == before_button)
            ++counts.before_clicks;
        else
            ++counts.other;
        dispatch_event(type);
    }
}

// Puts a key press and its release into the toolkit's queue, addressed to the
// main window, as the X server would deliver them to the focused field.
void put_key(GtkWidget* toplevel, guint keyval) {
    GdkWindow* window = gtk_widget_get_window(toplevel);
    GdkDisplay* display = gdk_window_get_display(window);
    GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));
    GdkKeymapKey* keys = nullptr;
    gint n_keys = 0;
    guint16 keycode = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &n_keys) && n_keys > 0)
        keycode = static_cast<guint16>(keys[0].keycode);
    g_free(keys);
    for (GdkEventType kind : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* e = gdk_event_new(kind);
        e->key.window = GDK_WINDOW(g_object_ref(window));
        e->key.send_event = TRUE;
        e->key.time = GDK_CURRENT_TIME;
        e->key.keyval = keyval;
        e->key.hardware_keycode = keycode;
        gdk_event_set_device(e, keyboard);
        gdk_event_put(e);
        gdk_event_free(e);
    }
}

std::u16string expected_result(DateValue base, std::int64_t days) {
    std::int64_t start = workspace_position();
    date_format(u"%yyyy/%mm/%dd", date_add(base, DATE_UNIT_DAY, days), start);
    std::u16string out = workspace_string_at(start);
    workspace_set_position(start);
    return out;
}

std::u16string decimal(std::int64_t n) {
    std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

TEST(CalculatorSoak, ManyClicksAndKeystrokesKeepMemoryAndPoolSteady) {
    ASSERT_TRUE(tda_app_test::start_calculator()) << "no display could be had";
    settle(300);
    LoopCounts counts;
    run_until_idle(counts);

    GtkWidget* toplevel = gtk_widget_get_toplevel(widget_of(year_field));
    ASSERT_TRUE(GTK_IS_WINDOW(toplevel));
    const ObjectId typed_fields[] = {year_field, month_combo, day_combo, after_count_field, before_count_field};
    GtkWidget* targets[5];
    for (int i = 0; i < 5; ++i)
        ASSERT_NE(targets[i] = key_target(typed_fields[i]), nullptr);

    gadget_set_text(year_field, u"2000");
    gadget_set_text(month_combo, u"01");
    gadget_set_text(day_combo, u"01");
    const DateValue base = date_make(2000, 1, 1, 0, 0, 0);
    GtkWidget* after = widget_of(after_button);
    GtkWidget* before = widget_of(before_button);
    run_until_idle(counts);
    counts = {};
    const std::int64_t idle_capacity = event_queue_pool_capacity();

    std::int64_t rss_warm = 0, updates = 0, keys_seen = 0, keys_checked = 0, keystrokes = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (int round = 1; round <= SOAK_ROUNDS; ++round) {
        // Two keystrokes into one of the fields: a digit, then BackSpace
        // takes it out again, so the date stays as set.
        int f = round % 5;
        ObjectId field = typed_fields[f];
        // Focus as a click would give it: an entry keeps its text unselected.
        if (GTK_IS_ENTRY(targets[f]))
            gtk_entry_grab_focus_without_selecting(GTK_ENTRY(targets[f]));
        else
            gtk_widget_grab_focus(targets[f]);
        bool check = round % CHECK_EVERY == 0;
        std::u16string before_keys = check ? gadget_text_of(field) : u"";
        put_key(toplevel, GDK_KEY_7);
        run_until_idle(counts);
        if (check) {
            ++keys_checked;
            std::u16string typed = gadget_text_of(field);
            if (typed.size() == before_keys.size() + 1 && typed.find(u'7') != std::u16string::npos) ++keys_seen;
        }
        put_key(toplevel, GDK_KEY_BackSpace);
        run_until_idle(counts);
        keystrokes += 2;
        if (check) {
            EXPECT_EQ(gadget_text_of(field), before_keys) << "round " << round;
        }

        // Two clicks, each with a count of its own so every update shows.
        gadget_set_text(after_count_field, decimal(round).c_str());
        gadget_set_text(before_count_field, decimal(round).c_str());
        std::u16string after_was = gadget_text_of(after_result_field);
        std::u16string before_was = gadget_text_of(before_result_field);
        gtk_button_clicked(GTK_BUTTON(after));
        run_until_idle(counts);
        gtk_button_clicked(GTK_BUTTON(before));
        run_until_idle(counts);
        std::u16string after_now = gadget_text_of(after_result_field);
        std::u16string before_now = gadget_text_of(before_result_field);
        if (after_now != after_was && after_now == expected_result(base, round)) ++updates;
        if (before_now != before_was && before_now == expected_result(base, -round)) ++updates;
        if (updates != 2LL * round && updates + 2 >= 2LL * round) {
            ADD_FAILURE() << "round " << round << ": after result " << std::string(after_now.begin(), after_now.end())
                          << ", before result " << std::string(before_now.begin(), before_now.end());
        }
        if (round == WARM_ROUNDS) rss_warm = resident_bytes();
    }
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run_until_idle(counts);
    const std::int64_t rss_end = resident_bytes();
    const std::int64_t end_capacity = event_queue_pool_capacity();
    const std::int64_t clicks = 2LL * SOAK_ROUNDS;

    std::printf("soak: %lld clicks, %lld keystrokes in %.1f s\n", static_cast<long long>(clicks),
                static_cast<long long>(keystrokes), seconds);
    std::printf("soak: resident after first 1000 clicks %lld KiB, after all %lld KiB (%+lld KiB)\n",
                static_cast<long long>(rss_warm / 1024), static_cast<long long>(rss_end / 1024),
                static_cast<long long>((rss_end - rss_warm) / 1024));
    std::printf("soak: event pool capacity idle %lld, after soak %lld\n", static_cast<long long>(idle_capacity),
                static_cast<long long>(end_capacity));
    std::printf("soak: clicks dispatched after %lld + before %lld, fresh correct results %lld; "
                "other events %lld; keystrokes read back %lld of %lld\n",
                static_cast<long long>(counts.after_clicks), static_cast<long long>(counts.before_clicks),
                static_cast<long long>(updates), static_cast<long long>(counts.other),
                static_cast<long long>(keys_seen), static_cast<long long>(keys_checked));
    ::testing::Test::RecordProperty("clicks", static_cast<int>(clicks));
    ::testing::Test::RecordProperty("keystrokes", static_cast<int>(keystrokes));
    ::testing::Test::RecordProperty("rss_warm_kib", static_cast<int>(rss_warm / 1024));
    ::testing::Test::RecordProperty("rss_end_kib", static_cast<int>(rss_end / 1024));
    ::testing::Test::RecordProperty("pool_capacity_idle", static_cast<int>(idle_capacity));
    ::testing::Test::RecordProperty("pool_capacity_end", static_cast<int>(end_capacity));

    EXPECT_GT(rss_warm, 0);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizer's quarantine keeps freed blocks resident on purpose.
    std::printf("soak: resident size not judged under a sanitizer\n");
#else
    EXPECT_LE(rss_end - rss_warm, GROWTH_LIMIT);
#endif
    EXPECT_EQ(end_capacity, idle_capacity);
    EXPECT_EQ(event_queue_length(), 0);
    EXPECT_EQ(counts.after_clicks, SOAK_ROUNDS);
    EXPECT_EQ(counts.before_clicks, SOAK_ROUNDS);
    EXPECT_EQ(updates, clicks);
    EXPECT_EQ(keys_seen, keys_checked);
    EXPECT_GT(keys_checked, 0);
}

} // namespace
