// Record layouts: deep copy, release and initialisation of records with
// managed fields, and the process-wide container hooks.
#include "runtime/core/record_layout.h"

#include "runtime/core/wide_string.h"

#include <cstring>

namespace {

ContainerHooks hooks{}; // filled at start-up, read-only afterwards

// One decoded layout entry.
struct LayoutEntry {
    RecordLayout code;         // LAYOUT_* code, or 0 for a WideString field
    std::int64_t offset;       // byte offset of the field in the record
    std::int64_t width;        // bytes the field occupies
    const std::int64_t* words; // the entry's words after the code
    std::int64_t length;       // words of the whole entry, code included
};

const RecordLayout* nested_layout(std::int64_t word) {
    return reinterpret_cast<const RecordLayout*>(static_cast<std::intptr_t>(word));
}

// Decodes the entry at entry; false at LAYOUT_END or at a code that is not a
// layout code (which ends the layout as well).
bool decode(const RecordLayout* entry, LayoutEntry* out) {
    const RecordLayout first = entry[0];
    if (first >= 0) {
        *out = {0, first, 8, entry, 1};
        return true;
    }
    const std::int64_t* w = entry + 1;
    switch (first) {
    case LAYOUT_RECORD_ARRAY:
        *out = {first, w[1], w[0] * w[2], w, 5};
        return true;
    case LAYOUT_RECORD:
        *out = {first, w[0], w[1], w, 4};
        return true;
    case LAYOUT_ARRAY:
        *out = {first, w[0], 8, w, 6};
        return true;
    case LAYOUT_LIST:
        *out = {first, w[0], 16, w, 5};
        return true;
    case LAYOUT_MAP:
        *out = {first, w[0], 8, w, 6};
        return true;
    case LAYOUT_ARRAY_ND:
        *out = {first, w[0], (w[1] + 1) * 8, w, 6 + w[1]};
        return true;
    default:
        return false;
    }
}

void* load_word(const char* field) {
    void* value = nullptr;
    std::memcpy(&value, field, sizeof value);
    return value;
}

void store_word(char* field, const void* value) {
    std::memcpy(field, &value, sizeof value);
}

// Releases the container held in field (if any) through its destroy hook and
// leaves the container word null.
void destroy_container(const LayoutEntry& e, char* field) {
    void* container = load_word(field);
    if (container == nullptr) return;
    switch (e.code) {
    case LAYOUT_ARRAY:
    case LAYOUT_ARRAY_ND:
        if (hooks.array_destroy == nullptr) return;
        hooks.array_destroy(container);
        break;
    case LAYOUT_LIST:
        if (hooks.list_destroy == nullptr) return;
        hooks.list_destroy(container);
        break;
    case LAYOUT_MAP:
        if (hooks.map_destroy == nullptr) return;
        hooks.map_destroy(container);
        break;
    default:
        return;
    }
    store_word(field, nullptr);
}

// Builds a new container in field from the entry's declared parameters; the
// new container (or null).
void* create_container(const LayoutEntry& e, char* field) {
    const std::int64_t* w = e.words;
    switch (e.code) {
    case LAYOUT_ARRAY:
        if (hooks.array_create == nullptr) return nullptr;
        hooks.array_create(field, w + 1, 4);
        return load_word(field);
    case LAYOUT_ARRAY_ND:
        if (hooks.array_create == nullptr) return nullptr;
        hooks.array_create(field, w + 2, 3);
        return load_word(field);
    case LAYOUT_LIST:
        if (hooks.list_create == nullptr) return nullptr;
        return hooks.list_create(w[1], field, nested_layout(w[2]), static_cast<std::int32_t>(w[3]));
    case LAYOUT_MAP:
        if (hooks.map_create == nullptr) return nullptr;
        return hooks.map_create(w[1], static_cast<std::int32_t>(w[2]), nested_layout(w[3]),
                                reinterpret_cast<void**>(field), static_cast<std::int32_t>(w[4]));
    default:
        return nullptr;
    }
}

void copy_container_entries(const LayoutEntry& e, void* source, void* destination) {
    switch (e.code) {
    case LAYOUT_ARRAY:
    case LAYOUT_ARRAY_ND:
        if (hooks.array_copy != nullptr) hooks.array_copy(source, destination);
        break;
    case LAYOUT_LIST:
        if (hooks.list_copy != nullptr) hooks.list_copy(source, destination, 0);
        break;
    case LAYOUT_MAP:
        if (hooks.map_copy != nullptr) hooks.map_copy(source, destination, 0);
        break;
    default:
        break;
    }
}

// Deep copy of one field from src to dst (both point at the field).
void copy_field(const LayoutEntry& e, char* dst, const char* src) {
    switch (e.code) {
    case 0: {
        auto* old_string = static_cast<WideChar*>(load_word(dst));
        string_free(old_string);
        store_word(dst, nullptr);
        const auto* source_string = static_cast<const WideChar*>(load_word(src));
        if (source_string != nullptr) {
            WideChar* copy = nullptr;
            string_init_copy(&copy, source_string);
            store_word(dst, copy);
        }
        return;
    }
    case LAYOUT_RECORD:
        layout_copy(dst, e.words[1], nested_layout(e.words[2]), src);
        return;
    case LAYOUT_RECORD_ARRAY:
        for (std::int64_t i = 0; i < e.words[0]; ++i) {
            const std::int64_t at = i * e.words[2];
            layout_copy(dst + at, e.words[2], nested_layout(e.words[3]), src + at);
        }
        return;
    default:
        break;
    }
    // Container fields: the destination's own container goes, a new one is
    // built with the entry's parameters and receives the source's entries.
    destroy_container(e, dst);
    if (e.code == LAYOUT_ARRAY_ND) std::memcpy(dst + 8, src + 8, static_cast<std::size_t>(e.width - 8));
    void* source_container = load_word(src);
    if (source_container == nullptr) return;
    void* created = create_container(e, dst);
    if (created != nullptr) copy_container_entries(e, source_container, created);
}

} // namespace

