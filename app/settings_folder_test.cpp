// Where the settings file goes when the program's folder cannot be written: the
// user's own folder, named by the environment in Unicode, so an account such as
// "Hélène" gets a folder that opens and holds the file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "engines/card_table.h"
#include "engines/file_access.h"
#include "testing/temp_dir.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

using Lines = std::vector<std::string>;

// The variable that names the user's folder: %APPDATA% on Windows (read through
// the wide environment), $XDG_CONFIG_HOME elsewhere.
#ifdef _WIN32
constexpr const char* kBaseVariable = "APPDATA";
#else
constexpr const char* kBaseVariable = "XDG_CONFIG_HOME";
#endif

// Sets the variable (UTF-8 value) for the test's lifetime; an empty value unsets it.
class TEnvironmentOverride {
 public:
  TEnvironmentOverride(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;  // ASCII in these tests
    Set(value);
  }
  ~TEnvironmentOverride() { Set(old_.value_or("")); }
  TEnvironmentOverride(const TEnvironmentOverride&) = delete;
  TEnvironmentOverride& operator=(const TEnvironmentOverride&) = delete;

 private:
  void Set(const std::string& value) {
#ifdef _WIN32
    const std::wstring name = TTempDir::Path(name_).wstring();
    SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : TTempDir::Path(value).c_str());
#else
    if (value.empty()) {
      unsetenv(name_);
    } else {
      setenv(name_, value.c_str(), 1);
    }
#endif
  }
  const char* name_;
  std::optional<std::string> old_;  // the value before, when there was one
};

TEST(SettingsFolder, TheUsersFolderKeepsNonAsciiCharactersAndHoldsTheFile) {
  TTempDir dir;
  const std::string base = dir.Dir() + "H\xC3\xA9l\xC3\xA8ne \xCE\xA9";  // "Hélène Ω"
  const TEnvironmentOverride set(kBaseVariable, base);
  const std::string folder = DefaultUserConfigFolder();
  EXPECT_EQ(folder, base + kPathSeparator + "qelt-updater" + kPathSeparator);

  std::string error;
  ASSERT_TRUE(EnsureFolder(folder, &error)) << error;
  EXPECT_TRUE(FolderWritable(folder));
  ASSERT_TRUE(SaveTextLines(folder + kSettingsFileName, {"CON_TYPE=UDP"}, &error)) << error;
  Lines lines;
  ASSERT_TRUE(LoadTextLines(folder + kSettingsFileName, lines, &error)) << error;
  EXPECT_EQ(lines, Lines{"CON_TYPE=UDP"});
  EXPECT_TRUE(TTempDir::Path(folder).is_absolute());
}

TEST(SettingsFolder, AFolderThatCannotBeMadeIsReported) {
  TTempDir dir;
  dir.Write("file", "");
  std::string error;
  EXPECT_FALSE(EnsureFolder(dir.File("file/sub"), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(FolderWritable(dir.File("missing")));
}

#ifdef _WIN32
// Without %APPDATA% the known folder of roaming application data is used.
TEST(SettingsFolder, WindowsFallsBackToTheKnownFolder) {
  const TEnvironmentOverride unset(kBaseVariable, "");
  const std::string folder = DefaultUserConfigFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(TTempDir::Path(folder).is_absolute()) << folder;
  EXPECT_EQ(folder.substr(folder.size() - 14), "\\qelt-updater\\");
}
#else
TEST(SettingsFolder, PosixFallsBackToDotConfigUnderHome) {
  const TEnvironmentOverride unset(kBaseVariable, "");
  const TEnvironmentOverride home("HOME", "/home/h\xC3\xA9l\xC3\xA8ne");
  EXPECT_EQ(DefaultUserConfigFolder(), "/home/h\xC3\xA9l\xC3\xA8ne/.config/qelt-updater/");
  const TEnvironmentOverride no_home("HOME", "");
  EXPECT_EQ(DefaultUserConfigFolder(), "");
}
#endif

}  // namespace
