// Memory wrappers and sized blocks: the lowest layer every runtime unit
// allocates through. Failures are reported only by null results; nothing here
// prints or aborts.
#pragma once

#include <cstddef>
#include <cstdint>

// malloc(size) with the block zero-filled. Null on failure. Caller frees with
// mem_free.
void* mem_alloc_zeroed(std::size_t size);

// malloc(size); contents undefined. Null on failure.
void* mem_alloc(std::size_t size);

// realloc(block, new_size). When it succeeds and new_size > old_size, bytes
// old_size .. new_size - 1 read as zero. On failure returns null and the old
// block is untouched (still owned by the caller). A null block allocates.
void* mem_realloc_zeroed(void* block, std::size_t old_size, std::size_t new_size);

// realloc(block, new_size) without zero fill; null on failure with the old
// block untouched. A null block allocates.
void* mem_realloc(void* block, std::size_t new_size);

// free(block); null is ignored.
void mem_free(void* block);

// memcpy(destination, source, bytes); returns destination.
void* mem_copy(void* destination, const void* source, std::size_t bytes);

// Sized blocks: an 8-byte header holding the payload length (signed 64-bit)
// followed by the payload. Callers hold the payload address only.

// Block of n + 8 zeroed bytes, header := n; returns the payload. Null on
// failure or for a negative n. n = 0 gives a valid, distinct payload.
void* sized_alloc(std::int64_t n);

// As sized_alloc without zeroing the payload.
void* sized_alloc_raw(std::int64_t n);

// Resizes the block of payload to n payload bytes; bytes past the old length
// read as zero. Returns the new payload (the block may move). A null payload
// or a negative n gives null. On failure returns null and the old block is
// untouched.
void* sized_resize(void* payload, std::int64_t n);

// As sized_resize without zero-filling the new bytes.
void* sized_resize_raw(void* payload, std::int64_t n);

// Frees the block of payload; null is ignored.
void sized_free(void* payload);

// Payload length stored in the header of a sized block (0 for null).
std::int64_t sized_length(const void* payload);

// Test seam: after `successes` further successful allocations, every
// mem_alloc*, mem_realloc_zeroed (and so every sized_* allocation) returns
// null, as if memory had run out. A negative value (the default) turns
// failures off again. Process-wide.
void mem_fail_after(std::int64_t successes);
