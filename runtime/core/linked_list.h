// LinkedList: a doubly linked container of fixed-size elements with a current
// element, moved by index (list_select) or by adding (list_add). Elements come
// from a shared BlockPool; an element layout lets the list initialise, copy
// and release elements that hold strings or containers. A list has no lock:
// its owner serialises access.
#pragma once

#include "runtime/core/block_pool.h"
#include "runtime/core/record_layout.h"

#include <cstdint>

struct LinkedList;

// The two words by which an owner holds a list. The list keeps current up to
// date, so the owner reaches the current element's data without a call.
struct ListField {
    LinkedList* list; // the list, null when none
    void* current;    // data of the current element, null when there is none
};
static_assert(sizeof(ListField) == 16, "a list field is two words");

// Header of one element; the element data follows it.
struct ListElement {
    ListElement* next;     // next element, null at the end
    ListElement* previous; // previous element, null at the front
};
static_assert(sizeof(ListElement) == 16, "element header is two words");

// Bounds of the element pool's chunks.
constexpr std::int32_t LIST_POOL_MIN_CHUNK = 16;
constexpr std::int32_t LIST_POOL_MAX_CHUNK = 65536;

struct LinkedList {
    ListElement* first;              // first element, or null
    ListElement* last;               // last element, or null
    ListElement* current;            // current element, or null
    void** current_slot;             // second word of the ListField, written with current
    std::int64_t count;              // number of elements
    std::int64_t current_index;      // 0-based index of current; meaningful while the position is known
    const RecordLayout* layout;      // managed fields of an element, or null
    BlockPool* pool;                 // where elements come from (shared)
    void* extra_blocks;              // chain of sized blocks freed with the list (first word links the next)
    ListField* list_field;           // the owner's field, or the list's own
    std::int64_t element_size;       // element data size + 16
    std::int32_t parameter;          // kept from creation, unused by the list operations
    std::uint8_t position_lost;      // no current element: the next selection starts from an end
    std::uint8_t elements_need_init; // layout_needs_init of the layout
    std::uint8_t owns_list_field;    // the list allocated its ListField itself
};

// Creates an empty list of elements of data_size bytes. The list is stored in
// field (or in a ListField of its own when field is null) and field->current
// is set to null. Null on allocation failure or a negative size (field is
// left untouched then).
LinkedList* list_create(std::int64_t data_size, ListField* field, const RecordLayout* layout, std::int32_t parameter);

// Data of a new zeroed (and initialised) element inserted after the current
// element, or at the front when there is none; it becomes current. Null when
// no element can be had or the list is null.
void* list_add(LinkedList* list);

// Data of the element at index, which becomes current; null (and no current
// element) for an index outside 0 .. count - 1. Walks from the nearest of
// first, last and the current element.
void* list_select(LinkedList* list, std::int64_t index);

// Removes every element (releasing their managed fields).
void list_clear(LinkedList* list);

// Frees the list, its elements and extra blocks, nulls both words of its
// ListField and frees that field when the list owns it. Null is ignored.
void list_free(LinkedList* list);

// Adds copies of all source elements, in order, after the destination's
// current element (deep copies through the source's layout); the destination
// is cleared first when clear_first is not 0 (the default). Returns 1; 0 when
// either list is null, their element sizes differ or an element cannot be
// had. Copying a list into itself changes nothing.
std::int32_t list_copy(LinkedList* source, LinkedList* destination, std::int32_t clear_first = 1);

// Fills the list slots of the ContainerHooks with list_create, list_copy and
// list_free. Start-up only.
void list_hooks_init();

// Test seam: links followed by the calling thread's last list_select.
std::int64_t list_select_steps();
