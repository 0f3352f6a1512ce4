// TTempDir: a private folder under the system's temporary folder for tests that
// need real files (HEX files, scripts, settings, device state). Removed with
// everything in it when the object goes. Used by the tests of every layer; it
// depends on no layer, so the emulator's tests can use it too. Header-only.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

class TTempDir {
 public:
  TTempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::path candidate = base / ("qelt_test_" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) {
        path_ = candidate;
        return;
      }
    }
    throw std::runtime_error("cannot create a temporary folder");
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as the engines expect it in CurentDir: ending with the platform's
  // separator.
  std::string Dir() const {
    return path_.string() + static_cast<char>(std::filesystem::path::preferred_separator);
  }
  // Path of `relative` inside the folder, as text.
  std::string File(const std::string& relative) const { return (path_ / relative).string(); }

  // Writes `content` byte for byte to `relative` (folders created as needed).
  std::filesystem::path Write(const std::string& relative, const std::string& content) const {
    const std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return file;
  }

 private:
  std::filesystem::path path_;
};
