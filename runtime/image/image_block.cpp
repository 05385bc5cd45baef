#include "runtime/image/image_block.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
constexpr std::size_t HUGE_BLOCK_MIN = std::size_t{8} << 20; // smaller blocks: plain malloc

} // namespace

void* image_block_alloc(std::size_t size) {
    // calloc: a block holds no earlier heap contents. Large blocks come
    // straight from fresh pages, which the system hands out already zeroed,
    // so a full decode pays nothing extra.
    void* block = std::calloc(size == 0 ? 1 : size, 1);
    if (block == nullptr || size < HUGE_BLOCK_MIN) return block;
    // Huge pages for the 2 MiB-aligned stretch inside the block: a hint,
    // failure changes nothing.
    auto start = (reinterpret_cast<std::uintptr_t>(block) + HUGE_PAGE - 1) & ~(std::uintptr_t{HUGE_PAGE} - 1);
    auto end = (reinterpret_cast<std::uintptr_t>(block) + size) & ~(std::uintptr_t{HUGE_PAGE} - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    return block;
}
