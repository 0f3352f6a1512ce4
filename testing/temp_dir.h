// TTempDir: a private folder under the system's temporary folder for tests that
// need real files (HEX files, scripts, settings, device state). Removed with
// everything in it when the object goes. Used by the tests of every layer; it
// depends on no layer, so the emulator's tests can use it too. Header-only.
//
// Its name holds non-ASCII characters ("é" from the Windows ANSI code page, "Ω"
// from none), so every test that touches files also checks that paths travel as
// UTF-8 text and open through the wide API on Windows. Paths given out as text
// (Dir, File) are UTF-8.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

class TTempDir {
 public:
  TTempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::path candidate =
          base / Path(std::string(kNamePrefix) + std::to_string(random()));
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

  // The start of every such folder's name (UTF-8).
  static constexpr const char* kNamePrefix = "qelt_test_\xC3\xA9_\xCE\xA9_";

  const std::filesystem::path& path() const { return path_; }
  // The folder as the engines expect it in CurentDir: ending with the platform's
  // separator.
  std::string Dir() const {
    return Text(path_) + static_cast<char>(std::filesystem::path::preferred_separator);
  }
  // Path of `relative` (UTF-8) inside the folder, as text.
  std::string File(const std::string& relative) const { return Text(path_ / Path(relative)); }

  // Writes `content` byte for byte to `relative` (folders created as needed).
  std::filesystem::path Write(const std::string& relative, const std::string& content) const {
    const std::filesystem::path file = path_ / Path(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + Text(file));
    return file;
  }

  // UTF-8 text <-> path, for tests that build paths of their own.
  static std::filesystem::path Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
  }
  static std::string Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  }

 private:
  std::filesystem::path path_;
};
