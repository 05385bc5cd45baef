// Helpers shared by the tests.
#pragma once

#include "runtime/core/types.h"

#include <string>

namespace tda_test {

// The one UTF-8 <-> UTF-16 converter of the tests. u16 decodes a UTF-8
// literal (a malformed sequence gives U+FFFD); utf8 encodes UTF-16 units,
// surrogate pairs as one four-byte character and a lone surrogate as U+FFFD.
std::u16string u16(const std::string& utf8);
std::string utf8(const std::u16string& units);

// True when the suite runs under CI (CI=true), where a skipped test counts as
// a failure.
bool running_under_ci();

} // namespace tda_test
