// Per-thread slots and thread exit callbacks, observed on second threads.
#include "runtime/core/thread_slots.h"

#include "support/allocation_failure.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Counters the slot procedures below write to.
std::atomic<int> g_counter_inits{0};
std::atomic<int> g_counter_releases{0};
std::atomic<std::int64_t> g_released_value{0};

// A slot of two 64-bit words: the init procedure marks the first.
void counter_init(void* slot) {
    ++g_counter_inits;
    static_cast<std::int64_t*>(slot)[0] = 42;
}

void counter_release(void* slot) {
    ++g_counter_releases;
    g_released_value = static_cast<std::int64_t*>(slot)[1];
}

bool area_is_zero(const void* slot, std::size_t bytes) {
    auto* p = static_cast<const unsigned char*>(slot);
    for (std::size_t i = 0; i < bytes; ++i)
        if (p[i] != 0) return false;
    return true;
}

TEST(ThreadSlots, OffsetsAreMultiplesOfEightAndSlotsDoNotOverlap) {
    std::int64_t a = thread_slot_register(3, nullptr, nullptr);
    std::int64_t b = thread_slot_register(16, nullptr, nullptr);
    std::int64_t c = thread_slot_register(8, nullptr, nullptr);
    ASSERT_GE(a, 0);
    EXPECT_EQ(a % 8, 0);
    EXPECT_EQ(b, a + 8) << "3 bytes are raised to 8";
    EXPECT_EQ(c, b + 16);
    auto* pa = static_cast<char*>(thread_slot_get(a));
    auto* pb = static_cast<char*>(thread_slot_get(b));
    auto* pc = static_cast<char*>(thread_slot_get(c));
    ASSERT_NE(pa, nullptr);
    ASSERT_NE(pb, nullptr);
    ASSERT_NE(pc, nullptr);
    EXPECT_TRUE(area_is_zero(pb, 16)) << "new slots of the registering thread read as zero";
    std::memset(pa, 0xAA, 8);
    std::memset(pb, 0x11, 16);
    std::memset(pc, 0x22, 8);
    const unsigned char a_bytes[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    const unsigned char b_bytes[16] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                       0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11};
    EXPECT_EQ(std::memcmp(pa, a_bytes, 8), 0) << "slots do not overlap";
    EXPECT_EQ(std::memcmp(pb, b_bytes, 16), 0) << "slots do not overlap";
    EXPECT_EQ(thread_slot_get(b), pb) << "the same thread sees the same copy";
}

TEST(ThreadSlots, SecondThreadGetsZeroedCopyWithInitRunOnceAndReleaseAtExit) {
    int inits_before = g_counter_inits;
    std::int64_t slot = thread_slot_register(16, counter_init, counter_release);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(g_counter_inits, inits_before + 1) << "init runs at once for the registering thread";
    auto* mine = static_cast<std::int64_t*>(thread_slot_get(slot));
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine[0], 42);
    mine[1] = 7;

    int releases_before = g_counter_releases;
    std::int64_t seen_first = -1, seen_second = -1, seen_pad = -1;
    void* theirs = nullptr;
    std::thread worker([&] {
        auto* p = static_cast<std::int64_t*>(thread_slot_get(slot));
        theirs = p;
        seen_first = p[0];
        seen_second = p[1];
        seen_pad = static_cast<std::int64_t*>(thread_slot_get(0))[0];
        p[1] = 99;
        EXPECT_EQ(thread_slot_get(slot), p);
    });
    worker.join();
    EXPECT_NE(theirs, static_cast<void*>(mine));
    EXPECT_EQ(seen_first, 42) << "init ran on the new thread's copy";
    EXPECT_EQ(seen_second, 0);
    EXPECT_EQ(seen_pad, 0);
    EXPECT_EQ(g_counter_inits, inits_before + 2) << "once for each thread";
    EXPECT_EQ(g_counter_releases, releases_before + 1);
    EXPECT_EQ(g_released_value, 99) << "release saw the ending thread's own copy";
    EXPECT_EQ(mine[1], 7) << "the main thread's copy is untouched";
}

