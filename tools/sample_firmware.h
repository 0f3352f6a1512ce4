// Firmware-like content for the sample package: a deterministic pseudo-random
// byte source, Intel HEX text for a memory image, and a display identification
// (EDID) block. Used only by the package generator (sample_package.cpp); output
// depends on nothing but the arguments, so the package is the same on every run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// splitmix64 seeded from a label: the same label always gives the same bytes.
class TSampleRandom {
 public:
  explicit TSampleRandom(std::string_view label);
  uint64_t Next();
  uint8_t NextByte() { return static_cast<uint8_t>(Next() >> 56); }

 private:
  uint64_t state_;  // splitmix64 state
};

// One contiguous run of bytes of an image.
struct TImageSegment {
  uint16_t Address = 0;
  std::vector<uint8_t> Bytes;
};

// `count` bytes of plausible machine code (drawn from `random`).
std::vector<uint8_t> CodeBytes(TSampleRandom& random, size_t count);

// A version block: "QELT " + tag, NUL-padded to 32 bytes.
std::vector<uint8_t> TagBytes(std::string_view tag);

// Intel HEX text of `segments`: data records of at most `record_size` bytes (a
// record never crosses a segment end), then the end-of-file record. Each line ends
// with CR LF, as files authored on Windows do. Segments must not pass 0xFFFF.
std::string HexText(const std::vector<TImageSegment>& segments, size_t record_size);

// 128-byte EDID 1.3 base block of a 1920x1080 digital input named `name` (at most
// 13 characters), with its serial number; the last byte makes the block sum 0.
std::vector<uint8_t> EdidBlock(std::string_view name, uint32_t serial, uint8_t week, uint16_t year);
