// Per-thread slot area and thread exit lists.
#include "runtime/core/thread_slots.h"

#include "runtime/core/memory.h"
#include "runtime/core/mutex_guard.h"

#include <pthread.h>

#include <atomic>

namespace {

// One registration that carries procedures (a sized block).
struct SlotEntry {
    SlotEntry* next;        // older registration
    SlotEntry* previous;    // newer registration
    std::int64_t offset;    // where the slot lies in a thread's area
    ThreadSlotProc init;    // run on each new copy, or null
    ThreadSlotProc release; // run when the owning thread ends, or null
};

// One stretch of a thread's area (a sized block): the bytes of the slots at
// offsets start .. end - 1 follow this header. A thread's area is a chain of
// stretches, newest (highest offsets) first. Stretches never move, so a slot
// address handed out stays valid while its thread lives, however many slots
// are registered later.
struct SlotStretch {
    SlotStretch* older; // stretch of the offsets below start, or null
    std::int64_t start;
    std::int64_t end;
    std::int64_t unused; // keeps the bytes 16 bytes past the payload
};

char* stretch_bytes(SlotStretch* stretch) {
    return reinterpret_cast<char*>(stretch + 1);
}

// Guards the registrations, the key's creation and deletion, and every
// thread's growing of its own area (which reads the registrations).
// Recursive: init and release procedures may touch slots again.
pthread_mutex_t g_slot_mutex = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
pthread_key_t g_slot_key;
// Area size in bytes (multiple of 8); 0: no slot registered. Written under
// the mutex, after the key and the registration are in place; read without it.
std::atomic<std::int64_t> g_slot_total{0};
SlotEntry* g_slot_entries = nullptr;     // newest registration first
void* volatile g_retired_area = nullptr; // the ending thread's area, kept after thread_slots_end

// Key destructor: releases the slots of an ending thread, then its stretches.
void slot_area_destroy(void* value) {
    auto* newest = static_cast<SlotStretch*>(value);
    {
        MutexGuard lock(&g_slot_mutex);
        for (SlotEntry* e = g_slot_entries; e != nullptr; e = e->next) {
            if (e->release == nullptr || e->offset >= newest->end) continue;
            SlotStretch* s = newest;
            while (s != nullptr && e->offset < s->start)
                s = s->older;
            if (s != nullptr) e->release(stretch_bytes(s) + (e->offset - s->start));
        }
    }
    while (newest != nullptr) {
        SlotStretch* older = newest->older;
        sized_free(newest);
        newest = older;
    }
}

// Adds a zeroed stretch for the offsets from the calling thread's current end
// up to `total` and runs the init procedures of the slots in it. Mutex held.
// Null when memory runs out (the area is left as it was).
SlotStretch* add_stretch(SlotStretch* newest, std::int64_t total) {
    std::int64_t from = newest != nullptr ? newest->end : 0;
    auto* stretch = static_cast<SlotStretch*>(sized_alloc(std::int64_t{sizeof(SlotStretch)} + (total - from)));
    if (stretch == nullptr) return nullptr;
    stretch->older = newest;
    stretch->start = from;
    stretch->end = total;
    if (pthread_setspecific(g_slot_key, stretch) != 0) {
        sized_free(stretch);
        return nullptr;
    }
    for (SlotEntry* e = g_slot_entries; e != nullptr; e = e->next)
        if (e->init != nullptr && e->offset >= from && e->offset < total)
            e->init(stretch_bytes(stretch) + (e->offset - from));
    return stretch;
}

// The calling thread's newest stretch, the area grown to the current total
// first. Only the growing takes the mutex. Null when memory runs out.
SlotStretch* current_area(std::int64_t total) {
    auto* newest = static_cast<SlotStretch*>(pthread_getspecific(g_slot_key));
    if (newest != nullptr && newest->end >= total) return newest;
    MutexGuard lock(&g_slot_mutex);
    total = g_slot_total.load(std::memory_order_relaxed);
    if (newest != nullptr && newest->end >= total) return newest;
    return add_stretch(newest, total);
}

} // namespace

std::int64_t thread_slot_register(std::int64_t size, ThreadSlotProc init, ThreadSlotProc release) {
    if (size < 0 || size > INT64_MAX / 2) return -1;
    size = (size + 7) & ~std::int64_t{7};
    MutexGuard lock(&g_slot_mutex);
    std::int64_t offset = g_slot_total.load(std::memory_order_relaxed);
    bool first = offset == 0;
    if (first && pthread_key_create(&g_slot_key, slot_area_destroy) != 0) return -1;
    // Bring the calling thread's area to the old total first.
    SlotStretch* area = first ? nullptr : current_area(offset);
    SlotEntry* entry = nullptr;
    bool ready = first || area != nullptr;
    if (ready && (init != nullptr || release != nullptr)) {
        entry = static_cast<SlotEntry*>(sized_alloc(sizeof(SlotEntry)));
        ready = entry != nullptr;
    }
    std::int64_t total = offset + size;
    if (first && total == 0) total = 8; // a zero-sized first slot still marks the key as created
    SlotStretch* grown = ready ? add_stretch(area, total) : nullptr;
    if (grown == nullptr) {
        sized_free(entry);
        if (first) pthread_key_delete(g_slot_key);
        return -1;
    }
    if (entry != nullptr) {
        entry->offset = offset;
        entry->init = init;
        entry->release = release;
        entry->next = g_slot_entries;
        entry->previous = nullptr;
        if (g_slot_entries != nullptr) g_slot_entries->previous = entry;
        g_slot_entries = entry;
        if (init != nullptr) init(stretch_bytes(grown) + (offset - grown->start));
    }
    g_slot_total.store(total, std::memory_order_release);
    return offset;
}

