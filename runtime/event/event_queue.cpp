// The process-wide event queue, its handler binding table and the current
// event with its accessors. Everything here runs under the queue mutex except
// the accessors (read by the event-loop thread) and the release procedures of
// purged events.
#include "runtime/event/event_queue.h"

#include "runtime/core/block_pool.h"
#include "runtime/core/memory.h"
#include "runtime/core/mutex_guard.h"
#include "runtime/core/string_functions.h"
#include "runtime/core/string_map.h"
#include "runtime/event/event_wait.h"

#include <pthread.h>

#include <initializer_list>

namespace {

// Chunks of the record pool: 16 records at first, at most 256.
constexpr std::int32_t RECORD_POOL_MIN_CHUNK = 16;
constexpr std::int32_t RECORD_POOL_MAX_CHUNK = 256;

struct EventQueue {
    EventRecord* head;            // oldest record, null when empty
    EventRecord* tail;            // youngest record, null when empty
    BlockPool* pool;              // records (unlocked: the queue mutex covers it); null before init
    std::int32_t suppressed;      // suppression counter, 0 = events flow
    StringMap* bindings;          // handler binding table
    EventRecord* kept;            // taken at init and never given back: the first chunk stays
    std::int32_t dispatch_depth;  // bound-handler walks running (nested through posts)
    std::int32_t failing_records; // test seam: record allocations still to refuse
    pthread_mutex_t mutex;        // the queue mutex (recursive)
};

// The mutex is usable before event_queue_init, so an early post is refused
// cleanly instead of touching an uninitialised lock.
EventQueue queue = {nullptr, nullptr, nullptr, 0, nullptr, nullptr, 0, 0, PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP};

CurrentEvent current_event = {0, 0, 0, -1, 0, nullptr};

EventRecord* take_record() noexcept {
    if (queue.failing_records > 0) {
        --queue.failing_records;
        return nullptr;
    }
    return static_cast<EventRecord*>(pool_alloc(queue.pool));
}

// Frees every node of a handler list.
void free_handlers(HandlerNode* node) noexcept {
    while (node != nullptr) {
        HandlerNode* next = node->next;
        sized_free(node);
        node = next;
    }
}

// The current event as a post's dispatch shows it to bound handlers. It is
// swapped in only right before the first handler runs, so a post that finds
// no handler (the usual case) never writes the loop thread's current event.
struct DispatchView {
    CurrentEvent incoming; // the post's own values
    CurrentEvent saved;    // the loop thread's event, put back afterwards
    bool swapped;          // incoming is in place
};

// Runs the handlers bound to exactly this key. Queue mutex held.
void run_bound(const WideChar* key, DispatchView* view) noexcept {
    auto* binding = static_cast<EventBinding*>(map_find(queue.bindings, key));
    if (binding == nullptr || binding->handlers == nullptr) return;

    bool saw_inactive = false;
    ++queue.dispatch_depth;
    for (HandlerNode* node = binding->handlers; node != nullptr; node = node->next) {
        if (node->active == 0) {
            saw_inactive = true;
            continue;
        }
        if (view != nullptr && !view->swapped) {
            view->saved = current_event;
            current_event = view->incoming;
            view->swapped = true;
        }
        node->procedure();
    }
    --queue.dispatch_depth;

    // Nodes are freed only when no walk is running, since an outer walk may
    // stand on one of them. The entry is looked up again: handlers that posted
    // have moved the table's cursor.
    if (!saw_inactive || queue.dispatch_depth != 0) return;
    binding = static_cast<EventBinding*>(map_find(queue.bindings, key));
    if (binding == nullptr) return;
    HandlerNode** link = &binding->handlers;
    while (*link != nullptr) {
        HandlerNode* node = *link;
        if (node->active == 0) {
            *link = node->next;
            sized_free(node);
        } else {
            link = &node->next;
        }
    }
    if (binding->handlers == nullptr) map_delete_current(queue.bindings);
}

// Decimal text of one key field.
struct KeyField {
    WideChar units[21]; // digits and sign, no terminator
    int length;         // units used
};

KeyField key_field(std::int64_t value) noexcept {
    KeyField field{};
    field.length = string_write_decimal(field.units, value);
    return field;
}

// Joins four field texts with colons into out (EVENT_KEY_CAPACITY units).
void join_key(WideChar* out, const KeyField& type, const KeyField& window, const KeyField& object,
              const KeyField& subtype) noexcept {
    int n = 0;
    for (const KeyField* field : {&type, &window, &object, &subtype}) {
        if (n != 0) out[n++] = u':';
        for (int i = 0; i < field->length; ++i)
            out[n++] = field->units[i];
    }
    out[n] = 0;
}

// The five lookups of one dispatch, most specific first. Each field is
// written out once and the five keys are joined from those texts. Queue
// mutex held.
void dispatch_five(std::int32_t type, std::int64_t object, std::int64_t window, std::int64_t subtype,
                   DispatchView* view) noexcept {
    // With no handler bound, every lookup would miss: skip building the keys,
    // which is most of the cost of a post.
    if (queue.bindings == nullptr || queue.bindings->entry_count == 0) return;
    const KeyField t = key_field(type), w = key_field(window), o = key_field(object), s = key_field(subtype);
    const KeyField any = key_field(ANY_ID);
    WideChar key[EVENT_KEY_CAPACITY];
    join_key(key, t, w, o, s);
    run_bound(key, view);
    join_key(key, t, w, o, any);
    run_bound(key, view);
    join_key(key, t, w, any, any);
    run_bound(key, view);
    join_key(key, t, any, any, any);
    run_bound(key, view);
    join_key(key, t, any, o, s);
    run_bound(key, view);
    if (view != nullptr && view->swapped) current_event = view->saved;
}

// Queues one post and runs its dispatch. Returns whether a record now holds
// the post's data. Queue mutex held.
bool post_locked(std::int32_t type, std::int64_t object, std::int64_t window, std::int64_t subtype, std::int64_t data,
                 EventReleaseProc release, std::int32_t flags) noexcept {
    if (queue.pool == nullptr) return false;
    if (queue.suppressed != 0 && (flags & EVENT_FLAG_FORCE) == 0) return false;

    const bool deferred = (flags & EVENT_FLAG_DEFERRED) != 0;
    const EventRecord* tail = queue.tail;
    const bool coalesced = tail != nullptr && type <= EVENT_COALESCE_MAX_TYPE && !deferred && tail->type == type &&
                           tail->object == object && tail->window == window && tail->subtype == subtype;
    if (!coalesced) {
        EventRecord* record = take_record();
        if (record == nullptr) return false;
        *record = EventRecord{nullptr, type, flags, object, window, subtype, data, release};
        if (queue.tail != nullptr)
            queue.tail->next = record;
        else
            queue.head = record;
        queue.tail = record;
        if (deferred) return true;
    }
    DispatchView view{{type, object, window, subtype, data, release}, {}, false};
    dispatch_five(type, object, window, subtype, &view);
    return !coalesced;
}

} // namespace

