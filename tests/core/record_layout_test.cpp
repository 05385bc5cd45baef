// Record layouts: deep copies, release and initialisation of managed fields,
// and their use of the container hooks.
#include "runtime/core/record_layout.h"
#include "runtime/core/wide_string.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace {

std::u16string text_of(const WideChar* s) {
    return s == nullptr ? std::u16string(u"<null>") : std::u16string(s);
}

// A record with one string between two plain fields.
struct Named {
    std::int64_t before; // plain
    WideChar* name;      // managed string
    std::int64_t after;  // plain
};
const RecordLayout named_layout[] = {offsetof(Named, name), LAYOUT_END};

TEST(RecordLayout, CopyGivesTheDestinationItsOwnString) {
    Named source{11, nullptr, 22};
    string_assign(&source.name, u"Tovami");
    Named destination{};
    layout_copy(&destination, sizeof(Named), named_layout, &source);
    EXPECT_EQ(destination.before, 11);
    EXPECT_EQ(destination.after, 22);
    ASSERT_NE(destination.name, nullptr);
    EXPECT_NE(destination.name, source.name) << "a copy, not the same buffer";
    EXPECT_EQ(text_of(destination.name), u"Tovami");
    string_assign(&source.name, u"changed");
    EXPECT_EQ(text_of(destination.name), u"Tovami");
    layout_clear(&source, named_layout);
    layout_clear(&destination, named_layout);
}

TEST(RecordLayout, NullSourceStringFreesTheOldOneAndLeavesNull) {
    Named source{1, nullptr, 2};
    Named destination{};
    string_assign(&destination.name, u"old text");
    layout_copy(&destination, sizeof(Named), named_layout, &source);
    EXPECT_EQ(destination.name, nullptr);
    EXPECT_EQ(destination.before, 1);
}

TEST(RecordLayout, CopyOntoItselfChangesNothing) {
    Named record{5, nullptr, 6};
    string_assign(&record.name, u"same");
    WideChar* before = record.name;
    layout_copy(&record, sizeof(Named), named_layout, &record);
    EXPECT_EQ(record.name, before);
    EXPECT_EQ(text_of(record.name), u"same");
    layout_clear(&record, named_layout);
}

TEST(RecordLayout, NullLayoutCopiesBytes) {
    unsigned char source[24];
    unsigned char destination[24] = {};
    for (int i = 0; i < 24; ++i)
        source[i] = static_cast<unsigned char>(i + 1);
    layout_copy(destination, 24, nullptr, source);
    EXPECT_EQ(std::memcmp(source, destination, 24), 0);
}

TEST(RecordLayout, ClearFreesStringsOnceEvenWhenRepeated) {
    Named record{};
    string_assign(&record.name, u"x");
    layout_clear(&record, named_layout);
    EXPECT_EQ(record.name, nullptr);
    layout_clear(&record, named_layout); // nothing left to free
    layout_clear(nullptr, named_layout);
    layout_clear(&record, nullptr);
}

// Nested records: a record with an inner record and an array of two records,
// each holding a string.
struct Outer {
    WideChar* title;   // managed string
    std::int32_t code; // plain
    std::int32_t pad;  // plain
    Named inner;       // nested record
    Named items[2];    // record array
    std::int64_t tail; // plain
};
const RecordLayout outer_layout[] = {offsetof(Outer, title),
                                     LAYOUT_RECORD,
                                     offsetof(Outer, inner),
                                     sizeof(Named),
                                     layout_word(named_layout),
                                     LAYOUT_RECORD_ARRAY,
                                     2,
                                     offsetof(Outer, items),
                                     sizeof(Named),
                                     layout_word(named_layout),
                                     LAYOUT_END};

TEST(RecordLayout, NestedRecordsAndRecordArraysAreCopiedDeeply) {
    Outer source{};
    string_assign(&source.title, u"T");
    string_assign(&source.inner.name, u"inner");
    string_assign(&source.items[1].name, u"second");
    source.code = 7;
    source.inner.after = 8;
    source.items[0].before = 9;
    source.tail = 10;
    Outer destination{};
    string_assign(&destination.items[0].name, u"overwritten");
    layout_copy(&destination, sizeof(Outer), outer_layout, &source);

    const struct {
        WideChar* got;
        WideChar* original;
        const char16_t* text;
    } strings[] = {{destination.title, source.title, u"T"},
                   {destination.inner.name, source.inner.name, u"inner"},
                   {destination.items[1].name, source.items[1].name, u"second"}};
    for (const auto& s : strings) {
        EXPECT_EQ(text_of(s.got), s.text);
        EXPECT_NE(s.got, s.original);
    }
    EXPECT_EQ(destination.items[0].name, nullptr);
    EXPECT_EQ(destination.code, 7);
    EXPECT_EQ(destination.inner.after, 8);
    EXPECT_EQ(destination.items[0].before, 9);
    EXPECT_EQ(destination.tail, 10);
    layout_clear(&source, outer_layout);
    layout_clear(&destination, outer_layout);
    EXPECT_EQ(destination.items[1].name, nullptr);
}

