#include "tools/sample_firmware.h"

#include <algorithm>

#include "engines/intel_hex.h"

TSampleRandom::TSampleRandom(std::string_view label) {
  uint64_t hash = 0xCBF29CE484222325ULL;  // FNV-1a
  for (unsigned char c : label) {
    hash ^= c;
    hash *= 0x100000001B3ULL;
  }
  state_ = hash;
}

uint64_t TSampleRandom::Next() {
  state_ += 0x9E3779B97F4A7C15ULL;
  uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::vector<uint8_t> CodeBytes(TSampleRandom& random, size_t count) {
  std::vector<uint8_t> bytes;
  bytes.reserve(count);
  while (bytes.size() < count) {
    // Mostly short instructions with an occasional run of zero operands, like
    // compiled code and its literal pools.
    uint8_t opcode = random.NextByte();
    bytes.push_back(opcode);
    if ((opcode & 0x0F) == 0x0F) {
      for (int i = 0; i < 3 && bytes.size() < count; ++i) bytes.push_back(0x00);
    }
  }
  return bytes;
}

std::vector<uint8_t> TagBytes(std::string_view tag) {
  std::string text = "QELT " + std::string(tag);
  std::vector<uint8_t> bytes(32, 0x00);
  std::copy_n(text.begin(), std::min<size_t>(text.size(), 31), bytes.begin());
  return bytes;
}

std::string HexText(const std::vector<TImageSegment>& segments, size_t record_size) {
  std::string text;
  for (const TImageSegment& segment : segments) {
    for (size_t offset = 0; offset < segment.Bytes.size(); offset += record_size) {
      size_t count = std::min(record_size, segment.Bytes.size() - offset);
      std::string data;
      for (size_t i = 0; i < count; ++i) data += ByteToHex(segment.Bytes[offset + i]);
      text += BuildHexRecord(0x00, static_cast<uint16_t>(segment.Address + offset), data);
      text += "\r\n";
    }
  }
  text += ":00000001FF\r\n";
  return text;
}

namespace {

// Three letters packed five bits each, as the manufacturer field holds them.
void PutManufacturer(std::vector<uint8_t>& block, std::string_view letters) {
  int code = ((letters[0] - '@') << 10) | ((letters[1] - '@') << 5) | (letters[2] - '@');
  block[8] = static_cast<uint8_t>(code >> 8);
  block[9] = static_cast<uint8_t>(code & 0xFF);
}

// An 18-byte display descriptor of `tag` holding `text` (LF-ended, blank-padded).
void PutTextDescriptor(std::vector<uint8_t>& block, size_t at, uint8_t tag, std::string_view text) {
  block[at + 3] = tag;
  std::string body(text.substr(0, 13));
  if (body.size() < 13) body += '\n';
  body.resize(13, ' ');
  std::copy(body.begin(), body.end(), block.begin() + static_cast<long>(at) + 5);
}

}  // namespace

std::vector<uint8_t> EdidBlock(std::string_view name, uint32_t serial, uint8_t week,
                               uint16_t year) {
  std::vector<uint8_t> block(128, 0x00);
  const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::copy(std::begin(header), std::end(header), block.begin());
  PutManufacturer(block, "CQV");
  block[10] = 0x31;  // product code 0x4131, little-endian
  block[11] = 0x41;
  for (int i = 0; i < 4; ++i) block[12 + i] = static_cast<uint8_t>(serial >> (8 * i));
  block[16] = week;
  block[17] = static_cast<uint8_t>(year - 1990);
  block[18] = 1;  // EDID 1.3
  block[19] = 3;
  block[20] = 0x80;  // digital input
  block[21] = 53;    // 53 x 30 cm
  block[22] = 30;
  block[23] = 120;   // gamma 2.2
  block[24] = 0x0A;  // RGB colour, preferred timing is native
  const uint8_t chroma[10] = {0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54};
  std::copy(std::begin(chroma), std::end(chroma), block.begin() + 25);
  block[35] = 0x21;  // established timings: 640x480, 800x600 at 60 Hz
  block[36] = 0x08;
  for (int i = 38; i < 54; ++i) block[i] = 0x01;  // no standard timings
  // 1920x1080 at 60 Hz, 148.5 MHz, positive syncs.
  const uint8_t timing[18] = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
                              0x2C, 0x45, 0x00, 0x0F, 0x28, 0x21, 0x00, 0x00, 0x1E};
  std::copy(std::begin(timing), std::end(timing), block.begin() + 54);
  // Range limits: 56-76 Hz vertical, 30-83 kHz horizontal, 160 MHz.
  const uint8_t range[18] = {0x00, 0x00, 0x00, 0xFD, 0x00, 0x38, 0x4C, 0x1E, 0x53,
                             0x10, 0x00, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
  std::copy(std::begin(range), std::end(range), block.begin() + 72);
  PutTextDescriptor(block, 90, 0xFC, name);
  PutTextDescriptor(block, 108, 0xFF, "QV" + std::to_string(serial));
  block[126] = 0;  // no extension block
  unsigned sum = 0;
  for (int i = 0; i < 127; ++i) sum += block[i];
  block[127] = static_cast<uint8_t>((256 - sum % 256) % 256);
  return block;
}
