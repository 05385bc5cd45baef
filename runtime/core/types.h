// Basic types shared by every runtime library and the application.
#pragma once

#include <cstdint>

// One UTF-16 code unit. Text inside the runtime is a zero-terminated array of
// these (a WideString); a null pointer reads as the empty string wherever an
// operation says it accepts a missing string.
using WideChar = char16_t;

// Object numbers and identifiers: 0, 1, 2 ... name slots of a kind's table;
// any other value is the address of an automatically numbered record.
using ObjectId = std::int64_t;

// Passed as an object number, asks for a new automatically numbered object;
// passed to a kind's free operation, means every object of that kind.
constexpr ObjectId AUTO_NUMBER = -1;
