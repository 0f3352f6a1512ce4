// The platform's side of file access, one implementation per platform
// (file_access_posix.cpp, file_access_win.cpp). Called only by file_access.cpp;
// callers elsewhere use engines/file_access.h. No state.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// Opens `path` for reading in binary mode, letting other programs read, write,
// rename, replace and delete it meanwhile. Null with `reason` on failure.
std::FILE* OpenSharedForReading(const std::filesystem::path& path, std::string& reason);

// The outcome of one attempt to put a temporary file in place of its target.
enum class TReplaceResult {
  RR_DONE,    // the target now holds the temporary file's content
  RR_HELD,    // another program holds one of the files open; a later try may work
  RR_FAILED,  // refused for good (no folder, no permission, another file system)
};

// Renames `temp` over `target`, replacing it. `reason` says why when not RR_DONE.
TReplaceResult ReplaceFileOnce(const std::filesystem::path& temp,
                               const std::filesystem::path& target, std::string& reason);

// Sleeps `ms` milliseconds (the waits between replace attempts).
void SleepMs(int ms);
