// Numbered object registry: slots, automatic records, replacement, release,
// freeing order, walks, the number bound and use from several threads.
#include "runtime/core/block_pool.h"
#include "runtime/core/memory.h"
#include "runtime/core/object_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <pthread.h>
#include <vector>

namespace {

// A record of the test kind: the handle word first, as for every kind.
struct Thing {
    std::int64_t handle; // non-zero while the object is live
    std::int64_t value;  // payload
};

// Tables are never destroyed; keeping them here keeps them reachable.
ObjectTable* kept_tables[64];
int kept_count = 0;

ObjectTable* keep(ObjectTable* table) {
    if (kept_count < 64) kept_tables[kept_count++] = table;
    return table;
}

ObjectTable* current_table = nullptr; // table the free procedures act on
std::vector<ObjectId> freed;          // identifiers in the order they were freed

// The free procedure of a well-behaved kind: look the object up, release it.
void free_thing(ObjectId id) {
    freed.push_back(id);
    if (object_lookup(current_table, id) != nullptr) object_release(current_table, id);
}

Thing* make_thing(ObjectTable* table, ObjectId number, std::int64_t value) {
    auto* thing = static_cast<Thing*>(object_allocate(table, number));
    if (thing != nullptr) {
        thing->handle = 1;
        thing->value = value;
    }
    return thing;
}

ObjectId id_of(const void* record) {
    return static_cast<ObjectId>(reinterpret_cast<std::intptr_t>(record));
}

class ObjectTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        table = keep(table_create(sizeof(Thing), 16, free_thing));
        current_table = table;
        freed.clear();
    }
    ObjectTable* table = nullptr;
};

TEST_F(ObjectTableTest, NumberTwentyGrowsTheSlotArrayToThirtySix) {
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->slot_count, 16);
    auto* thing = static_cast<Thing*>(object_allocate(table, 20));
    ASSERT_NE(thing, nullptr);
    EXPECT_EQ(table->slot_count, 36);
    EXPECT_EQ(thing->handle, 0);
    EXPECT_EQ(thing->value, 0);
    EXPECT_EQ(object_lookup(table, 20), nullptr) << "not live until its handle is set";
    thing->handle = 5;
    EXPECT_EQ(object_lookup(table, 20), thing);
    for (ObjectId n = 0; n < 36; ++n) {
        if (n != 20) {
            EXPECT_EQ(object_lookup(table, n), nullptr) << n;
        }
    }
}

TEST_F(ObjectTableTest, ReusingANumberFreesTheOldObjectAndReusesItsBlock) {
    Thing* first = make_thing(table, 3, 42);
    ASSERT_NE(first, nullptr);
    Thing* second = static_cast<Thing*>(object_allocate(table, 3));
    EXPECT_EQ(second, first) << "the record block stays in its slot";
    ASSERT_EQ(freed.size(), 1u);
    EXPECT_EQ(freed[0], 3);
    EXPECT_EQ(second->handle, 0);
    EXPECT_EQ(second->value, 0) << "the record comes back zero-filled";
}

TEST_F(ObjectTableTest, ReleasedNumberLooksUpAsNullButKeepsItsBlock) {
    Thing* thing = make_thing(table, 3, 1);
    object_release(table, 3);
    EXPECT_EQ(object_lookup(table, 3), nullptr);
    EXPECT_EQ(table->slots[3], thing);
    EXPECT_EQ(thing->handle, 0);
    EXPECT_EQ(make_thing(table, 3, 2), thing) << "a later object of the same number reuses it";
}

TEST_F(ObjectTableTest, AutomaticRecordIsFoundByItsAddressUntilReleased) {
    Thing* thing = make_thing(table, AUTO_NUMBER, 9);
    ASSERT_NE(thing, nullptr);
    const ObjectId id = id_of(thing);
    EXPECT_EQ(object_lookup(table, id), thing);
    object_release(table, id);
    EXPECT_EQ(object_lookup(table, id), nullptr);
    object_release(table, id); // a second release finds nothing and does nothing
}

TEST_F(ObjectTableTest, LookupOfWhatIsNoObjectGivesNull) {
    Thing local{1, 0};
    const ObjectId cases[] = {0, -1, -2, 15, 16, 1000000, INT64_MAX, INT64_MIN, id_of(&local)};
    for (ObjectId id : cases)
        EXPECT_EQ(object_lookup(table, id), nullptr) << id;
    make_thing(table, AUTO_NUMBER, 1);
    for (ObjectId id : cases)
        EXPECT_EQ(object_lookup(table, id), nullptr) << id;
    object_release(table, id_of(&local)); // not ours: ignored
    EXPECT_EQ(local.handle, 1);
    EXPECT_EQ(object_lookup(nullptr, 0), nullptr);
}

TEST_F(ObjectTableTest, NumbersAboveTheBoundAreRefused) {
    const struct {
        ObjectId number;
        bool accepted;
    } cases[] = {{-2, false},
                 {OBJECT_NUMBER_MAX + 1, false},
                 {ObjectId{1} << 40, false},
                 {INT64_MAX, false},
                 {OBJECT_NUMBER_MAX, true}};
    for (const auto& c : cases) {
        void* record = object_allocate(table, c.number);
        EXPECT_EQ(record != nullptr, c.accepted) << c.number;
    }
    EXPECT_EQ(table->slot_count, OBJECT_NUMBER_MAX + 16);
}

