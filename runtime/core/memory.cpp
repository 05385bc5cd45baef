// Memory wrappers and sized blocks.
#include "runtime/core/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::int64_t HEADER_BYTES = 8; // payload length in front of every sized block

// Allocations still allowed before the test seam makes them fail; negative
// means never fail.
std::atomic<std::int64_t> g_fail_countdown{-1};

// True when the test seam says this allocation must fail. Consumes one
// success from the countdown otherwise.
bool allocation_denied() {
    std::int64_t left = g_fail_countdown.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (left == 0) return true;
        if (g_fail_countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) return false;
    }
    return false;
}

std::int64_t* header_of(void* payload) {
    return static_cast<std::int64_t*>(payload) - 1;
}

// Header-checked byte count of a block holding n payload bytes; 0 when n is
// out of range.
std::size_t block_bytes(std::int64_t n) {
    if (n < 0 || n > INT64_MAX - HEADER_BYTES) return 0;
    return static_cast<std::size_t>(n + HEADER_BYTES);
}

void* sized_resize_with(void* payload, std::int64_t n, bool zero_fill) {
    if (payload == nullptr) return nullptr;
    std::size_t bytes = block_bytes(n);
    if (bytes == 0) return nullptr;
    std::int64_t* header = header_of(payload);
    std::size_t old_bytes = static_cast<std::size_t>(*header + HEADER_BYTES);
    void* block = zero_fill ? mem_realloc_zeroed(header, old_bytes, bytes) : mem_realloc(header, bytes);
    if (block == nullptr) return nullptr;
    auto* new_header = static_cast<std::int64_t*>(block);
    *new_header = n;
    return new_header + 1;
}

} // namespace

void* mem_alloc_zeroed(std::size_t size) {
    if (allocation_denied()) return nullptr;
    // calloc zero-fills and may hand back pages that are already zero.
    return std::calloc(1, size == 0 ? 1 : size);
}

void* mem_alloc(std::size_t size) {
    if (allocation_denied()) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* mem_realloc_zeroed(void* block, std::size_t old_size, std::size_t new_size) {
    if (allocation_denied()) return nullptr;
    void* grown = std::realloc(block, new_size == 0 ? 1 : new_size);
    if (grown == nullptr) return nullptr;
    if (new_size > old_size) std::memset(static_cast<char*>(grown) + old_size, 0, new_size - old_size);
    return grown;
}

void* mem_realloc(void* block, std::size_t new_size) {
    if (allocation_denied()) return nullptr;
    return std::realloc(block, new_size == 0 ? 1 : new_size);
}

void mem_free(void* block) {
    std::free(block);
}

void* mem_copy(void* destination, const void* source, std::size_t bytes) {
    if (bytes == 0) return destination;
    return std::memcpy(destination, source, bytes);
}

void* sized_alloc(std::int64_t n) {
    std::size_t bytes = block_bytes(n);
    if (bytes == 0) return nullptr;
    auto* header = static_cast<std::int64_t*>(mem_alloc_zeroed(bytes));
    if (header == nullptr) return nullptr;
    *header = n;
    return header + 1;
}

void* sized_alloc_raw(std::int64_t n) {
    std::size_t bytes = block_bytes(n);
    if (bytes == 0) return nullptr;
    auto* header = static_cast<std::int64_t*>(mem_alloc(bytes));
    if (header == nullptr) return nullptr;
    *header = n;
    return header + 1;
}

void* sized_resize(void* payload, std::int64_t n) {
    return sized_resize_with(payload, n, true);
}

void* sized_resize_raw(void* payload, std::int64_t n) {
    return sized_resize_with(payload, n, false);
}

void sized_free(void* payload) {
    if (payload == nullptr) return;
    mem_free(header_of(payload));
}

std::int64_t sized_length(const void* payload) {
    if (payload == nullptr) return 0;
    return static_cast<const std::int64_t*>(payload)[-1];
}

void mem_fail_after(std::int64_t successes) {
    g_fail_countdown.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}
