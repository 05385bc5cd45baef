// StringMap: chained hash table over pooled entries, with a cursor.
#include "runtime/core/string_map.h"

#include "runtime/core/memory.h"
#include "runtime/core/string_functions.h"
#include "runtime/core/wide_string.h"

#include <cstring>
#include <cwctype>

namespace {

constexpr std::uint32_t HASH_MULTIPLIER = 65599;
constexpr WideChar EMPTY_KEY[1] = {0};

// The element lies right after the entry's two header words.
void* element_of(MapEntry* entry) noexcept {
    return entry == nullptr ? nullptr : reinterpret_cast<char*>(entry) + sizeof(MapEntry);
}

// A unit folded the way string_compare_nocase folds it: taken as a signed
// 16-bit value and passed through towlower (negative values come back as
// they are).
std::int32_t fold_unit(WideChar unit) noexcept {
    const auto value = static_cast<std::int16_t>(unit);
    if (value < 0) return value;
    return static_cast<std::int32_t>(std::towlower(static_cast<wint_t>(value)));
}

std::int32_t bucket_of_hash(const StringMap* map, std::uint32_t hash) noexcept {
    const auto count = static_cast<std::uint32_t>(map->bucket_count);
    // The same remainder without a division for power-of-two counts (the
    // binding table has 1024 buckets).
    if ((count & (count - 1)) == 0) return static_cast<std::int32_t>(hash & (count - 1));
    return static_cast<std::int32_t>(hash % count);
}

// Negative keys land in a bucket inside the array (a non-negative remainder).
std::int32_t bucket_of_int(const StringMap* map, std::int64_t key) noexcept {
    std::int64_t remainder = key % map->bucket_count;
    if (remainder < 0) remainder += map->bucket_count;
    return static_cast<std::int32_t>(remainder);
}

bool keys_equal(const StringMap* map, const WideChar* a, const WideChar* b) noexcept {
    if ((map->flags & MAP_CASE_INSENSITIVE) != 0) return string_compare_nocase(a, b) == 0;
    return string_compare(a, b) == 0;
}

// Exact comparison of a stored key (a sized block of 2 * length + 2 bytes)
// with a probe key of known byte size (2 * length + 2).
bool stored_key_equals(const WideChar* stored, const WideChar* key, std::int64_t key_bytes) noexcept {
    return sized_length(stored) == key_bytes && std::memcmp(stored, key, static_cast<std::size_t>(key_bytes)) == 0;
}

// Copy of key in its own sized block of 2 * length + 2 bytes; null on failure.
WideChar* copy_key(const WideChar* key) noexcept {
    const std::int64_t length = string_length(key);
    auto* copy = static_cast<WideChar*>(sized_alloc_raw(2 * length + 2));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, key, static_cast<std::size_t>(2 * length + 2));
    return copy;
}

// Releases what an entry owns and gives its node back to the pool.
void release_entry(StringMap* map, MapEntry* entry) noexcept {
    if ((map->flags & MAP_INTEGER_KEYS) == 0) sized_free(entry->key);
    if (map->layout != nullptr) layout_clear(element_of(entry), map->layout);
    pool_free(map->pool, entry);
}

// Zeroes an element and builds its container fields.
void* fresh_element(StringMap* map, MapEntry* entry) noexcept {
    void* element = element_of(entry);
    std::memset(element, 0, static_cast<std::size_t>(map->element_size));
    if ((map->flags & MAP_ELEMENT_NEEDS_INIT) != 0) layout_init(element, map->layout);
    return element;
}

// Takes a node from the pool and pushes it at the head of its chain; the new
// entry becomes current. Null when no node is left.
MapEntry* push_entry(StringMap* map, std::int32_t bucket) noexcept {
    auto* entry = static_cast<MapEntry*>(pool_alloc(map->pool));
    if (entry == nullptr) return nullptr;
    entry->next = map->buckets[bucket];
    map->buckets[bucket] = entry;
    map->entry_count += 1;
    map->current = entry;
    map->current_bucket = bucket;
    map->previous = nullptr;
    return entry;
}

// The entry becomes current; predecessor is its chain predecessor (or null).
void make_current(StringMap* map, MapEntry* entry, MapEntry* predecessor, std::int32_t bucket) noexcept {
    map->current = entry;
    map->previous = predecessor;
    map->current_bucket = bucket;
    // A deletion right after a lookup then leaves a consistent cursor too.
    map->saved_bucket = bucket;
}