void* thread_slot_get(std::int64_t offset) {
    std::int64_t total = g_slot_total.load(std::memory_order_acquire);
    if (offset < 0 || offset >= total) return nullptr;
    for (SlotStretch* s = current_area(total); s != nullptr; s = s->older)
        if (offset >= s->start) return stretch_bytes(s) + (offset - s->start);
    return nullptr;
}

void thread_slots_end() {
    MutexGuard lock(&g_slot_mutex);
    if (g_slot_total.load(std::memory_order_relaxed) == 0) return;
    // The calling (main) thread's area is not freed: the process is ending
    // and slot owners may still hold addresses in it. It stays reachable.
    if (void* area = pthread_getspecific(g_slot_key); area != nullptr) g_retired_area = area;
    g_slot_total.store(0, std::memory_order_release);
    pthread_key_delete(g_slot_key);
    // Areas stay where they are (the process is ending); forget the
    // registrations so a late thread_slot_get finds no slot.
    SlotEntry* e = g_slot_entries;
    while (e != nullptr) {
        SlotEntry* next = e->next;
        sized_free(e);
        e = next;
    }
    g_slot_entries = nullptr;
}

// ---- thread exit lists ----

namespace {

pthread_key_t g_exit_key;
pthread_mutex_t g_exit_mutex;
std::atomic<bool> g_exit_initialised{false};
ThreadExitRecord* g_exit_newest = nullptr;                      // newest per-thread record
pthread_mutex_t g_exit_start_mutex = PTHREAD_MUTEX_INITIALIZER; // serialises first use and end

// Lock guard for the exit-list mutex.
class ExitListLock {
  public:
    ExitListLock() { pthread_mutex_lock(&g_exit_mutex); }
    ~ExitListLock() { pthread_mutex_unlock(&g_exit_mutex); }
    ExitListLock(const ExitListLock&) = delete;
    ExitListLock& operator=(const ExitListLock&) = delete;
};

// Creates the key and the mutex unless already done; false when the key
// cannot be created.
bool exit_lists_create() {
    pthread_mutex_lock(&g_exit_start_mutex);
    if (g_exit_initialised.load()) {
        pthread_mutex_unlock(&g_exit_start_mutex);
        return true;
    }
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&g_exit_mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    bool created = pthread_key_create(&g_exit_key, thread_exit_run) == 0;
    if (created)
        g_exit_initialised.store(true);
    else
        pthread_mutex_destroy(&g_exit_mutex);
    pthread_mutex_unlock(&g_exit_start_mutex);
    return created;
}

} // namespace

ThreadExitNode* thread_exit_register(ThreadExitProc procedure, void* data) {
    if (!g_exit_initialised.load() && !exit_lists_create()) return nullptr;
    auto* node = static_cast<ThreadExitNode*>(sized_alloc(sizeof(ThreadExitNode)));
    if (node == nullptr) return nullptr;
    auto* record = static_cast<ThreadExitRecord*>(pthread_getspecific(g_exit_key));
    if (record == nullptr) {
        record = static_cast<ThreadExitRecord*>(sized_alloc(sizeof(ThreadExitRecord)));
        if (record == nullptr) {
            sized_free(node);
            return nullptr;
        }
        if (pthread_setspecific(g_exit_key, record) != 0) {
            sized_free(record);
            sized_free(node);
            return nullptr;
        }
        ExitListLock lock;
        record->previous = g_exit_newest;
        record->next = nullptr;
        if (g_exit_newest != nullptr) g_exit_newest->next = record;
        g_exit_newest = record;
    }
    node->procedure = procedure;
    node->data = data;
    node->next = record->head;
    record->head = node;
    return node;
}

void thread_exit_run(void* value) {
    auto* record = static_cast<ThreadExitRecord*>(value);
    if (record == nullptr) return;
    {
        ExitListLock lock;
        if (record->previous != nullptr) record->previous->next = record->next;
        if (record->next != nullptr) record->next->previous = record->previous;
        if (g_exit_newest == record) g_exit_newest = record->previous;
        record->next = record->previous = nullptr;
    }
    ThreadExitNode* node = record->head;
    while (node != nullptr) {
        ThreadExitNode* next = node->next;
        if (node->procedure != nullptr) node->procedure(node->data);
        sized_free(node);
        node = next;
    }
    sized_free(record);
}

void thread_exit_end() {
    pthread_mutex_lock(&g_exit_start_mutex);
    if (!g_exit_initialised.load()) {
        pthread_mutex_unlock(&g_exit_start_mutex);
        return;
    }
    // The calling thread's record is run below with the others; clear the
    // key's value first so no destructor sees it again.
    pthread_setspecific(g_exit_key, nullptr);
    pthread_key_delete(g_exit_key);
    for (;;) {
        ThreadExitRecord* newest;
        {
            ExitListLock lock;
            newest = g_exit_newest;
        }
        if (newest == nullptr) break;
        thread_exit_run(newest);
    }
    pthread_mutex_destroy(&g_exit_mutex);
    g_exit_initialised.store(false);
    pthread_mutex_unlock(&g_exit_start_mutex);
}
