// Reading numbers written as text, shared by the device link (the variable
// protocol's values) and the engines (script arguments). Plain C++, no Qt, no
// state: safe from any thread. The emulator keeps its own readers on purpose.
#pragma once

#include <cstdint>
#include <string_view>

// Parses a non-negative decimal integer made only of the digits "0" to "9" (no sign,
// no blanks, leading zeros allowed) that fits in 32 bits unsigned. Returns false for
// anything else (empty text included) and then leaves `value` untouched.
bool ParseDecimalU32(std::string_view s, uint32_t& value);
