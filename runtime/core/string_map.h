// StringMap: the runtime's hash table. Entries are keyed by a WideString
// (exact or case-insensitive) or, for MAP_INTEGER_KEYS maps, by a signed
// 64-bit value; each carries a fixed-size element that the map zeroes and,
// through its RecordLayout, initialises, deep-copies and releases. A cursor
// (the current entry) is set by lookups and insertions and advanced by
// map_next, so the entry just found or visited can be deleted in place.
// A map has no lock: its user serialises access (the node pool locks itself).
#pragma once

#include "runtime/core/block_pool.h"
#include "runtime/core/record_layout.h"
#include "runtime/core/types.h"

#include <cstdint>

// Map flags.
constexpr std::int32_t MAP_CASE_INSENSITIVE = 1;   // keys compare (and hash) with towlower folding
constexpr std::int32_t MAP_ELEMENT_NEEDS_INIT = 2; // the layout holds container fields
constexpr std::int32_t MAP_INTEGER_KEYS = 4;       // keys are signed 64-bit values

// Bounds of the node pool's chunks.
constexpr std::int32_t MAP_POOL_MIN_CHUNK = 16;
constexpr std::int32_t MAP_POOL_MAX_CHUNK = 65536;

// One entry, taken from the node pool; the element follows the two words.
struct MapEntry {
    MapEntry* next; // chain link, null at the end of the chain
    union {
        WideChar* key;        // copy of the key (a sized block of 2 * length + 2 bytes)
        std::int64_t int_key; // the key of a MAP_INTEGER_KEYS map
    };
};
static_assert(sizeof(MapEntry) == 16, "entry header is two words");

struct StringMap {
    MapEntry* current;           // cursor: entry last found, inserted or visited; null before the first visit
    MapEntry** buckets;          // sized block of bucket_count chain heads
    MapEntry* previous;          // entry before the current one in its chain, when known
    const RecordLayout* layout;  // managed fields of the element, or null
    std::int32_t current_bucket; // bucket of the current entry; -1 after map_reset
    std::int32_t saved_bucket;   // bucket of the entry that was current before the last map_next
    std::int64_t element_size;   // bytes of one element
    std::int32_t element_type;   // type code of the element, kept for the owner
    std::int32_t bucket_count;   // number of chains, at least 1
    std::int32_t entry_count;    // number of entries
    std::int32_t flags;          // MAP_* flags
    StringMap** owner;           // variable or field that holds the map; nulled by map_destroy
    BlockPool* pool;             // entries: shared pool of element size + 16 bytes
};

// Destroys the map the owner slot holds (if any), then creates an empty map of
// bucket_count chains (at least 1) and stores it in the owner slot (which may
// be null). Flags start as 0 plus MAP_ELEMENT_NEEDS_INIT when the layout has
// container fields. Null on allocation failure or a negative element size
// (the owner slot is then null).
StringMap* map_create(std::int64_t element_size, std::int32_t element_type, const RecordLayout* layout,
                      StringMap** owner, std::int32_t bucket_count);

// Sets MAP_CASE_INSENSITIVE and/or MAP_INTEGER_KEYS on an empty map. Returns 1,
// or 0 (nothing changed) for a null or non-empty map.
std::int32_t map_set_key_flags(StringMap* map, std::int32_t flags);

// Element of the entry with that key (null key = empty string), which becomes
// current; null when absent (the cursor stays). Null for a null map or an
// integer-keyed map.
void* map_find(StringMap* map, const WideChar* key);

// Mode 1: find the key, release and zero its element; add the key when it is
// missing. Mode 0 (or any other): always add a new entry (a present key gets a
// second, newer entry that is found first). The returned element is zeroed
// (and initialised when the layout needs it) and its entry is current. Null
// when no entry or key copy can be had, or for a null or integer-keyed map.
void* map_insert(StringMap* map, const WideChar* key, std::int32_t mode);

// map_find / map_insert for MAP_INTEGER_KEYS maps; null for other maps.
void* map_find_int(StringMap* map, std::int64_t key);
void* map_insert_int(StringMap* map, std::int64_t key, std::int32_t mode);

// Deletes the current entry (key, managed fields, node). The entry visited
// before it becomes current, so a following map_next continues after the
// deleted entry without visiting any entry twice. Returns the new current
// element, or null (also without a current entry). After deleting an entry
// found with map_find, call map_reset before iterating.
void* map_delete_current(StringMap* map);

// Iteration starts again before the first entry.
void map_reset(StringMap* map);

// Element of the next entry in bucket order (newest first within a bucket),
// which becomes current; null at the end (and again after it until map_reset).
void* map_next(StringMap* map);

// Key of the current entry (null without one, or for integer keys). The key
// belongs to the map.
const WideChar* map_current_key(const StringMap* map);

// Integer key of the current entry (0 without one).
std::int64_t map_current_int_key(const StringMap* map);

// Deletes every entry; the map stays usable.
void map_clear(StringMap* map);

// Adds a copy of every source entry to destination (mode 0, in iteration
// order), deep-copying elements with the source's layout; destination is
// cleared first when clear_first is not 0. The source's cursor is kept.
// Returns 1; 0 when either map is null or their element sizes or key kinds
// differ. Copying a map into itself changes nothing.
std::int32_t map_copy(StringMap* source, StringMap* destination, std::int32_t clear_first);

// Frees every entry, the map and its buckets, drops its use of the node pool
// and nulls the owner slot (when it still holds this map). Null is ignored.
void map_destroy(StringMap* map);

// Hash of a key: h = h * 65599 + unit (as signed 16-bit), modulo 2^32. With
// folded not 0 each unit is first folded by towlower, as the case-insensitive
// comparison does, so keys that compare equal share a chain. Null key: 0.
std::uint32_t map_hash(const WideChar* key, std::int32_t folded);

// Fills the map slots of the ContainerHooks with map_create, map_copy and
// map_destroy. Start-up, right before event_queue_init.
void map_hooks_init();
