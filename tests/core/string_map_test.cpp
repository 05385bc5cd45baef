// StringMap: keys, modes, the cursor during iteration with deletion, copies,
// ownership and the container hooks.
#include "runtime/core/string_map.h"

#include "runtime/core/linked_list.h"
#include "runtime/core/record_layout.h"
#include "runtime/core/wide_string.h"
#include "support/allocation_failure.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

using tda_test::u16;

namespace {

struct Item {
    std::int64_t value; // plain payload
    WideChar* name;     // managed string
};
const RecordLayout ITEM_LAYOUT[] = {8, LAYOUT_END};

// Every key of the map in iteration order, through the cursor.
std::vector<std::u16string> keys_in_order(StringMap* map) {
    std::vector<std::u16string> keys;
    map_reset(map);
    while (map_next(map) != nullptr)
        keys.emplace_back(map_current_key(map));
    return keys;
}

class StringMapTest : public ::testing::Test {
  protected:
    void TearDown() override { map_destroy(map_); }
    StringMap* map_ = nullptr;
};

TEST_F(StringMapTest, BucketCountZeroMakesOneWorkingBucket) {
    for (std::int32_t count : {0, -5, 1}) {
        SCOPED_TRACE(count);
        ASSERT_NE(map_create(8, 0, nullptr, &map_, count), nullptr);
        EXPECT_EQ(map_->bucket_count, 1);
        for (const char16_t* key : {u"one", u"two", u"three"})
            *static_cast<std::int64_t*>(map_insert(map_, key, 1)) = string_length(key);
        EXPECT_EQ(map_->entry_count, 3);
        EXPECT_EQ(*static_cast<std::int64_t*>(map_find(map_, u"three")), 5);
        EXPECT_EQ(keys_in_order(map_).size(), 3u);
        map_destroy(map_);
        EXPECT_EQ(map_, nullptr);
    }
}

TEST_F(StringMapTest, FindInEmptyMapAndNullKeyAsEmptyString) {
    ASSERT_NE(map_create(8, 0, nullptr, &map_, 16), nullptr);
    EXPECT_EQ(map_find(map_, u"x"), nullptr);
    EXPECT_EQ(map_find(map_, nullptr), nullptr);
    void* empty = map_insert(map_, u"", 1);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(map_find(map_, nullptr), empty);
    EXPECT_EQ(map_insert(map_, nullptr, 1), empty); // mode 1 finds the empty key
    EXPECT_EQ(map_->entry_count, 1);
    EXPECT_EQ(map_find(nullptr, u"x"), nullptr);
    EXPECT_EQ(map_insert(nullptr, u"x", 0), nullptr);
}

TEST_F(StringMapTest, HashIs65599WithSignedUnits) {
    struct Case {
        const char16_t* key;
        std::int32_t folded;
        std::uint32_t hash;
    };
    const Case cases[] = {
        {u"", 0, 0},
        {u"a", 0, 97},
        {u"ab", 0, 97u * 65599u + 98u},
        {u"abc", 0, (97u * 65599u + 98u) * 65599u + 99u},
        {u"\xFFFF", 0, 0xFFFFFFFFu},    // unit taken as -1
        {u"\x8000", 0, 0xFFFF8000u},    // unit taken as -32768
        {u"AB", 1, 97u * 65599u + 98u}, // folded like the comparison
        {u"\xFFFF", 1, 0xFFFFFFFFu},    // negative units are not folded
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key, c.key + std::char_traits<char16_t>::length(c.key)));
        EXPECT_EQ(map_hash(c.key, c.folded), c.hash);
    }
    EXPECT_EQ(map_hash(nullptr, 0), 0u);
}

TEST_F(StringMapTest, HashOfLongKeysMatchesTheUnitByUnitRule) {
    // Keys of every length around the four-unit steps, units on both sides of 0x8000.
    std::uint32_t seed = 12345;
    auto next_unit = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<char16_t>(1 + (seed >> 8) % 0xFFFF);
    };
    for (int length = 0; length <= 13; ++length) {
        for (int round = 0; round < 20; ++round) {
            std::u16string key;
            for (int i = 0; i < length; ++i)
                key += next_unit();
            std::uint32_t expected = 0;
            for (char16_t u : key)
                expected = expected * 65599u + static_cast<std::uint32_t>(static_cast<std::int16_t>(u));
            EXPECT_EQ(map_hash(key.c_str(), 0), expected) << "length " << length;
        }
    }
}

