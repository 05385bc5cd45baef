// Numbered object registry.
#include "runtime/core/object_table.h"

#include "runtime/core/memory.h"
#include "runtime/core/mutex_guard.h"

#include <cstring>

namespace {

pthread_mutex_t create_once_mutex; // serialises table_create_once
pthread_once_t create_once_init = PTHREAD_ONCE_INIT;

void create_once_mutex_init() {
    recursive_mutex_init(&create_once_mutex);
}

void* node_record(AutoNode* node) {
    return node + 1;
}

ObjectId node_id(AutoNode* node) {
    return static_cast<ObjectId>(reinterpret_cast<std::intptr_t>(node_record(node)));
}

// A record counts as live while its first word (the toolkit handle) is set.
bool record_live(const void* record) {
    if (record == nullptr) return false;
    std::uint64_t handle = 0;
    std::memcpy(&handle, record, sizeof handle);
    return handle != 0;
}

bool is_slot_number(const ObjectTable* table, ObjectId id) {
    return id >= 0 && id < table->slot_count;
}

// The automatic node whose record has the address id, or null. id is only
// compared, never dereferenced, until it is known to be one of ours.
AutoNode* find_node(const ObjectTable* table, ObjectId id) {
    for (AutoNode* node = table->automatic; node != nullptr; node = node->next) {
        if (node_id(node) == id) return node;
    }
    return nullptr;
}

// New zeroed node of 16 + record size bytes at the head (newest) of the
// automatic list; its record, or null.
void* push_node(ObjectTable* table) {
    auto* node = static_cast<AutoNode*>(sized_alloc(static_cast<std::int64_t>(sizeof(AutoNode)) + table->record_size));
    if (node == nullptr) return nullptr;
    node->next = table->automatic;
    node->previous = nullptr;
    if (table->automatic != nullptr) table->automatic->previous = node;
    table->automatic = node;
    return node_record(node);
}

void unlink_node(ObjectTable* table, AutoNode* node) {
    if (table->walk_node == node) table->walk_node = node->previous; // a walk goes on with the next newer node
    if (node->previous != nullptr) {
        node->previous->next = node->next;
    } else {
        table->automatic = node->next;
    }
    if (node->next != nullptr) node->next->previous = node->previous;
    sized_free(node);
}

} // namespace

ObjectTable* table_create(std::int32_t record_size, std::int32_t growth, ObjectFreeProc free_procedure) {
    if (record_size < 8) record_size = 8;
    if (growth < 1) growth = 1;
    auto* table = static_cast<ObjectTable*>(mem_alloc_zeroed(sizeof(ObjectTable)));
    if (table == nullptr) return nullptr;
    table->slots = static_cast<void**>(sized_alloc(static_cast<std::int64_t>(growth) * sizeof(void*)));
    if (table->slots == nullptr) {
        mem_free(table);
        return nullptr;
    }
    table->record_size = record_size;
    table->growth = growth;
    table->slot_count = growth;
    table->free_procedure = free_procedure;
    recursive_mutex_init(&table->mutex);
    return table;
}

void* object_allocate(ObjectTable* table, ObjectId number) {
    if (table == nullptr) return nullptr;
    MutexGuard guard(&table->mutex);
    if (number == AUTO_NUMBER) return push_node(table);
    if (number < 0 || number > OBJECT_NUMBER_MAX) return nullptr;
    if (number >= table->slot_count) {
        const std::int64_t count = number + table->growth;
        auto* slots = static_cast<void**>(sized_resize(table->slots, count * static_cast<std::int64_t>(sizeof(void*))));
        if (slots == nullptr) return nullptr;
        table->slots = slots;
        table->slot_count = count;
    }
    if (table->slots[number] != nullptr) {
        // The number was used before: free what lives there and reuse its block.
        if (table->free_procedure != nullptr) table->free_procedure(number);
        void* record = table->slots[number]; // re-read: the free procedure may have grown the array
        if (record != nullptr) {
            std::memset(record, 0, static_cast<std::size_t>(table->record_size));
            return record;
        }
    }
    void* record = sized_alloc(table->record_size);
    if (record == nullptr) return nullptr;
    table->slots[number] = record;
    return record;
}

void* object_lookup(ObjectTable* table, ObjectId id) {
    if (table == nullptr) return nullptr;
    MutexGuard guard(&table->mutex);
    if (is_slot_number(table, id)) {
        void* record = table->slots[id];
        return record_live(record) ? record : nullptr;
    }
    AutoNode* node = find_node(table, id);
    if (node == nullptr || !record_live(node_record(node))) return nullptr;
    return node_record(node);
}

void object_release(ObjectTable* table, ObjectId id) {
    if (table == nullptr) return;
    MutexGuard guard(&table->mutex);
    if (is_slot_number(table, id)) {
        void* record = table->slots[id];
        if (record != nullptr) std::memset(record, 0, static_cast<std::size_t>(table->record_size));
        return;
    }
    AutoNode* node = find_node(table, id);
    if (node != nullptr) unlink_node(table, node);
}

void table_free_all(ObjectTable* table) {
    if (table == nullptr || table->free_procedure == nullptr) return;
    MutexGuard guard(&table->mutex);
    // slot_count and slots are re-read each round: the free procedure may
    // re-enter the table.
    for (std::int64_t number = 0; number < table->slot_count; ++number) {
        if (record_live(table->slots[number])) table->free_procedure(number);
    }
    while (table->automatic != nullptr) {
        AutoNode* head = table->automatic;
        table->free_procedure(node_id(head));
        // A record the free procedure did not release (never filled in, for
        // example) is released here, or the loop would never end.
        if (table->automatic == head) unlink_node(table, head);
    }
}

void table_iterate_begin(ObjectTable* table) {
    if (table == nullptr) return;
    pthread_mutex_lock(&table->mutex);
    table->walk_index = 0;
    AutoNode* oldest = table->automatic;
    while (oldest != nullptr && oldest->next != nullptr)
        oldest = oldest->next;
    table->walk_node = oldest;
}

void* table_iterate_next(ObjectTable* table, ObjectId* out_id) {
    if (table == nullptr) return nullptr;
    while (table->walk_index < table->slot_count) {
        const std::int64_t number = table->walk_index++;
        void* record = table->slots[number];
        if (record_live(record)) {
            if (out_id != nullptr) *out_id = number;
            return record;
        }
    }
    while (table->walk_node != nullptr) {
        AutoNode* node = table->walk_node;
        table->walk_node = node->previous;
        if (record_live(node_record(node))) {
            if (out_id != nullptr) *out_id = node_id(node);
            return node_record(node);
        }
    }
    pthread_mutex_unlock(&table->mutex);
    return nullptr;
}

void table_iterate_abort(ObjectTable* table) {
    if (table == nullptr) return;
    table->walk_node = nullptr;
    table->walk_index = table->slot_count;
    pthread_mutex_unlock(&table->mutex);
}

void table_create_once(ObjectTable** slot, std::int32_t record_size, std::int32_t growth,
                       ObjectFreeProc free_procedure) {
    if (slot == nullptr) return;
    pthread_once(&create_once_init, create_once_mutex_init);
    MutexGuard guard(&create_once_mutex);
    if (*slot == nullptr) *slot = table_create(record_size, growth, free_procedure);
}
