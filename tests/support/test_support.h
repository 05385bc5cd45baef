// Helpers shared by the tests.
#pragma once

#include "runtime/core/types.h"

#include <string>

namespace tda_test {

// The UTF-16 text of a UTF-8 literal, for building WideStrings in tests.
std::u16string u16(const std::string& utf8);

} // namespace tda_test