// Containers stand-ins that record how the hooks were called.
struct FakeContainer {
    std::int64_t parameters[5]; // what the create hook received
    int entries;                // entries copied in
    void** owner;               // the field that holds it
};
int created = 0;
int destroyed = 0;
int copies = 0;

void* fake_map_create(std::int64_t element_size, std::int32_t element_type, const RecordLayout* layout, void** owner,
                      std::int32_t bucket_count) {
    if (*owner != nullptr) ADD_FAILURE() << "create on an occupied field";
    auto* c = new FakeContainer{{element_size, element_type, layout_word(layout), bucket_count, 0}, 0, owner};
    *owner = c;
    ++created;
    return c;
}

std::int32_t fake_copy(void* source, void* destination, std::int32_t clear_first) {
    EXPECT_EQ(clear_first, 0);
    static_cast<FakeContainer*>(destination)->entries += static_cast<FakeContainer*>(source)->entries;
    ++copies;
    return 1;
}

void fake_destroy(void* container) {
    auto* c = static_cast<FakeContainer*>(container);
    *c->owner = nullptr;
    delete c;
    ++destroyed;
}

void* fake_list_create(std::int64_t data_size, void* list_field, const RecordLayout* layout, std::int32_t parameter) {
    auto** words = static_cast<void**>(list_field);
    auto* c = new FakeContainer{{data_size, layout_word(layout), parameter, 0, 0}, 0, words};
    words[0] = c;
    words[1] = nullptr;
    ++created;
    return c;
}

std::int64_t array_parameters[4];
std::int32_t array_parameter_count = 0;

void fake_array_create(void* field, const std::int64_t* parameters, std::int32_t count) {
    array_parameter_count = count;
    for (int i = 0; i < count; ++i)
        array_parameters[i] = parameters[i];
    auto* c = new FakeContainer{{}, 0, static_cast<void**>(field)};
    *static_cast<void**>(field) = c;
    ++created;
}

void fake_array_copy(void* source, void* destination) {
    fake_copy(source, destination, 0);
}

struct Holder {
    std::int64_t id; // plain
    void* map;       // map field
    void* list[2];   // list field: list and current element
    void* grid[3];   // two-dimensional array: container, then two sizes
    WideChar* label; // managed string
};
const RecordLayout holder_layout[] = {LAYOUT_MAP,
                                      offsetof(Holder, map),
                                      40,
                                      7,
                                      layout_word(named_layout),
                                      64,
                                      LAYOUT_LIST,
                                      offsetof(Holder, list),
                                      24,
                                      0,
                                      3,
                                      LAYOUT_ARRAY_ND,
                                      offsetof(Holder, grid),
                                      2,
                                      101,
                                      102,
                                      103,
                                      4,
                                      5,
                                      offsetof(Holder, label),
                                      LAYOUT_END};

class RecordLayoutHooks : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = container_hooks();
        container_hooks_set_maps(fake_map_create, fake_copy, fake_destroy);
        container_hooks_set_lists(fake_list_create, fake_copy, fake_destroy);
        container_hooks_set_arrays(fake_array_create, fake_array_copy, fake_destroy);
        created = destroyed = copies = 0;
    }
    void TearDown() override {
        container_hooks_set_maps(saved_.map_create, saved_.map_copy, saved_.map_destroy);
        container_hooks_set_lists(saved_.list_create, saved_.list_copy, saved_.list_destroy);
        container_hooks_set_arrays(saved_.array_create, saved_.array_copy, saved_.array_destroy);
    }
    ContainerHooks saved_{};
};

TEST_F(RecordLayoutHooks, InitCreatesEachContainerWithItsDeclaredParameters) {
    Holder h{};
    layout_init(&h, holder_layout);
    EXPECT_EQ(created, 3);
    ASSERT_NE(h.map, nullptr);
    const auto* map = static_cast<FakeContainer*>(h.map);
    EXPECT_EQ(map->parameters[0], 40);
    EXPECT_EQ(map->parameters[1], 7);
    EXPECT_EQ(map->parameters[2], layout_word(named_layout));
    EXPECT_EQ(map->parameters[3], 64);
    ASSERT_NE(h.list[0], nullptr);
    const auto* list = static_cast<FakeContainer*>(h.list[0]);
    EXPECT_EQ(list->parameters[0], 24);
    EXPECT_EQ(list->parameters[1], 0);
    EXPECT_EQ(list->parameters[2], 3);
    ASSERT_NE(h.grid[0], nullptr);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(h.grid[1]), 4) << "dimension sizes are stored after the container";
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(h.grid[2]), 5);
    ASSERT_EQ(array_parameter_count, 3);
    EXPECT_EQ(array_parameters[0], 101);
    EXPECT_EQ(array_parameters[2], 103);
    EXPECT_EQ(h.label, nullptr);
    layout_clear(&h, holder_layout);
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(h.map, nullptr);
    EXPECT_EQ(h.list[0], nullptr);
    EXPECT_EQ(h.grid[0], nullptr);
}

