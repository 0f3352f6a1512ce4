// Replacing a file while others read it. The program's own readers never stand in
// the way; on Windows a program that holds the target without sharing its deletion
// does (the C runtime's fopen, a virus scanner), and the replace is retried until
// it lets go or the waits give up, with an error that names the file and why.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engines/file_access.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool kForeignReaderBlocksReplace = true;
#else
constexpr bool kForeignReaderBlocksReplace = false;  // a rename never waits for readers
#endif

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class FileReplaceTest : public ::testing::Test {
 protected:
  FileReplaceTest() : target(dir.File("script.ini")) { dir.Write("script.ini", "old 1\nold 2\n"); }

  // The files in the test folder, by name.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      names.push_back(TTempDir::Text(entry.path().filename()));
    }
    return names;
  }

  TTempDir dir;
  const std::string target;
  std::vector<int> waits;  // the attempts each wait was called before
};

TEST_F(FileReplaceTest, AnOpenLineReaderKeepsItsContentAndDoesNotStopTheReplace) {
  TLineReader reader;
  ASSERT_TRUE(reader.Open(target));
  std::string line;
  ASSERT_TRUE(reader.ReadLine(line));
  std::string error;
  const auto wait = [this](int attempt) { return waits.push_back(attempt), true; };
  ASSERT_TRUE(WriteFileAtomic(target, "new\n", &error, wait)) << error;
  EXPECT_TRUE(waits.empty());
  EXPECT_EQ(ReadAll(TTempDir::Path(target)), "new\n");
  ASSERT_TRUE(reader.ReadLine(line));
  EXPECT_EQ(line, "old 2");  // the reader still reads the file it opened
  EXPECT_FALSE(reader.ReadLine(line));
  reader.Close();
  EXPECT_EQ(Entries(), std::vector<std::string>{"script.ini"});
}

TEST_F(FileReplaceTest, TheReplaceIsRetriedUntilAForeignReaderLetsGo) {
  auto holder = std::make_unique<std::ifstream>(TTempDir::Path(target), std::ios::binary);
  ASSERT_TRUE(holder->is_open());
  const auto wait = [&](int attempt) {
    waits.push_back(attempt);
    holder.reset();  // the other program closes the file
    return true;
  };
  std::string error;
  ASSERT_TRUE(WriteFileAtomic(target, "new\n", &error, wait)) << error;
  EXPECT_EQ(waits, kForeignReaderBlocksReplace ? std::vector<int>{2} : std::vector<int>{});
  EXPECT_EQ(ReadAll(TTempDir::Path(target)), "new\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{"script.ini"});
}

TEST_F(FileReplaceTest, AReaderThatNeverLetsGoEndsWithTheFileAndTheReason) {
  std::ifstream holder(TTempDir::Path(target), std::ios::binary);
  ASSERT_TRUE(holder.is_open());
  const auto wait = [this](int attempt) { return waits.push_back(attempt), attempt < 4; };
  std::string error;
  const bool replaced = WriteFileAtomic(target, "new\n", &error, wait);
  if (kForeignReaderBlocksReplace) {
    EXPECT_FALSE(replaced);
    EXPECT_EQ(waits, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(error, "cannot replace " + target + ": the file is in use by another program");
    EXPECT_EQ(ReadAll(TTempDir::Path(target)), "old 1\nold 2\n");
  } else {
    EXPECT_TRUE(replaced) << error;
    EXPECT_TRUE(waits.empty());
    EXPECT_EQ(ReadAll(TTempDir::Path(target)), "new\n");
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{"script.ini"});  // no temporary left
}

TEST_F(FileReplaceTest, WithoutWaitsAHeldTargetFailsAtOnce) {
  std::ifstream holder(TTempDir::Path(target), std::ios::binary);
  std::string error;
  EXPECT_EQ(WriteFileAtomic(target, "new\n", &error, TReplaceWait()), !kForeignReaderBlocksReplace)
      << error;
}

}  // namespace
