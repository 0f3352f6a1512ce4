// qelt-make-package: writes the sample firmware package (sample_package.cpp) into
// a folder, or checks that a folder holds exactly those bytes.
//   qelt-make-package DIR              write (replacing files atomically)
//   qelt-make-package --check DIR      exit 0 when every file matches, 1 otherwise
//   qelt-make-package --full-size DIR  write the package at full size (benchmarks)
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "engines/file_access.h"
#include "tools/sample_package.h"
#include "platform/utf8_console.h"

namespace {

int Write(const std::string& root, const std::vector<TPackageFile>& files) {
  for (const TPackageFile& file : files) {
    const std::filesystem::path path = PathFromUtf8(root) / PathFromUtf8(file.Path);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::string error;
    if (ec) error = "cannot create " + Utf8FromPath(path.parent_path()) + ": " + ec.message();
    if (ec || !WriteFileAtomic(Utf8FromPath(path), file.Bytes, &error)) {
      std::fprintf(stderr, "qelt-make-package: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}

int Check(const std::string& root) {
  int differences = 0;
  for (const TPackageFile& file : BuildSamplePackage()) {
    // The name must exist as written: a file of another case is missing here.
    const std::filesystem::path path = PathFromUtf8(root) / PathFromUtf8(file.Path);
    std::error_code ec;
    std::string bytes;
    if (!std::filesystem::exists(path, ec) || !ReadFileBytes(Utf8FromPath(path), bytes)) {
      std::printf("missing: %s\n", file.Path.c_str());
      ++differences;
    } else if (bytes != file.Bytes) {
      std::printf("differs: %s\n", file.Path.c_str());
      ++differences;
    }
  }
  return differences == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  UseUtf8Console();
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  const std::string first = args.empty() ? "" : args[0];
  if (args.size() == 1 && !first.starts_with("--")) return Write(first, BuildSamplePackage());
  if (args.size() == 2 && first == "--check") return Check(args[1]);
  if (args.size() == 2 && first == "--full-size") return Write(args[1], BuildFullSizePackage());
  std::fprintf(first == "--help" ? stdout : stderr,
               "Usage: qelt-make-package DIR              write the sample package into DIR\n"
               "       qelt-make-package --check DIR      compare DIR with the package\n"
               "       qelt-make-package --full-size DIR  write it with full-size images\n"
               "                                          (32 KiB banks, 8 KiB boot images,\n"
               "                                          1 MiB Effect files) into DIR\n");
  return first == "--help" ? 0 : 2;
}
