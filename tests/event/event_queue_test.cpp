// The event queue: coalescing, suppression, purge, the current event and the
// release of event data, bound handlers, steady-state allocation and posting
// from several threads.
#include "runtime/event/event_queue.h"

#include "runtime/core/string_functions.h"
#include "runtime/event/event_wait.h"
#include "support/allocation_failure.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Counting release procedure: remembers which data values were released.
std::atomic<int> released_count{0};
std::mutex released_mutex;
std::vector<std::int64_t> released_values;

void count_release(std::int64_t data) {
    released_count.fetch_add(1);
    std::lock_guard<std::mutex> lock(released_mutex);
    released_values.push_back(data);
}

struct Taken {
    std::int32_t type;
    std::int64_t object, window, subtype;
    bool operator==(const Taken&) const = default;
};

std::vector<Taken> take_all() {
    std::vector<Taken> out;
    while (event_take() != 0)
        out.push_back({static_cast<std::int32_t>(event_type()), event_gadget(), event_window(), event_subtype()});
    return out;
}

class EventQueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        event_queue_init();
        take_all();
        event_take(); // releases the data of the last event taken
        released_count = 0;
        released_values.clear();
    }
    void TearDown() override {
        event_queue_fail_records(0);
        take_all();
        event_take();
    }
};

