// Makes the runtime's allocations fail for the life of a scope.
#pragma once

#include "runtime/core/memory.h"

#include <cstdint>

namespace tda_test {

// After `successes` further successful allocations every mem_*/sized_*
// allocation returns null, until the scope ends.
class AllocationFailureScope {
  public:
    explicit AllocationFailureScope(std::int64_t successes = 0) { mem_fail_after(successes); }
    ~AllocationFailureScope() { mem_fail_after(-1); }
    AllocationFailureScope(const AllocationFailureScope&) = delete;
    AllocationFailureScope& operator=(const AllocationFailureScope&) = delete;
};

} // namespace tda_test
