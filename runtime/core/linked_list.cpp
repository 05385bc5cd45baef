// LinkedList: pooled, doubly linked elements with a current element that
// selection by index reaches from the nearest of first, last and current.
#include "runtime/core/linked_list.h"

#include "runtime/core/memory.h"

#include <cstring>

namespace {

// Links followed by the calling thread's last list_select (test seam).
thread_local std::int64_t select_steps = 0;

void* data_of(ListElement* element) noexcept {
    return element == nullptr ? nullptr : reinterpret_cast<char*>(element) + sizeof(ListElement);
}

// The current element changes together with the owner's second word.
void set_current(LinkedList* list, ListElement* element) noexcept {
    list->current = element;
    *list->current_slot = data_of(element);
}

ListElement* walk_forward(ListElement* from, std::int64_t steps) noexcept {
    while (from != nullptr && steps > 0) {
        from = from->next;
        ++select_steps;
        --steps;
    }
    return from;
}

ListElement* walk_backward(ListElement* from, std::int64_t steps) noexcept {
    while (from != nullptr && steps > 0) {
        from = from->previous;
        ++select_steps;
        --steps;
    }
    return from;
}

} // namespace

LinkedList* list_create(std::int64_t data_size, ListField* field, const RecordLayout* layout, std::int32_t parameter) {
    if (data_size < 0) return nullptr;
    auto* list = static_cast<LinkedList*>(mem_alloc_zeroed(sizeof(LinkedList)));
    if (list == nullptr) return nullptr;
    if (field == nullptr) {
        field = static_cast<ListField*>(mem_alloc_zeroed(sizeof(ListField)));
        if (field == nullptr) {
            mem_free(list);
            return nullptr;
        }
        list->owns_list_field = 1;
    }
    list->element_size = data_size + static_cast<std::int64_t>(sizeof(ListElement));
    list->pool = pool_create(list->element_size, LIST_POOL_MIN_CHUNK, LIST_POOL_MAX_CHUNK, POOL_SHARED);
    if (list->pool == nullptr) {
        if (list->owns_list_field != 0) mem_free(field);
        mem_free(list);
        return nullptr;
    }
    list->layout = layout;
    list->parameter = parameter;
    list->position_lost = 1;
    list->elements_need_init = layout_needs_init(layout) != 0 ? 1 : 0;
    list->list_field = field;
    list->current_slot = &field->current;
    field->list = list;
    field->current = nullptr;
    return list;
}

void* list_add(LinkedList* list) {
    if (list == nullptr) return nullptr;
    auto* element = static_cast<ListElement*>(pool_alloc(list->pool));
    if (element == nullptr) return nullptr;
    std::memset(element, 0, static_cast<std::size_t>(list->element_size));
    if (list->elements_need_init != 0) layout_init(data_of(element), list->layout);
    list->count += 1;

    ListElement* after = list->current;
    if (after != nullptr) {
        element->previous = after;
        element->next = after->next;
        if (after->next != nullptr) after->next->previous = element;
        after->next = element;
        list->current_index += 1;
    } else {
        element->next = list->first;
        if (list->first != nullptr) list->first->previous = element;
        list->position_lost = 0;
        list->current_index = 0;
    }
    if (element->previous == nullptr) list->first = element;
    if (element->next == nullptr) list->last = element;
    set_current(list, element);
    return data_of(element);
}

void* list_select(LinkedList* list, std::int64_t index) {
    select_steps = 0;
    if (list == nullptr) return nullptr;
    const std::int64_t previous_index = list->current_index;
    list->current_index = index;
    const std::int64_t count = list->count;

    if (index < 0 || index >= count) {
        set_current(list, nullptr);
        list->position_lost = 1;
        return nullptr;
    }

    ListElement* reached;
    if (list->position_lost != 0 || list->current == nullptr) {
        if (index < count / 2)
            reached = walk_forward(list->first, index);
        else
            reached = walk_backward(list->last, count - 1 - index);
    } else if (previous_index < index) {
        const std::int64_t forward = index - previous_index;
        if (forward < count - index)
            reached = walk_forward(list->current, forward);
        else
            reached = walk_backward(list->last, count - 1 - index);
    } else {
        const std::int64_t backward = previous_index - index;
        if (index > backward)
            reached = walk_backward(list->current, backward);
        else
            reached = walk_forward(list->first, index);
    }

    set_current(list, reached);
    list->position_lost = reached == nullptr ? 1 : 0;
    return data_of(reached);
}

void list_clear(LinkedList* list) {
    if (list == nullptr) return;
    ListElement* element = list->first;
    while (element != nullptr) {
        ListElement* next = element->next;
        if (list->layout != nullptr) layout_clear(data_of(element), list->layout);
        pool_free(list->pool, element);
        element = next;
    }
    list->first = nullptr;
    list->last = nullptr;
    set_current(list, nullptr);
    list->count = 0;
    list->position_lost = 1;
}

void list_free(LinkedList* list) {
    if (list == nullptr) return;
    list_clear(list);
    pool_destroy(list->pool);
    ListField* field = list->list_field;
    field->list = nullptr;
    field->current = nullptr;
    void* block = list->extra_blocks;
    while (block != nullptr) {
        void* next = *static_cast<void**>(block);
        sized_free(block);
        block = next;
    }
    if (list->owns_list_field != 0) mem_free(field);
    mem_free(list);
}

std::int32_t list_copy(LinkedList* source, LinkedList* destination, std::int32_t clear_first) {
    if (source == nullptr || destination == nullptr) return 0;
    if (source == destination) return 1;
    if (source->element_size != destination->element_size) return 0;
    if (clear_first != 0) list_clear(destination);
    const std::int64_t data_size = source->element_size - static_cast<std::int64_t>(sizeof(ListElement));
    for (ListElement* element = source->first; element != nullptr; element = element->next) {
        void* copy = list_add(destination);
        if (copy == nullptr) return 0;
        layout_copy(copy, data_size, source->layout, data_of(element));
    }
    return 1;
}

void list_hooks_init() {
    container_hooks_set_lists(
        [](std::int64_t data_size, void* list_field, const RecordLayout* layout, std::int32_t parameter) -> void* {
            return list_create(data_size, static_cast<ListField*>(list_field), layout, parameter);
        },
        [](void* source, void* destination, std::int32_t clear_first) -> std::int32_t {
            return list_copy(static_cast<LinkedList*>(source), static_cast<LinkedList*>(destination), clear_first);
        },
        [](void* list) { list_free(static_cast<LinkedList*>(list)); });
}

std::int64_t list_select_steps() {
    return select_steps;
}
