// Block pools: chunk growth, free lists, return of empty chunks, shared pools.
#include "runtime/core/block_pool.h"
#include "runtime/core/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <pthread.h>
#include <vector>

namespace {

// A private pool destroyed at the end of the scope.
struct ScopedPool {
    BlockPool* pool;
    ScopedPool(std::int64_t size, std::int32_t minimum, std::int32_t maximum, std::int32_t flags)
        : pool(pool_create(size, minimum, maximum, flags)) {}
    ~ScopedPool() { pool_destroy(pool); }
};

} // namespace

TEST(BlockPool, StrideIsSizeRoundedToEightPlusHeader) {
    const struct {
        std::int64_t size;
        std::int64_t stride;
    } cases[] = {{56, 64}, {12, 24}, {0, 8}, {8, 16}, {1, 16}, {57, 72}};
    for (const auto& c : cases) {
        ScopedPool p(c.size, 16, 256, POOL_UNLOCKED);
        ASSERT_NE(p.pool, nullptr);
        EXPECT_EQ(p.pool->stride, c.stride) << "size " << c.size;
    }
}

TEST(BlockPool, RefusesNegativeOrHugeElementSize) {
    EXPECT_EQ(pool_create(-1, 16, 256, POOL_UNLOCKED), nullptr);
    EXPECT_EQ(pool_create(std::int64_t{1} << 40, 16, 256, POOL_UNLOCKED), nullptr);
}

TEST(BlockPool, SixteenElementChunkGoesFullOpenAndFreed) {
    ScopedPool p(56, 16, 256, POOL_UNLOCKED);
    void* elements[16];
    elements[0] = pool_alloc(p.pool);
    ASSERT_NE(elements[0], nullptr);
    EXPECT_EQ(pool_total_elements(p.pool), 16);
    EXPECT_EQ(pool_open_chunk_count(p.pool), 1);
    EXPECT_EQ(pool_full_chunk_count(p.pool), 0);

    for (int i = 1; i < 16; ++i)
        elements[i] = pool_alloc(p.pool);
    EXPECT_EQ(pool_chunk_count(p.pool), 1);
    EXPECT_EQ(pool_open_chunk_count(p.pool), 0) << "16 of 16 handed out: the chunk is full";
    EXPECT_EQ(pool_full_chunk_count(p.pool), 1);
    for (int i = 1; i < 16; ++i) {
        EXPECT_EQ(static_cast<char*>(elements[i]) - static_cast<char*>(elements[i - 1]), 64)
            << "slots lie side by side";
    }

    pool_free(p.pool, elements[7]);
    EXPECT_EQ(pool_open_chunk_count(p.pool), 1) << "one slot free again: back on the open list";
    EXPECT_EQ(pool_full_chunk_count(p.pool), 0);
    EXPECT_EQ(pool_alloc(p.pool), elements[7]) << "a freed slot is handed out before any new chunk";
    EXPECT_EQ(pool_chunk_count(p.pool), 1);

    for (void* e : elements)
        pool_free(p.pool, e);
    EXPECT_EQ(pool_chunk_count(p.pool), 0);
    EXPECT_EQ(pool_total_elements(p.pool), 0);
}

TEST(BlockPool, PartlyUsedChunkIsFreedWhenEveryHandedOutSlotIsBack) {
    ScopedPool p(24, 16, 256, POOL_UNLOCKED);
    void* a = pool_alloc(p.pool);
    void* b = pool_alloc(p.pool);
    void* c = pool_alloc(p.pool);
    pool_free(p.pool, b);
    pool_free(p.pool, a);
    EXPECT_EQ(pool_chunk_count(p.pool), 1);
    pool_free(p.pool, c);
    EXPECT_EQ(pool_chunk_count(p.pool), 0);
    EXPECT_EQ(pool_total_elements(p.pool), 0);
}