int event_format_key(WideChar* out, std::int32_t type, std::int64_t window, std::int64_t object, std::int64_t subtype) {
    int n = string_write_decimal(out, type);
    out[n++] = u':';
    n += string_write_decimal(out + n, window);
    out[n++] = u':';
    n += string_write_decimal(out + n, object);
    out[n++] = u':';
    n += string_write_decimal(out + n, subtype);
    out[n] = 0;
    return n;
}

void event_queue_init() {
    MutexGuard guard(&queue.mutex);
    if (queue.pool != nullptr) return;
    queue.pool = pool_create(sizeof(EventRecord), RECORD_POOL_MIN_CHUNK, RECORD_POOL_MAX_CHUNK, POOL_UNLOCKED);
    if (queue.pool == nullptr) return;
    queue.kept = static_cast<EventRecord*>(pool_alloc(queue.pool));
    map_create(sizeof(EventBinding), EVENT_BINDING_ELEMENT_TYPE, nullptr, &queue.bindings, EVENT_BINDING_BUCKETS);
}

void event_queue_end() {}

void event_post(std::int32_t type, std::int64_t object, std::int64_t window, std::int64_t subtype) {
    event_post_flags(type, object, window, subtype, 0, nullptr, 0);
}

void event_post_data(std::int32_t type, std::int64_t object, std::int64_t window, std::int64_t subtype,
                     std::int64_t data, EventReleaseProc release) {
    event_post_flags(type, object, window, subtype, data, release, 0);
}

void event_post_flags(std::int32_t type, std::int64_t object, std::int64_t window, std::int64_t subtype,
                      std::int64_t data, EventReleaseProc release, std::int32_t flags) {
    bool kept = false;
    {
        MutexGuard guard(&queue.mutex);
        kept = post_locked(type, object, window, subtype, data, release, flags);
    }
    // A post that keeps no record (coalesced, suppressed, no record to be had)
    // would otherwise lose its data together with the procedure that frees it.
    if (!kept && data != 0 && release != nullptr) release(data);
}

std::int32_t event_take() {
    MutexGuard guard(&queue.mutex);
    // The type is cleared under the mutex: a post's dispatch on another thread
    // may be showing its own event to bound handlers right now.
    current_event.type = 0;
    if (current_event.data != 0 && current_event.release != nullptr) {
        const EventReleaseProc release = current_event.release;
        const std::int64_t data = current_event.data;
        current_event.release = nullptr;
        current_event.data = 0;
        release(data);
    }
    current_event.subtype = -1;

    EventRecord* record = queue.head;
    if (record == nullptr) return 0;
    current_event.type = record->type;
    current_event.object = record->object;
    current_event.window = record->window;
    current_event.subtype = record->subtype;
    current_event.data = record->data;
    current_event.release = record->release;
    queue.head = record->next;
    if (queue.head == nullptr) queue.tail = nullptr;
    const bool deferred = (record->flags & EVENT_FLAG_DEFERRED) != 0;
    pool_free(queue.pool, record);
    const std::int32_t type = current_event.type;
    if (deferred) dispatch_five(type, current_event.object, current_event.window, current_event.subtype, nullptr);
    return type;
}

