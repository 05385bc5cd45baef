// Waiting for events: the queue is emptied first, and only then is GTK asked
// for more, one main-loop iteration at a time. Main thread, GDK lock held.
#include "runtime/event/event_wait.h"

#include <gtk/gtk.h>

#include <sys/time.h>
#include <time.h>

namespace {

// Milliseconds from start to now, the sub-second part truncated toward zero.
std::int64_t elapsed_ms(const timeval& start) noexcept {
    timeval now{};
    gettimeofday(&now, nullptr);
    return static_cast<std::int64_t>(now.tv_sec - start.tv_sec) * 1000 +
           static_cast<std::int64_t>(now.tv_usec - start.tv_usec) / 1000;
}

// Type of the event taken after a toolkit iteration, or EVENT_TOOLKIT_ONLY.
std::int64_t take_after_iteration() noexcept {
    const std::int32_t type = event_take();
    return type != 0 ? type : EVENT_TOOLKIT_ONLY;
}

} // namespace

std::int64_t event_wait() {
    return event_wait_timeout(-1);
}

std::int64_t event_wait_timeout(std::int32_t timeout_ms) {
    const std::int32_t queued = event_take();
    if (queued != 0) return queued;

    if (timeout_ms < 0) {
        gtk_main_iteration();
        return take_after_iteration();
    }

    if (timeout_ms > 0) {
        timeval start{};
        gettimeofday(&start, nullptr);
        const timespec poll{0, EVENT_WAIT_POLL_NS};
        while (!gtk_events_pending()) {
            nanosleep(&poll, nullptr);
            if (elapsed_ms(start) > timeout_ms) break;
        }
    }

    if (gtk_events_pending()) {
        gtk_main_iteration_do(FALSE);
        return take_after_iteration();
    }
    return event_take();
}

// A source that is always ready (an idle handler that never ends, a flood
// of X events from another client) would keep a plain "while pending" loop
// going for ever; the drain stops after a fixed number of iterations or a
// fixed time, whichever comes first, and what is left runs in the main loop.
void events_flush() {
    const gint64 deadline = g_get_monotonic_time() + EVENTS_FLUSH_LIMIT_MS * 1000;
    for (int i = 0; i < EVENTS_FLUSH_LIMIT_ITERATIONS && gtk_events_pending(); ++i) {
        gtk_main_iteration_do(FALSE);
        if (g_get_monotonic_time() > deadline) break;
    }
}
