// Helpers shared by the tests.
#pragma once

#include "runtime/core/types.h"

#include <string>
#include <vector>

namespace tda_test {

// The one UTF-8 <-> UTF-16 converter of the tests. u16 decodes a UTF-8
// literal (a malformed sequence gives U+FFFD); utf8 encodes UTF-16 units,
// surrogate pairs as one four-byte character and a lone surrogate as U+FFFD.
std::u16string u16(const std::string& utf8);
std::string utf8(const std::u16string& units);

// True when the suite runs under CI (CI=true), where a skipped test counts as
// a failure.
bool running_under_ci();

// What a finished program left behind.
struct ProgramRun {
    std::string out, err; // its standard output and error
    int status;           // exit status; -1 when it did not end within the limit or could not start
};

// Runs `args` (args[0] is the program's path) with the environment variables
// in `unset` removed, collects stdout and stderr, and waits at most
// `limit_ms`; a program still running then is killed (status -1).
ProgramRun run_program(const std::vector<std::string>& args, const std::vector<std::string>& unset = {},
                       int limit_ms = 10000);

// The built calculator: $TDA_BINARY_DIR/tovamidaysafter (set by ctest).
std::string calculator_program();

} // namespace tda_test
