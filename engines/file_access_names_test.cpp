// File names with characters beyond ASCII: the program holds them as UTF-8 text,
// and every operation of the file access finds the file that a path made from the
// same characters names. On Windows this fails wherever the text goes through the
// ANSI code page ("é" would be read as two characters, "Ω" and "日本" have no code
// at all), so these run on every platform.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engines/card_table.h"
#include "engines/file_access.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Folder and file names as UTF-8: Latin-1 letters, a letter of the Windows code
// page 1252 outside Latin-1, Greek, and Japanese.
const char* const kNames[] = {
    "caf\xC3\xA9",                               // café
    "\xC5\x92uvre",                              // Œuvre
    "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1",  // Ωμέγα
    "\xE6\x97\xA5\xE6\x9C\xAC",                  // 日本
};

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(FileNames, Utf8TextAndPathsConvertBothWays) {
  for (const char* name : kNames) {
    SCOPED_TRACE(name);
    const fs::path path = PathFromUtf8(name);
    EXPECT_EQ(path, fs::path(std::u8string(reinterpret_cast<const char8_t*>(name))));
    EXPECT_EQ(Utf8FromPath(path), name);
  }
  EXPECT_EQ(Utf8FromPath(PathFromUtf8("")), "");
}

// Each file is made through a path built from the characters themselves, then
// reached through the UTF-8 text of its name, as a script or the window gives it.
TEST(FileNames, EveryOperationFindsFilesInNonAsciiFolders) {
  TTempDir dir;
  for (const char* name : kNames) {
    SCOPED_TRACE(name);
    const std::string folder = dir.Dir() + name + kPathSeparator;
    fs::create_directories(PathFromUtf8(folder));
    const std::string file = folder + name + ".txt";
    std::ofstream(PathFromUtf8(file), std::ios::binary) << "one\r\ntwo\r\n";

    EXPECT_TRUE(PathExists(file));
    EXPECT_EQ(ResolvePath(file), file);
    Lines lines;
    std::string error;
    ASSERT_TRUE(LoadTextLines(file, lines, &error)) << error;
    EXPECT_EQ(lines, (Lines{"one", "two"}));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(file, bytes, &error)) << error;
    EXPECT_EQ(bytes, "one\r\ntwo\r\n");
    TLineReader reader;
    ASSERT_TRUE(reader.Open(file, &error)) << error;
    std::string line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "one");
    reader.Close();

    ASSERT_TRUE(SaveTextLines(file, {"three"}, &error)) << error;
    EXPECT_EQ(ReadAll(PathFromUtf8(file)), "three\r\n");
    std::ofstream log;
    ASSERT_TRUE(OpenForAppending(log, folder + "log.txt", &error)) << error;
    log << "appended";
    log.close();
    EXPECT_EQ(ReadAll(PathFromUtf8(folder + "log.txt")), "appended");
    // Nothing was made under another name (a mangled temporary file, say).
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(folder))) {
      EXPECT_TRUE(entry.path().filename() == PathFromUtf8(std::string(name) + ".txt") ||
                  entry.path().filename() == "log.txt")
          << Utf8FromPath(entry.path());
      ++entries;
    }
    EXPECT_EQ(entries, 2);
  }
}

// Packages authored on Windows name files in any case: the ASCII letters of a
// non-ASCII name still match without regard to case.
TEST(FileNames, CaseIsIgnoredInTheAsciiLettersOfNonAsciiNames) {
  TTempDir dir;
  const std::string folder = std::string("Caf\xC3\xA9") + kPathSeparator;
  fs::create_directories(PathFromUtf8(dir.Dir() + folder));
  std::ofstream(PathFromUtf8(dir.Dir() + folder + "\xCE\xA9_Script.INI")) << "RS\n";
  Lines lines;
  ASSERT_TRUE(LoadTextLines(dir.Dir() + "CAF\xC3\xA9\\\xCE\xA9_script.ini", lines));
  EXPECT_EQ(lines, Lines{"RS"});
}

TEST(FileNames, AMissingNonAsciiFileIsReportedAsMissing) {
  TTempDir dir;
  Lines lines = {"stale"};
  std::string error;
  EXPECT_FALSE(LoadTextLines(dir.Dir() + kNames[2] + kPathSeparator + kNames[3], lines, &error));
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(PathExists(dir.Dir() + kNames[3]));
}

}  // namespace
