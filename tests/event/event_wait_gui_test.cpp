// Waiting for events over a real GTK main loop: the queue comes first, then
// one toolkit iteration; timeouts of 0, positive and blocking waits.
#include "runtime/event/event_wait.h"

#include "support/gui_support.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdint>

namespace {

using Clock = std::chrono::steady_clock;

// A GLib source callback that posts a gadget event once.
gboolean post_gadget_event(gpointer object) {
    event_post(EVENT_GADGET, reinterpret_cast<std::intptr_t>(object), 1, 0);
    return G_SOURCE_REMOVE;
}

// A GLib source callback that posts nothing.
int quiet_calls = 0;
gboolean do_nothing(gpointer) {
    ++quiet_calls;
    return G_SOURCE_REMOVE;
}

class EventWait : public ::testing::Test {
  protected:
    void SetUp() override {
        tda_test::gui_runtime_start();
        events_flush();
        tda_test::discard_events();
        quiet_calls = 0;
    }
    void TearDown() override {
        events_flush();
        tda_test::discard_events();
    }
};

TEST_F(EventWait, PositiveTimeoutWithNothingHappeningReturnsNoneAfterTheTimeout) {
    // The lower bound is the behaviour; a stray toolkit event (a display
    // round trip) ends a wait early, so a few attempts are allowed.
    std::int64_t result = EVENT_TOOLKIT_ONLY;
    Clock::duration waited{};
    for (int attempt = 0; attempt < 5 && result != EVENT_NONE; ++attempt) {
        events_flush();
        const Clock::time_point start = Clock::now();
        result = event_wait_timeout(100);
        waited = Clock::now() - start;
    }
    EXPECT_EQ(result, EVENT_NONE);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 100);
}

TEST_F(EventWait, ZeroTimeoutDoesNotWait) {
    events_flush();
    EXPECT_EQ(event_wait_timeout(0), EVENT_NONE);
    EXPECT_EQ(event_subtype(), -1);

    // Pending toolkit work: one iteration, then what it posted.
    g_idle_add(post_gadget_event, reinterpret_cast<gpointer>(std::intptr_t{12}));
    EXPECT_EQ(event_wait_timeout(0), EVENT_GADGET);
    EXPECT_EQ(event_gadget(), 12);

    // An iteration that posts nothing gives EVENT_TOOLKIT_ONLY.
    g_idle_add(do_nothing, nullptr);
    EXPECT_EQ(event_wait_timeout(0), EVENT_TOOLKIT_ONLY);
    EXPECT_EQ(quiet_calls, 1);
}

TEST_F(EventWait, EventPostedFromATimeoutIsReturned) {
    g_timeout_add(30, post_gadget_event, reinterpret_cast<gpointer>(std::intptr_t{21}));
    std::int64_t result = EVENT_TOOLKIT_ONLY;
    for (int i = 0; i < 50 && result != EVENT_GADGET; ++i)
        result = event_wait_timeout(1000);
    EXPECT_EQ(result, EVENT_GADGET);
    EXPECT_EQ(event_gadget(), 21);

    // The blocking form too.
    g_timeout_add(30, post_gadget_event, reinterpret_cast<gpointer>(std::intptr_t{22}));
    result = EVENT_TOOLKIT_ONLY;
    for (int i = 0; i < 50 && result != EVENT_GADGET; ++i)
        result = event_wait();
    EXPECT_EQ(result, EVENT_GADGET);
    EXPECT_EQ(event_gadget(), 22);
}

TEST_F(EventWait, QueuedEventsComeOutBeforeTheToolkitRuns) {
    event_post(EVENT_GADGET, 1, 1, 0);
    event_post(EVENT_CLOSE, 0, 1, 0);
    g_idle_add(post_gadget_event, reinterpret_cast<gpointer>(std::intptr_t{3}));
    EXPECT_EQ(event_wait_timeout(0), EVENT_GADGET);
    EXPECT_EQ(event_gadget(), 1);
    EXPECT_EQ(event_wait(), EVENT_CLOSE);
    EXPECT_EQ(event_wait_timeout(-1), EVENT_GADGET); // now the idle runs
    EXPECT_EQ(event_gadget(), 3);
}

TEST_F(EventWait, BlockingWaitReturnsToolkitOnlyForAnIterationThatPostsNothing) {
    g_idle_add(do_nothing, nullptr);
    EXPECT_EQ(event_wait(), EVENT_TOOLKIT_ONLY);
    EXPECT_EQ(quiet_calls, 1);
}

TEST_F(EventWait, EmptyWaitKeepsTheGadgetAndResetsTheSubtype) {
    event_post(EVENT_GADGET, 8, 1, 768);
    EXPECT_EQ(event_wait_timeout(0), EVENT_GADGET);
    EXPECT_EQ(event_subtype(), 768);
    events_flush();
    EXPECT_EQ(event_wait_timeout(0), EVENT_NONE);
    EXPECT_EQ(event_type(), 0);
    EXPECT_EQ(event_subtype(), -1);
    EXPECT_EQ(event_gadget(), 8);
}

TEST_F(EventWait, FlushRunsEveryPendingIteration) {
    for (int i = 0; i < 3; ++i)
        g_idle_add(do_nothing, nullptr);
    events_flush();
    EXPECT_EQ(quiet_calls, 3);
    EXPECT_FALSE(gtk_events_pending());
}

gboolean always_again(gpointer) noexcept {
    return G_SOURCE_CONTINUE;
}

TEST_F(EventWait, FlushEndsWhileASourceStaysReady) {
    const guint source = g_idle_add(always_again, nullptr);
    events_flush(); // returns, although the idle source is always pending
    EXPECT_TRUE(gtk_events_pending());
    g_source_remove(source);
}

} // namespace