TEST_F(StringMapTest, InsertModes) {
    ASSERT_NE(map_create(sizeof(std::int64_t), 0, nullptr, &map_, 8), nullptr);
    auto* first = static_cast<std::int64_t*>(map_insert(map_, u"key", 0));
    *first = 11;
    // Mode 1 on a present key: the same element, zeroed.
    auto* again = static_cast<std::int64_t*>(map_insert(map_, u"key", 1));
    EXPECT_EQ(again, first);
    EXPECT_EQ(*again, 0);
    EXPECT_EQ(map_->entry_count, 1);
    *again = 22;
    // Mode 0 on a present key: a second entry, found first.
    auto* second = static_cast<std::int64_t*>(map_insert(map_, u"key", 0));
    ASSERT_NE(second, first);
    EXPECT_EQ(*second, 0);
    *second = 33;
    EXPECT_EQ(map_->entry_count, 2);
    EXPECT_EQ(map_find(map_, u"key"), second);
    // Deleting the newer entry uncovers the older one.
    map_delete_current(map_);
    EXPECT_EQ(*static_cast<std::int64_t*>(map_find(map_, u"key")), 22);
    EXPECT_EQ(map_->entry_count, 1);
}

TEST_F(StringMapTest, DeleteWhileIteratingVisitsEachOnce) {
    // Few buckets so chains are long; delete patterns hit heads, middles and
    // ends of chains and the very first entry visited.
    struct Case {
        int keys;
        int buckets;
        int delete_every; // delete every n-th visited entry (1 = all)
    };
    const Case cases[] = {{3, 1024, 1}, {3, 1, 1}, {50, 7, 1}, {50, 7, 2}, {50, 7, 3}, {64, 1, 2}, {40, 40, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.keys << " keys, " << c.buckets << " buckets, every " << c.delete_every);
        ASSERT_NE(map_create(sizeof(std::int64_t), 0, nullptr, &map_, c.buckets), nullptr);
        for (int i = 0; i < c.keys; ++i)
            *static_cast<std::int64_t*>(map_insert(map_, u16("k" + std::to_string(i)).c_str(), 0)) = i;

        std::map<std::int64_t, int> visits;
        std::vector<std::int64_t> kept;
        int visited = 0;
        map_reset(map_);
        while (auto* value = static_cast<std::int64_t*>(map_next(map_))) {
            ++visits[*value];
            if (visited++ % c.delete_every == 0)
                map_delete_current(map_);
            else
                kept.push_back(*value);
        }
        EXPECT_EQ(visits.size(), static_cast<std::size_t>(c.keys));
        for (const auto& [value, count] : visits)
            EXPECT_EQ(count, 1) << "value " << value;
        EXPECT_EQ(map_->entry_count, static_cast<std::int32_t>(kept.size()));
        for (std::int64_t value : kept)
            EXPECT_NE(map_find(map_, u16("k" + std::to_string(value)).c_str()), nullptr) << value;
        EXPECT_EQ(keys_in_order(map_).size(), kept.size());
        map_destroy(map_);
    }
}

TEST_F(StringMapTest, IterationEndsUntilReset) {
    ASSERT_NE(map_create(8, 0, nullptr, &map_, 4), nullptr);
    map_insert(map_, u"a", 0);
    map_insert(map_, u"b", 0);
    map_reset(map_);
    int n = 0;
    while (map_next(map_) != nullptr)
        ++n;
    EXPECT_EQ(n, 2);
    EXPECT_EQ(map_next(map_), nullptr);
    EXPECT_EQ(map_delete_current(map_), nullptr); // no current entry
    EXPECT_EQ(keys_in_order(map_).size(), 2u);
}

TEST_F(StringMapTest, IterationOrderIsBucketOrderNewestFirst) {
    ASSERT_NE(map_create(8, 0, nullptr, &map_, 1), nullptr);
    for (const char16_t* key : {u"x", u"y", u"z"})
        map_insert(map_, key, 0);
    EXPECT_EQ(keys_in_order(map_), (std::vector<std::u16string>{u"z", u"y", u"x"}));
}

