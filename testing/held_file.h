// THeldFile: holds an existing file open the way a program that shares nothing
// does, so that no other open of it succeeds while the object lives. Windows only
// (a sharing mode of none); POSIX has no such hold, and Held() stays false there.
// For tests of files that exist but cannot be read. Header-only.
#pragma once

#include <filesystem>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

class THeldFile {
 public:
  explicit THeldFile(const std::filesystem::path& file) {
#ifdef _WIN32
    handle_ = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
#else
    (void)file;
#endif
  }
  ~THeldFile() {
#ifdef _WIN32
    if (Held()) CloseHandle(handle_);
#endif
  }
  THeldFile(const THeldFile&) = delete;
  THeldFile& operator=(const THeldFile&) = delete;

  bool Held() const {
#ifdef _WIN32
    return handle_ != INVALID_HANDLE_VALUE;
#else
    return false;
#endif
  }

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#endif
};
