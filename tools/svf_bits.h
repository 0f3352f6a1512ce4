// Bit strings of SVF scan fields for the SVF converter: SVF writes a field as hex
// digits, most significant first, whose least significant bit is shifted first.
// Here a field is a vector of bits in shift order (bit 0 first). Plain C++; used by
// svf_convert.cpp only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using TSvfBits = std::vector<uint8_t>;  // one 0/1 per element, shift order

// Reads `hex` (digits of either case) as a field of `length` bits. Fewer digits are
// padded with zeros; more are allowed when the extra bits are 0. False, with the
// reason, when a character is no hex digit or a bit beyond `length` is set.
bool SvfHexToBits(std::string_view hex, size_t length, TSvfBits& bits, std::string& reason);

// The field as upper-case hex, most significant first: two digits per started byte.
std::string SvfBitsToHex(const TSvfBits& bits);

// `length` bits of `value` (0 or 1).
inline TSvfBits SvfFill(size_t length, uint8_t value) { return TSvfBits(length, value); }

// `first`, then `second` after it (in shift order).
TSvfBits SvfConcat(const TSvfBits& first, const TSvfBits& second);
