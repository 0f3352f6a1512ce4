// POSIX file access: fopen and rename. An open file never stands in the way of a
// rename over it (the reader keeps the old content), so nothing is ever held.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "engines/file_access_platform.h"

std::FILE* OpenSharedForReading(const std::filesystem::path& path, std::string& reason) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) reason = std::strerror(errno != 0 ? errno : ENOENT);
  return file;
}

TReplaceResult ReplaceFileOnce(const std::filesystem::path& temp,
                               const std::filesystem::path& target, std::string& reason) {
  std::error_code ec;
  std::filesystem::rename(temp, target, ec);
  if (!ec) return TReplaceResult::RR_DONE;
  reason = ec.message();
  return TReplaceResult::RR_FAILED;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