TEST_F(StringMapTest, DeleteAfterFindThenResetIterates) {
    ASSERT_NE(map_create(8, 0, nullptr, &map_, 2), nullptr);
    for (int i = 0; i < 10; ++i)
        map_insert(map_, u16("n" + std::to_string(i)).c_str(), 0);
    for (int i : {5, 0, 9, 3}) {
        ASSERT_NE(map_find(map_, u16("n" + std::to_string(i)).c_str()), nullptr);
        map_delete_current(map_);
        map_delete_current(map_); // the entry before it in its chain, if any
    }
    // Whatever the second deletions removed, the map stays consistent.
    const auto keys = keys_in_order(map_);
    EXPECT_EQ(keys.size(), static_cast<std::size_t>(map_->entry_count));
    for (const auto& key : keys)
        EXPECT_NE(map_find(map_, key.c_str()), nullptr);
}

TEST_F(StringMapTest, CaseInsensitiveKeysShareAnEntry) {
    ASSERT_NE(map_create(8, 0, nullptr, &map_, 64), nullptr);
    ASSERT_EQ(map_set_key_flags(map_, MAP_CASE_INSENSITIVE), 1);
    void* element = map_insert(map_, u"Window-Title", 0);
    for (const char16_t* key : {u"window-title", u"WINDOW-TITLE", u"wINDOW-tITLE"})
        EXPECT_EQ(map_find(map_, key), element);
    EXPECT_EQ(map_find(map_, u"window_title"), nullptr);
    EXPECT_EQ(map_insert(map_, u"WINDOW-title", 1), element);
    EXPECT_EQ(map_set_key_flags(map_, 0), 0); // not while entries exist
}

TEST_F(StringMapTest, CaseInsensitiveBeyondAsciiFindsWhatComparesEqual) {
    // The comparison folds every unit with towlower; the hash folds the same
    // way, so keys that compare equal always land in one chain.
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    ASSERT_NE(map_create(8, 0, nullptr, &map_, 1024), nullptr);
    map_set_key_flags(map_, MAP_CASE_INSENSITIVE);
    void* e_acute = map_insert(map_, u"\u00C9T\u00C9", 0); // ÉTÉ
    void* a_macron = map_insert(map_, u"\u0100", 0);       // Ā
    EXPECT_EQ(map_find(map_, u"\u00E9t\u00E9"), e_acute);
    EXPECT_EQ(map_find(map_, u"\u0101"), a_macron);
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST_F(StringMapTest, IntegerKeysIncludingNegativeOnes) {
    ASSERT_NE(map_create(sizeof(std::int64_t), 0, nullptr, &map_, 7), nullptr);
    ASSERT_EQ(map_set_key_flags(map_, MAP_INTEGER_KEYS), 1);
    const std::int64_t keys[] = {0, 1, -1, 6, -6, 7, -7, 13, -13, INT64_MIN, INT64_MAX, -1000001};
    for (std::int64_t key : keys)
        *static_cast<std::int64_t*>(map_insert_int(map_, key, 1)) = key ^ 0x5A;
    EXPECT_EQ(map_->entry_count, 12);
    for (std::int64_t key : keys) {
        auto* value = static_cast<std::int64_t*>(map_find_int(map_, key));
        ASSERT_NE(value, nullptr) << key;
        EXPECT_EQ(*value, key ^ 0x5A);
        EXPECT_GE(map_->current_bucket, 0);
        EXPECT_LT(map_->current_bucket, 7);
        EXPECT_EQ(map_current_int_key(map_), key);
    }
    EXPECT_EQ(map_find_int(map_, -2), nullptr);
    EXPECT_EQ(map_find(map_, u"1"), nullptr); // string calls do not apply
    map_reset(map_);
    int n = 0;
    while (map_next(map_) != nullptr) {
        map_delete_current(map_);
        ++n;
    }
    EXPECT_EQ(n, 12);
    EXPECT_EQ(map_->entry_count, 0);
}

TEST_F(StringMapTest, OwnerSlotFollowsCreateAndDestroy) {
    StringMap* keeper = map_create(24, 0, nullptr, nullptr, 1); // keeps the shared pool alive
    StringMap* first = map_create(24, 5, nullptr, &map_, 8);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->pool, keeper->pool);
    EXPECT_EQ(map_, first);
    EXPECT_EQ(map_->element_type, 5);
    BlockPool* pool = first->pool;
    const std::int32_t uses = pool_shared_use_count(pool);
    map_insert(first, u"a", 0);
    // Creating on an occupied slot destroys the old map first (its pool use
    // goes away before the new map adds one).
    StringMap* second = map_create(24, 5, nullptr, &map_, 8);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(map_, second);
    EXPECT_EQ(second->pool, pool);
    EXPECT_EQ(pool_shared_use_count(pool), uses);
    EXPECT_EQ(map_find(second, u"a"), nullptr);
    map_destroy(second);
    EXPECT_EQ(map_, nullptr);
    EXPECT_EQ(pool_shared_use_count(pool), uses - 1);
    map_destroy(keeper);
    map_destroy(nullptr);

    // A map without an owner slot works too.
    StringMap* loose = map_create(8, 0, nullptr, nullptr, 4);
    ASSERT_NE(loose, nullptr);
    map_insert(loose, u"x", 0);
    map_destroy(loose);
}

