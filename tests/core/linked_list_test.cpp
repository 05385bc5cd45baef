// LinkedList: insertion after the current element, selection walks from the
// nearest of first, last and current, the owner's ListField, copies and
// managed element fields.
#include "runtime/core/linked_list.h"

#include "runtime/core/wide_string.h"
#include "support/allocation_failure.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Values of the list front to back (walking the links, not selecting).
std::vector<std::int64_t> values(const LinkedList* list) {
    std::vector<std::int64_t> out;
    for (const ListElement* e = list->first; e != nullptr; e = e->next)
        out.push_back(*reinterpret_cast<const std::int64_t*>(e + 1));
    return out;
}

// Values back to front, to check the backward links too.
std::vector<std::int64_t> values_backward(const LinkedList* list) {
    std::vector<std::int64_t> out;
    for (const ListElement* e = list->last; e != nullptr; e = e->previous)
        out.insert(out.begin(), *reinterpret_cast<const std::int64_t*>(e + 1));
    return out;
}

void add(LinkedList* list, std::int64_t value) {
    auto* data = static_cast<std::int64_t*>(list_add(list));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(*data, 0); // new elements are zeroed
    *data = value;
}

class LinkedListTest : public ::testing::Test {
  protected:
    void SetUp() override { list_ = list_create(sizeof(std::int64_t), &field_, nullptr, 0); }
    void TearDown() override { list_free(list_); }
    ListField field_{};
    LinkedList* list_ = nullptr;
};

TEST_F(LinkedListTest, AddInsertsAfterCurrent) {
    ASSERT_NE(list_, nullptr);
    EXPECT_EQ(field_.list, list_);
    EXPECT_EQ(field_.current, nullptr);
    add(list_, 'P');
    add(list_, 'Q');
    add(list_, 'R');
    EXPECT_EQ(values(list_), (std::vector<std::int64_t>{'P', 'Q', 'R'}));
    EXPECT_EQ(list_->current_index, 2);
    EXPECT_EQ(*static_cast<std::int64_t*>(field_.current), 'R');

    EXPECT_EQ(*static_cast<std::int64_t*>(list_select(list_, 0)), 'P');
    add(list_, 'S');
    EXPECT_EQ(values(list_), (std::vector<std::int64_t>{'P', 'S', 'Q', 'R'}));
    EXPECT_EQ(values_backward(list_), values(list_));
    EXPECT_EQ(list_->current_index, 1);
    EXPECT_EQ(*static_cast<std::int64_t*>(field_.current), 'S');
    EXPECT_EQ(list_->count, 4);
}

TEST_F(LinkedListTest, SelectionOutsideTheListLeavesNoCurrent) {
    for (int v : {1, 2, 3})
        add(list_, v);
    for (std::int64_t index : {-1, 3, 100}) {
        SCOPED_TRACE(index);
        list_select(list_, 1);
        EXPECT_EQ(list_select(list_, index), nullptr);
        EXPECT_EQ(list_->current, nullptr);
        EXPECT_EQ(field_.current, nullptr);
        EXPECT_EQ(list_->position_lost, 1);
    }
    add(list_, 0); // no current element: goes to the front
    EXPECT_EQ(values(list_), (std::vector<std::int64_t>{0, 1, 2, 3}));
    EXPECT_EQ(list_->current_index, 0);
    EXPECT_EQ(*static_cast<std::int64_t*>(list_select(list_, 3)), 3);
}

TEST_F(LinkedListTest, SelectionWalksFromTheNearestStart) {
    for (int v = 0; v < 10; ++v)
        add(list_, v);
    struct Case {
        std::int64_t from; // -1: position lost first
        std::int64_t to;
        std::int64_t steps;
    };
    const Case cases[] = {
        {-1, 7, 2},                        // lost: 7 >= 10 / 2, two steps back from last
        {-1, 2, 2},                        // lost: two steps forward from first
        {-1, 5, 4},                        // lost: 5 is not below 10 / 2, back from last
        {-1, 4, 4},                        // lost: forward from first
        {-1, 0, 0}, {-1, 9, 0}, {3, 5, 2}, // forward from current
        {3, 1, 1},                         // 1 > 2 is false: forward from first
        {3, 2, 1},                         // 2 > 1: back from current
        {3, 3, 0},                         // same index: no step
        {2, 9, 0},                         // forward 7 is not below 1: back from last, 0 steps
        {2, 8, 1},                         // forward 6 is not below 2: one step back from last
        {1, 4, 3},                         // forward 3 < 6: from current
        {8, 0, 0},                         // back 8, 0 > 8 false: from first
        {8, 6, 2},                         // back from current
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
        if (c.from < 0)
            list_select(list_, -1);
        else
            list_select(list_, c.from);
        auto* data = static_cast<std::int64_t*>(list_select(list_, c.to));
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(*data, c.to);
        EXPECT_EQ(list_select_steps(), c.steps);
        EXPECT_EQ(list_->current_index, c.to);
        EXPECT_EQ(field_.current, data);
        EXPECT_EQ(list_->position_lost, 0);
    }
}

