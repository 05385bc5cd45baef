// Fixed-size block pools: event records, map entries and list elements are
// taken from chunks of equal slots so that the steady path does no malloc.
// Chunks grow with the pool (a sixteenth of it, in multiples of 16 elements,
// within the pool's bounds) and go back to the system once all their slots
// are free. Pools may be shared between users of equal element size.
#pragma once

#include <pthread.h>

#include <cstdint>

// Pool flags (a sum of values).
constexpr std::int32_t POOL_UNLOCKED = 2; // no mutex of its own: (flags & 3) of 2 or 3 is unlocked
constexpr std::int32_t POOL_SHARED = 4;   // reuse the registered pool of equal stride and flags

// One chunk of slots: a sized block of this header followed by capacity slots
// of stride bytes. Each slot starts with an 8-byte word: the owning chunk while
// the element is in use, the next free slot of the chunk while it is free.
struct PoolChunk {
    PoolChunk* next;         // next chunk of the same list
    PoolChunk* previous;     // previous chunk of the same list
    void* free_head;         // first free slot (its header word), null when none
    std::int32_t capacity;   // number of slots in the chunk
    std::int32_t high_water; // slots ever handed out (a new chunk starts at 1)
    std::int32_t free_count; // slots on the free list
    std::int32_t reserved;   // keeps the slots 8-byte aligned
};
static_assert(sizeof(PoolChunk) == 40, "chunk header is five words");

struct SharedPoolEntry;

struct BlockPool {
    PoolChunk* full_chunks;        // chunks with no free slot, and all one-slot chunks
    PoolChunk* open_chunks;        // chunks that can still hand out a slot
    SharedPoolEntry* shared_entry; // registry entry of a shared pool, else null
    std::int64_t total_elements;   // sum of the capacities of all chunks
    std::int64_t stride;           // bytes per slot: element size rounded up to 8, plus 8 for the header
    std::int32_t minimum_chunk;    // fewest slots in a new chunk
    std::int32_t maximum_chunk;    // most slots in a new chunk
    std::int32_t locked;           // 1 when the pool has its own mutex
    std::int32_t reserved;         // padding
    pthread_mutex_t mutex;         // recursive; guards every operation when locked
};

// Entry of the process-wide shared-pool registry (newest first).
struct SharedPoolEntry {
    SharedPoolEntry* next;     // older entry
    SharedPoolEntry* previous; // newer entry
    BlockPool* pool;           // the shared pool
    std::int64_t stride;       // its stride
    std::int32_t flags;        // flags it was requested with
    std::int32_t use_count;    // pool_create calls not yet matched by pool_destroy
};

// Creates a pool of elements of element_size bytes whose new chunks hold
// between minimum and maximum elements. With POOL_SHARED, returns the
// registered pool of equal stride and flags (adding a use) or registers a new
// one. Null on allocation failure, or for a negative element size or one above
// 2^31 - 1 bytes. A minimum below 1 is taken as 1 and a maximum below the
// minimum as the minimum.
BlockPool* pool_create(std::int64_t element_size, std::int32_t minimum, std::int32_t maximum, std::int32_t flags);

// Takes an element (contents undefined); null when no memory is left even for
// a one-element chunk, or for a null pool. Holds the pool mutex when locked.
void* pool_alloc(BlockPool* pool);

// As pool_alloc, with the element's stride - 8 bytes zeroed.
void* pool_alloc_zeroed(BlockPool* pool);

// Gives an element back to the pool it came from; an emptied chunk is freed.
// A null pool or element is ignored. Holds the pool mutex when locked.
void pool_free(BlockPool* pool, void* element);

// Frees every chunk (all elements become invalid); total elements becomes 0.
void pool_clear(BlockPool* pool);

// Drops one use of a shared pool (freeing it with the last use), or frees a
// private pool with all its chunks. Null is ignored.
void pool_destroy(BlockPool* pool);

// Read-only views for tests and measurements (taken under the pool mutex).
std::int64_t pool_total_elements(BlockPool* pool);   // capacity of all chunks
std::int64_t pool_chunk_count(BlockPool* pool);      // chunks on both lists
std::int64_t pool_open_chunk_count(BlockPool* pool); // chunks on the open list
std::int64_t pool_full_chunk_count(BlockPool* pool); // chunks on the full list
std::int32_t pool_shared_use_count(BlockPool* pool); // uses of a shared pool, 0 for a private one