TEST_F(StringMapTest, MapsOfEqualElementSizeShareOneNodePool) {
    StringMap* other = nullptr;
    ASSERT_NE(map_create(40, 0, nullptr, &map_, 8), nullptr);
    ASSERT_NE(map_create(40, 0, nullptr, &other, 8), nullptr);
    EXPECT_EQ(map_->pool, other->pool);
    EXPECT_GE(pool_shared_use_count(map_->pool), 2);
    map_destroy(other);
}

TEST_F(StringMapTest, CopyDeepCopiesElementsAndKeepsSourceCursor) {
    ASSERT_NE(map_create(sizeof(Item), 0, ITEM_LAYOUT, &map_, 16), nullptr);
    for (int i = 0; i < 5; ++i) {
        auto* item = static_cast<Item*>(map_insert(map_, u16("k" + std::to_string(i)).c_str(), 0));
        item->value = i;
        string_assign(&item->name, u16("name" + std::to_string(i)).c_str());
    }
    StringMap* copy = nullptr;
    ASSERT_NE(map_create(sizeof(Item), 0, ITEM_LAYOUT, &copy, 4), nullptr);
    map_insert(copy, u"old", 0);
    EXPECT_EQ(map_copy(map_, copy, 1), 1);

    EXPECT_EQ(copy->entry_count, 5);
    EXPECT_EQ(map_find(copy, u"old"), nullptr);
    for (int i = 0; i < 5; ++i) {
        auto* source = static_cast<Item*>(map_find(map_, u16("k" + std::to_string(i)).c_str()));
        auto* target = static_cast<Item*>(map_find(copy, u16("k" + std::to_string(i)).c_str()));
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(target->value, i);
        EXPECT_NE(target->name, source->name); // its own string
        EXPECT_EQ(std::u16string(target->name), std::u16string(source->name));
    }
    // Without clearing, the copy adds a second entry per key.
    EXPECT_EQ(map_copy(map_, copy, 0), 1);
    EXPECT_EQ(copy->entry_count, 10);
    map_destroy(copy);

    EXPECT_EQ(map_copy(nullptr, map_, 0), 0);
    EXPECT_EQ(map_copy(map_, nullptr, 0), 0);
    EXPECT_EQ(map_copy(map_, map_, 1), 1); // into itself: unchanged
    EXPECT_EQ(map_->entry_count, 5);
}

TEST_F(StringMapTest, CopyLeavesSourceCursorWhereItWas) {
    ASSERT_NE(map_create(8, 0, nullptr, &map_, 3), nullptr);
    for (int i = 0; i < 9; ++i)
        map_insert(map_, u16("c" + std::to_string(i)).c_str(), 0);
    map_reset(map_);
    map_next(map_);
    map_next(map_);
    const std::u16string at(map_current_key(map_));
    StringMap* copy = nullptr;
    ASSERT_NE(map_create(8, 0, nullptr, &copy, 3), nullptr);
    map_copy(map_, copy, 0);
    EXPECT_EQ(std::u16string(map_current_key(map_)), at);
    int rest = 0;
    while (map_next(map_) != nullptr)
        ++rest;
    EXPECT_EQ(rest, 7);
    map_destroy(copy);
}

TEST_F(StringMapTest, CopyRefusesMismatchedMaps) {
    StringMap* other = nullptr;
    ASSERT_NE(map_create(8, 0, nullptr, &map_, 3), nullptr);
    ASSERT_NE(map_create(16, 0, nullptr, &other, 3), nullptr);
    map_insert(map_, u"a", 0);
    EXPECT_EQ(map_copy(map_, other, 0), 0);
    EXPECT_EQ(other->entry_count, 0);
    map_destroy(other);
}

