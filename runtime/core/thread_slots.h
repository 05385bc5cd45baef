// Per-thread slot area and thread exit lists.
//
// Libraries register slots of thread-local state at start-up; each thread that
// touches a slot gets its own zero-filled copy of the whole area. Exit lists
// hold procedures that run when the thread that registered them ends.
#pragma once

#include <cstdint>

// Init and release procedures of a slot; they get the address of the calling
// (or ending) thread's copy of the slot.
using ThreadSlotProc = void (*)(void* slot);

// Registers a slot of size bytes (raised to a multiple of 8) and returns its
// offset, or -1 when memory runs out (nothing is registered then). When init
// or release is given they are remembered, and init runs at once on the
// calling thread's copy. Takes the slot mutex; any thread may meanwhile use
// its slots, and addresses handed out earlier stay valid.
std::int64_t thread_slot_register(std::int64_t size, ThreadSlotProc init, ThreadSlotProc release);

// Address of the calling thread's copy of the slot at offset, valid until the
// thread ends. A thread's first call allocates its zeroed area and runs every
// init procedure (newest registration first); slots registered later are
// added beside it, never moving it. Null when memory runs out or when offset
// does not name a registered slot. Takes the slot mutex only to grow the area.
void* thread_slot_get(std::int64_t offset);

// Shut-down: deletes the slot key when any slot was ever registered. Areas
// are not freed; later thread_slot_get calls return null until a new
// registration.
void thread_slots_end();

// Procedure run at thread end with the data it was registered with.
using ThreadExitProc = void (*)(void* data);

// One registered exit callback (a sized block).
struct ThreadExitNode {
    ThreadExitNode* next; // older callback of the same thread
    ThreadExitProc procedure;
    void* data;
};

// Per-thread record of the process-wide exit list (a sized block).
struct ThreadExitRecord {
    ThreadExitRecord* next;     // newer record
    ThreadExitRecord* previous; // older record
    ThreadExitNode* head;       // newest callback of this thread
};

// Registers procedure(data) to run when the calling thread ends; callbacks
// run newest first. Returns the node, or null when memory runs out (nothing
// is registered then). Takes the exit-list mutex while linking.
ThreadExitNode* thread_exit_register(ThreadExitProc procedure, void* data);

// Runs and frees the callbacks of a thread record (a ThreadExitRecord*), then
// frees the record. It is the exit key's destructor; null is ignored. The
// mutex is held only while unlinking, never while callbacks run.
void thread_exit_run(void* record);

// Deletes the exit key and runs every remaining thread record, newest first.
// Does nothing before the first registration.
void thread_exit_end();