TEST_F(ObjectTableTest, FreeAllGoesByNumberThenNewestAutomaticFirst) {
    make_thing(table, 5, 0);
    Thing* older = make_thing(table, AUTO_NUMBER, 0);
    make_thing(table, 2, 0);
    Thing* newer = make_thing(table, AUTO_NUMBER, 0);
    object_allocate(table, 7); // a slot whose object was never filled in is not live
    table_free_all(table);
    const std::vector<ObjectId> expected = {2, 5, id_of(newer), id_of(older)};
    EXPECT_EQ(freed, expected);
    EXPECT_EQ(table->automatic, nullptr);
    EXPECT_EQ(object_lookup(table, 2), nullptr);
}

namespace {
// A faulty kind whose free procedure releases nothing.
void free_nothing(ObjectId id) {
    freed.push_back(id);
}

// A kind whose free procedure looks at other objects of its table.
void free_looking_around(ObjectId id) {
    freed.push_back(id);
    for (ObjectId n = 0; n < 4; ++n)
        object_lookup(current_table, n);
    object_release(current_table, id);
}
} // namespace

TEST_F(ObjectTableTest, FreeAllEndsEvenWhenTheFreeProcedureReleasesNothing) {
    ObjectTable* stubborn = keep(table_create(sizeof(Thing), 16, free_nothing));
    make_thing(stubborn, 1, 0);
    make_thing(stubborn, AUTO_NUMBER, 0);
    make_thing(stubborn, AUTO_NUMBER, 0);
    table_free_all(stubborn);
    EXPECT_EQ(freed.size(), 3u);
    EXPECT_EQ(stubborn->automatic, nullptr);
}

TEST_F(ObjectTableTest, FreeProcedureMayReenterTheTableDuringFreeAll) {
    ObjectTable* reentrant = keep(table_create(sizeof(Thing), 16, free_looking_around));
    current_table = reentrant;
    make_thing(reentrant, 0, 0);
    make_thing(reentrant, 3, 0);
    make_thing(reentrant, AUTO_NUMBER, 0);
    table_free_all(reentrant);
    EXPECT_EQ(freed.size(), 3u);
    EXPECT_EQ(object_lookup(reentrant, 3), nullptr);
}

TEST_F(ObjectTableTest, WithoutFreeProcedureFreeAllDoesNothing) {
    ObjectTable* plain = keep(table_create(sizeof(Thing), 4, nullptr));
    Thing* thing = make_thing(plain, 1, 0);
    table_free_all(plain);
    EXPECT_EQ(object_lookup(plain, 1), thing);
}

namespace {
// True when another thread can take the table's mutex right now.
bool unlocked_for_others(ObjectTable* table) {
    struct Probe {
        ObjectTable* table;
        bool taken;
    } probe{table, false};
    pthread_t thread;
    pthread_create(
        &thread, nullptr,
        [](void* raw) -> void* {
            auto* p = static_cast<Probe*>(raw);
            if (pthread_mutex_trylock(&p->table->mutex) == 0) {
                p->taken = true;
                pthread_mutex_unlock(&p->table->mutex);
            }
            return nullptr;
        },
        &probe);
    pthread_join(thread, nullptr);
    return probe.taken;
}
} // namespace

TEST_F(ObjectTableTest, WalkVisitsNumbersThenAutomaticOldestFirstUnderTheLock) {
    make_thing(table, 9, 0);
    Thing* a1 = make_thing(table, AUTO_NUMBER, 0);
    make_thing(table, 1, 0);
    Thing* a2 = make_thing(table, AUTO_NUMBER, 0);
    Thing* a3 = make_thing(table, AUTO_NUMBER, 0);
    a2->handle = 0; // not live: skipped
    std::vector<ObjectId> seen;
    table_iterate_begin(table);
    EXPECT_FALSE(unlocked_for_others(table));
    ObjectId id = 0;
    while (table_iterate_next(table, &id) != nullptr)
        seen.push_back(id);
    const std::vector<ObjectId> expected = {1, 9, id_of(a1), id_of(a3)};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(unlocked_for_others(table)) << "the end of the walk unlocks";

    table_iterate_begin(table);
    EXPECT_NE(table_iterate_next(table, &id), nullptr);
    table_iterate_abort(table);
    EXPECT_TRUE(unlocked_for_others(table)) << "abort unlocks";
}

TEST_F(ObjectTableTest, ReleasingTheWalkNodeDuringAWalkIsSafe) {
    Thing* a1 = make_thing(table, AUTO_NUMBER, 0);
    Thing* a2 = make_thing(table, AUTO_NUMBER, 0);
    Thing* a3 = make_thing(table, AUTO_NUMBER, 0);
    std::vector<ObjectId> seen;
    ObjectId id = 0;
    table_iterate_begin(table);
    while (table_iterate_next(table, &id) != nullptr) {
        seen.push_back(id);
        if (id == id_of(a1)) object_release(table, id_of(a2)); // the next one to visit
    }
    const std::vector<ObjectId> expected = {id_of(a1), id_of(a3)};
    EXPECT_EQ(seen, expected);
}

