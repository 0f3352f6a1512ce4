// qelt-svf2eff as a package author runs it: the vendor files that fit the Effect
// language convert into a copy of the sample package, which then passes the check
// a run makes; a file that does not fit is refused line by line and nothing is
// written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/package_check.h"
#include "engines/file_access.h"
#include "testing/temp_dir.h"
#include "tools/sample_package.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;

fs::path SourceDir() {
  if (const char* src = std::getenv("QELT_SOURCE_DIR")) return src;
  return fs::path(QELT_SOURCE_DIR_FALLBACK);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Quoted(const fs::path& path) { return "\"" + Utf8FromPath(path) + "\""; }

// The converter as a command line: where the build put it. A Windows build made on
// another system (and run under wine) holds that system's absolute path, which
// wine shows on drive Z:.
std::string Program() {
  std::string path = QELT_SVF2EFF_PATH;
#ifdef _WIN32
  if (path.starts_with("/")) path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return "\"" + path + "\"";
}

// The converter's exit status (-1 when it did not exit normally); its standard
// error in `err`.
int RunSvf2Eff(const std::string& arguments, const fs::path& err_file, std::string* err) {
  const std::string command = Program() + " " + arguments + " 2> " + Quoted(err_file);
#ifdef _WIN32
  // cmd takes the outer quotes off a line that begins with one; the wide call keeps
  // every character of the UTF-8 names.
  const int status = _wsystem(PathFromUtf8("\"" + command + "\"").c_str());
#else
  const int status = std::system(command.c_str());
#endif
  *err = ReadFile(err_file);
#ifdef _WIN32
  // Standard error is a text stream there: each "\n" reached the file as CR LF.
  std::erase(*err, '\r');
  return status;
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TEST(Svf2Eff, ConvertedVendorFilesMakeAPackageThatPassesTheCheck) {
  TTempDir dir;
  for (const TPackageFile& file : BuildSamplePackage()) dir.Write(file.Path, file.Bytes);
  const struct {
    const char* vendor;  // in engines/testdata
    const char* target;  // the sample package's Effect file it replaces
    const char* options;
  } cases[] = {
      {"VHDL-CPLDIntro1LEDon.svf", "rev1/VI3/VI3_CPLD.svf", ""},
      {"bbv3-jtagkey.svf", "rev1/HD/HD_PROM1.svf", "--quiet"},
      {"snes_dejitter.svf", "rev1/OPT_IN/OPT_IN_CPLD.svf", "--quiet --tck-hz 1000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vendor);
    const fs::path target = dir.path() / c.target;
    fs::remove(target);  // the converter must write it
    std::string err;
    ASSERT_EQ(RunSvf2Eff(std::string(c.options) + " " +
                             Quoted(SourceDir() / "engines" / "testdata" / c.vendor) + " " +
                             Quoted(target),
                         dir.path() / "err.txt", &err),
              0)
        << err;
    EXPECT_TRUE(ReadFile(target).ends_with(";\r\n"));
  }
  fs::remove(dir.path() / "err.txt");
  TPackageCheck check(dir.Dir() + "script.ini");
  check.Run();
  std::string findings;
  for (const TFinding& f : check.Findings()) findings += FormatFinding(f) + "\n";
  EXPECT_EQ(findings, "");
}

TEST(Svf2Eff, AFileThatDoesNotFitIsRefusedLineByLineAndNothingIsWritten) {
  TTempDir dir;
  const fs::path input = SourceDir() / "engines" / "testdata" / "snes_dejitter.svf";
  const fs::path output = dir.path() / "out.eff";
  std::string err;
  EXPECT_EQ(
      RunSvf2Eff("--quiet " + Quoted(input) + " " + Quoted(output), dir.path() / "err.txt", &err),
      1);
  EXPECT_TRUE(err.starts_with(Utf8FromPath(input) +
                              ":11: RUNTEST with a time in seconds needs the chain's clock: "
                              "give --tck-hz\n"))
      << err.substr(0, 300);
  size_t lines = 0;
  for (char ch : err) lines += ch == '\n' ? 1 : 0;
  EXPECT_EQ(lines, 435u);  // one line per refused statement, then the verdict
  EXPECT_TRUE(
      err.ends_with("qelt-svf2eff: 434 statement(s) cannot be expressed in the Effect "
                    "language; nothing written\n"));
  EXPECT_FALSE(fs::exists(output));
}

}  // namespace
