// Record layouts: descriptors of the managed fields of a record type (strings
// and containers), so that containers can initialise, deep-copy and release
// records that own such fields. Also the ContainerHooks through which a layout
// reaches the container kinds (arrays, lists, maps).
#pragma once

#include <cstdint>

// A layout is an array of signed 64-bit words read entry by entry until
// LAYOUT_END. An entry starts with a byte offset (>= 0: a WideString field of
// one word at that offset) or with one of the codes below.
using RecordLayout = std::int64_t;

constexpr RecordLayout LAYOUT_END = -1;          // end of the layout
constexpr RecordLayout LAYOUT_RECORD_ARRAY = -2; // count, offset, element size, layout
constexpr RecordLayout LAYOUT_RECORD = -3;       // offset, size, layout
constexpr RecordLayout LAYOUT_ARRAY = -4;        // offset, four array create words (field: 1 word)
constexpr RecordLayout LAYOUT_LIST = -5;         // offset, element data size, layout, parameter (field: 2 words)
constexpr RecordLayout LAYOUT_MAP = -6;      // offset, element size, element type, layout, bucket count (field: 1 word)
constexpr RecordLayout LAYOUT_ARRAY_ND = -7; // offset, d, three array create words, d sizes (field: d + 1 words)

// The word that names a nested layout inside a layout entry.
inline RecordLayout layout_word(const RecordLayout* nested) noexcept {
    return static_cast<RecordLayout>(reinterpret_cast<std::intptr_t>(nested));
}

// Container hooks. A layout knows where a container field lies and which
// parameters it was declared with; the container units know how to build one.
// The create hooks build the container in the record's field (the map and
// list creators store the new container in that field themselves); copy hooks
// add every entry of source to destination; destroy hooks release a container
// and clear the field that owns it.

// Arrays (codes -4 and -7): field is the container word; parameters are the
// create words of the entry (four for -4, three for -7, whose dimension sizes
// are already in the words after the container word).
using ArrayCreateHook = void (*)(void* field, const std::int64_t* parameters, std::int32_t parameter_count);
using ArrayCopyHook = void (*)(void* source, void* destination);
using ArrayDestroyHook = void (*)(void* array);

// Lists (code -5): field is the two-word ListField; returns the new list.
using ListCreateHook = void* (*)(std::int64_t data_size, void* list_field, const RecordLayout* layout,
                                 std::int32_t parameter);
using ListCopyHook = std::int32_t (*)(void* source, void* destination, std::int32_t clear_first);
using ListDestroyHook = void (*)(void* list);

// Maps (code -6): owner_slot is the one-word field; returns the new map.
using MapCreateHook = void* (*)(std::int64_t element_size, std::int32_t element_type, const RecordLayout* layout,
                                void** owner_slot, std::int32_t bucket_count);
using MapCopyHook = std::int32_t (*)(void* source, void* destination, std::int32_t clear_first);
using MapDestroyHook = void (*)(void* map);

// The process-wide hook slots; all start empty (null), and an empty slot makes
// the layout operations skip that step for that kind of field.
struct ContainerHooks {
    ArrayCreateHook array_create;   // arrays: never filled in this system
    ArrayCopyHook array_copy;       //
    ArrayDestroyHook array_destroy; //
    ListCreateHook list_create;     // filled by list_hooks_init
    ListCopyHook list_copy;         //
    ListDestroyHook list_destroy;   //
    MapCreateHook map_create;       // filled by map_hooks_init
    MapCopyHook map_copy;           //
    MapDestroyHook map_destroy;     //
};

// Stores the three array hooks. Called once at start-up, before other threads.
void container_hooks_set_arrays(ArrayCreateHook create, ArrayCopyHook copy, ArrayDestroyHook destroy);

// Stores the three list hooks (list_hooks_init). Start-up only.
void container_hooks_set_lists(ListCreateHook create, ListCopyHook copy, ListDestroyHook destroy);

// Stores the three map hooks (map_hooks_init). Start-up only.
void container_hooks_set_maps(MapCreateHook create, MapCopyHook copy, MapDestroyHook destroy);

// The current hooks (read-only view of the process-wide slots).
const ContainerHooks& container_hooks();

// Deep copy of a record of size bytes from source to destination: plain bytes
// are copied, WideString fields get fresh copies (the destination's old
// strings are freed), container fields are destroyed in the destination and
// rebuilt there from the source's entries. A null layout copies size bytes.
// Nothing happens when destination and source are the same record. The
// destination must hold valid (zeroed or initialised) managed fields.
void layout_copy(void* destination, std::int64_t size, const RecordLayout* layout, const void* source);

// Releases the managed fields of a record: frees its strings and destroys its
// containers, leaving those fields null so that a second clear or a later copy
// into the record frees nothing twice. Null record or layout: nothing.
void layout_clear(void* record, const RecordLayout* layout);

// Creates the container fields of a zeroed record in place. Strings need
// nothing. Null record or layout: nothing.
void layout_init(void* record, const RecordLayout* layout);

// 1 when the layout, at any nesting depth, has a container field (codes -7 to
// -4), else 0; 0 for a null layout.
std::int32_t layout_needs_init(const RecordLayout* layout);
