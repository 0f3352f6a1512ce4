// Inputs the benchmarks generate for themselves: Intel HEX bank images and Effect
// files (JTAG vectors) of any size. The Effect vectors are written for the default
// emulated device's chain "8" (one device, 8-bit instruction register, USER
// instruction 0x02 selecting a 32-bit register), so that a playback must succeed:
// every captured-data check expects exactly what the register was loaded with.
// Deterministic for a given seed. Benchmarks and their tests only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// `count` bytes of a seeded pattern (never all 0xFF).
std::vector<uint8_t> SeededBytes(uint32_t seed, size_t count);

// An Intel HEX image of `data` from `address` upward: data records of 16 bytes,
// then the end record, one line each without line end.
std::vector<std::string> HexImageLines(uint16_t address, const std::vector<uint8_t>& data);

// What a generated Effect file holds.
struct TEffectFileShape {
  size_t Bytes = 0;       // file size, CR LF line ends included
  size_t Lines = 0;       // lines in the file
  size_t Statements = 0;  // lines that become a device record
  size_t LongSdrs = 0;    // statements that carry a raw block after their record
  size_t Checked = 0;     // statements whose captured data the host checks
};

// Writes the Effect vectors line by line as blocks are generated, without ever
// holding the whole file; stops after the block that reaches `min_bytes`.
// Every block leaves the user register at zero. False if the file cannot be
// written.
bool WriteEffectVectorFile(const std::string& path, size_t min_bytes, uint32_t seed,
                           TEffectFileShape& shape);

// The same vectors in memory, for parser measurements: at least `min_lines` lines.
std::vector<std::string> EffectVectorLines(size_t min_lines, uint32_t seed,
                                           TEffectFileShape& shape);

// Only 512-bit SDR statements with TDI, TDO, MASK and SMASK: the parser's
// heaviest lines.
std::vector<std::string> LongSdrLines(size_t count, uint32_t seed);
