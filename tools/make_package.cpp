// qelt-make-package: writes the sample firmware package (sample_package.cpp) into
// a folder, or checks that a folder holds exactly those bytes.
//   qelt-make-package DIR              write (replacing files atomically)
//   qelt-make-package --check DIR      exit 0 when every file matches, 1 otherwise
//   qelt-make-package --full-size DIR  write the package at full size (benchmarks)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "engines/file_access.h"
#include "tools/sample_package.h"

namespace {

bool ReadWhole(const std::filesystem::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Write(const std::filesystem::path& root, const std::vector<TPackageFile>& files) {
  for (const TPackageFile& file : files) {
    std::filesystem::path path = root / file.Path;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::string error;
    if (ec || !WriteFileAtomic(path.string(), file.Bytes, &error)) {
      std::fprintf(stderr, "qelt-make-package: cannot write %s: %s\n", path.string().c_str(),
                   ec ? ec.message().c_str() : error.c_str());
      return 1;
    }
  }
  return 0;
}

int Check(const std::filesystem::path& root) {
  int differences = 0;
  for (const TPackageFile& file : BuildSamplePackage()) {
    std::string bytes;
    if (!ReadWhole(root / file.Path, bytes)) {
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
  std::string first = argc > 1 ? argv[1] : "";
  if (argc == 2 && !first.starts_with("--")) return Write(first, BuildSamplePackage());
  if (argc == 3 && first == "--check") return Check(argv[2]);
  if (argc == 3 && first == "--full-size") return Write(argv[2], BuildFullSizePackage());
  std::fprintf(first == "--help" ? stdout : stderr,
               "Usage: qelt-make-package DIR              write the sample package into DIR\n"
               "       qelt-make-package --check DIR      compare DIR with the package\n"
               "       qelt-make-package --full-size DIR  write it with full-size images\n"
               "                                          (32 KiB banks, 8 KiB boot images,\n"
               "                                          1 MiB Effect files) into DIR\n");
  return first == "--help" ? 0 : 2;
}
