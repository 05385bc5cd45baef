// Waiting for events and reading the current event. event_wait* and
// events_flush drive GTK (event_wait_gtk.cpp, main thread, GDK lock held);
// the accessors and type codes are display-free.
#pragma once

#include "runtime/event/event_queue.h"

#include <cstdint>

// Event type codes: 32-bit in the queue, returned as 64-bit by the waits.
constexpr std::int32_t EVENT_TOOLKIT_ONLY = -1;      // a toolkit iteration ran, the queue stayed empty
constexpr std::int32_t EVENT_NONE = 0;               // nothing was found
constexpr std::int32_t EVENT_CLOSE = 2;              // window "delete-event"
constexpr std::int32_t EVENT_GADGET = 3;             // gadget signal; subtype says what happened
constexpr std::int32_t EVENT_REPAINT = 4;            // "draw" of the window's gadget layout
constexpr std::int32_t EVENT_MOVE = 5;               // "configure-event" with a new position
constexpr std::int32_t EVENT_SIZE = 6;               // "configure-event" with a new size
constexpr std::int32_t EVENT_ACTIVATE = 7;           // "focus-in-event"
constexpr std::int32_t EVENT_DEACTIVATE = 8;         // "focus-out-event"
constexpr std::int32_t EVENT_MINIMIZE = 12;          // "window-state-event"
constexpr std::int32_t EVENT_MAXIMIZE = 13;          // "window-state-event"
constexpr std::int32_t EVENT_RESTORE = 14;           // "window-state-event"
constexpr std::int32_t EVENT_RIGHT_CLICK = 16;       // layout "button-release-event", button 3
constexpr std::int32_t EVENT_LEFT_CLICK = 17;        // layout "button-release-event", button 1
constexpr std::int32_t EVENT_LEFT_DOUBLE_CLICK = 18; // layout "button-press-event", double press of button 1
constexpr std::int32_t EVENT_MOUSE_MOVE = 24;        // window "motion-notify-event"

// Poll interval of a positive-timeout wait, in nanoseconds.
constexpr long EVENT_WAIT_POLL_NS = 2000000;

// event_wait_timeout(-1): returns a posted type or EVENT_TOOLKIT_ONLY after at
// most one blocking toolkit iteration. Main thread, GDK lock held.
std::int64_t event_wait();

// Takes a queued event if there is one; otherwise negative timeout: one
// blocking toolkit iteration; 0: one non-blocking iteration only when toolkit
// events are pending; positive: polls every 2 ms until toolkit events are
// pending or more than timeout ms have passed. Returns the posted type,
// EVENT_NONE or EVENT_TOOLKIT_ONLY. Main thread, GDK lock held.
std::int64_t event_wait_timeout(std::int32_t timeout_ms);

// Bounds of one events_flush.
constexpr int EVENTS_FLUSH_LIMIT_ITERATIONS = 1000;
constexpr int EVENTS_FLUSH_LIMIT_MS = 1000;

// Runs non-blocking toolkit iterations while toolkit events are pending, at
// most EVENTS_FLUSH_LIMIT_ITERATIONS of them and for at most about
// EVENTS_FLUSH_LIMIT_MS; anything still pending is left to the main loop.
// Main thread, GDK lock held.
void events_flush();

// Accessors of the current event: they never take, wait or lock, and are meant
// for the thread that runs the event loop.
std::int64_t event_type();    // type, 0 after an empty take
std::int64_t event_gadget();  // gadget id of an EVENT_GADGET, 0 for window events
std::int64_t event_object();  // the same as event_gadget
std::int64_t event_subtype(); // subtype, -1 after an empty take
std::int64_t event_window();  // window id of the current event
std::int64_t event_data();    // data of the current event, 0 when none or released
