// Windows file access through the wide API. Files are read with every kind of
// sharing, so an open reader never stops the program from replacing the file. A
// replace is MoveFileExW (replace existing, write-through); when the target is
// held open, ReplaceFileW, which succeeds where the holder shares deletion. Errors
// read as on POSIX for the common cases ("No such file or directory", "Permission
// denied"), else as the system's own message.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "engines/file_access_platform.h"

namespace {

std::string Utf8(const wchar_t* text, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 ? Utf8(text, static_cast<int>(length)) : std::string();
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message.empty() ? "Windows error " + std::to_string(code) : message;
}

bool HeldByAnother(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
         code == ERROR_ACCESS_DENIED || code == ERROR_UNABLE_TO_REMOVE_REPLACED ||
         code == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

// True when `path` can be opened for deletion, which every other handle to it must
// allow; else false with the reason in `code`.
bool OpenableForDeletion(const std::filesystem::path& path, DWORD& code) {
  HANDLE handle =
      CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    code = GetLastError();
    return false;
  }
  CloseHandle(handle);
  return true;
}

std::string Reason(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
      return std::strerror(EACCES);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
      return "the file is in use by another program";
    default:
      return SystemMessage(code);
  }
}

}  // namespace

std::FILE* OpenSharedForReading(const std::filesystem::path& path, std::string& reason) {
  HANDLE handle = CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = Reason(GetLastError());
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd == -1) {
    reason = std::strerror(errno);
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "rb");
  if (file == nullptr) {
    reason = std::strerror(errno);
    _close(fd);  // closes the handle too
  }
  return file;
}

TReplaceResult ReplaceFileOnce(const std::filesystem::path& temp,
                               const std::filesystem::path& target, std::string& reason) {
  if (MoveFileExW(temp.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return TReplaceResult::RR_DONE;
  }
  DWORD code = GetLastError();
  if (HeldByAnother(code)) {
    // The target is open: ReplaceFileW swaps the files where every holder shares
    // deletion. Where one does not, it is not tried: it would fail the same way,
    // and some implementations leave a file of their own behind when they do.
    DWORD probe = 0;
    if (OpenableForDeletion(target, probe)) {
      if (ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                       nullptr)) {
        return TReplaceResult::RR_DONE;
      }
      code = GetLastError();
    } else if (probe != ERROR_FILE_NOT_FOUND) {
      code = probe;
    }
  }
  reason = Reason(code);
  return HeldByAnother(code) ? TReplaceResult::RR_HELD : TReplaceResult::RR_FAILED;
}

void SleepMs(int ms) { Sleep(static_cast<DWORD>(ms)); }
