// The device's own check of what it holds: a memory against the Intel HEX image that
// should be in it, a version register against its text. Used by qelt-emulator's
// --expect (a soak run asks it whether an update left the device as the package
// describes) and by its tests. Written from the device's side: the image is read
// with the device's own record parser, exactly as the records would arrive.
// Plain C++, no state; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "emulator/emulated_device.h"

// One expectation, "MEMORY=VALUE": MEMORY is "boot", CARD.bankB, CARD.e or
// CARD.versionC (CARD = main or card0..card5, B = 0..7, C a component code);
// VALUE is the path of an Intel HEX image for a memory, the four characters of a
// version for a version register.
struct TStateExpectation {
  TMemSelector Memory;  // a concrete memory: Card and Index set where they apply
  std::string Name;     // MEMORY as written
  std::string Value;
};

// Parses "MEMORY=VALUE". False with `error` for an unknown or incomplete memory
// name, a JTAG chain (it keeps no image) or a version that is not four characters.
bool ParseStateExpectation(const std::string& text, TStateExpectation& out, std::string& error);

// The bytes a memory of `size` bytes at `base` holds after an erase and the upload
// of `lines` (data records write, the end record stops, the address records a
// 16-bit image does not use are passed over, empty lines skipped); unwritten bytes
// stay FF. `flash`: a byte written twice keeps the AND of both, as flash does.
// False with `error` ("line N: ...") for a line the device would not take.
bool ImageFromHexLines(const std::vector<std::string>& lines, size_t base, size_t size, bool flash,
                       std::vector<uint8_t>& image, std::string& error);

// What a check found: Match, and one line that says so ("main.bank0 matches
// VI3_B0.HEX", "card5.e differs from EDID.HEX: 3 bytes, the first at 0010 (device
// FF, image 00)", "main.version8 is 0100, not 0107"). Readable is false when the
// image file could not be read or taken; Line then says why.
struct TStateCheck {
  bool Match = false;
  bool Readable = true;
  std::string Line;
};

// Checks one expectation against `device`.
TStateCheck CheckStateExpectation(const TEmulatedDevice& device, const TStateExpectation& e);
