// The process-wide event queue: GTK signal handlers post EventRecords, the
// waiting call (event_wait.h) takes them one at a time into the current event.
// Display-free; one recursive mutex (the queue mutex) guards everything here,
// so any thread may post.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

// Frees the data of an event once the event has been used.
using EventReleaseProc = void (*)(std::int64_t data);

// A procedure bound to an event pattern; it reads the event through the
// accessors of event_wait.h.
using EventHandlerProc = void (*)();

// Post flags (sums of bit values).
constexpr std::int32_t EVENT_FLAG_FORCE = 1;    // post even while events are suppressed
constexpr std::int32_t EVENT_FLAG_DEFERRED = 2; // never coalesce; run bound handlers at take time

// Types above this value are never coalesced with the tail.
constexpr std::int32_t EVENT_COALESCE_MAX_TYPE = 65535;

// Matches any value in one field of a binding key.
constexpr std::int64_t ANY_ID = -1;

// Element type code the binding table's map carries for its owner.
constexpr std::int32_t EVENT_BINDING_ELEMENT_TYPE = 7;

// Bucket count of the handler binding table.
constexpr std::int32_t EVENT_BINDING_BUCKETS = 1024;

// Room, in code units, of the buffer a binding key is formatted into; the
// longest key ("-2147483648:" and three times "-9223372036854775808") is 74.
constexpr int EVENT_KEY_CAPACITY = 132;

// One queued event. Records come from the queue's block pool and go back to it
// when taken or purged.
struct EventRecord {
    EventRecord* next;        // next (younger) record, null at the tail
    std::int32_t type;        // event type code (EVENT_* in event_wait.h)
    std::int32_t flags;       // EVENT_FLAG_* given at the post
    std::int64_t object;      // gadget id for gadget events, 0 for window events
    std::int64_t window;      // window id
    std::int64_t subtype;     // what happened; 0 when unused
    std::int64_t data;        // extra data (pointer-sized), 0 when none
    EventReleaseProc release; // frees data once the event has been used, or null
};
static_assert(sizeof(EventRecord) == 56, "EventRecord is seven words");

// The event the loop thread is handling. Process-wide; written by event_take
// and, around bound handlers, by a post's dispatch.
struct CurrentEvent {
    std::int32_t type;        // type of the event taken last, 0 after an empty take
    std::int64_t object;      // gadget id (kept after an empty take)
    std::int64_t window;      // window id (kept after an empty take)
    std::int64_t subtype;     // -1 after an empty take
    std::int64_t data;        // data of the event taken last, 0 once released
    EventReleaseProc release; // its release procedure, null once released
};

// A list node of bound handlers: a sized block.
struct HandlerNode {
    HandlerNode* next;          // next node, null at the end
    EventHandlerProc procedure; // called with the queue mutex held
    std::uint8_t active;        // 0: skipped and swept out after the walk
};

// Element of the binding table (a StringMap keyed "type:window:object:subtype").
struct EventBinding {
    HandlerNode* handlers; // head of the handler list, null when empty
    std::int64_t window;   // window the binding belongs to
};

// Sets the queue up: record pool (one record kept for the whole run), binding
// table, mutex. Start-up only; a second call does nothing.
void event_queue_init();

// Shut-down step; the queue is never torn down (the process ends).
void event_queue_end();

// Posts with data 0, no release procedure, no flags. Takes the queue mutex.
void event_post(std::int32_t type, std::int64_t object, std::int64_t window, std::int64_t subtype);

// Posts with no flags. When the record is not kept (coalesced with the tail,
// suppressed, or no record available) the data is released at once through
// release; otherwise it is released at the take after the one that returns it.
void event_post_data(std::int32_t type, std::int64_t object, std::int64_t window, std::int64_t subtype,
                     std::int64_t data, EventReleaseProc release);

// The full post: suppression check, coalescing against the tail, queueing and
// (unless EVENT_FLAG_DEFERRED) the five bound-handler lookups. Data of a post
// that is not queued is released before this returns.
void event_post_flags(std::int32_t type, std::int64_t object, std::int64_t window, std::int64_t subtype,
                      std::int64_t data, EventReleaseProc release, std::int32_t flags);

// Releases the previous current event's data, then moves the head record into
// the current event. Returns its type, or 0 for an empty queue (subtype then
// reads -1, object and window keep their values).
std::int32_t event_take();

// Type of the head record, 0 when empty. Changes nothing.
std::int32_t event_peek_type();

// Type of the head record and its object, window and subtype; 0 with the
// outputs untouched when empty. Null outputs are skipped.
std::int32_t event_peek(std::int64_t* object, std::int64_t* window, std::int64_t* subtype);

// Adds 1 to / subtracts 1 from the suppression counter (0 = events flow).
// Takes the queue mutex, so any thread may post meanwhile.
void event_suppress_begin();
void event_suppress_end();

// Removes every queued record of that window, keeping the others in order.
// The purged records' data is released after the queue is whole again and
// without the queue mutex, so a release procedure may post.
void event_purge_window(std::int64_t window);

// Deletes every binding whose window is that window.
void event_unbind_window(std::int64_t window);

// Runs the active handlers bound to exactly this key and sweeps out inactive
// nodes. Called with the queue mutex held (recursive, so handlers may post).
void event_dispatch_bound(std::int32_t type, std::int64_t window, std::int64_t object, std::int64_t subtype);

// Adds a handler under the key (type, window, object, subtype); ANY_ID in a
// field matches any value. Returns its node (owned by the table), or null.
// Nothing in the application binds handlers; this is the runtime's own entry.
HandlerNode* event_bind(std::int32_t type, std::int64_t window, std::int64_t object, std::int64_t subtype,
                        EventHandlerProc procedure);

// Writes the binding key "type:window:object:subtype" (decimal) into out, which
// holds at least EVENT_KEY_CAPACITY units. Returns the units written without
// the terminator.
int event_format_key(WideChar* out, std::int32_t type, std::int64_t window, std::int64_t object, std::int64_t subtype);

// Test seams: number of records queued now, and the summed capacity of the
// record pool's chunks (stays put while posting and taking reuse records).
std::int64_t event_queue_length();
std::int64_t event_queue_pool_capacity();

// Test seam: makes the next n record allocations of the queue fail, as if the
// pool could not get memory (0 ends it).
void event_queue_fail_records(int n);