TEST_F(LinkedListTest, SteppingThroughCostsOneLinkPerStep) {
    for (int v = 0; v < 100; ++v)
        add(list_, v);
    list_select(list_, 0);
    for (std::int64_t i = 1; i < 100; ++i) {
        ASSERT_EQ(*static_cast<std::int64_t*>(list_select(list_, i)), i);
        ASSERT_LE(list_select_steps(), 1) << i;
    }
    for (std::int64_t i = 98; i >= 0; --i) {
        ASSERT_EQ(*static_cast<std::int64_t*>(list_select(list_, i)), i);
        ASSERT_LE(list_select_steps(), 1) << i;
    }
}

TEST_F(LinkedListTest, ClearAndFree) {
    for (int v = 0; v < 40; ++v)
        add(list_, v); // more than one pool chunk
    list_clear(list_);
    EXPECT_EQ(list_->count, 0);
    EXPECT_EQ(list_->first, nullptr);
    EXPECT_EQ(list_->last, nullptr);
    EXPECT_EQ(field_.current, nullptr);
    EXPECT_EQ(list_select(list_, 0), nullptr);
    add(list_, 5);
    EXPECT_EQ(values(list_), (std::vector<std::int64_t>{5}));

    list_free(list_);
    list_ = nullptr;
    EXPECT_EQ(field_.list, nullptr);
    EXPECT_EQ(field_.current, nullptr);
    list_free(nullptr);
}

TEST_F(LinkedListTest, ListWithoutFieldOwnsItsOwn) {
    LinkedList* own = list_create(4, nullptr, nullptr, 17);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->owns_list_field, 1);
    EXPECT_EQ(own->list_field->list, own);
    EXPECT_EQ(own->parameter, 17);
    EXPECT_EQ(own->element_size, 4 + 16);
    void* data = list_add(own);
    EXPECT_EQ(own->list_field->current, data);
    list_free(own);
}

TEST_F(LinkedListTest, CopyAppendsAfterDestinationCurrent) {
    for (int v : {1, 2, 3})
        add(list_, v);
    ListField target_field{};
    LinkedList* target = list_create(sizeof(std::int64_t), &target_field, nullptr, 0);
    for (int v : {10, 20, 30})
        add(target, v);
    list_select(target, 0);

    EXPECT_EQ(list_copy(list_, target, 0), 1);
    EXPECT_EQ(values(target), (std::vector<std::int64_t>{10, 1, 2, 3, 20, 30}));
    EXPECT_EQ(values_backward(target), values(target));
    EXPECT_EQ(*static_cast<std::int64_t*>(target_field.current), 3);

    EXPECT_EQ(list_copy(list_, target), 1); // the two-argument form clears first
    EXPECT_EQ(values(target), (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(values(list_), (std::vector<std::int64_t>{1, 2, 3}));

    EXPECT_EQ(list_copy(nullptr, target, 0), 0);
    EXPECT_EQ(list_copy(list_, nullptr, 0), 0);
    EXPECT_EQ(list_copy(list_, list_, 0), 1); // into itself: unchanged
    EXPECT_EQ(values(list_), (std::vector<std::int64_t>{1, 2, 3}));

    LinkedList* other_size = list_create(24, nullptr, nullptr, 0);
    EXPECT_EQ(list_copy(list_, other_size, 0), 0);
    EXPECT_EQ(other_size->count, 0);
    list_free(other_size);
    list_free(target);
}

TEST_F(LinkedListTest, ElementsWithStringsAreCopiedAndReleased) {
    struct Named {
        std::int64_t id; // plain payload
        WideChar* name;  // managed string
    };
    static const RecordLayout named_layout[] = {8, LAYOUT_END};
    LinkedList* names = list_create(sizeof(Named), nullptr, named_layout, 0);
    for (int i = 0; i < 3; ++i) {
        auto* n = static_cast<Named*>(list_add(names));
        n->id = i;
        string_assign(&n->name, i == 1 ? nullptr : u"named");
    }
    LinkedList* copy = list_create(sizeof(Named), nullptr, named_layout, 0);
    ASSERT_EQ(list_copy(names, copy, 0), 1);
    for (std::int64_t i = 0; i < 3; ++i) {
        auto* a = static_cast<Named*>(list_select(names, i));
        auto* b = static_cast<Named*>(list_select(copy, i));
        EXPECT_EQ(b->id, i);
        if (i == 1) {
            EXPECT_EQ(b->name, nullptr);
        } else {
            ASSERT_NE(b->name, nullptr);
            EXPECT_NE(b->name, a->name);
            EXPECT_EQ(std::u16string(b->name), u"named");
        }
    }
    list_free(names); // frees the strings (leak sanitizer builds check it)
    list_free(copy);
}

TEST_F(LinkedListTest, AddFailsCleanlyWithoutMemory) {
    LinkedList* fresh = list_create(1000, nullptr, nullptr, 0); // an element size no other list uses
    ASSERT_NE(fresh, nullptr);
    {
        tda_test::AllocationFailureScope no_memory;
        EXPECT_EQ(list_add(fresh), nullptr);
        EXPECT_EQ(list_create(8, nullptr, nullptr, 0), nullptr);
    }
    EXPECT_EQ(fresh->count, 0);
    EXPECT_EQ(fresh->list_field->current, nullptr);
    EXPECT_NE(list_add(fresh), nullptr);
    EXPECT_EQ(fresh->count, 1);
    list_free(fresh);
}

} // namespace
