#include "runtime/image/image_block.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
constexpr std::size_t HUGE_BLOCK_MIN = std::size_t{8} << 20;  // smaller blocks: plain malloc

} // namespace

void* image_block_alloc(std::size_t size) {
    if (size < HUGE_BLOCK_MIN) return std::malloc(size);
    void* block = nullptr;
    if (posix_memalign(&block, HUGE_PAGE, size) != 0) return nullptr;
    madvise(block, size & ~(HUGE_PAGE - 1), MADV_HUGEPAGE);  // a hint; failure changes nothing
    return block;
}
