// Numbered object registry: one ObjectTable per object kind (windows, gadgets,
// images, fonts) maps the numbers the application chooses, or the identifiers
// handed out for AUTO_NUMBER objects, to the kind's records. Every operation
// takes the table's recursive mutex, so tables may be used from any thread.
#pragma once

#include "runtime/core/types.h"

#include <pthread.h>

#include <cstdint>

// The kind's operation that frees one object (numbers and identifiers alike).
using ObjectFreeProc = void (*)(ObjectId id);

// Largest object number a table accepts. The slot array is as long as the
// highest number used, so a creation with a larger number fails (null from
// object_allocate, 0 from the kind's creator) instead of allocating gigabytes.
constexpr ObjectId OBJECT_NUMBER_MAX = (ObjectId{1} << 20) - 1;

// Record of an AUTO_NUMBER object: this header, then the record. The object's
// identifier is the address of the record.
struct AutoNode {
    AutoNode* next;     // older node
    AutoNode* previous; // newer node
};
static_assert(sizeof(AutoNode) == 16, "automatic records follow a two-word header");

struct ObjectTable {
    std::int32_t record_size;      // bytes of one record (at least 8: its first word is the toolkit handle)
    std::int32_t growth;           // slots added beyond a requested number; the initial slot count
    std::int64_t slot_count;       // length of the slot array
    void** slots;                  // sized block: slot n is null or the record of number n
    AutoNode* automatic;           // AUTO_NUMBER records, newest first
    ObjectFreeProc free_procedure; // frees one object of the kind, or null
    std::int64_t walk_index;       // next slot of a walk
    AutoNode* walk_node;           // next automatic record of a walk
    pthread_mutex_t mutex;         // recursive; guards every operation
};

// New table with growth empty slots; null on allocation failure. A growth
// below 1 is taken as 1, a record size below 8 as 8.
ObjectTable* table_create(std::int32_t record_size, std::int32_t growth, ObjectFreeProc free_procedure);

// The zero-filled record for a new object under number (0..OBJECT_NUMBER_MAX)
// or AUTO_NUMBER. A number in use is first freed through the free procedure
// and its record block reused (zeroed again in any case, so a record left
// half-filled by a failed creation never leaks into the next one). Null for numbers below -1 or above
// OBJECT_NUMBER_MAX, a null table, or when memory runs out. Table mutex held.
void* object_allocate(ObjectTable* table, ObjectId number);

// The live record (first word non-zero) of a number or automatic identifier,
// else null. Table mutex held.
void* object_lookup(ObjectTable* table, ObjectId id);

// Makes the object free: a numbered record is zeroed and stays in its slot, an
// automatic record is unlinked and freed. Unknown identifiers are ignored.
void object_release(ObjectTable* table, ObjectId id);

// Runs the free procedure for every live numbered object in ascending number
// order, then for every automatic object, newest first. Holds the table mutex
// throughout (the free procedure may re-enter the table). An automatic object
// that the free procedure leaves in place is released by the table itself, so
// the loop always ends. Nothing without a free procedure.
void table_free_all(ObjectTable* table);

// Starts a walk: locks the table until table_iterate_next returns null or
// table_iterate_abort is called.
void table_iterate_begin(ObjectTable* table);

// Next live record of the walk (numbers ascending, then automatic records
// oldest first) with its identifier in *out_id (out_id may be null); null at
// the end, when the table is unlocked.
void* table_iterate_next(ObjectTable* table, ObjectId* out_id);

// Ends a walk early and unlocks the table.
void table_iterate_abort(ObjectTable* table);

// Creates a table into *slot unless *slot already holds one; serialised by a
// process-wide mutex so concurrent first uses create one table.
void table_create_once(ObjectTable** slot, std::int32_t record_size, std::int32_t growth,
                       ObjectFreeProc free_procedure);
