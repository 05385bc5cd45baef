// Block pools and the shared-pool registry.
#include "runtime/core/block_pool.h"

#include "runtime/core/memory.h"
#include "runtime/core/mutex_guard.h"

#include <cstring>
#include <limits>

namespace {

constexpr std::int64_t SLOT_HEADER = 8; // owning chunk, or the next free slot

// The shared-pool registry: newest entry first, guarded by a recursive mutex
// created on first use.
SharedPoolEntry* shared_registry = nullptr;
pthread_mutex_t shared_registry_mutex;
pthread_once_t shared_registry_once = PTHREAD_ONCE_INIT;

void shared_registry_mutex_init() {
    recursive_mutex_init(&shared_registry_mutex);
}

// The pool's mutex when the pool is locked, else null (for MutexGuard).
pthread_mutex_t* pool_mutex(BlockPool* pool) {
    return pool->locked != 0 ? &pool->mutex : nullptr;
}

char* chunk_slot(PoolChunk* chunk, std::int64_t index, std::int64_t stride) {
    return reinterpret_cast<char*>(chunk + 1) + index * stride;
}

void chunk_push(PoolChunk** head, PoolChunk* chunk) {
    chunk->previous = nullptr;
    chunk->next = *head;
    if (*head != nullptr) (*head)->previous = chunk;
    *head = chunk;
}

void chunk_unlink(PoolChunk** head, PoolChunk* chunk) {
    if (chunk->previous != nullptr) {
        chunk->previous->next = chunk->next;
    } else {
        *head = chunk->next;
    }
    if (chunk->next != nullptr) chunk->next->previous = chunk->previous;
    chunk->next = nullptr;
    chunk->previous = nullptr;
}

// A zeroed chunk of n slots, or null when the size cannot be had.
PoolChunk* chunk_allocate(std::int64_t n, std::int64_t stride) {
    std::int64_t bytes = 0;
    if (__builtin_mul_overflow(n, stride, &bytes)) return nullptr;
    if (__builtin_add_overflow(bytes, static_cast<std::int64_t>(sizeof(PoolChunk)), &bytes)) return nullptr;
    return static_cast<PoolChunk*>(sized_alloc(bytes));
}

// Slots of the next chunk: a sixteenth of the pool in multiples of 16, within
// the pool's bounds (16 while fewer than 512 elements exist for a minimum of 16).
std::int64_t next_chunk_size(const BlockPool* pool) {
    std::int64_t n = (pool->total_elements / 16) & ~std::int64_t{15};
    if (n < pool->minimum_chunk) return pool->minimum_chunk;
    if (n > pool->maximum_chunk) return pool->maximum_chunk;
    return n;
}

void free_chunk_list(PoolChunk* chunk) {
    while (chunk != nullptr) {
        PoolChunk* next = chunk->next;
        sized_free(chunk);
        chunk = next;
    }
}

BlockPool* private_pool_create(std::int64_t stride, std::int32_t minimum, std::int32_t maximum, std::int32_t flags) {
    auto* pool = static_cast<BlockPool*>(mem_alloc_zeroed(sizeof(BlockPool)));
    if (pool == nullptr) return nullptr;
    pool->stride = stride;
    pool->minimum_chunk = minimum;
    pool->maximum_chunk = maximum;
    const std::int32_t lock_bits = flags & 3;
    if (lock_bits == 0 || lock_bits == 1) {
        pool->locked = 1;
        recursive_mutex_init(&pool->mutex);
    }
    return pool;
}

void private_pool_destroy(BlockPool* pool) {
    pool_clear(pool);
    if (pool->locked != 0) pthread_mutex_destroy(&pool->mutex);
    mem_free(pool);
}

std::int64_t count_chunks(const PoolChunk* chunk) {
    std::int64_t n = 0;
    for (; chunk != nullptr; chunk = chunk->next)
        ++n;
    return n;
}

} // namespace

BlockPool* pool_create(std::int64_t element_size, std::int32_t minimum, std::int32_t maximum, std::int32_t flags) {
    // Sizes so large that the stride would overflow are refused outright.
    if (element_size < 0 || element_size > std::numeric_limits<std::int32_t>::max()) return nullptr;
    const std::int64_t stride = ((element_size + 7) & ~std::int64_t{7}) + SLOT_HEADER;
    if (minimum < 1) minimum = 1;
    if (maximum < minimum) maximum = minimum;

    if ((flags & POOL_SHARED) == 0) return private_pool_create(stride, minimum, maximum, flags);

    pthread_once(&shared_registry_once, shared_registry_mutex_init);
    MutexGuard guard(&shared_registry_mutex);
    for (SharedPoolEntry* entry = shared_registry; entry != nullptr; entry = entry->next) {
        if (entry->stride == stride && entry->flags == flags) {
            entry->use_count += 1;
            return entry->pool;
        }
    }
    auto* entry = static_cast<SharedPoolEntry*>(mem_alloc_zeroed(sizeof(SharedPoolEntry)));
    if (entry == nullptr) return nullptr;
    BlockPool* pool = private_pool_create(stride, minimum, maximum, flags & ~POOL_SHARED);
    if (pool == nullptr) {
        mem_free(entry);
        return nullptr;
    }
    pool->shared_entry = entry;
    entry->pool = pool;
    entry->stride = stride;
    entry->flags = flags;
    entry->use_count = 1;
    entry->next = shared_registry;
    if (shared_registry != nullptr) shared_registry->previous = entry;
    shared_registry = entry;
    return pool;
}