std::int32_t event_peek_type() {
    MutexGuard guard(&queue.mutex);
    return queue.head == nullptr ? 0 : queue.head->type;
}

std::int32_t event_peek(std::int64_t* object, std::int64_t* window, std::int64_t* subtype) {
    MutexGuard guard(&queue.mutex);
    const EventRecord* head = queue.head;
    if (head == nullptr) return 0;
    if (object != nullptr) *object = head->object;
    if (window != nullptr) *window = head->window;
    if (subtype != nullptr) *subtype = head->subtype;
    return head->type;
}

void event_suppress_begin() {
    MutexGuard guard(&queue.mutex);
    queue.suppressed += 1;
}

void event_suppress_end() {
    MutexGuard guard(&queue.mutex);
    queue.suppressed -= 1;
}

void event_purge_window(std::int64_t window) {
    // Purged records are unlinked first and their data released after the
    // walk, outside the mutex: a release procedure may post, and its record
    // must land behind a queue that is whole again.
    EventRecord* purged = nullptr;
    EventRecord** purged_end = &purged; // keeps the purged records in queue order
    {
        MutexGuard guard(&queue.mutex);
        EventRecord* kept = nullptr;
        EventRecord* record = queue.head;
        while (record != nullptr) {
            EventRecord* next = record->next;
            if (record->window == window) {
                if (kept == nullptr)
                    queue.head = next;
                else
                    kept->next = next;
                record->next = nullptr;
                *purged_end = record;
                purged_end = &record->next;
            } else {
                kept = record;
            }
            record = next;
        }
        queue.tail = kept;
    }
    if (purged == nullptr) return;
    // The purged events were never seen: their data goes with them.
    for (EventRecord* record = purged; record != nullptr; record = record->next)
        if (record->data != 0 && record->release != nullptr) record->release(record->data);
    MutexGuard guard(&queue.mutex);
    while (purged != nullptr) {
        EventRecord* next = purged->next;
        pool_free(queue.pool, purged);
        purged = next;
    }
}

void event_unbind_window(std::int64_t window) {
    MutexGuard guard(&queue.mutex);
    if (queue.bindings == nullptr) return;
    map_reset(queue.bindings);
    while (auto* binding = static_cast<EventBinding*>(map_next(queue.bindings))) {
        if (binding->window != window) continue;
        if (queue.dispatch_depth != 0) {
            // A walk may stand on these nodes: retire them; the walk's sweep
            // frees them and drops the entry.
            for (HandlerNode* node = binding->handlers; node != nullptr; node = node->next)
                node->active = 0;
            continue;
        }
        free_handlers(binding->handlers);
        binding->handlers = nullptr;
        map_delete_current(queue.bindings);
    }
}

void event_dispatch_bound(std::int32_t type, std::int64_t window, std::int64_t object, std::int64_t subtype) {
    MutexGuard guard(&queue.mutex);
    if (queue.bindings == nullptr) return;
    WideChar key[EVENT_KEY_CAPACITY];
    event_format_key(key, type, window, object, subtype);
    run_bound(key, nullptr);
}

HandlerNode* event_bind(std::int32_t type, std::int64_t window, std::int64_t object, std::int64_t subtype,
                        EventHandlerProc procedure) {
    if (procedure == nullptr) return nullptr;
    MutexGuard guard(&queue.mutex);
    if (queue.bindings == nullptr) return nullptr;
    auto* node = static_cast<HandlerNode*>(sized_alloc(sizeof(HandlerNode)));
    if (node == nullptr) return nullptr;
    WideChar key[EVENT_KEY_CAPACITY];
    event_format_key(key, type, window, object, subtype);
    auto* binding = static_cast<EventBinding*>(map_find(queue.bindings, key));
    if (binding == nullptr) {
        binding = static_cast<EventBinding*>(map_insert(queue.bindings, key, 0));
        if (binding == nullptr) {
            sized_free(node);
            return nullptr;
        }
        binding->window = window;
    }
    node->procedure = procedure;
    node->active = 1;
    HandlerNode** link = &binding->handlers;
    while (*link != nullptr)
        link = &(*link)->next;
    *link = node;
    return node;
}

std::int64_t event_queue_length() {
    MutexGuard guard(&queue.mutex);
    std::int64_t length = 0;
    for (const EventRecord* record = queue.head; record != nullptr; record = record->next)
        ++length;
    return length;
}

std::int64_t event_queue_pool_capacity() {
    MutexGuard guard(&queue.mutex);
    return queue.pool == nullptr ? 0 : pool_total_elements(queue.pool);
}

void event_queue_fail_records(int n) {
    MutexGuard guard(&queue.mutex);
    queue.failing_records = n < 0 ? 0 : n;
}

std::int64_t event_type() {
    return current_event.type;
}

std::int64_t event_gadget() {
    return current_event.object;
}

std::int64_t event_object() {
    return current_event.object;
}

std::int64_t event_subtype() {
    return current_event.subtype;
}

std::int64_t event_window() {
    return current_event.window;
}

std::int64_t event_data() {
    return current_event.data;
}