TEST_F(EventQueueTest, CoalescesOnlyAgainstTheTail) {
    struct Post {
        std::int32_t type;
        std::int64_t object, window, subtype;
        std::int32_t flags;
    };
    struct Case {
        const char* name;
        std::vector<Post> posts;
        std::size_t queued;
    };
    const Post a{EVENT_GADGET, 5, 1, 768, 0};
    const Post b{EVENT_GADGET, 6, 1, 768, 0};
    const Case cases[] = {
        {"A,A", {a, a}, 1},
        {"A,B,A", {a, b, a}, 3},
        {"A,A,B,B,A", {a, a, b, b, a}, 3},
        {"other subtype", {a, {EVENT_GADGET, 5, 1, 0, 0}}, 2},
        {"other window", {a, {EVENT_GADGET, 5, 2, 768, 0}}, 2},
        {"type 65535 twice", {{65535, 0, 1, 0, 0}, {65535, 0, 1, 0, 0}}, 1},
        {"type 65536 twice", {{65536, 0, 1, 0, 0}, {65536, 0, 1, 0, 0}}, 2},
        {"negative type twice", {{-7, 0, 1, 0, 0}, {-7, 0, 1, 0, 0}}, 1},
        {"deferred twice", {{EVENT_SIZE, 0, 1, 0, EVENT_FLAG_DEFERRED}, {EVENT_SIZE, 0, 1, 0, EVENT_FLAG_DEFERRED}}, 2},
        {"plain after deferred", {{EVENT_SIZE, 0, 1, 0, EVENT_FLAG_DEFERRED}, {EVENT_SIZE, 0, 1, 0, 0}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Post& p : c.posts)
            event_post_flags(p.type, p.object, p.window, p.subtype, 0, nullptr, p.flags);
        EXPECT_EQ(static_cast<std::size_t>(event_queue_length()), c.queued);
        EXPECT_EQ(take_all().size(), c.queued);
    }
}

TEST_F(EventQueueTest, SuppressionDropsPostsUnlessForced) {
    event_suppress_begin();
    event_post(EVENT_GADGET, 1, 1, 768);
    EXPECT_EQ(event_queue_length(), 0);
    event_post_flags(EVENT_GADGET, 2, 1, 768, 0, nullptr, EVENT_FLAG_FORCE);
    EXPECT_EQ(event_queue_length(), 1);
    event_suppress_begin(); // nests
    event_suppress_end();
    event_post(EVENT_GADGET, 3, 1, 768);
    EXPECT_EQ(event_queue_length(), 1);
    event_suppress_end();
    event_post(EVENT_GADGET, 4, 1, 768);
    const std::vector<Taken> expected{{EVENT_GADGET, 2, 1, 768}, {EVENT_GADGET, 4, 1, 768}};
    EXPECT_EQ(take_all(), expected);
}

TEST_F(EventQueueTest, TakeFillsTheCurrentEventAndEmptyTakeKeepsIdentifiers) {
    EXPECT_EQ(event_take(), 0);
    EXPECT_EQ(event_subtype(), -1);
    event_post(EVENT_GADGET, 5, 1, 768);
    event_post(EVENT_CLOSE, 0, 9, 0);
    EXPECT_EQ(event_take(), EVENT_GADGET);
    EXPECT_EQ(event_type(), EVENT_GADGET);
    EXPECT_EQ(event_gadget(), 5);
    EXPECT_EQ(event_object(), 5);
    EXPECT_EQ(event_window(), 1);
    EXPECT_EQ(event_subtype(), 768);
    EXPECT_EQ(event_take(), EVENT_CLOSE);
    EXPECT_EQ(event_gadget(), 0);
    EXPECT_EQ(event_window(), 9);
    EXPECT_EQ(event_subtype(), 0);
    EXPECT_EQ(event_take(), 0);
    EXPECT_EQ(event_type(), 0);
    EXPECT_EQ(event_subtype(), -1);
    EXPECT_EQ(event_window(), 9); // kept from the previous event
}

TEST_F(EventQueueTest, PeekLooksAtTheHeadWithoutTaking) {
    std::int64_t object = 77, window = 77, subtype = 77;
    EXPECT_EQ(event_peek_type(), 0);
    EXPECT_EQ(event_peek(&object, &window, &subtype), 0);
    EXPECT_EQ(object, 77); // untouched when empty
    event_post(EVENT_GADGET, 4, 2, 256);
    event_post(EVENT_CLOSE, 0, 2, 0);
    EXPECT_EQ(event_peek_type(), EVENT_GADGET);
    EXPECT_EQ(event_peek(&object, &window, &subtype), EVENT_GADGET);
    EXPECT_EQ(object, 4);
    EXPECT_EQ(window, 2);
    EXPECT_EQ(subtype, 256);
    EXPECT_EQ(event_queue_length(), 2);
}

TEST_F(EventQueueTest, PurgeKeepsOrderAndTail) {
    struct Case {
        const char* name;
        std::vector<std::int64_t> windows; // posted in order (object = position)
        std::int64_t purged;
    };
    const Case cases[] = {
        {"1,2,1", {1, 2, 1}, 1},   {"2,1", {2, 1}, 1}, {"1,1", {1, 1}, 1}, {"2,3,1,2,1,3", {2, 3, 1, 2, 1, 3}, 1},
        {"none of it", {2, 3}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Taken> expected;
        for (std::size_t i = 0; i < c.windows.size(); ++i) {
            event_post(EVENT_GADGET, static_cast<std::int64_t>(i), c.windows[i], 0);
            if (c.windows[i] != c.purged)
                expected.push_back({EVENT_GADGET, static_cast<std::int64_t>(i), c.windows[i], 0});
        }
        event_purge_window(c.purged);
        EXPECT_EQ(event_queue_length(), static_cast<std::int64_t>(expected.size()));
        // A later post goes after the last kept record.
        event_post(EVENT_CLOSE, 0, 7, 0);
        expected.push_back({EVENT_CLOSE, 0, 7, 0});
        EXPECT_EQ(take_all(), expected);
    }
}

TEST_F(EventQueueTest, DataIsReleasedAtTheNextTake) {
    event_post_data(EVENT_GADGET, 1, 1, 0, 1001, count_release);
    event_post_data(EVENT_GADGET, 2, 1, 0, 1002, count_release);
    event_post_data(EVENT_GADGET, 3, 1, 0, 1003, nullptr); // no procedure: nothing to release
    EXPECT_EQ(event_take(), EVENT_GADGET);
    EXPECT_EQ(event_data(), 1001);
    EXPECT_EQ(released_count, 0); // still valid while it is current
    EXPECT_EQ(event_take(), EVENT_GADGET);
    EXPECT_EQ(released_values, std::vector<std::int64_t>{1001});
    EXPECT_EQ(event_take(), EVENT_GADGET);
    EXPECT_EQ(released_values, (std::vector<std::int64_t>{1001, 1002}));
    EXPECT_EQ(event_take(), 0);
    EXPECT_EQ(event_take(), 0);
    EXPECT_EQ(released_count, 2);
}

TEST_F(EventQueueTest, DataOfAPostThatKeepsNoRecordIsReleasedAtOnce) {
    // Coalesced into the tail: the tail keeps its own data.
    event_post_data(EVENT_GADGET, 1, 1, 0, 11, count_release);
    event_post_data(EVENT_GADGET, 1, 1, 0, 12, count_release);
    EXPECT_EQ(released_values, std::vector<std::int64_t>{12});

    // Suppressed.
    event_suppress_begin();
    event_post_data(EVENT_GADGET, 2, 1, 0, 13, count_release);
    event_suppress_end();
    EXPECT_EQ(released_values, (std::vector<std::int64_t>{12, 13}));

    // No record to be had.
    event_queue_fail_records(1);
    event_post_data(EVENT_GADGET, 3, 1, 0, 14, count_release);
    EXPECT_EQ(released_values, (std::vector<std::int64_t>{12, 13, 14}));
    EXPECT_EQ(event_queue_length(), 1);

    // Purged before anyone saw it.
    event_post_data(EVENT_GADGET, 4, 2, 0, 15, count_release);
    event_purge_window(2);
    EXPECT_EQ(released_values, (std::vector<std::int64_t>{12, 13, 14, 15}));

    // The queued record's data is still released by the takes.
    EXPECT_EQ(event_take(), EVENT_GADGET);
    EXPECT_EQ(event_data(), 11);
    event_take();
    EXPECT_EQ(released_values, (std::vector<std::int64_t>{12, 13, 14, 15, 11}));
}

namespace {

// Release procedure that posts: the event for window 3 that replaces the data.
void release_by_posting(std::int64_t data) {
    count_release(data);
    event_post(EVENT_GADGET, data, 3, 0);
}

} // namespace

TEST_F(EventQueueTest, PurgeReleaseThatPostsKeepsTheNewEvent) {
    // The purged records are the queue's head and its tail; the tail's
    // release posts.
    event_post_data(EVENT_GADGET, 2, 2, 0, 20, count_release);
    event_post(EVENT_GADGET, 1, 1, 0);
    event_post_data(EVENT_GADGET, 3, 2, 0, 30, release_by_posting);
    event_purge_window(2);
    EXPECT_EQ(released_values, (std::vector<std::int64_t>{20, 30}));
    EXPECT_EQ(take_all(), (std::vector<Taken>{{EVENT_GADGET, 1, 1, 0}, {EVENT_GADGET, 30, 3, 0}}));
}

// Suppression and purges from one thread while others post: every post is
// either queued, suppressed or purged, and ThreadSanitizer sees no race.
TEST_F(EventQueueTest, SuppressionAndPurgeWhileOtherThreadsPost) {
    std::atomic<bool> stop{false};
    std::atomic<int> posted{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 2; ++t) {
        posters.emplace_back([t, &stop, &posted] {
            for (std::int64_t i = 0; !stop.load(); ++i) {
                event_post_data(EVENT_GADGET, i, 10 + t, 0, i + 1, count_release);
                posted.fetch_add(1);
            }
        });
    }
    for (int round = 0; round < 2000; ++round) {
        event_suppress_begin();
        event_suppress_end();
        if (round % 16 == 0) event_purge_window(10);
        // A bounded take: the posters may keep the queue from ever emptying.
        for (int taken = 0; taken < 64 && event_take() != 0;)
            ++taken;
    }
    // Let each poster get past its start before stopping.
    for (int spins = 0; posted.load() < 100 && spins < 1000000; ++spins)
        std::this_thread::yield();
    stop.store(true);
    for (std::thread& poster : posters)
        poster.join();
    ASSERT_GE(posted.load(), 100) << "the poster threads never posted";
    take_all();
    event_take();
    EXPECT_EQ(released_count.load(), posted.load());
    // The counter is back at 0: a marker post is queued.
    event_post(EVENT_GADGET, 99, 99, 0);
    EXPECT_EQ(event_queue_length(), 1);
}

TEST_F(EventQueueTest, SteadyPostAndTakeNeedNoNewMemory) {
    event_post(EVENT_GADGET, 0, 1, 0); // warm-up
    take_all();
    const std::int64_t capacity = event_queue_pool_capacity();
    EXPECT_GE(capacity, 16);
    int lost = 0;
    {
        // Any system allocation on this path would fail and lose an event.
        tda_test::AllocationFailureScope no_memory;
        for (int i = 0; i < 100000; ++i) {
            event_post_data(EVENT_GADGET, i, 1, 768, i % 3 == 0 ? i + 1 : 0, count_release);
            if (event_take() != EVENT_GADGET || event_gadget() != i) ++lost;
        }
    }
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(event_queue_pool_capacity(), capacity);
    event_take();
    EXPECT_EQ(released_count, 33334);
}

TEST_F(EventQueueTest, PoolGrowsForALongQueueAndKeepsFirstChunk) {
    for (int i = 0; i < 1000; ++i)
        event_post(EVENT_GADGET, i, 1, 0);
    EXPECT_GE(event_queue_pool_capacity(), 1001);
    std::vector<Taken> taken = take_all();
    ASSERT_EQ(taken.size(), 1000u);
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(taken[i].object, i);
    // Emptied chunks went back; the chunk of the record kept since start-up stays.
    EXPECT_EQ(event_queue_pool_capacity(), 16);
}

TEST_F(EventQueueTest, FourThreadsPostWhileTheLoopTakes) {
    constexpr int threads = 4;
    constexpr int per_thread = 20000;
    std::atomic<int> started{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([t, &started] {
            started.fetch_add(1);
            for (int i = 0; i < per_thread; ++i) {
                const std::int64_t id = static_cast<std::int64_t>(t) * per_thread + i;
                event_post_data(EVENT_GADGET, id, 100 + t, 768, id + 1, count_release);
                if (i % 64 == 0) event_peek_type();
            }
        });
    }
    std::vector<int> seen(threads * per_thread, 0);
    std::vector<std::int64_t> last_of_thread(threads, -1);
    bool in_order = true;
    int total = 0;
    // Bounded: a lost record must fail the test, not hang it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (total < threads * per_thread) {
        if (event_take() == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "waited 120 s in vain for all " << threads * per_thread << " posted events; took "
                              << total;
                break;
            }
            std::this_thread::yield();
            continue;
        }
        const std::int64_t id = event_gadget();
        const int t = static_cast<int>(event_window() - 100);
        if (t < 0 || t >= threads) { // the posters must still be joined below
            ADD_FAILURE() << "an event of an unknown poster: window " << event_window();
            break;
        }
        in_order = in_order && id > last_of_thread[t];
        last_of_thread[t] = id;
        ++seen[id];
        ++total;
    }
    for (std::thread& poster : posters)
        poster.join();
    event_take();
    EXPECT_TRUE(in_order); // each thread's events come out in its order
    int missing_or_twice = 0;
    for (int count : seen)
        missing_or_twice += count != 1;
    EXPECT_EQ(missing_or_twice, 0);
    EXPECT_EQ(released_count, threads * per_thread);
    EXPECT_EQ(event_queue_length(), 0);
}

