// The one place that opens files. Firmware packages are authored on Windows, so a
// backslash in a name is a folder separator, and when a name does not exist exactly,
// a single case-insensitive match in its folder is used (per path component).
// Paths travel through the program as UTF-8 text in std::string; they become
// std::filesystem::path only here (PathFromUtf8), so a name with any character
// opens on every platform (Windows: through the wide API, never the ANSI code page).
// Writes replace files atomically (temporary file, then the platform's replace).
// Used by the engines (HEX and Effect files), the sequencer (scripts), the settings
// file and the tools. Plain C++; no state.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The path that the UTF-8 text `utf8` names, and back. The only conversions
// between paths and text; std::filesystem::path's own std::string constructor and
// string() use the ANSI code page on Windows and must not be used.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// Turns backslashes into the platform's separator and resolves each component that
// does not exist as written to its unique case-insensitive match. Returns the path
// unchanged (separators converted) when nothing matches or a match is ambiguous.
std::string ResolvePath(const std::string& path);

// True when `path` (resolved as ResolvePath does) names an existing file or folder.
bool PathExists(const std::string& path);

// Reads a whole file, byte for byte (name resolved as ResolvePath does). False with
// `error` set to the platform's reason when it cannot be found, opened or read.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string* error = nullptr);

// The lines of a text: lines end at CR LF, LF or CR, and a final line end adds no
// empty line. What LoadTextLines makes of a file's bytes.
std::vector<std::string> SplitTextLines(std::string_view text);
// The lines, each followed by CR LF: the bytes SaveTextLines writes.
std::string JoinTextLines(const std::vector<std::string>& lines);

// Loads a whole text file as lines, as SplitTextLines splits its bytes. Returns
// false (with `error` set to the platform's reason) when the file cannot be found,
// opened or read.
bool LoadTextLines(const std::string& path, std::vector<std::string>& lines,
                   std::string* error = nullptr);

// Called before attempt `attempt` (2, 3, ...) to replace a file that another
// program holds open; returns false to give up. Windows refuses the replace while
// a program holds the target without sharing its deletion (a virus scanner, an
// editor); POSIX never does.
using TReplaceWait = std::function<bool(int attempt)>;
// The waits WriteFileAtomic uses unless told otherwise: 10 ms doubling up to 320 ms,
// six retries, about 0.6 s in all.
bool DefaultReplaceWait(int attempt);

// Writes `content` to a temporary file beside `path`, then replaces `path` with it
// (MoveFileExW or ReplaceFileW on Windows, rename on POSIX), so a reader never sees
// a half-written file and a reader that has the file open keeps its old content.
// While the target is held by another program, the replace is retried after each
// `wait`. Returns false with `error` naming the file and the reason; the temporary
// file is then removed and the target left as it was.
bool WriteFileAtomic(const std::string& path, const std::string& content,
                     std::string* error = nullptr, const TReplaceWait& wait = DefaultReplaceWait);

// Writes `lines`, each followed by CR LF (JoinTextLines), atomically.
bool SaveTextLines(const std::string& path, const std::vector<std::string>& lines,
                   std::string* error = nullptr);

// Opens `stream` to append to `path` in binary mode (a log file), creating it when
// missing. False with `error` set when it cannot be opened.
bool OpenForAppending(std::ofstream& stream, const std::string& path, std::string* error = nullptr);

// Reads a text file one line at a time (CR LF, LF or CR end a line), never loading
// it whole. For Effect files, which may be tens of megabytes. The file stays open
// until Close; other programs may read, replace or delete it meanwhile.
class TLineReader {
 public:
  TLineReader() = default;
  ~TLineReader();
  TLineReader(const TLineReader&) = delete;
  TLineReader& operator=(const TLineReader&) = delete;

  // Opens (resolving the name as ResolvePath does). False with `error` on failure.
  bool Open(const std::string& path, std::string* error = nullptr);
  // Next line without its end. False at end of file or on a read error (see Failed).
  bool ReadLine(std::string& line);
  bool IsOpen() const { return file_ != nullptr; }
  // True when the last ReadLine stopped on a read error rather than end of file.
  bool Failed() const { return failed_; }
  void Close();

 private:
  // Refills buf_ from the file; false at end of file or on a read error.
  bool Fill();

  std::FILE* file_ = nullptr;  // owned
  bool failed_ = false;
  std::vector<char> buf_;  // block read from the file, consumed from pos_
  size_t pos_ = 0;         // next unread byte of buf_
  size_t len_ = 0;         // valid bytes in buf_
};