// Chain predecessor of the current entry. The remembered previous entry is
// used when it really links to the current one; otherwise the chain is
// walked, so a stale cursor can never unlink the wrong entry.
MapEntry* predecessor_of_current(StringMap* map) noexcept {
    MapEntry* current = map->current;
    if (map->previous != nullptr && map->previous->next == current) return map->previous;
    MapEntry* walk = map->buckets[map->current_bucket];
    if (walk == current) return nullptr;
    while (walk != nullptr && walk->next != current)
        walk = walk->next;
    return walk;
}

// Bucket of the current entry, found again when the stored one is not it.
bool locate_current_bucket(StringMap* map) noexcept {
    const std::int32_t stored = map->current_bucket;
    auto holds = [map](std::int32_t bucket) {
        for (MapEntry* e = map->buckets[bucket]; e != nullptr; e = e->next)
            if (e == map->current) return true;
        return false;
    };
    if (stored >= 0 && stored < map->bucket_count && holds(stored)) return true;
    for (std::int32_t b = 0; b < map->bucket_count; ++b) {
        if (holds(b)) {
            map->current_bucket = b;
            return true;
        }
    }
    return false;
}

} // namespace

StringMap* map_create(std::int64_t element_size, std::int32_t element_type, const RecordLayout* layout,
                      StringMap** owner, std::int32_t bucket_count) {
    if (owner != nullptr && *owner != nullptr) map_destroy(*owner);
    if (element_size < 0) return nullptr;
    if (bucket_count <= 0) bucket_count = 1;

    auto* map = static_cast<StringMap*>(sized_alloc(sizeof(StringMap)));
    if (map == nullptr) return nullptr;
    map->buckets = static_cast<MapEntry**>(sized_alloc(static_cast<std::int64_t>(bucket_count) * sizeof(MapEntry*)));
    if (map->buckets == nullptr) {
        sized_free(map);
        return nullptr;
    }
    map->element_size = element_size;
    map->element_type = element_type;
    map->layout = layout;
    map->bucket_count = bucket_count;
    map->entry_count = 0;
    map->flags = layout_needs_init(layout) != 0 ? MAP_ELEMENT_NEEDS_INIT : 0;
    map->current = nullptr;
    map->previous = nullptr;
    map->current_bucket = -1;
    map->saved_bucket = -1;
    map->pool = pool_create(element_size + static_cast<std::int64_t>(sizeof(MapEntry)), MAP_POOL_MIN_CHUNK,
                            MAP_POOL_MAX_CHUNK, POOL_SHARED);
    if (map->pool == nullptr) {
        sized_free(map->buckets);
        sized_free(map);
        return nullptr;
    }
    map->owner = owner;
    if (owner != nullptr) *owner = map;
    return map;
}

std::int32_t map_set_key_flags(StringMap* map, std::int32_t flags) {
    if (map == nullptr || map->entry_count != 0) return 0;
    constexpr std::int32_t key_flags = MAP_CASE_INSENSITIVE | MAP_INTEGER_KEYS;
    map->flags = (map->flags & ~key_flags) | (flags & key_flags);
    return 1;
}

namespace {

// Exact-key hash and the key's length in one pass. Four units per step:
// h*M^4 + a*M^3 + b*M^2 + c*M + d is the unit-by-unit value, but only one
// multiply per step depends on the previous one.
std::uint32_t exact_hash(const WideChar* key, std::int64_t* length) noexcept {
    constexpr std::uint32_t M = HASH_MULTIPLIER, M2 = M * M, M3 = M2 * M, M4 = M3 * M;
    auto unit = [](WideChar u) { return static_cast<std::uint32_t>(static_cast<std::int16_t>(u)); };
    std::uint32_t hash = 0;
    const WideChar* p = key;
    while (p[0] != 0 && p[1] != 0 && p[2] != 0 && p[3] != 0) {
        hash = hash * M4 + (unit(p[0]) * M3 + unit(p[1]) * M2) + (unit(p[2]) * M + unit(p[3]));
        p += 4;
    }
    while (*p != 0)
        hash = hash * M + unit(*p++);
    *length = p - key;
    return hash;
}

} // namespace

