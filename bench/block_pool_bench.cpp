// BlockPool allocate/free against malloc/free of the same size: a round takes
// 1000 elements and gives them back, last-in-first-out or in a shuffled
// order (the same order for both sides). Measured for a locked pool (the
// shared pools of maps and lists) and an unlocked one (the event queue's).
#include "bench_support.h"

#include "runtime/core/block_pool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int ROUND = 1000;       // elements taken per round
constexpr std::int64_t SIZE = 56; // bytes per element: an event record
constexpr double TARGET = 2.0;

struct Round {
    std::vector<int> free_order; // index of the element freed at each step
    std::vector<void*> slots;    // the round's elements
};

// Fills every element with its index, checks the values read back and that
// no two elements overlap. Empty string when sound.
std::string check_elements(std::vector<void*>& slots) {
    for (int i = 0; i < ROUND; ++i) {
        if (slots[i] == nullptr) {
            return "an allocation failed";
        }
        std::memset(slots[i], i & 0xFF, SIZE);
    }
    for (int i = 0; i < ROUND; ++i) {
        auto* bytes = static_cast<unsigned char*>(slots[i]);
        for (std::int64_t b = 0; b < SIZE; ++b) {
            if (bytes[b] != (i & 0xFF)) {
                return "elements overlap";
            }
        }
    }
    std::vector<char*> sorted;
    for (void* p : slots) {
        sorted.push_back(static_cast<char*>(p));
    }
    std::sort(sorted.begin(), sorted.end());
    for (int i = 1; i < ROUND; ++i) {
        if (sorted[i] - sorted[i - 1] < SIZE) {
            return "elements overlap";
        }
    }
    return "";
}

void register_case(const char* order_name, bool shuffled, const char* pool_name, std::int32_t flags) {
    auto round = std::make_shared<Round>();
    round->slots.assign(ROUND, nullptr);
    for (int i = 0; i < ROUND; ++i) {
        round->free_order.push_back(ROUND - 1 - i);
    }
    if (shuffled) {
        std::mt19937 random(12345);
        std::shuffle(round->free_order.begin(), round->free_order.end(), random);
    }
    std::string name = std::string("pool/") + pool_name + "/" + order_name + "/56B";
    bench_register_pair(
        name, TARGET,
        [round, flags] {
            BlockPool* pool = pool_create(SIZE, 16, 65536, flags);
            if (pool == nullptr) {
                return std::string("pool_create failed");
            }
            for (int i = 0; i < ROUND; ++i) {
                round->slots[i] = pool_alloc(pool);
            }
            std::string diff = check_elements(round->slots);
            for (int i : round->free_order) {
                pool_free(pool, round->slots[i]);
            }
            pool_destroy(pool);
            for (int i = 0; i < ROUND && diff.empty(); ++i) {
                round->slots[i] = std::malloc(SIZE);
            }
            if (diff.empty()) {
                diff = check_elements(round->slots);
                for (void* p : round->slots) {
                    std::free(p);
                }
            }
            return diff;
        },
        [round, flags](benchmark::State& state) {
            BlockPool* pool = pool_create(SIZE, 16, 65536, flags);
            void** slots = round->slots.data();
            const int* order = round->free_order.data();
            for (auto _ : state) {
                for (int i = 0; i < ROUND; ++i) {
                    slots[i] = pool_alloc(pool);
                }
                benchmark::ClobberMemory();
                for (int i = 0; i < ROUND; ++i) {
                    pool_free(pool, slots[order[i]]);
                }
            }
            pool_destroy(pool);
            state.SetItemsProcessed(state.iterations() * ROUND);
        },
        [round](benchmark::State& state) {
            void** slots = round->slots.data();
            const int* order = round->free_order.data();
            for (auto _ : state) {
                for (int i = 0; i < ROUND; ++i) {
                    slots[i] = std::malloc(SIZE);
                }
                benchmark::ClobberMemory();
                for (int i = 0; i < ROUND; ++i) {
                    std::free(slots[order[i]]);
                }
            }
            state.SetItemsProcessed(state.iterations() * ROUND);
        });
}

} // namespace

int main(int argc, char** argv) {
    register_case("lifo", false, "locked", 0);
    register_case("shuffled", true, "locked", 0);
    register_case("lifo", false, "unlocked", POOL_UNLOCKED);
    register_case("shuffled", true, "unlocked", POOL_UNLOCKED);
    bench_note("rounds", "pool rounds: 1000 elements of 56 bytes taken and given back; times are per round");
    return bench_main(argc, argv, "BlockPool");
}
