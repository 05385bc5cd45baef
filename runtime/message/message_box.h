// Modal message boxes.
#pragma once

#include "runtime/core/types.h"

#include <cstdint>

// Flags: a button group and a message type, combined by adding.
constexpr std::uint32_t MESSAGE_BOX_YES_NO = 1;        // Yes and No
constexpr std::uint32_t MESSAGE_BOX_YES_NO_CANCEL = 2; // Yes, No and "_Cancel"
constexpr std::uint32_t MESSAGE_BOX_INFO = 4;
constexpr std::uint32_t MESSAGE_BOX_ERROR = 8;
constexpr std::uint32_t MESSAGE_BOX_WARNING = 16;

// Results.
constexpr std::int64_t MESSAGE_BOX_RESULT_YES = 6; // also OK
constexpr std::int64_t MESSAGE_BOX_RESULT_NO = 7;
constexpr std::int64_t MESSAGE_BOX_RESULT_CANCEL = 2;

// Shows a modal dialog with the title and text (null = empty) and waits until
// the user answers. Returns MESSAGE_BOX_RESULT_YES for Yes or OK, _NO, _CANCEL,
// or 0 when the box was closed some other way. Main thread, GDK lock held.
// The runtime's event queue is not touched; events posted by other windows
// meanwhile wait there.
std::int64_t message_box(const WideChar* title, const WideChar* text, std::uint32_t flags);

// The same with flags 0: a plain message with one OK button.
std::int64_t message_box(const WideChar* title, const WideChar* text);