TEST_F(EventQueueTest, KeyFormatIsTypeWindowObjectSubtype) {
    struct Case {
        std::int32_t type;
        std::int64_t window, object, subtype;
        const char16_t* key;
    };
    const Case cases[] = {
        {3, 1, 5, 768, u"3:1:5:768"},
        {3, -1, -1, -1, u"3:-1:-1:-1"},
        {0, 0, 0, 0, u"0:0:0:0"},
        {INT32_MIN, INT64_MIN, INT64_MIN, INT64_MIN,
         u"-2147483648:-9223372036854775808:-9223372036854775808:-9223372036854775808"},
        {INT32_MAX, INT64_MAX, 94823749823, -42, u"2147483647:9223372036854775807:94823749823:-42"},
    };
    for (const Case& c : cases) {
        WideChar key[EVENT_KEY_CAPACITY];
        const int n = event_format_key(key, c.type, c.window, c.object, c.subtype);
        EXPECT_EQ(std::u16string(key), c.key);
        EXPECT_EQ(n, static_cast<int>(std::u16string(c.key).size()));
        // The same text as the runtime's printf-style formatting gives.
        WideChar formatted[EVENT_KEY_CAPACITY];
        string_format(formatted, u"%d:%lld:%lld:%lld", c.type, static_cast<long long>(c.window),
                      static_cast<long long>(c.object), static_cast<long long>(c.subtype));
        EXPECT_EQ(std::u16string(formatted), c.key);
    }
    WideChar longest[EVENT_KEY_CAPACITY];
    EXPECT_EQ(event_format_key(longest, INT32_MIN, INT64_MIN, INT64_MIN, INT64_MIN), 74);
}