TEST(ThreadSlots, ThreadStartedBeforeARegistrationStillGetsTheNewSlot) {
    std::int64_t early = thread_slot_register(8, nullptr, nullptr);
    std::mutex m;
    std::condition_variable cv;
    int stage = 0;
    std::int64_t late = -1;
    std::int64_t late_value = -1;
    std::thread worker([&] {
        static_cast<std::int64_t*>(thread_slot_get(early))[0] = 5;
        {
            std::unique_lock lock(m);
            stage = 1;
            cv.notify_all();
            if (!cv.wait_for(lock, std::chrono::seconds(30), [&] { return stage == 2; }))
                ADD_FAILURE() << "waited 30 s in vain for the main thread's registration";
        }
        auto* p = static_cast<std::int64_t*>(thread_slot_get(late));
        late_value = p == nullptr ? -2 : p[0];
        EXPECT_EQ(static_cast<std::int64_t*>(thread_slot_get(early))[0], 5) << "growing keeps old slots";
    });
    {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(30), [&] { return stage == 1; }))
            ADD_FAILURE() << "waited 30 s in vain for the worker to take its first slot";
        late = thread_slot_register(4096, counter_init, nullptr);
        stage = 2;
        cv.notify_all();
    }
    worker.join();
    EXPECT_EQ(late_value, 42) << "the area grows and the new slot's init runs on it";
}

TEST(ThreadSlots, AddressesStayPutWhileRegistrationsGrowEveryArea) {
    std::int64_t first = thread_slot_register(8, nullptr, nullptr);
    void* mine = thread_slot_get(first);
    ASSERT_NE(mine, nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 2; ++t) {
        workers.emplace_back([&, t] {
            auto* p = static_cast<std::int64_t*>(thread_slot_get(first));
            bool same = p != nullptr;
            for (std::int64_t i = 0; same && !stop.load(); ++i) {
                *p = i; // always through the address taken first
                auto* now = static_cast<std::int64_t*>(thread_slot_get(first));
                same = now == p && *now == i;
                rounds.fetch_add(1);
            }
            EXPECT_TRUE(same) << "thread " << t << " saw its slot move";
        });
    }
    // Large slots, so that an area grown in place would have to move.
    int refused = 0;
    for (int i = 0; i < 16; ++i)
        refused += thread_slot_register(64 * 1024, counter_init, nullptr) < 0;
    for (int spins = 0; rounds.load() < 2000 && spins < 10000000; ++spins)
        std::this_thread::yield();
    stop.store(true);
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(refused, 0) << "large slots refused";
    EXPECT_GE(rounds.load(), 2000) << "the workers never ran";
    EXPECT_EQ(thread_slot_get(first), mine);
}

TEST(ThreadSlots, UnknownOffsetsGiveNull) {
    std::int64_t slot = thread_slot_register(8, nullptr, nullptr);
    EXPECT_EQ(thread_slot_get(-1), nullptr);
    EXPECT_EQ(thread_slot_get(slot + 8), nullptr);
    EXPECT_EQ(thread_slot_get(INT64_MAX), nullptr);
}

TEST(ThreadSlots, RegistrationWithoutMemoryRegistersNothing) {
    std::int64_t before = thread_slot_register(8, nullptr, nullptr);
    int inits = g_counter_inits;
    std::int64_t failed;
    {
        tda_test::AllocationFailureScope no_memory;
        failed = thread_slot_register(1 << 20, counter_init, nullptr);
    }
    EXPECT_EQ(failed, -1);
    EXPECT_EQ(g_counter_inits, inits);
    EXPECT_EQ(thread_slot_register(8, nullptr, nullptr), before + 8) << "the failed size was not added";
}

TEST(ThreadSlots, FirstTouchWithoutMemoryGivesNull) {
    std::int64_t slot = thread_slot_register(8, nullptr, nullptr);
    void* got = reinterpret_cast<void*>(1);
    void* later = nullptr;
    std::thread worker([&] {
        {
            tda_test::AllocationFailureScope no_memory;
            got = thread_slot_get(slot);
        }
        later = thread_slot_get(slot);
    });
    worker.join();
    EXPECT_EQ(got, nullptr);
    EXPECT_NE(later, nullptr);
}