std::uint32_t map_hash(const WideChar* key, std::int32_t folded) {
    std::uint32_t hash = 0;
    if (key == nullptr) return hash;
    if (folded == 0) {
        std::int64_t length = 0;
        return exact_hash(key, &length);
    }
    for (const WideChar* p = key; *p != 0; ++p) {
        const std::int32_t value = fold_unit(*p);
        if (value == 0) break;
        hash = hash * HASH_MULTIPLIER + static_cast<std::uint32_t>(value);
    }
    return hash;
}

void* map_find(StringMap* map, const WideChar* key) {
    if (map == nullptr || (map->flags & MAP_INTEGER_KEYS) != 0) return nullptr;
    if (key == nullptr) key = EMPTY_KEY;
    const bool exact = (map->flags & MAP_CASE_INSENSITIVE) == 0;
    std::int64_t length = 0;
    const std::uint32_t hash = exact ? exact_hash(key, &length) : map_hash(key, 1);
    const std::int32_t bucket = bucket_of_hash(map, hash);
    const std::int64_t key_bytes = 2 * length + 2;
    MapEntry* passed = nullptr;
    for (MapEntry* entry = map->buckets[bucket]; entry != nullptr; entry = entry->next) {
        if (exact ? stored_key_equals(entry->key, key, key_bytes) : keys_equal(map, entry->key, key)) {
            make_current(map, entry, passed, bucket);
            return element_of(entry);
        }
        passed = entry;
    }
    return nullptr;
}

void* map_insert(StringMap* map, const WideChar* key, std::int32_t mode) {
    if (map == nullptr || (map->flags & MAP_INTEGER_KEYS) != 0) return nullptr;
    if (key == nullptr) key = EMPTY_KEY;
    if (mode == 1) {
        void* found = map_find(map, key);
        if (found != nullptr) {
            if (map->layout != nullptr) layout_clear(found, map->layout);
            return fresh_element(map, map->current);
        }
    }
    WideChar* copy = copy_key(key);
    if (copy == nullptr) return nullptr;
    const std::int32_t bucket = bucket_of_hash(map, map_hash(key, map->flags & MAP_CASE_INSENSITIVE));
    MapEntry* entry = push_entry(map, bucket);
    if (entry == nullptr) {
        sized_free(copy);
        return nullptr;
    }
    entry->key = copy;
    return fresh_element(map, entry);
}

void* map_find_int(StringMap* map, std::int64_t key) {
    if (map == nullptr || (map->flags & MAP_INTEGER_KEYS) == 0) return nullptr;
    const std::int32_t bucket = bucket_of_int(map, key);
    MapEntry* passed = nullptr;
    for (MapEntry* entry = map->buckets[bucket]; entry != nullptr; entry = entry->next) {
        if (entry->int_key == key) {
            make_current(map, entry, passed, bucket);
            return element_of(entry);
        }
        passed = entry;
    }
    return nullptr;
}

void* map_insert_int(StringMap* map, std::int64_t key, std::int32_t mode) {
    if (map == nullptr || (map->flags & MAP_INTEGER_KEYS) == 0) return nullptr;
    if (mode == 1) {
        void* found = map_find_int(map, key);
        if (found != nullptr) {
            if (map->layout != nullptr) layout_clear(found, map->layout);
            return fresh_element(map, map->current);
        }
    }
    MapEntry* entry = push_entry(map, bucket_of_int(map, key));
    if (entry == nullptr) return nullptr;
    entry->int_key = key;
    return fresh_element(map, entry);
}

void* map_delete_current(StringMap* map) {
    if (map == nullptr || map->current == nullptr) return nullptr;
    if (!locate_current_bucket(map)) {
        // The cursor names no entry of this map: forget it.
        map_reset(map);
        return nullptr;
    }
    MapEntry* doomed = map->current;
    MapEntry* predecessor = predecessor_of_current(map);
    if (predecessor == nullptr)
        map->buckets[map->current_bucket] = doomed->next;
    else
        predecessor->next = doomed->next;
    map->entry_count -= 1;

    // The entry visited before the deleted one becomes current again, so the
    // next map_next continues right after the deleted entry.
    map->current = map->previous;
    map->previous = nullptr;
    map->current_bucket = map->current == nullptr && map->saved_bucket < 0 ? -1 : map->saved_bucket;
    if (map->current != nullptr && !locate_current_bucket(map)) map_reset(map);

    release_entry(map, doomed);
    return element_of(map->current);
}

