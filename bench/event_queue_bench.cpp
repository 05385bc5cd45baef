// Event path: event_post + event_take pairs against a GAsyncQueue push + pop
// of an equally sized record (taken from and given back to GLib's slice
// allocator, as a GLib program would). A counting hook on malloc and its
// relatives shows the system allocations per event after warm-up.
#include "bench_support.h"

#include "runtime/core/wide_string.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"

#include <glib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

// The counting hook: every allocation entry point of the C library is
// replaced by one that counts the call and forwards to glibc's own.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<long> allocation_calls{0}; // malloc, calloc, realloc, memalign calls so far
}

extern "C" {
void* malloc(size_t size) {
    allocation_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    allocation_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
    allocation_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}
void* memalign(size_t alignment, size_t size) {
    allocation_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    allocation_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    allocation_calls.fetch_add(1, std::memory_order_relaxed);
    void* block = __libc_memalign(alignment, size);
    if (block == nullptr) {
        return 12; // ENOMEM
    }
    *out = block;
    return 0;
}
void free(void* block) {
    __libc_free(block);
}
}

namespace {

constexpr double TARGET = 1.0;
constexpr int WARM_UP = 10000; // pairs run before counting
constexpr int BURST = 16;      // events queued before a burst is drained

// The reference's record: the same seven words as an EventRecord.
struct PlainRecord {
    PlainRecord* next;
    std::int32_t type;
    std::int32_t flags;
    std::int64_t object;
    std::int64_t window;
    std::int64_t subtype;
    std::int64_t data;
    void (*release)(std::int64_t);
};
static_assert(sizeof(PlainRecord) == sizeof(EventRecord), "records of equal size");

struct Seen {
    std::int64_t type, object, window, subtype; // what the taker read
    bool operator==(const Seen&) const = default;
};

GAsyncQueue* reference_queue = nullptr;
Seen reference_current{}; // the reference's "current event"

void reference_post(std::int32_t type, std::int64_t object, std::int64_t window, std::int64_t subtype) {
    PlainRecord* r = g_slice_new(PlainRecord);
    r->next = nullptr;
    r->type = type;
    r->flags = 0;
    r->object = object;
    r->window = window;
    r->subtype = subtype;
    r->data = 0;
    r->release = nullptr;
    g_async_queue_push(reference_queue, r);
}

std::int64_t reference_take() {
    auto* r = static_cast<PlainRecord*>(g_async_queue_try_pop(reference_queue));
    if (r == nullptr) {
        reference_current.type = 0;
        reference_current.subtype = -1;
        return 0;
    }
    reference_current = Seen{r->type, r->object, r->window, r->subtype};
    g_slice_free(PlainRecord, r);
    return reference_current.type;
}

std::int64_t ours_take() {
    return event_take();
}

Seen ours_current() {
    return Seen{event_type(), event_gadget(), event_window(), event_subtype()};
}

std::string verify() {
    // A burst of distinct events, then an empty take.
    for (int i = 0; i < BURST; ++i) {
        event_post(EVENT_GADGET, 1000 + i, 77, i % 3 == 0 ? 768 : 0);
        reference_post(EVENT_GADGET, 1000 + i, 77, i % 3 == 0 ? 768 : 0);
    }
    for (int i = 0; i <= BURST; ++i) {
        std::int64_t a = ours_take();
        std::int64_t b = reference_take();
        if (a != b) {
            return "take " + std::to_string(i) + " returned " + std::to_string(a) + " vs " + std::to_string(b);
        }
        if (a != 0 && !(ours_current() == reference_current)) {
            return "take " + std::to_string(i) + " gave other fields";
        }
        if (a == 0 && event_subtype() != -1) {
            return "empty take left a subtype";
        }
    }
    return "";
}

void note_allocations(const char* side, const char* shape, long calls, std::int64_t events) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "allocations/event %-7s %-7s %.4f (%ld malloc-family calls over %lld events after %d warm-up pairs)",
                  side, shape, events > 0 ? static_cast<double>(calls) / events : 0.0, calls,
                  static_cast<long long>(events), WARM_UP);
    bench_note(std::string(side) + shape, line);
}

template <typename Post, typename Take>
void run_pairs(benchmark::State& state, Post post, Take take, const char* side) {
    for (int i = 0; i < WARM_UP; ++i) {
        post(EVENT_GADGET, i, 1, 0);
        take();
    }
    std::int64_t object = 0;
    long before = allocation_calls.load();
    for (auto _ : state) {
        post(EVENT_GADGET, ++object, 1, 0);
        bench_keep(take());
    }
    long calls = allocation_calls.load() - before;
    state.counters["allocs_per_event"] = static_cast<double>(calls) / static_cast<double>(state.iterations());
    note_allocations(side, "pair", calls, state.iterations());
    state.SetItemsProcessed(state.iterations());
}

template <typename Post, typename Take>
void run_bursts(benchmark::State& state, Post post, Take take, const char* side) {
    for (int i = 0; i < WARM_UP / BURST; ++i) {
        for (int k = 0; k < BURST; ++k) {
            post(EVENT_GADGET, k, 1, 0);
        }
        for (int k = 0; k < BURST; ++k) {
            take();
        }
    }
    std::int64_t object = 0;
    long before = allocation_calls.load();
    for (auto _ : state) {
        for (int k = 0; k < BURST; ++k) {
            post(EVENT_GADGET, ++object, 1, 0);
        }
        for (int k = 0; k < BURST; ++k) {
            bench_keep(take());
        }
    }
    long calls = allocation_calls.load() - before;
    std::int64_t events = state.iterations() * BURST;
    state.counters["allocs_per_event"] = static_cast<double>(calls) / static_cast<double>(events);
    note_allocations(side, "burst16", calls, events);
    state.SetItemsProcessed(events);
}

} // namespace

int main(int argc, char** argv) {
    workspace_init();
    event_queue_init();
    reference_queue = g_async_queue_new();

    bench_register_pair(
        "event/post+take", TARGET, verify,
        [](benchmark::State& state) { run_pairs(state, event_post, ours_take, "ours"); },
        [](benchmark::State& state) { run_pairs(state, reference_post, reference_take, "ref"); });
    bench_register_pair(
        "event/post16+take16", TARGET, verify,
        [](benchmark::State& state) { run_bursts(state, event_post, ours_take, "ours"); },
        [](benchmark::State& state) { run_bursts(state, reference_post, reference_take, "ref"); });

    int status = bench_main(argc, argv, "Event path");
    g_async_queue_unref(reference_queue);
    workspace_end();
    return status;
}
