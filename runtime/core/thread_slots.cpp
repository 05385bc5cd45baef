// Per-thread slot area and thread exit lists.
#include "runtime/core/thread_slots.h"

#include "runtime/core/memory.h"

#include <pthread.h>

#include <atomic>

namespace {

// One registration that carries procedures (a sized block).
struct SlotEntry {
    SlotEntry* next;         // older registration
    SlotEntry* previous;     // newer registration
    std::int64_t offset;     // where the slot lies in a thread's area
    ThreadSlotProc init;     // run on each new copy, or null
    ThreadSlotProc release;  // run when the owning thread ends, or null
};

pthread_key_t g_slot_key;
std::int64_t g_slot_total = 0;        // area size in bytes (multiple of 8); 0: no slot registered
SlotEntry* g_slot_entries = nullptr;  // newest registration first
void* volatile g_retired_area = nullptr;  // the ending thread's area, kept after thread_slots_end

// Runs the init procedure of every registration whose slot starts at or past
// from (newest first) on an area.
void run_inits(char* area, std::int64_t from) {
    for (SlotEntry* e = g_slot_entries; e != nullptr; e = e->next)
        if (e->init != nullptr && e->offset >= from) e->init(area + e->offset);
}

// Key destructor: releases the slots of an ending thread, then its area.
void slot_area_destroy(void* value) {
    auto* area = static_cast<char*>(value);
    std::int64_t length = sized_length(area);
    for (SlotEntry* e = g_slot_entries; e != nullptr; e = e->next)
        if (e->release != nullptr && e->offset < length) e->release(area + e->offset);
    sized_free(area);
}

// The calling thread's area, grown to the current total. A thread whose area
// predates later registrations gets the new bytes zeroed and their init
// procedures run, so no slot ever lies beyond its owner's area. Null when
// memory runs out.
char* current_area() {
    auto* area = static_cast<char*>(pthread_getspecific(g_slot_key));
    if (area == nullptr) {
        area = static_cast<char*>(sized_alloc(g_slot_total));
        if (area == nullptr) return nullptr;
        if (pthread_setspecific(g_slot_key, area) != 0) {
            sized_free(area);
            return nullptr;
        }
        run_inits(area, 0);
        return area;
    }
    std::int64_t length = sized_length(area);
    if (length < g_slot_total) {
        auto* grown = static_cast<char*>(sized_resize(area, g_slot_total));
        if (grown == nullptr) return nullptr;
        pthread_setspecific(g_slot_key, grown);
        run_inits(grown, length);
        area = grown;
    }
    return area;
}

}  // namespace

std::int64_t thread_slot_register(std::int64_t size, ThreadSlotProc init, ThreadSlotProc release) {
    if (size < 0 || size > INT64_MAX / 2) return -1;
    size = (size + 7) & ~std::int64_t{7};
    bool first = g_slot_total == 0;
    if (first) {
        if (pthread_key_create(&g_slot_key, slot_area_destroy) != 0) return -1;
    }
    // Bring the calling thread's area to the old total first, then add this slot.
    char* area = nullptr;
    if (!first) {
        area = current_area();
    } else {
        area = static_cast<char*>(sized_alloc(0));
        if (area != nullptr && pthread_setspecific(g_slot_key, area) != 0) {
            sized_free(area);
            area = nullptr;
        }
    }
    SlotEntry* entry = nullptr;
    if (area != nullptr && (init != nullptr || release != nullptr)) {
        entry = static_cast<SlotEntry*>(sized_alloc(sizeof(SlotEntry)));
        if (entry == nullptr) area = nullptr;
    }
    char* grown = area == nullptr ? nullptr : static_cast<char*>(sized_resize(area, g_slot_total + size));
    if (grown == nullptr) {
        sized_free(entry);
        if (first) {
            sized_free(pthread_getspecific(g_slot_key));
            pthread_setspecific(g_slot_key, nullptr);
            pthread_key_delete(g_slot_key);
        }
        return -1;
    }
    pthread_setspecific(g_slot_key, grown);
    std::int64_t offset = g_slot_total;
    g_slot_total += size;
    if (first && g_slot_total == 0) g_slot_total = 8;  // a zero-sized first slot still marks the key as created
    if (entry != nullptr) {
        entry->offset = offset;
        entry->init = init;
        entry->release = release;
        entry->next = g_slot_entries;
        entry->previous = nullptr;
        if (g_slot_entries != nullptr) g_slot_entries->previous = entry;
        g_slot_entries = entry;
        if (init != nullptr) init(grown + offset);
    }
    return offset;
}

void* thread_slot_get(std::int64_t offset) {
    if (offset < 0 || offset >= g_slot_total) return nullptr;
    char* area = current_area();
    if (area == nullptr) return nullptr;
    return area + offset;
}

void thread_slots_end() {
    if (g_slot_total == 0) return;
    // The calling (main) thread's area is not freed: the process is ending
    // and slot owners may still hold addresses in it. It stays reachable.
    if (void* area = pthread_getspecific(g_slot_key); area != nullptr) g_retired_area = area;
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
    g_slot_total = 0;
}

// ---- thread exit lists ----

namespace {

pthread_key_t g_exit_key;
pthread_mutex_t g_exit_mutex;
std::atomic<bool> g_exit_initialised{false};
ThreadExitRecord* g_exit_newest = nullptr;  // newest per-thread record
pthread_mutex_t g_exit_start_mutex = PTHREAD_MUTEX_INITIALIZER;  // serialises first use and end

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

}  // namespace

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