void map_reset(StringMap* map) {
    if (map == nullptr) return;
    map->current = nullptr;
    map->previous = nullptr;
    map->current_bucket = -1;
}

void* map_next(StringMap* map) {
    if (map == nullptr) return nullptr;
    MapEntry* from = map->current;
    map->previous = from;
    map->saved_bucket = map->current_bucket;

    std::int32_t bucket;
    if (from != nullptr) {
        if (from->next != nullptr) {
            map->current = from->next;
            return element_of(map->current);
        }
        bucket = map->current_bucket + 1;
        if (bucket < 0) bucket = 0;
    } else if (map->current_bucket == -1) {
        bucket = 0;
    } else {
        return nullptr; // the iteration is over until map_reset
    }
    for (; bucket < map->bucket_count; ++bucket) {
        if (map->buckets[bucket] != nullptr) {
            map->current = map->buckets[bucket];
            map->current_bucket = bucket;
            return element_of(map->current);
        }
    }
    map->current = nullptr;
    map->current_bucket = map->bucket_count; // past the end: not a reset
    return nullptr;
}

const WideChar* map_current_key(const StringMap* map) {
    if (map == nullptr || map->current == nullptr || (map->flags & MAP_INTEGER_KEYS) != 0) return nullptr;
    return map->current->key;
}

std::int64_t map_current_int_key(const StringMap* map) {
    if (map == nullptr || map->current == nullptr || (map->flags & MAP_INTEGER_KEYS) == 0) return 0;
    return map->current->int_key;
}

void map_clear(StringMap* map) {
    if (map == nullptr) return;
    map_reset(map);
    for (std::int32_t bucket = 0; bucket < map->bucket_count; ++bucket) {
        MapEntry* entry = map->buckets[bucket];
        while (entry != nullptr) {
            MapEntry* next = entry->next;
            release_entry(map, entry);
            entry = next;
        }
        map->buckets[bucket] = nullptr;
    }
    map_reset(map);
    map->saved_bucket = -1;
    map->entry_count = 0;
}

std::int32_t map_copy(StringMap* source, StringMap* destination, std::int32_t clear_first) {
    if (source == nullptr || destination == nullptr) return 0;
    if (source == destination) return 1;
    if (source->element_size != destination->element_size ||
        (source->flags & MAP_INTEGER_KEYS) != (destination->flags & MAP_INTEGER_KEYS))
        return 0;
    if (clear_first != 0) map_clear(destination);

    // Walk the chains directly, in iteration order, so the source's cursor
    // stays where it is.
    const bool integer_keys = (source->flags & MAP_INTEGER_KEYS) != 0;
    std::int32_t result = 1;
    for (std::int32_t bucket = 0; bucket < source->bucket_count; ++bucket) {
        for (MapEntry* entry = source->buckets[bucket]; entry != nullptr; entry = entry->next) {
            void* copy =
                integer_keys ? map_insert_int(destination, entry->int_key, 0) : map_insert(destination, entry->key, 0);
            if (copy == nullptr) {
                result = 0;
                continue;
            }
            layout_copy(copy, source->element_size, source->layout, element_of(entry));
        }
    }
    return result;
}

void map_destroy(StringMap* map) {
    if (map == nullptr) return;
    map_clear(map);
    pool_destroy(map->pool);
    sized_free(map->buckets);
    if (map->owner != nullptr && *map->owner == map) *map->owner = nullptr;
    sized_free(map);
}

void map_hooks_init() {
    container_hooks_set_maps(
        [](std::int64_t element_size, std::int32_t element_type, const RecordLayout* layout, void** owner_slot,
           std::int32_t bucket_count) -> void* {
            return map_create(element_size, element_type, layout, reinterpret_cast<StringMap**>(owner_slot),
                              bucket_count);
        },
        [](void* source, void* destination, std::int32_t clear_first) -> std::int32_t {
            return map_copy(static_cast<StringMap*>(source), static_cast<StringMap*>(destination), clear_first);
        },
        [](void* map) { map_destroy(static_cast<StringMap*>(map)); });
}