TEST_F(ObjectTableTest, AllocationFailureGivesNull) {
    mem_fail_after(0);
    void* automatic = object_allocate(table, AUTO_NUMBER);
    void* numbered = object_allocate(table, 4);
    void* grown = object_allocate(table, 100);
    mem_fail_after(-1);
    EXPECT_EQ(automatic, nullptr);
    EXPECT_EQ(numbered, nullptr);
    EXPECT_EQ(grown, nullptr);
    EXPECT_EQ(table->slot_count, 16) << "a failed growth keeps the old array";
    EXPECT_NE(make_thing(table, 4, 0), nullptr);
}

TEST(ObjectTable, CreateClampsDegenerateSizes) {
    ObjectTable* tiny = keep(table_create(0, 0, nullptr));
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(tiny->record_size, 8);
    EXPECT_EQ(tiny->slot_count, 1);
    auto* record = static_cast<std::int64_t*>(object_allocate(tiny, 5));
    ASSERT_NE(record, nullptr);
    *record = 1;
    EXPECT_EQ(object_lookup(tiny, 5), record);
}

namespace {
ObjectTable* once_slot = nullptr;

void* create_once_worker(void*) {
    table_create_once(&once_slot, sizeof(Thing), 16, nullptr);
    return once_slot;
}
} // namespace

TEST(ObjectTable, CreateOnceMakesOneTableForConcurrentFirstUses) {
    pthread_t threads[4];
    for (pthread_t& t : threads)
        pthread_create(&t, nullptr, create_once_worker, nullptr);
    void* results[4];
    for (int i = 0; i < 4; ++i)
        pthread_join(threads[i], &results[i]);
    ASSERT_NE(once_slot, nullptr);
    for (void* r : results)
        EXPECT_EQ(r, once_slot);
    ObjectTable* before = once_slot;
    table_create_once(&once_slot, sizeof(Thing), 16, nullptr);
    EXPECT_EQ(once_slot, before);
}

// Four threads at once: each creates, looks up and frees numbered and
// automatic objects in one shared table while taking and giving back elements
// of one shared locked pool.
namespace {
ObjectTable* shared_table = nullptr;

void release_shared(ObjectId id) {
    object_release(shared_table, id);
}

struct Worker {
    BlockPool* pool; // shared locked pool
    int index;       // 0..3; owns numbers index * 64 .. index * 64 + 63
    int errors;      // wrong records or values seen
};

void* table_and_pool_worker(void* raw) {
    auto* w = static_cast<Worker*>(raw);
    for (int round = 0; round < 400; ++round) {
        void* elements[8];
        for (void*& e : elements) {
            e = pool_alloc(w->pool);
            if (e == nullptr)
                ++w->errors;
            else
                std::memcpy(e, &round, sizeof round);
        }
        const ObjectId number = w->index * 64 + round % 64;
        Thing* numbered = make_thing(shared_table, number, round);
        Thing* automatic = make_thing(shared_table, AUTO_NUMBER, round + 1);
        if (numbered == nullptr || automatic == nullptr) {
            ++w->errors;
            continue;
        }
        auto* found = static_cast<Thing*>(object_lookup(shared_table, number));
        if (found != numbered || found->value != round) ++w->errors;
        found = static_cast<Thing*>(object_lookup(shared_table, id_of(automatic)));
        if (found != automatic || found->value != round + 1) ++w->errors;
        object_release(shared_table, id_of(automatic));
        if (round % 3 == 0) object_release(shared_table, number);
        for (void* e : elements) {
            int value = -1;
            if (e != nullptr) std::memcpy(&value, e, sizeof value);
            if (value != round) ++w->errors;
            pool_free(w->pool, e);
        }
    }
    return nullptr;
}
} // namespace

TEST(ObjectTable, FourThreadsShareATableAndALockedPool) {
    shared_table = keep(table_create(sizeof(Thing), 16, release_shared));
    BlockPool* pool = pool_create(sizeof(int), 16, 65536, POOL_SHARED);
    ASSERT_NE(shared_table, nullptr);
    ASSERT_NE(pool, nullptr);
    Worker workers[4];
    pthread_t threads[4];
    for (int i = 0; i < 4; ++i) {
        workers[i] = {pool, i, 0};
        pthread_create(&threads[i], nullptr, table_and_pool_worker, &workers[i]);
    }
    for (pthread_t t : threads)
        pthread_join(t, nullptr);
    for (const Worker& w : workers)
        EXPECT_EQ(w.errors, 0) << "thread " << w.index;
    EXPECT_EQ(shared_table->automatic, nullptr);
    EXPECT_EQ(pool_total_elements(pool), 0);
    table_free_all(shared_table);
    for (ObjectId n = 0; n < 256; ++n)
        EXPECT_EQ(object_lookup(shared_table, n), nullptr);
    pool_destroy(pool);
}

} // namespace
