// Text results of the gadget kinds: UTF-8 read from a widget, handed back as
// a WideString built in the calling thread's workspace.
#pragma once

#include "runtime/core/types.h"
#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"

#include <cstdint>

// Converts `utf8` (null: "") to a WideString at workspace offset `at` and
// returns its address; the position ends at its terminator. When the
// workspace cannot grow, the result is the empty string at `at`.
inline WideChar* kind_text_result(const char* utf8, std::int64_t at) {
    if (string_from_utf8(utf8, at) == 0) {
        workspace_truncate(at);
    }
    return workspace_string_at(at);
}