// Bound handlers: what each saw of the current event.
struct Seen {
    int calls;
    std::int64_t type, object, window, subtype, data;
};
Seen seen_a{}, seen_b{}, seen_c{}, seen_d{}, seen_e{}, seen_never{};
void record(Seen& s) {
    s = {s.calls + 1, event_type(), event_gadget(), event_window(), event_subtype(), event_data()};
}
void handler_a() {
    record(seen_a);
}
void handler_b() {
    record(seen_b);
}
void handler_c() {
    record(seen_c);
}
void handler_d() {
    record(seen_d);
}
void handler_e() {
    record(seen_e);
}
void handler_never() {
    record(seen_never);
}

class EventBindingTest : public EventQueueTest {
  protected:
    void SetUp() override {
        EventQueueTest::SetUp();
        seen_a = seen_b = seen_c = seen_d = seen_e = seen_never = Seen{};
    }
    void TearDown() override {
        for (std::int64_t w : {-1, 1, 2, 3, 41, 42})
            event_unbind_window(w);
        EventQueueTest::TearDown();
    }
};

TEST_F(EventBindingTest, APostRunsTheFiveLookupsWithItsOwnEventCurrent) {
    ASSERT_NE(event_bind(EVENT_GADGET, 41, 5, 768, handler_a), nullptr);
    ASSERT_NE(event_bind(EVENT_GADGET, 41, 5, ANY_ID, handler_b), nullptr);
    ASSERT_NE(event_bind(EVENT_GADGET, 41, ANY_ID, ANY_ID, handler_c), nullptr);
    ASSERT_NE(event_bind(EVENT_GADGET, ANY_ID, ANY_ID, ANY_ID, handler_d), nullptr);
    ASSERT_NE(event_bind(EVENT_GADGET, ANY_ID, 5, 768, handler_e), nullptr);
    ASSERT_NE(event_bind(EVENT_GADGET, ANY_ID, 5, ANY_ID, handler_never), nullptr); // not one of the five
    ASSERT_NE(event_bind(EVENT_CLOSE, 41, 5, 768, handler_never), nullptr);

    event_post(EVENT_CLOSE, 0, 3, 0); // the loop's current event
    event_take();
    event_post_data(EVENT_GADGET, 5, 41, 768, 55, nullptr);
    for (const Seen* s : {&seen_a, &seen_b, &seen_c, &seen_d, &seen_e}) {
        EXPECT_EQ(s->calls, 1);
        EXPECT_EQ(s->type, EVENT_GADGET);
        EXPECT_EQ(s->object, 5);
        EXPECT_EQ(s->window, 41);
        EXPECT_EQ(s->subtype, 768);
        EXPECT_EQ(s->data, 55);
    }
    EXPECT_EQ(seen_never.calls, 0);
    // The loop's current event is back.
    EXPECT_EQ(event_type(), EVENT_CLOSE);
    EXPECT_EQ(event_window(), 3);
    // A coalesced post dispatches again.
    event_post(EVENT_GADGET, 5, 41, 768);
    EXPECT_EQ(seen_a.calls, 2);
    EXPECT_EQ(event_queue_length(), 1);
}

