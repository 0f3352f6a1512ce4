// The sample firmware package: the generator's output is stable and committed,
// every Intel HEX line of examples/package carries a correct record checksum, and
// the scripts, images and Effect files fit the engines and the default device.
#include "tools/sample_package.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "testing/temp_dir.h"

namespace fs = std::filesystem;

namespace {

fs::path SourceDir() {
  const char* dir = std::getenv("QELT_SOURCE_DIR");
  return dir ? fs::path(dir) : fs::path(QELT_SOURCE_DIR_FALLBACK);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file below `root`: relative path -> bytes.
std::map<std::string, std::string> ReadTree(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), root).generic_string()] = ReadFile(entry.path());
    }
  }
  return files;
}

// The generator's exit status, or -1 when it did not exit normally.
int RunGenerator(const std::string& arguments) {
#ifdef _WIN32
  // The wide call: the narrow one reads the text in the ANSI code page.
  std::string command = std::string(QELT_MAKE_PACKAGE_PATH) + " " + arguments + " > NUL";
  return _wsystem(TTempDir::Path(command).c_str());
#else
  std::string command = std::string(QELT_MAKE_PACKAGE_PATH) + " " + arguments + " > /dev/null";
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case or not a digit: not what the package writes
}

// Checks one record line on its own terms: ':' then hex pairs, a byte count that
// matches the length, and a checksum that makes all bytes sum to 0 modulo 256.
// Returns an empty string when the line is sound, else what is wrong.
std::string RecordFault(const std::string& line) {
  if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0) return "bad shape";
  std::vector<int> bytes;
  for (size_t i = 1; i + 1 < line.size(); i += 2) {
    int high = HexValue(line[i]);
    int low = HexValue(line[i + 1]);
    if (high < 0 || low < 0) return "not upper-case hex";
    bytes.push_back(high * 16 + low);
  }
  if (static_cast<size_t>(bytes[0]) + 5 != bytes.size()) return "byte count does not match";
  int sum = 0;
  for (int byte : bytes) sum += byte;
  if (sum % 256 != 0) return "record checksum wrong";
  return "";
}

std::map<std::string, std::string> Package() {
  std::map<std::string, std::string> files;
  for (const TPackageFile& file : BuildSamplePackage()) files[file.Path] = file.Bytes;
  return files;
}

bool IsHexFile(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), ::toupper);
  return ext == ".HEX";
}

// Data records of a HEX file as address -> byte.
std::map<uint32_t, int> ImageBytes(const std::string& text) {
  std::map<uint32_t, int> image;
  for (const std::string& line : SplitLines(text)) {
    if (line.size() < 11 || line.substr(7, 2) != "00") continue;
    int count = HexValue(line[1]) * 16 + HexValue(line[2]);
    uint32_t address = static_cast<uint32_t>(std::stoul(line.substr(3, 4), nullptr, 16));
    for (int i = 0; i < count; ++i) {
      image[address + i] = std::stoi(line.substr(9 + 2 * i, 2), nullptr, 16);
    }
  }
  return image;
}

}  // namespace

TEST(SamplePackageGenerator, WritesTheSameBytesTwice) {
  TTempDir first;
  TTempDir second;
  ASSERT_EQ(RunGenerator(TTempDir::Text(first.path())), 0);
  ASSERT_EQ(RunGenerator(TTempDir::Text(second.path())), 0);
  std::map<std::string, std::string> a = ReadTree(first.path());
  std::map<std::string, std::string> b = ReadTree(second.path());
  EXPECT_GT(a.size(), 40u);
  EXPECT_TRUE(a == b) << "two runs of the generator differ";
  EXPECT_EQ(a, Package()) << "the written tree differs from the package in memory";
}

TEST(SamplePackageGenerator, CommittedTreeIsCurrent) {
  fs::path committed = SourceDir() / "examples" / "package";
  ASSERT_TRUE(fs::is_directory(committed)) << committed;
  EXPECT_EQ(RunGenerator("--check " + TTempDir::Text(committed)), 0)
      << "examples/package differs from the generator: run qelt-make-package examples/package";
  EXPECT_EQ(ReadTree(committed).size(), Package().size()) << "stray files in examples/package";
}

TEST(SamplePackageGenerator, CheckReportsADamagedTree) {
  TTempDir dir;
  ASSERT_EQ(RunGenerator(TTempDir::Text(dir.path())), 0);
  dir.Write("rev1/KEYB3/KEYB3_B0.HEX", ":00000001FF\r\n");
  EXPECT_EQ(RunGenerator("--check " + TTempDir::Text(dir.path())), 1);
}

TEST(SamplePackageHex, EveryCommittedRecordHasACorrectChecksum) {
  fs::path committed = SourceDir() / "examples" / "package";
  int files = 0;
  for (const auto& [path, bytes] : ReadTree(committed)) {
    if (!IsHexFile(path)) continue;
    ++files;
    std::vector<std::string> lines = SplitLines(bytes);
    ASSERT_FALSE(lines.empty()) << path;
    EXPECT_EQ(lines.back(), ":00000001FF") << path << " does not end with the end record";
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(RecordFault(lines[i]), "") << path << " line " << i + 1 << ": " << lines[i];
    }
  }
  // Per revision: two boot images, VI3 banks 0 and 1, one bank each for KEYB3, SCAN
  // and HD, and the EDID upload.
  EXPECT_EQ(files, 2 * 8);
}