TEST_F(RecordLayoutHooks, CopyRebuildsContainersInTheDestination) {
    Holder source{};
    layout_init(&source, holder_layout);
    static_cast<FakeContainer*>(source.map)->entries = 3;
    static_cast<FakeContainer*>(source.list[0])->entries = 2;
    string_assign(&source.label, u"L");
    source.id = 77;
    Holder destination{};
    layout_init(&destination, holder_layout);
    void* old_map = destination.map;
    created = destroyed = 0;

    layout_copy(&destination, sizeof(Holder), holder_layout, &source);
    EXPECT_EQ(destroyed, 3) << "the destination's own containers go first";
    EXPECT_EQ(created, 3);
    EXPECT_EQ(copies, 3);
    EXPECT_EQ(destination.id, 77);
    ASSERT_NE(destination.map, nullptr);
    EXPECT_NE(destination.map, source.map) << "never the source's container";
    (void)old_map;
    EXPECT_EQ(static_cast<FakeContainer*>(destination.map)->entries, 3);
    EXPECT_EQ(static_cast<FakeContainer*>(destination.list[0])->entries, 2);
    EXPECT_EQ(static_cast<FakeContainer*>(destination.map)->parameters[3], 64);
    EXPECT_EQ(text_of(destination.label), u"L");
    EXPECT_NE(destination.label, source.label);
    layout_clear(&source, holder_layout);
    layout_clear(&destination, holder_layout);
}

TEST_F(RecordLayoutHooks, CopyOfAnEmptyContainerFieldLeavesItEmpty) {
    Holder source{}; // no containers made
    Holder destination{};
    layout_init(&destination, holder_layout);
    layout_copy(&destination, sizeof(Holder), holder_layout, &source);
    EXPECT_EQ(destination.map, nullptr);
    EXPECT_EQ(destination.list[0], nullptr);
    EXPECT_EQ(destination.grid[0], nullptr);
    EXPECT_EQ(created, 3);
    EXPECT_EQ(destroyed, 3);
}

TEST(RecordLayout, WithoutHooksContainerFieldsAreNeverShared) {
    const ContainerHooks& hooks = container_hooks();
    // This test program installs no hooks; one that did would test nothing here.
    ASSERT_EQ(hooks.map_create, nullptr);
    ASSERT_EQ(hooks.list_create, nullptr);
    Holder source{};
    int sentinel = 0;
    source.map = &sentinel;
    Holder destination{};
    layout_copy(&destination, sizeof(Holder), holder_layout, &source);
    EXPECT_EQ(destination.map, nullptr) << "the source's container pointer is not copied as plain bytes";
    layout_init(&destination, holder_layout);
    EXPECT_EQ(destination.map, nullptr);
}

TEST(RecordLayout, NeedsInitOnlyForContainersAtAnyDepth) {
    const RecordLayout strings_only[] = {0, 8, LAYOUT_END};
    const RecordLayout map_layout[] = {LAYOUT_MAP, 0, 8, 0, 0, 1, LAYOUT_END};
    const RecordLayout with_list[] = {8, LAYOUT_LIST, 16, 8, 0, 0, LAYOUT_END};
    const RecordLayout nested_list[] = {LAYOUT_RECORD, 8, 32, layout_word(with_list), LAYOUT_END};
    const RecordLayout nested_strings[] = {LAYOUT_RECORD_ARRAY, 3, 0, 16, layout_word(strings_only), LAYOUT_END};
    const RecordLayout array_in_array[] = {LAYOUT_RECORD_ARRAY, 2, 0, 48, layout_word(holder_layout), LAYOUT_END};
    const RecordLayout plain_array[] = {LAYOUT_ARRAY, 0, 1, 2, 3, 4, LAYOUT_END};
    const struct {
        const RecordLayout* layout;
        std::int32_t expected;
        const char* what;
    } cases[] = {{nullptr, 0, "null"},
                 {named_layout, 0, "one string"},
                 {strings_only, 0, "strings"},
                 {map_layout, 1, "map"},
                 {with_list, 1, "list after a string"},
                 {nested_list, 1, "list in a nested record"},
                 {nested_strings, 0, "strings in a record array"},
                 {array_in_array, 1, "containers in a record array"},
                 {plain_array, 1, "array"}};
    for (const auto& c : cases)
        EXPECT_EQ(layout_needs_init(c.layout), c.expected) << c.what;
}

} // namespace
