#include "engines/file_access.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engines/card_table.h"
#include "testing/temp_dir.h"

namespace {

using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

constexpr const char* kNoCaseVariants =
    "this file system cannot hold two names that differ only in case";

class FileAccessTest : public ::testing::Test {
 protected:
  // True when the test folder's file system finds a file under another case of its
  // name (Windows, macOS by default), found by trying rather than by platform.
  bool CaseInsensitive() {
    const fs::path probe = dir.Write("case-probe.txt", "");
    const bool found = fs::exists(dir.path() / "CASE-PROBE.TXT");
    fs::remove(probe);
    return found;
  }
  Lines Load(const std::string& relative, bool expect_ok = true) {
    Lines lines = {"stale"};
    std::string error;
    EXPECT_EQ(LoadTextLines(dir.Dir() + relative, lines, &error), expect_ok) << relative;
    if (!expect_ok) {
      EXPECT_FALSE(error.empty());
    }
    return lines;
  }
  TTempDir dir;
};

TEST_F(FileAccessTest, LinesEndAtCrLfLfOrCrAndAFinalEndAddsNoLine) {
  const std::pair<std::string, Lines> cases[] = {
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r", {"a"}},
      {"a\n\n", {"a", ""}},
      {"a\r\r\n", {"a", ""}},
      {"\r\n", {""}},
      {"\n\r", {"", ""}},  // LF then a lone CR: two ends
      {"", {}},
      {"no end", {"no end"}},
      {" keep  blanks \t\r\n", {" keep  blanks \t"}},
      {std::string("nul\0byte", 8), {std::string("nul\0byte", 8)}},
  };
  for (const auto& [content, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(content));
    dir.Write("f.txt", content);
    EXPECT_EQ(Load("f.txt"), expected);
    EXPECT_EQ(SplitTextLines(content), expected);
    // Joined, the lines split back to themselves.
    EXPECT_EQ(SplitTextLines(JoinTextLines(expected)), expected);
  }
}

TEST_F(FileAccessTest, MissingFileOrFolderFailsWithAReasonAndNoLines) {
  EXPECT_EQ(Load("missing.hex", false), Lines{});
  EXPECT_EQ(Load("", false), Lines{});  // the folder itself
  EXPECT_EQ(Load("nowhere\\f.txt", false), Lines{});
}

TEST_F(FileAccessTest, BackslashesAreFolderSeparators) {
  dir.Write("VI3/sub/script.ini", "RS\r\n");
  EXPECT_EQ(Load("VI3\\sub\\script.ini"), Lines{"RS"});
}

TEST_F(FileAccessTest, AUniqueCaseInsensitiveMatchIsUsedPerComponent) {
  dir.Write("Rev1/Scan/Boot_Ext.HEX", ":00000001FF\n");
  EXPECT_EQ(Load("rev1\\SCAN\\boot_ext.hex"), Lines{":00000001FF"});
  const std::string resolved = ResolvePath(dir.Dir() + "REV1\\scan\\BOOT_EXT.hex");
  if (CaseInsensitive()) {
    // The name as written exists already, so it is kept.
    EXPECT_EQ(resolved,
              dir.Dir() + "REV1" + kPathSeparator + "scan" + kPathSeparator + "BOOT_EXT.hex");
  } else {
    EXPECT_EQ(resolved, dir.File("Rev1/Scan/Boot_Ext.HEX"));
  }
}

TEST_F(FileAccessTest, AnExactNameWinsOverOtherCaseVariants) {
  if (CaseInsensitive()) GTEST_SKIP() << kNoCaseVariants;
  dir.Write("file.txt", "exact");
  dir.Write("FILE.txt", "variant");
  EXPECT_EQ(Load("file.txt"), Lines{"exact"});
}

TEST_F(FileAccessTest, AnAmbiguousMatchIsNotGuessed) {
  if (CaseInsensitive()) GTEST_SKIP() << kNoCaseVariants;
  dir.Write("File.txt", "one");
  dir.Write("FILE.txt", "two");
  Load("file.txt", false);
  EXPECT_EQ(ResolvePath(dir.Dir() + "file.txt"), dir.Dir() + "file.txt");
}

TEST_F(FileAccessTest, ResolveLeavesAnUnmatchedNameConverted) {
  std::string expected = std::string("qelt_no_such_folder") + kPathSeparator + "b.txt";
  EXPECT_EQ(ResolvePath("qelt_no_such_folder\\b.txt"), expected);
  EXPECT_EQ(ResolvePath(""), "");
}

TEST_F(FileAccessTest, AtomicWriteReplacesTheFileAndLeavesNoTemporary) {
  const fs::path target = dir.Write("Updater.prm", "old content that is longer");
  std::string error;
  ASSERT_TRUE(WriteFileAtomic(dir.File("Updater.prm"), "new", &error)) << error;
  EXPECT_EQ(ReadAll(target), "new");
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(FileAccessTest, AtomicWriteIntoAMissingFolderFailsAndTouchesNothing) {
  std::string error;
  const std::string target = dir.Dir() + "absent" + kPathSeparator + "f.txt";
  EXPECT_FALSE(WriteFileAtomic(target, "x", &error));
  EXPECT_EQ(error, "cannot create " + target + ".tmp~: No such file or directory");
  EXPECT_FALSE(fs::exists(dir.path() / "absent"));
}

TEST_F(FileAccessTest, SavedLinesEndWithCrLfAndLoadBack) {
  const Lines lines = {"[Port]", "", "COM=3"};
  ASSERT_TRUE(SaveTextLines(dir.Dir() + "out.ini", lines));
  EXPECT_EQ(ReadAll(dir.path() / "out.ini"), "[Port]\r\n\r\nCOM=3\r\n");
  EXPECT_EQ(Load("out.ini"), lines);
}

TEST_F(FileAccessTest, LineReaderReadsOneLineAtATime) {
  dir.Write("effect.txt", "one\r\ntwo\rthree\n\nfour");
  TLineReader reader;
  ASSERT_TRUE(reader.Open(dir.Dir() + "EFFECT.TXT"));
  Lines read;
  std::string line;
  while (reader.ReadLine(line)) read.push_back(line);
  EXPECT_EQ(read, (Lines{"one", "two", "three", "", "four"}));
  EXPECT_FALSE(reader.Failed());
  EXPECT_FALSE(reader.ReadLine(line));  // stays at the end
}

TEST_F(FileAccessTest, LineReaderAgreesWithLoadOnLineEnds) {
  const std::string content = "a\r\r\nb\n\rc\r";
  dir.Write("f.txt", content);
  TLineReader reader;
  ASSERT_TRUE(reader.Open(dir.Dir() + "f.txt"));
  Lines read;
  std::string line;
  while (reader.ReadLine(line)) read.push_back(line);
  EXPECT_EQ(read, Load("f.txt"));
}

TEST_F(FileAccessTest, LineReaderRefusesMissingFilesAndFolders) {
  TLineReader reader;
  std::string error;
  EXPECT_FALSE(reader.Open(dir.Dir() + "missing.txt", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_FALSE(reader.Open(dir.Dir(), &error));
  std::string line;
  EXPECT_FALSE(reader.ReadLine(line));
}

// The reader works in 64 KiB blocks: a line end split across two blocks (CR at
// the end of one, LF at the start of the next) is still one line end, and lines
// longer than a block come back whole.
TEST_F(FileAccessTest, LineReaderHandlesLineEndsAndLinesAcrossBlocks) {
  const size_t kBlock = 64 * 1024;
  struct Case {
    const char* name;
    std::string content;
  };
  const std::string head(kBlock - 1, 'x');
  const std::string huge(3 * kBlock + 17, 'y');
  const Case cases[] = {
      {"crlf split", head + "\r\nnext\r\n"},
      {"cr at block end then text", head + "\rnext"},
      {"lf opens a block", std::string(kBlock, 'z') + "\nnext"},
      {"line longer than a block", huge + "\r\n" + huge},
      {"cr at end of file", head + "\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("big.txt", c.content);
    TLineReader reader;
    ASSERT_TRUE(reader.Open(dir.Dir() + "big.txt"));
    Lines read;
    std::string line;
    while (reader.ReadLine(line)) read.push_back(line);
    EXPECT_FALSE(reader.Failed());
    EXPECT_EQ(read, Load("big.txt"));
  }
}

}  // namespace