TEST(SamplePackageHex, RecordFaultCatchesDamage) {
  const struct {
    std::string line;
    std::string fault;
  } cases[] = {
      {":0200000C1234AC", ""},
      {":0200000C1234AD", "record checksum wrong"},
      {":0300000C1234AC", "byte count does not match"},
      {":0200000c1234AC", "not upper-case hex"},
      {"0200000C1234AC", "bad shape"},
  };
  for (const auto& c : cases) EXPECT_EQ(RecordFault(c.line), c.fault) << c.line;
}

TEST(SamplePackageHex, ImagesStayInTheirMemoryRanges) {
  for (const auto& [path, bytes] : Package()) {
    if (!IsHexFile(path)) continue;
    std::map<uint32_t, int> image = ImageBytes(bytes);
    ASSERT_FALSE(image.empty()) << path;
    uint32_t low = image.begin()->first;
    uint32_t high = image.rbegin()->first;
    std::string name = fs::path(path).filename().string();
    if (name.rfind("BOOT_EXT_", 0) == 0) {
      EXPECT_GE(low, 0x4000u) << path;
      EXPECT_LE(high, 0x5FFFu) << path;
    } else if (name.find("_EDID") != std::string::npos) {
      EXPECT_EQ(low, 0u) << path;
      EXPECT_EQ(high, 127u) << path;
    } else {
      bool bank0 = name.find("_B0.") != std::string::npos;
      EXPECT_EQ(low, bank0 ? 0x0000u : 0x8000u) << path;
      EXPECT_EQ(high, bank0 ? 0x7FFFu : 0xFFFFu) << path;
      EXPECT_GT(image.size(), 4096u) << path << " is not a realistic bank image";
    }
  }
}

TEST(SamplePackageHex, EdidBlocksAreValid) {
  for (const auto& [path, bytes] : Package()) {
    if (path.find("_EDID.HEX") == std::string::npos) continue;
    std::map<uint32_t, int> image = ImageBytes(bytes);
    ASSERT_EQ(image.size(), 128u) << path;
    const int header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    int sum = 0;
    for (uint32_t i = 0; i < 128; ++i) {
      if (i < 8) {
        EXPECT_EQ(image[i], header[i]) << path << " header byte " << i;
      }
      sum += image[i];
    }
    EXPECT_EQ(sum % 256, 0) << path << ": block checksum";
    EXPECT_EQ(image[18], 1) << path << ": EDID version";
    EXPECT_EQ(image[19], 3) << path << ": EDID revision";
  }
}

// The full-size package is the sample with its memories filled: the same files,
// scripts and Effect statements, boot images over the whole 8 KiB boot area, bank
// images over their whole 32 KiB, and Effect files of at least 1 MiB.
TEST(SamplePackageFullSize, FillsEveryMemoryAndKeepsTheScripts) {
  const std::map<std::string, std::string> sample = Package();
  std::map<std::string, std::string> full;
  for (const TPackageFile& file : BuildFullSizePackage()) full[file.Path] = file.Bytes;
  ASSERT_EQ(full.size(), sample.size());
  int effect_files = 0;
  for (const auto& [path, bytes] : full) {
    ASSERT_EQ(sample.count(path), 1u) << path;
    const std::string name = fs::path(path).filename().string();
    if (name.ends_with(".svf")) {
      ++effect_files;
      EXPECT_GE(bytes.size(), 1024u * 1024u) << path;
      EXPECT_LT(bytes.size(), 1100u * 1024u) << path;
      continue;
    }
    if (!IsHexFile(path) || name.find("_EDID") != std::string::npos) {
      EXPECT_EQ(bytes, sample.at(path)) << path;
      continue;
    }
    const std::map<uint32_t, int> image = ImageBytes(bytes);
    const bool boot = name.starts_with("BOOT_EXT_");
    const uint32_t low = boot ? 0x4000 : name.find("_B0.") != std::string::npos ? 0x0000 : 0x8000;
    const size_t size = boot ? 0x2000 : 0x8000;
    ASSERT_EQ(image.size(), size) << path;  // every address, once
    EXPECT_EQ(image.begin()->first, low) << path;
    EXPECT_EQ(image.rbegin()->first, low + size - 1) << path;
  }
  EXPECT_EQ(effect_files, 7 + 9);  // 7 a revision, and 2 more in rev1/VI3/opt_in
}

TEST(SamplePackageGenerator, FullSizeOptionWritesTheFullSizePackage) {
  TTempDir dir;
  ASSERT_EQ(RunGenerator("--full-size " + dir.path().string()), 0);
  std::map<std::string, std::string> expected;
  for (const TPackageFile& file : BuildFullSizePackage()) expected[file.Path] = file.Bytes;
  EXPECT_TRUE(ReadTree(dir.path()) == expected);
}