TEST(BlockPool, ChunkSizeIsASixteenthOfThePoolWithinTheEventBounds) {
    ScopedPool p(48, 16, 256, POOL_UNLOCKED);
    std::vector<void*> held;
    std::vector<std::pair<std::int64_t, std::int64_t>> chunks; // (total before, new chunk size)
    std::int64_t total = 0;
    while (total < 6000) {
        held.push_back(pool_alloc(p.pool));
        ASSERT_NE(held.back(), nullptr);
        const std::int64_t now = pool_total_elements(p.pool);
        if (now != total) chunks.emplace_back(total, now - total);
        total = now;
    }
    for (const auto& [before, size] : chunks) {
        std::int64_t expected = 16;
        if (before >= 512) expected = 32;
        if (before >= 768) expected = 48;
        if (before >= 1024) expected = 64;
        if (before >= 1280) expected = (before / 16) & ~std::int64_t{15};
        if (before >= 4096) expected = 256;
        EXPECT_EQ(size, expected) << "chunk made at " << before << " elements";
    }
    // The growth points of the event pool: 16 below 512 elements, then 32, 48,
    // 64 ... and 256 from 4096 on.
    const std::pair<std::int64_t, std::int64_t> exact[] = {{0, 16}, {496, 16}, {512, 32}, {768, 48}};
    for (const auto& m : exact) {
        bool seen = false;
        for (const auto& c : chunks)
            seen = seen || c == m;
        EXPECT_TRUE(seen) << "no chunk of " << m.second << " at " << m.first;
    }
    bool seen_64 = false;
    bool seen_256 = false;
    for (const auto& c : chunks) {
        seen_64 = seen_64 || c.second == 64;
        seen_256 = seen_256 || c.second == 256;
        EXPECT_LE(c.second, 256);
        EXPECT_EQ(c.second % 16, 0);
    }
    EXPECT_TRUE(seen_64);
    EXPECT_TRUE(seen_256);
    for (void* e : held)
        pool_free(p.pool, e);
    EXPECT_EQ(pool_total_elements(p.pool), 0);
    EXPECT_EQ(pool_chunk_count(p.pool), 0);
}

TEST(BlockPool, MinimumBelowOneStillMakesChunks) {
    ScopedPool p(8, 0, 0, POOL_UNLOCKED);
    void* a = pool_alloc(p.pool);
    void* b = pool_alloc(p.pool);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(pool_full_chunk_count(p.pool), 2) << "one-element chunks live on the full list";
    pool_free(p.pool, a);
    pool_free(p.pool, b);
    EXPECT_EQ(pool_chunk_count(p.pool), 0);
}

TEST(BlockPool, AllocZeroedClearsTheWholeSlotBody) {
    ScopedPool p(20, 16, 256, POOL_UNLOCKED); // stride 32: 24 bytes of body
    void* keep = pool_alloc(p.pool);
    void* e = pool_alloc(p.pool);
    std::memset(e, 0xAB, 24);
    pool_free(p.pool, e);
    auto* z = static_cast<unsigned char*>(pool_alloc_zeroed(p.pool));
    ASSERT_EQ(static_cast<void*>(z), e);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(z[i], 0) << "byte " << i;
    pool_free(p.pool, z);
    pool_free(p.pool, keep);
}

TEST(BlockPool, ClearFreesEveryChunk) {
    ScopedPool p(16, 16, 256, POOL_UNLOCKED);
    for (int i = 0; i < 40; ++i)
        pool_alloc(p.pool);
    EXPECT_EQ(pool_chunk_count(p.pool), 3);
    pool_clear(p.pool);
    EXPECT_EQ(pool_chunk_count(p.pool), 0);
    EXPECT_EQ(pool_total_elements(p.pool), 0);
    EXPECT_NE(pool_alloc(p.pool), nullptr) << "a cleared pool works again";
    pool_clear(p.pool);
}

TEST(BlockPool, NullArgumentsAreIgnored) {
    EXPECT_EQ(pool_alloc(nullptr), nullptr);
    EXPECT_EQ(pool_alloc_zeroed(nullptr), nullptr);
    pool_free(nullptr, nullptr);
    pool_clear(nullptr);
    pool_destroy(nullptr);
    ScopedPool p(16, 16, 256, POOL_UNLOCKED);
    pool_free(p.pool, nullptr);
    EXPECT_EQ(pool_total_elements(p.pool), 0);
}

TEST(BlockPool, AllocationFailureGivesNullAndLeavesThePoolUsable) {
    ScopedPool p(16, 16, 256, POOL_UNLOCKED);
    mem_fail_after(0);
    void* failed = pool_alloc(p.pool);
    mem_fail_after(-1);
    EXPECT_EQ(failed, nullptr);
    EXPECT_EQ(pool_total_elements(p.pool), 0);
    void* e = pool_alloc(p.pool);
    EXPECT_NE(e, nullptr);
    pool_free(p.pool, e);
}