TEST_F(EventBindingTest, DeferredEventsRunTheirHandlersWhenTaken) {
    event_bind(EVENT_SIZE, 42, ANY_ID, ANY_ID, handler_a);
    event_post_flags(EVENT_SIZE, 0, 42, 0, 0, nullptr, EVENT_FLAG_DEFERRED);
    EXPECT_EQ(seen_a.calls, 0);
    EXPECT_EQ(event_take(), EVENT_SIZE);
    EXPECT_EQ(seen_a.calls, 1);
    EXPECT_EQ(seen_a.window, 42);
    EXPECT_EQ(event_type(), EVENT_SIZE);
}

TEST_F(EventBindingTest, InactiveHandlersAreSkippedAndSweptOut) {
    HandlerNode* first = event_bind(EVENT_GADGET, 1, 1, 0, handler_a);
    event_bind(EVENT_GADGET, 1, 1, 0, handler_b);
    ASSERT_NE(first, nullptr);
    first->active = 0;
    event_dispatch_bound(EVENT_GADGET, 1, 1, 0);
    EXPECT_EQ(seen_a.calls, 0);
    EXPECT_EQ(seen_b.calls, 1);
    event_dispatch_bound(EVENT_GADGET, 1, 1, 0);
    EXPECT_EQ(seen_b.calls, 2);

    // A list that empties takes its table entry with it; binding again works.
    HandlerNode* only = event_bind(EVENT_GADGET, 2, 1, 0, handler_c);
    only->active = 0;
    event_dispatch_bound(EVENT_GADGET, 2, 1, 0);
    EXPECT_EQ(seen_c.calls, 0);
    event_bind(EVENT_GADGET, 2, 1, 0, handler_c);
    event_dispatch_bound(EVENT_GADGET, 2, 1, 0);
    EXPECT_EQ(seen_c.calls, 1);
}

