// String workspace and string variables.
#include "runtime/core/wide_string.h"

#include "runtime/core/memory.h"
#include "runtime/core/thread_slots.h"

#include <pthread.h>

#include <atomic>
#include <cstring>

namespace {

constexpr std::int64_t FRESH_CAPACITY = 16;  // bytes of a new workspace's buffer
constexpr std::int64_t GROWTH_SLACK = 16384; // grown beyond need so pushes rarely reallocate
constexpr std::int64_t BUFFER_SPARE = 10;    // bytes past capacity in a grown buffer
constexpr std::int64_t TERMINATOR_ROOM = 4;  // need must stay below capacity - 4
constexpr std::int64_t VARIABLE_SPARE = 10;  // bytes of a variable's buffer beyond its units
// Offsets are 32-bit: the buffer (capacity + spare) stays below 2^31 bytes.
constexpr std::int64_t MAX_CAPACITY = INT32_MAX - BUFFER_SPARE;

pthread_key_t g_key;
std::atomic<bool> g_key_created{false}; // false: the key was never created (or was deleted)

StringWorkspace* installed() {
    if (!g_key_created.load(std::memory_order_acquire)) return nullptr;
    return static_cast<StringWorkspace*>(pthread_getspecific(g_key));
}

// The exit callback that will free this thread's workspace, when one was
// registered (threads other than the main thread).
thread_local ThreadExitNode* t_release_node = nullptr;

// Exit callback: frees the workspace it was registered with. Runs from the
// exit key's destructor, when the workspace key's value may already have been
// cleared, so the record comes as data rather than from the key.
void release_at_thread_exit(void* data) {
    auto* ws = static_cast<StringWorkspace*>(data);
    if (ws == nullptr) return;
    if (g_key_created.load(std::memory_order_acquire) && pthread_getspecific(g_key) == ws)
        pthread_setspecific(g_key, nullptr);
    t_release_node = nullptr;
    mem_free(ws->buffer);
    mem_free(ws);
}

// Grows the buffer so that need stays below capacity - 4. False (nothing
// changed) when memory runs out or the 32-bit offset range would be left.
bool ensure_room(StringWorkspace* ws, std::int64_t need) {
    if (need < ws->capacity - TERMINATOR_ROOM) return true;
    if (need < 0 || need > MAX_CAPACITY - GROWTH_SLACK) return false;
    std::int64_t capacity = need + GROWTH_SLACK;
    auto* grown = static_cast<char*>(mem_realloc(ws->buffer, static_cast<std::size_t>(capacity + BUFFER_SPARE)));
    if (grown == nullptr) return false;
    ws->buffer = grown;
    ws->capacity = capacity;
    return true;
}

void put_unit(char* place, WideChar unit) {
    std::memcpy(place, &unit, sizeof unit);
}

} // namespace

void workspace_init() {
    if (!g_key_created.load(std::memory_order_acquire)) {
        if (pthread_key_create(&g_key, nullptr) != 0) return;
        g_key_created.store(true, std::memory_order_release);
    }
    if (installed() == nullptr) workspace_create();
}

void workspace_end() {
    if (!g_key_created.load(std::memory_order_acquire)) return;
    g_key_created.store(false, std::memory_order_release);
    pthread_key_delete(g_key);
}

void workspace_ensure() {
    if (!g_key_created.load(std::memory_order_acquire)) {
        workspace_init();
    } else if (installed() == nullptr) {
        workspace_create();
    } else {
        return;
    }
    if (StringWorkspace* ws = installed(); ws != nullptr)
        t_release_node = thread_exit_register(release_at_thread_exit, ws);
}

void workspace_create() {
    if (!g_key_created.load(std::memory_order_acquire)) return;
    auto* ws = static_cast<StringWorkspace*>(mem_alloc_zeroed(sizeof(StringWorkspace)));
    if (ws == nullptr) return;
    ws->buffer = static_cast<char*>(mem_alloc_zeroed(FRESH_CAPACITY));
    if (ws->buffer == nullptr) {
        mem_free(ws);
        return;
    }
    ws->capacity = FRESH_CAPACITY;
    ws->position = 0;
    if (pthread_setspecific(g_key, ws) != 0) {
        mem_free(ws->buffer);
        mem_free(ws);
    }
}

void workspace_free() {
    StringWorkspace* ws = installed();
    if (ws == nullptr) return;
    pthread_setspecific(g_key, nullptr);
    // The exit callback registered for this workspace must not free it again.
    if (t_release_node != nullptr && t_release_node->data == ws) t_release_node->data = nullptr;
    mem_free(ws->buffer);
    mem_free(ws);
}

StringWorkspace* workspace_current() {
    StringWorkspace* ws = installed();
    if (ws != nullptr) return ws;
    workspace_ensure();
    return installed();
}

std::int64_t workspace_position() {
    StringWorkspace* ws = workspace_current();
    return ws == nullptr ? 0 : ws->position;
}

char* workspace_base() {
    StringWorkspace* ws = workspace_current();
    return ws == nullptr ? nullptr : ws->buffer;
}

WideChar* workspace_string_at(std::int64_t offset) {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr) return nullptr;
    return reinterpret_cast<WideChar*>(ws->buffer + offset);
}

