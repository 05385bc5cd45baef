// Strings of 16-bit code units, string variables and the per-thread string
// workspace in which string expressions and string results are assembled.
//
// Result protocol: every runtime operation that yields a string takes a
// workspace byte offset as its last argument, writes the terminated result
// there and leaves the position at that result's terminator. The buffer moves
// when it grows, so code that keeps a place across a call that may reserve
// room keeps its byte offset, never its address.
//
// When the workspace cannot grow (memory exhausted, or the 2^31-byte limit of
// 32-bit offsets reached), workspace_reserve and workspace_push_string return
// null and leave the buffer and position as they were; every operation of the
// runtime that writes into the workspace checks for that and writes nothing.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

// One thread's workspace.
struct StringWorkspace {
    char* buffer;          // heap buffer; moves when it grows
    std::int64_t capacity; // usable bytes; the buffer is capacity + 10 bytes once grown
    std::int64_t position; // byte offset of the end of the text being assembled (even)
};
static_assert(sizeof(StringWorkspace) == 24, "workspace record is three 8-byte fields");

// Creates the workspace key and the calling thread's workspace. Called once by
// the entry point right after locale_init.
void workspace_init();

// Deletes the workspace key; last step of shut-down. Workspaces are not freed.
void workspace_end();

// Makes sure the calling thread has a workspace; one created here for a
// thread other than the main thread is freed when that thread ends.
void workspace_ensure();

// Allocates and installs a fresh workspace (16-byte buffer, capacity 16,
// position 0) for the calling thread. On allocation failure the thread keeps
// no workspace.
void workspace_create();

// Frees the calling thread's buffer and record; the thread has no workspace
// afterwards.
void workspace_free();

// The calling thread's workspace record (created on demand); null only when
// memory runs out.
StringWorkspace* workspace_current();

// Current position (byte offset).
std::int64_t workspace_position();

// Buffer address (bytes: workspace_base() + offset is the place of a byte
// offset).
char* workspace_base();

// The string at a byte offset: buffer + offset.
WideChar* workspace_string_at(std::int64_t offset);

// buffer + position.
WideChar* workspace_top();

// Room for count units at byte offset at (-1: the position); the position
// becomes the end of that room. Grows the buffer to need + 16384 bytes when
// the need reaches capacity - 4, so a terminator always fits after the room.
// Returns the room's address, or null (nothing changed) when the buffer cannot
// grow or the arguments are out of range.
WideChar* workspace_reserve(std::int32_t count, std::int32_t at);

// position := offset (a negative offset is ignored).
void workspace_set_position(std::int64_t offset);

// position := offset; returns buffer + offset.
WideChar* workspace_seek(std::int64_t offset);

// position += 2: keeps the terminator of the text before it.
void workspace_step();

// position -= 2 * count (never below 0).
void workspace_drop(std::int64_t count);

// position := offset and a 0 unit written there: an empty result at offset.
// Grows the buffer when needed; when it cannot, writes nothing.
void workspace_truncate(std::int64_t offset);

// address - buffer + 1 when buffer <= address <= buffer + position, else 0.
std::int64_t workspace_offset_of(const void* address);

// As workspace_offset_of, but for an address anywhere inside the buffer, also
// past the position (0 outside). Lets an operation find a string argument
// again after a reservation has moved the buffer.
std::int64_t workspace_anchor(const void* address);

// buffer + value - 1, for a value from workspace_offset_of.
WideChar* workspace_address_at(std::int64_t value);

// Copies s (null: the empty string) to the position and terminates it; the
// position ends at the terminator. Returns the copy's address, or null when
// the workspace cannot grow. s may lie inside the workspace.
WideChar* workspace_push_string(const WideChar* s);

// String variables: a WideChar* slot that is null or owns one malloc buffer.

// The text from byte offset start to the position becomes the variable's
// value (buffer of n + 10 bytes); position := start. Returns the variable's
// new buffer, or null when memory runs out (the variable keeps its old
// value; the position is still reset).
WideChar* string_assign_from_workspace(WideChar** slot, std::int64_t start);

// variable := copy of s in a buffer of 2 * L + 10 bytes; returns 2 * L + 2.
// A null s frees the variable, sets it null and returns 2. s may be the
// variable's own value or lie inside it. When memory runs out the variable is
// unchanged and the result is 0.
std::int64_t string_assign(WideChar** slot, const WideChar* s);

// For a non-null s: variable := new buffer of 2 * L + 10 bytes holding a copy;
// the old value is not freed (the slot is taken as uninitialised, as in a
// freshly copied record). When memory runs out the variable is set null. A
// null s leaves the slot untouched.
void string_init_copy(WideChar** slot, const WideChar* s);

// Frees a variable's buffer; null is ignored.
void string_free(WideChar* s);

// Units before the terminator (0 for null).
std::int64_t string_length(const WideChar* s);

// Copies source including its terminator; returns destination.
WideChar* string_copy(WideChar* destination, const WideChar* source);