TEST(ThreadSlots, EndForgetsSlotsAndAllowsAFreshStart) {
    std::int64_t slot = thread_slot_register(8, nullptr, nullptr);
    ASSERT_NE(thread_slot_get(slot), nullptr);
    thread_slots_end();
    EXPECT_EQ(thread_slot_get(slot), nullptr);
    thread_slots_end(); // a second end does nothing
    std::int64_t again = thread_slot_register(8, counter_init, nullptr);
    EXPECT_EQ(again, 0);
    auto* p = static_cast<std::int64_t*>(thread_slot_get(again));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 42);
}

// ---- thread exit callbacks ----

// Records the order in which exit callbacks run.
struct CallOrder {
    std::mutex mutex;
    char calls[8] = {};
    int count = 0;
    void add(char c) {
        std::lock_guard lock(mutex);
        if (count < 7) calls[count++] = c;
    }
};

CallOrder g_order;
void record_call(void* data) {
    g_order.add(*static_cast<const char*>(data));
}

TEST(ThreadExit, CallbacksRunNewestFirstWhenTheThreadEnds) {
    static const char a = 'A', b = 'B', c = 'C';
    g_order.count = 0;
    bool registered = false;
    std::thread worker([&] {
        registered = thread_exit_register(record_call, const_cast<char*>(&a)) != nullptr &&
                     thread_exit_register(record_call, const_cast<char*>(&b)) != nullptr;
        EXPECT_EQ(g_order.count, 0) << "nothing runs before the thread ends";
    });
    worker.join();
    ASSERT_TRUE(registered);
    ASSERT_EQ(g_order.count, 2);
    EXPECT_EQ(g_order.calls[0], 'B');
    EXPECT_EQ(g_order.calls[1], 'A');

    // Threads keep separate lists.
    g_order.count = 0;
    std::thread first([&] { thread_exit_register(record_call, const_cast<char*>(&a)); });
    first.join();
    std::thread second([&] { thread_exit_register(record_call, const_cast<char*>(&c)); });
    second.join();
    ASSERT_EQ(g_order.count, 2);
    EXPECT_EQ(g_order.calls[0], 'A');
    EXPECT_EQ(g_order.calls[1], 'C');
}

TEST(ThreadExit, RegistrationWithoutMemoryReturnsNullAndRegistersNothing) {
    static const char x = 'X', y = 'Y';
    g_order.count = 0;
    ThreadExitNode* failed_first = reinterpret_cast<ThreadExitNode*>(1);
    ThreadExitNode* failed_later = reinterpret_cast<ThreadExitNode*>(1);
    std::thread worker([&] {
        {
            tda_test::AllocationFailureScope no_memory;
            failed_first = thread_exit_register(record_call, const_cast<char*>(&x));
        }
        thread_exit_register(record_call, const_cast<char*>(&y));
        {
            tda_test::AllocationFailureScope no_memory;
            failed_later = thread_exit_register(record_call, const_cast<char*>(&x));
        }
    });
    worker.join();
    EXPECT_EQ(failed_first, nullptr);
    EXPECT_EQ(failed_later, nullptr);
    ASSERT_EQ(g_order.count, 1);
    EXPECT_EQ(g_order.calls[0], 'Y');
}

TEST(ThreadExit, EndRunsTheRemainingListsAndAllowsRegistrationAgain) {
    static const char m = 'M', n = 'N';
    g_order.count = 0;
    ASSERT_NE(thread_exit_register(record_call, const_cast<char*>(&m)), nullptr);
    thread_exit_end();
    ASSERT_EQ(g_order.count, 1) << "the calling thread's list ran";
    EXPECT_EQ(g_order.calls[0], 'M');
    thread_exit_end(); // a second end does nothing
    EXPECT_EQ(g_order.count, 1);
    std::thread worker([&] { thread_exit_register(record_call, const_cast<char*>(&n)); });
    worker.join();
    ASSERT_EQ(g_order.count, 2);
    EXPECT_EQ(g_order.calls[1], 'N');
}

} // namespace