void* pool_alloc(BlockPool* pool) {
    if (pool == nullptr) return nullptr;
    MutexGuard guard(pool_mutex(pool));
    char* slot = nullptr;
    PoolChunk* chunk = pool->open_chunks;
    if (chunk != nullptr) {
        if (chunk->free_count > 0) {
            slot = static_cast<char*>(chunk->free_head);
            void* next_free = nullptr;
            std::memcpy(&next_free, slot, sizeof next_free);
            chunk->free_head = next_free;
            chunk->free_count -= 1;
        } else {
            slot = chunk_slot(chunk, chunk->high_water, pool->stride);
            chunk->high_water += 1;
        }
        if (chunk->free_count == 0 && chunk->high_water >= chunk->capacity) {
            chunk_unlink(&pool->open_chunks, chunk);
            chunk_push(&pool->full_chunks, chunk);
        }
    } else {
        std::int64_t n = next_chunk_size(pool);
        chunk = chunk_allocate(n, pool->stride);
        if (chunk == nullptr && n > 1) {
            n = 1; // last resort before giving up: a chunk of one element
            chunk = chunk_allocate(n, pool->stride);
        }
        if (chunk == nullptr) return nullptr;
        chunk->capacity = static_cast<std::int32_t>(n);
        chunk->high_water = 1;
        chunk->free_count = 0;
        pool->total_elements += n;
        chunk_push(n > 1 ? &pool->open_chunks : &pool->full_chunks, chunk);
        slot = chunk_slot(chunk, 0, pool->stride);
    }
    std::memcpy(slot, &chunk, sizeof chunk);
    return slot + SLOT_HEADER;
}

void* pool_alloc_zeroed(BlockPool* pool) {
    void* element = pool_alloc(pool);
    if (element != nullptr) std::memset(element, 0, static_cast<std::size_t>(pool->stride - SLOT_HEADER));
    return element;
}

void pool_free(BlockPool* pool, void* element) {
    if (pool == nullptr || element == nullptr) return;
    MutexGuard guard(pool_mutex(pool));
    char* slot = static_cast<char*>(element) - SLOT_HEADER;
    PoolChunk* chunk = nullptr;
    std::memcpy(&chunk, slot, sizeof chunk);
    std::memcpy(slot, &chunk->free_head, sizeof(void*));
    chunk->free_head = slot;
    chunk->free_count += 1;
    if (chunk->free_count == chunk->high_water) {
        // Every slot ever handed out is back: the chunk returns to the system.
        chunk_unlink(chunk->capacity == 1 ? &pool->full_chunks : &pool->open_chunks, chunk);
        pool->total_elements -= chunk->capacity;
        sized_free(chunk);
    } else if (chunk->free_count == 1 && chunk->high_water >= chunk->capacity) {
        chunk_unlink(&pool->full_chunks, chunk);
        chunk_push(&pool->open_chunks, chunk);
    }
}

void pool_clear(BlockPool* pool) {
    if (pool == nullptr) return;
    MutexGuard guard(pool_mutex(pool));
    free_chunk_list(pool->full_chunks);
    free_chunk_list(pool->open_chunks);
    pool->full_chunks = nullptr;
    pool->open_chunks = nullptr;
    pool->total_elements = 0;
}

void pool_destroy(BlockPool* pool) {
    if (pool == nullptr) return;
    if (pool->shared_entry == nullptr) {
        private_pool_destroy(pool);
        return;
    }
    MutexGuard guard(&shared_registry_mutex);
    SharedPoolEntry* entry = pool->shared_entry;
    entry->use_count -= 1;
    if (entry->use_count > 0) return;
    pool->shared_entry = nullptr;
    entry->pool = nullptr;
    private_pool_destroy(pool);
    if (entry->previous != nullptr) {
        entry->previous->next = entry->next;
    } else {
        shared_registry = entry->next;
    }
    if (entry->next != nullptr) entry->next->previous = entry->previous;
    mem_free(entry);
}

std::int64_t pool_total_elements(BlockPool* pool) {
    if (pool == nullptr) return 0;
    MutexGuard guard(pool_mutex(pool));
    return pool->total_elements;
}

std::int64_t pool_chunk_count(BlockPool* pool) {
    if (pool == nullptr) return 0;
    MutexGuard guard(pool_mutex(pool));
    return count_chunks(pool->open_chunks) + count_chunks(pool->full_chunks);
}

std::int64_t pool_open_chunk_count(BlockPool* pool) {
    if (pool == nullptr) return 0;
    MutexGuard guard(pool_mutex(pool));
    return count_chunks(pool->open_chunks);
}

std::int64_t pool_full_chunk_count(BlockPool* pool) {
    if (pool == nullptr) return 0;
    MutexGuard guard(pool_mutex(pool));
    return count_chunks(pool->full_chunks);
}

std::int32_t pool_shared_use_count(BlockPool* pool) {
    if (pool == nullptr || pool->shared_entry == nullptr) return 0;
    pthread_once(&shared_registry_once, shared_registry_mutex_init);
    MutexGuard guard(&shared_registry_mutex);
    return pool->shared_entry != nullptr ? pool->shared_entry->use_count : 0;
}