TEST_F(StringMapTest, ClearEmptiesAndStaysUsable) {
    ASSERT_NE(map_create(sizeof(Item), 0, ITEM_LAYOUT, &map_, 8), nullptr);
    for (int i = 0; i < 40; ++i) {
        auto* item = static_cast<Item*>(map_insert(map_, u16("v" + std::to_string(i)).c_str(), 0));
        string_assign(&item->name, u"owned");
    }
    map_clear(map_);
    EXPECT_EQ(map_->entry_count, 0);
    EXPECT_TRUE(keys_in_order(map_).empty());
    EXPECT_EQ(map_find(map_, u"v1"), nullptr);
    EXPECT_NE(map_insert(map_, u"v1", 1), nullptr);
    EXPECT_EQ(map_->entry_count, 1);
}

TEST_F(StringMapTest, InsertFailsCleanlyWhenMemoryRunsOut) {
    ASSERT_NE(map_create(8, 0, nullptr, &map_, 8), nullptr);
    {
        tda_test::AllocationFailureScope no_memory;
        // The key copy cannot be made; the node pool may still have a chunk
        // only after a first insert, so both paths are covered below.
        EXPECT_EQ(map_insert(map_, u"first", 0), nullptr);
    }
    EXPECT_EQ(map_->entry_count, 0);
    ASSERT_NE(map_insert(map_, u"warm", 0), nullptr);
    {
        tda_test::AllocationFailureScope no_memory;
        EXPECT_EQ(map_insert(map_, u"second", 0), nullptr);
    }
    EXPECT_EQ(map_->entry_count, 1);
    EXPECT_EQ(keys_in_order(map_), (std::vector<std::u16string>{u"warm"}));

    StringMap* failed = nullptr;
    {
        tda_test::AllocationFailureScope no_memory;
        EXPECT_EQ(map_create(8, 0, nullptr, &failed, 8), nullptr);
    }
    EXPECT_EQ(failed, nullptr);
}

// Elements that hold containers: the map's layout runs the container hooks.
struct Holder {
    std::int64_t tag;  // plain payload
    StringMap* inner;  // map field
    ListField numbers; // list field
};
const RecordLayout INNER_MAP_LAYOUT[] = {LAYOUT_MAP, 8, 8, 3, 0, 4, LAYOUT_LIST, 16, 8, 0, 0, LAYOUT_END};

TEST_F(StringMapTest, ElementsWithContainerFieldsAreBuiltCopiedAndReleased) {
    map_hooks_init();
    list_hooks_init();
    ASSERT_EQ(layout_needs_init(INNER_MAP_LAYOUT), 1);
    ASSERT_NE(map_create(sizeof(Holder), 0, INNER_MAP_LAYOUT, &map_, 8), nullptr);
    EXPECT_NE(map_->flags & MAP_ELEMENT_NEEDS_INIT, 0);

    auto* holder = static_cast<Holder*>(map_insert(map_, u"h", 0));
    ASSERT_NE(holder->inner, nullptr);
    EXPECT_EQ(holder->inner->owner, &holder->inner);
    EXPECT_EQ(holder->inner->bucket_count, 4);
    ASSERT_NE(holder->numbers.list, nullptr);
    *static_cast<std::int64_t*>(map_insert(holder->inner, u"deep", 0)) = 99;
    *static_cast<std::int64_t*>(list_add(holder->numbers.list)) = 7;
    holder->tag = 1;

    StringMap* copy = nullptr;
    ASSERT_NE(map_create(sizeof(Holder), 0, INNER_MAP_LAYOUT, &copy, 8), nullptr);
    ASSERT_EQ(map_copy(map_, copy, 0), 1);
    auto* copied = static_cast<Holder*>(map_find(copy, u"h"));
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->tag, 1);
    ASSERT_NE(copied->inner, nullptr);
    EXPECT_NE(copied->inner, holder->inner);
    auto* deep = static_cast<std::int64_t*>(map_find(copied->inner, u"deep"));
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(*deep, 99);
    ASSERT_NE(copied->numbers.list, nullptr);
    EXPECT_NE(copied->numbers.list, holder->numbers.list);
    EXPECT_EQ(copied->numbers.list->count, 1);
    EXPECT_EQ(*static_cast<std::int64_t*>(list_select(copied->numbers.list, 0)), 7);

    // Mode 1 on the present key releases the old containers and builds new ones.
    auto* reset = static_cast<Holder*>(map_insert(map_, u"h", 1));
    EXPECT_EQ(reset, holder);
    ASSERT_NE(reset->inner, nullptr);
    EXPECT_EQ(reset->inner->entry_count, 0);
    EXPECT_EQ(reset->numbers.list->count, 0);
    map_destroy(copy); // releases the copied containers (checked by the leak sanitizer builds)
}

} // namespace