TEST_F(EventBindingTest, UnbindWindowRemovesOnlyThatWindowsBindings) {
    event_bind(EVENT_GADGET, 1, 7, 0, handler_a);
    event_bind(EVENT_CLOSE, 1, 0, 0, handler_b);
    event_bind(EVENT_GADGET, 2, 7, 0, handler_c);
    event_unbind_window(1);
    event_post(EVENT_GADGET, 7, 1, 0);
    event_post(EVENT_CLOSE, 0, 1, 0);
    event_post(EVENT_GADGET, 7, 2, 0);
    EXPECT_EQ(seen_a.calls, 0);
    EXPECT_EQ(seen_b.calls, 0);
    EXPECT_EQ(seen_c.calls, 1);
}

void handler_posts() {
    event_post(EVENT_REPAINT, 0, 3, 0);
}
void handler_unbinds() {
    event_unbind_window(3);
    ++seen_a.calls;
}

TEST_F(EventBindingTest, HandlersMayPostAndUnbindWhileRunning) {
    event_bind(EVENT_GADGET, 3, 1, 0, handler_posts);
    event_bind(EVENT_GADGET, 3, 1, 0, handler_unbinds);
    event_bind(EVENT_GADGET, 3, 1, 0, handler_b);
    event_post(EVENT_GADGET, 1, 3, 0);
    EXPECT_EQ(seen_a.calls, 1);
    EXPECT_EQ(seen_b.calls, 0); // unbound before its turn
    const std::vector<Taken> expected{{EVENT_GADGET, 1, 3, 0}, {EVENT_REPAINT, 0, 3, 0}};
    EXPECT_EQ(take_all(), expected);
    event_post(EVENT_GADGET, 2, 3, 0);
    EXPECT_EQ(seen_a.calls, 1);
    EXPECT_EQ(event_queue_length(), 1);
}

} // namespace
