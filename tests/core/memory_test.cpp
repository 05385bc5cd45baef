// Memory wrappers, sized blocks and the allocation-failure seam.
#include "runtime/core/memory.h"

#include "support/allocation_failure.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool all_bytes_are(const void* block, std::size_t from, std::size_t to, unsigned char value) {
    auto* p = static_cast<const unsigned char*>(block);
    for (std::size_t i = from; i < to; ++i)
        if (p[i] != value) return false;
    return true;
}

TEST(SizedBlock, ZeroLengthBlocksAreValidAndDistinct) {
    void* a = sized_alloc(0);
    void* b = sized_alloc(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(sized_length(a), 0);
    EXPECT_EQ(static_cast<std::int64_t*>(a)[-1], 0) << "the header sits right before the payload";
    sized_free(a);
    sized_free(b);
    sized_free(nullptr);
}

TEST(SizedBlock, AllocZeroFillsAndRecordsLength) {
    for (std::int64_t n : {1, 7, 8, 100, 4096}) {
        auto* p = static_cast<unsigned char*>(sized_alloc(n));
        ASSERT_NE(p, nullptr) << n;
        EXPECT_EQ(sized_length(p), n);
        EXPECT_TRUE(all_bytes_are(p, 0, static_cast<std::size_t>(n), 0)) << n;
        sized_free(p);
    }
    auto* raw = static_cast<char*>(sized_alloc_raw(16));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(sized_length(raw), 16);
    sized_free(raw);
}

TEST(SizedBlock, NegativeLengthsAndNullPayloadsGiveNull) {
    EXPECT_EQ(sized_alloc(-1), nullptr);
    EXPECT_EQ(sized_alloc_raw(-8), nullptr);
    EXPECT_EQ(sized_resize(nullptr, 10), nullptr);
    EXPECT_EQ(sized_resize_raw(nullptr, 10), nullptr);
    void* p = sized_alloc(4);
    EXPECT_EQ(sized_resize(p, -1), nullptr);
    EXPECT_EQ(sized_length(p), 4) << "a refused resize leaves the block alone";
    sized_free(p);
}

TEST(SizedBlock, ResizeKeepsContentsAndZeroesTheNewTail) {
    auto* p = static_cast<unsigned char*>(sized_alloc_raw(10));
    std::memset(p, 0xAB, 10);
    p = static_cast<unsigned char*>(sized_resize(p, 1000));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(sized_length(p), 1000);
    EXPECT_TRUE(all_bytes_are(p, 0, 10, 0xAB));
    EXPECT_TRUE(all_bytes_are(p, 10, 1000, 0));
    p = static_cast<unsigned char*>(sized_resize(p, 3));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(sized_length(p), 3);
    EXPECT_TRUE(all_bytes_are(p, 0, 3, 0xAB));
    p = static_cast<unsigned char*>(sized_resize_raw(p, 50));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(sized_length(p), 50);
    EXPECT_TRUE(all_bytes_are(p, 0, 3, 0xAB));
    sized_free(p);
}

TEST(MemReallocZeroed, GrowingZeroesTheTailShrinkingZeroesNothing) {
    auto* p = static_cast<unsigned char*>(mem_alloc(32));
    ASSERT_NE(p, nullptr);
    std::memset(p, 0x5A, 32);
    p = static_cast<unsigned char*>(mem_realloc_zeroed(p, 32, 16));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(all_bytes_are(p, 0, 16, 0x5A));
    p = static_cast<unsigned char*>(mem_realloc_zeroed(p, 16, 64));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(all_bytes_are(p, 0, 16, 0x5A));
    EXPECT_TRUE(all_bytes_are(p, 16, 64, 0));
    mem_free(p);
    mem_free(nullptr);

    auto* z = static_cast<unsigned char*>(mem_alloc_zeroed(100));
    ASSERT_NE(z, nullptr);
    EXPECT_TRUE(all_bytes_are(z, 0, 100, 0));
    unsigned char source[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(mem_copy(z, source, 5), z);
    EXPECT_EQ(z[4], 5);
    mem_free(z);
}

TEST(AllocationFailure, CountdownLetsTheGivenNumberSucceedThenFails) {
    tda_test::AllocationFailureScope reset(2);
    void* a = mem_alloc(8);
    void* b = sized_alloc(8);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(mem_alloc(8), nullptr);
    EXPECT_EQ(mem_alloc_zeroed(8), nullptr);
    EXPECT_EQ(sized_alloc(8), nullptr);
    EXPECT_EQ(sized_alloc_raw(8), nullptr);
    mem_fail_after(-1);
    void* c = mem_alloc(8);
    EXPECT_NE(c, nullptr);
    mem_free(a);
    mem_free(c);
    sized_free(b);
}

TEST(AllocationFailure, FailedResizeLeavesTheOldBlockUntouched) {
    auto* p = static_cast<unsigned char*>(sized_alloc_raw(24));
    ASSERT_NE(p, nullptr);
    std::memset(p, 0x77, 24);
    auto* m = static_cast<unsigned char*>(mem_alloc(24));
    ASSERT_NE(m, nullptr);
    std::memset(m, 0x66, 24);
    {
        tda_test::AllocationFailureScope no_memory;
        EXPECT_EQ(sized_resize(p, 4096), nullptr);
        EXPECT_EQ(sized_resize_raw(p, 4096), nullptr);
        EXPECT_EQ(mem_realloc_zeroed(m, 24, 4096), nullptr);
        EXPECT_EQ(mem_realloc(m, 4096), nullptr);
    }
    EXPECT_EQ(sized_length(p), 24);
    EXPECT_TRUE(all_bytes_are(p, 0, 24, 0x77));
    EXPECT_TRUE(all_bytes_are(m, 0, 24, 0x66));
    sized_free(p);
    mem_free(m);
}

} // namespace