TEST(BlockPool, SharedPoolsOfEqualStrideAndFlagsAreOne) {
    BlockPool* a = pool_create(40, 16, 65536, POOL_SHARED);
    BlockPool* b = pool_create(40, 16, 65536, POOL_SHARED);
    BlockPool* same_stride = pool_create(33, 16, 65536, POOL_SHARED); // 33 -> 40 as well
    BlockPool* other_flags = pool_create(40, 16, 65536, POOL_SHARED | POOL_UNLOCKED);
    BlockPool* other_size = pool_create(48, 16, 65536, POOL_SHARED);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, same_stride);
    EXPECT_NE(a, other_flags);
    EXPECT_NE(a, other_size);
    EXPECT_EQ(pool_shared_use_count(a), 3);
    EXPECT_EQ(a->locked, 1) << "a shared pool without POOL_UNLOCKED locks itself";
    EXPECT_EQ(other_flags->locked, 0);
    pool_destroy(same_stride);
    pool_destroy(b);
    pool_destroy(a);
    pool_destroy(other_flags);
    pool_destroy(other_size);
}

TEST(BlockPool, SharedPoolSurvivesTheFirstDestroy) {
    BlockPool* first = pool_create(72, 16, 65536, POOL_SHARED);
    BlockPool* second = pool_create(72, 16, 65536, POOL_SHARED);
    ASSERT_EQ(first, second);
    void* e = pool_alloc(first);
    pool_destroy(first);
    EXPECT_EQ(pool_shared_use_count(second), 1);
    EXPECT_EQ(pool_total_elements(second), 16) << "the chunk of the surviving user is still there";
    pool_free(second, e);
    void* again = pool_alloc(second);
    EXPECT_NE(again, nullptr);
    pool_free(second, again);
    pool_destroy(second); // the last use frees the pool and its registry entry

    BlockPool* fresh = pool_create(72, 16, 65536, POOL_SHARED);
    EXPECT_EQ(pool_shared_use_count(fresh), 1) << "a new registration starts with one use";
    pool_destroy(fresh);
}

namespace {

struct PoolWorkerArgs {
    BlockPool* pool;   // shared, locked pool
    std::uint64_t tag; // written into every element this thread holds
    int rounds;        // allocation rounds
    bool corrupt;      // set when an element lost its contents
};

void* pool_worker(void* raw) {
    auto* args = static_cast<PoolWorkerArgs*>(raw);
    void* held[48];
    for (int round = 0; round < args->rounds; ++round) {
        const int n = 1 + (round * 7 + static_cast<int>(args->tag)) % 48;
        for (int i = 0; i < n; ++i) {
            held[i] = pool_alloc(args->pool);
            if (held[i] == nullptr) {
                args->corrupt = true;
                return nullptr;
            }
            const std::uint64_t value = args->tag * 1000 + static_cast<std::uint64_t>(i);
            std::memcpy(held[i], &value, sizeof value);
        }
        for (int i = n - 1; i >= 0; --i) {
            std::uint64_t value = 0;
            std::memcpy(&value, held[i], sizeof value);
            if (value != args->tag * 1000 + static_cast<std::uint64_t>(i)) args->corrupt = true;
            pool_free(args->pool, held[i]);
        }
    }
    return nullptr;
}

} // namespace

TEST(BlockPool, SharedLockedPoolServesFourThreadsAtOnce) {
    BlockPool* pool = pool_create(24, 16, 65536, POOL_SHARED);
    ASSERT_NE(pool, nullptr);
    ASSERT_EQ(pool->locked, 1);
    PoolWorkerArgs args[4];
    pthread_t threads[4];
    for (int t = 0; t < 4; ++t) {
        args[t] = {pool, static_cast<std::uint64_t>(t + 1), 3000, false};
        ASSERT_EQ(pthread_create(&threads[t], nullptr, pool_worker, &args[t]), 0);
    }
    for (pthread_t thread : threads)
        pthread_join(thread, nullptr);
    for (const auto& a : args)
        EXPECT_FALSE(a.corrupt) << "thread " << a.tag;
    EXPECT_EQ(pool_total_elements(pool), 0) << "every chunk went back once all elements were freed";
    EXPECT_EQ(pool_chunk_count(pool), 0);
    pool_destroy(pool);
}