void container_hooks_set_arrays(ArrayCreateHook create, ArrayCopyHook copy, ArrayDestroyHook destroy) {
    hooks.array_create = create;
    hooks.array_copy = copy;
    hooks.array_destroy = destroy;
}

void container_hooks_set_lists(ListCreateHook create, ListCopyHook copy, ListDestroyHook destroy) {
    hooks.list_create = create;
    hooks.list_copy = copy;
    hooks.list_destroy = destroy;
}

void container_hooks_set_maps(MapCreateHook create, MapCopyHook copy, MapDestroyHook destroy) {
    hooks.map_create = create;
    hooks.map_copy = copy;
    hooks.map_destroy = destroy;
}

const ContainerHooks& container_hooks() {
    return hooks;
}

void layout_copy(void* destination, std::int64_t size, const RecordLayout* layout, const void* source) {
    if (destination == source || destination == nullptr || source == nullptr || size < 0) return;
    auto* dst = static_cast<char*>(destination);
    const auto* src = static_cast<const char*>(source);
    if (layout == nullptr) {
        std::memcpy(dst, src, static_cast<std::size_t>(size));
        return;
    }
    std::int64_t p = 0; // bytes before p are done
    LayoutEntry e;
    for (const RecordLayout* entry = layout; decode(entry, &e); entry += e.length) {
        if (e.offset > p) std::memcpy(dst + p, src + p, static_cast<std::size_t>(e.offset - p));
        copy_field(e, dst + e.offset, src + e.offset);
        // Never step back: a field that was deep-copied must not be
        // overwritten by a plain copy of the source's pointer.
        if (e.offset + e.width > p) p = e.offset + e.width;
    }
    if (size > p) std::memcpy(dst + p, src + p, static_cast<std::size_t>(size - p));
}

void layout_clear(void* record, const RecordLayout* layout) {
    if (record == nullptr || layout == nullptr) return;
    auto* base = static_cast<char*>(record);
    LayoutEntry e;
    for (const RecordLayout* entry = layout; decode(entry, &e); entry += e.length) {
        char* field = base + e.offset;
        switch (e.code) {
        case 0:
            // The string goes; the word is cleared too, so a later copy or
            // clear of the same record cannot free it a second time.
            string_free(static_cast<WideChar*>(load_word(field)));
            store_word(field, nullptr);
            break;
        case LAYOUT_RECORD:
            layout_clear(field, nested_layout(e.words[2]));
            break;
        case LAYOUT_RECORD_ARRAY:
            for (std::int64_t i = 0; i < e.words[0]; ++i) {
                layout_clear(field + i * e.words[2], nested_layout(e.words[3]));
            }
            break;
        default:
            destroy_container(e, field);
            break;
        }
    }
}

void layout_init(void* record, const RecordLayout* layout) {
    if (record == nullptr || layout == nullptr) return;
    auto* base = static_cast<char*>(record);
    LayoutEntry e;
    for (const RecordLayout* entry = layout; decode(entry, &e); entry += e.length) {
        char* field = base + e.offset;
        switch (e.code) {
        case 0:
            break; // a zeroed string field is the empty string already
        case LAYOUT_RECORD:
            layout_init(field, nested_layout(e.words[2]));
            break;
        case LAYOUT_RECORD_ARRAY:
            for (std::int64_t i = 0; i < e.words[0]; ++i) {
                layout_init(field + i * e.words[2], nested_layout(e.words[3]));
            }
            break;
        case LAYOUT_ARRAY_ND:
            std::memcpy(field + 8, e.words + 5, static_cast<std::size_t>(e.words[1] * 8));
            create_container(e, field);
            break;
        default:
            create_container(e, field);
            break;
        }
    }
}

std::int32_t layout_needs_init(const RecordLayout* layout) {
    if (layout == nullptr) return 0;
    LayoutEntry e;
    for (const RecordLayout* entry = layout; decode(entry, &e); entry += e.length) {
        switch (e.code) {
        case LAYOUT_ARRAY:
        case LAYOUT_LIST:
        case LAYOUT_MAP:
        case LAYOUT_ARRAY_ND:
            return 1;
        case LAYOUT_RECORD:
            if (layout_needs_init(nested_layout(e.words[2])) != 0) return 1;
            break;
        case LAYOUT_RECORD_ARRAY:
            if (layout_needs_init(nested_layout(e.words[3])) != 0) return 1;
            break;
        default:
            break;
        }
    }
    return 0;
}