WideChar* workspace_top() {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr) return nullptr;
    return reinterpret_cast<WideChar*>(ws->buffer + ws->position);
}

WideChar* workspace_reserve(std::int32_t count, std::int32_t at) {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr || count < 0 || at < -1) return nullptr;
    std::int64_t start = at == -1 ? ws->position : at;
    // Measured from the position (or from at, should a caller ever pass an
    // offset past it) so the room and its terminator always fit.
    std::int64_t from = start > ws->position ? start : ws->position;
    if (!ensure_room(ws, from + 2 * std::int64_t{count})) return nullptr;
    ws->position = start + 2 * std::int64_t{count};
    return reinterpret_cast<WideChar*>(ws->buffer + start);
}

void workspace_set_position(std::int64_t offset) {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr || offset < 0) return;
    ws->position = offset;
}

WideChar* workspace_seek(std::int64_t offset) {
    workspace_set_position(offset);
    return workspace_string_at(offset);
}

void workspace_step() {
    StringWorkspace* ws = workspace_current();
    if (ws != nullptr) ws->position += 2;
}

void workspace_drop(std::int64_t count) {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr) return;
    ws->position -= 2 * count;
    if (ws->position < 0) ws->position = 0;
}

void workspace_truncate(std::int64_t offset) {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr || offset < 0 || !ensure_room(ws, offset)) return;
    ws->position = offset;
    put_unit(ws->buffer + offset, 0);
}

std::int64_t workspace_offset_of(const void* address) {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr) return 0;
    auto p = reinterpret_cast<std::uintptr_t>(address);
    auto base = reinterpret_cast<std::uintptr_t>(ws->buffer);
    if (p < base || p > base + static_cast<std::uintptr_t>(ws->position)) return 0;
    return static_cast<std::int64_t>(p - base) + 1;
}

std::int64_t workspace_anchor(const void* address) {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr) return 0;
    auto p = reinterpret_cast<std::uintptr_t>(address);
    auto base = reinterpret_cast<std::uintptr_t>(ws->buffer);
    if (p < base || p >= base + static_cast<std::uintptr_t>(ws->capacity)) return 0;
    return static_cast<std::int64_t>(p - base) + 1;
}

WideChar* workspace_address_at(std::int64_t value) {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr) return nullptr;
    return reinterpret_cast<WideChar*>(ws->buffer + value - 1);
}

WideChar* workspace_push_string(const WideChar* s) {
    std::int64_t length = string_length(s);
    if (length > INT32_MAX) return nullptr;
    std::int64_t anchor = workspace_anchor(s); // s may lie in the buffer, which may move
    WideChar* room = workspace_reserve(static_cast<std::int32_t>(length), -1);
    if (room == nullptr) return nullptr;
    if (length > 0) {
        const WideChar* source = anchor != 0 ? workspace_address_at(anchor) : s;
        std::memmove(room, source, static_cast<std::size_t>(length) * sizeof(WideChar));
    }
    room[length] = 0;
    return room;
}

WideChar* string_assign_from_workspace(WideChar** slot, std::int64_t start) {
    StringWorkspace* ws = workspace_current();
    if (ws == nullptr || start < 0) return nullptr;
    std::int64_t bytes = ws->position - start;
    if (bytes < 0) bytes = 0;
    std::int64_t units = bytes / 2;
    ws->position = start;
    auto* copy = static_cast<WideChar*>(mem_alloc(static_cast<std::size_t>(2 * units + VARIABLE_SPARE)));
    if (copy == nullptr) return nullptr;
    mem_copy(copy, ws->buffer + start, static_cast<std::size_t>(2 * units));
    copy[units] = 0;
    mem_free(*slot);
    *slot = copy;
    return copy;
}

std::int64_t string_assign(WideChar** slot, const WideChar* s) {
    if (s == nullptr) {
        mem_free(*slot);
        *slot = nullptr;
        return 2;
    }
    std::int64_t length = string_length(s);
    // A fresh buffer, filled before the old one is freed: s may be the
    // variable's own value or point into it.
    auto* copy = static_cast<WideChar*>(mem_alloc(static_cast<std::size_t>(2 * length + VARIABLE_SPARE)));
    if (copy == nullptr) return 0;
    mem_copy(copy, s, static_cast<std::size_t>(2 * length + 2));
    mem_free(*slot);
    *slot = copy;
    return 2 * length + 2;
}

void string_init_copy(WideChar** slot, const WideChar* s) {
    if (s == nullptr) return;
    std::int64_t length = string_length(s);
    auto* copy = static_cast<WideChar*>(mem_alloc(static_cast<std::size_t>(2 * length + VARIABLE_SPARE)));
    if (copy != nullptr) mem_copy(copy, s, static_cast<std::size_t>(2 * length + 2));
    *slot = copy;
}

void string_free(WideChar* s) {
    mem_free(s);
}

std::int64_t string_length(const WideChar* s) {
    if (s == nullptr) return 0;
    const WideChar* p = s;
    while (*p != 0)
        ++p;
    return p - s;
}

WideChar* string_copy(WideChar* destination, const WideChar* source) {
    mem_copy(destination, source, static_cast<std::size_t>(2 * string_length(source) + 2));
    return destination;
}
