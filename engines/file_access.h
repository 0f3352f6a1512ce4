// The one place that opens files. Firmware packages are authored on Windows, so a
// backslash in a name is a folder separator, and when a name does not exist exactly,
// a single case-insensitive match in its folder is used (per path component).
// Writes replace files atomically (temporary file, then rename).
// Used by the engines (HEX and Effect files), the sequencer (scripts) and the
// settings file. Plain C++; no state.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Turns backslashes into the platform's separator and resolves each component that
// does not exist as written to its unique case-insensitive match. Returns the path
// unchanged (separators converted) when nothing matches or a match is ambiguous.
std::string ResolvePath(const std::string& path);

// Loads a whole text file as lines; lines end at CR LF, LF or CR, and a final line
// end adds no empty line. Returns false (with `error` set to the platform's reason)
// when the file cannot be found, opened or read.
bool LoadTextLines(const std::string& path, std::vector<std::string>& lines,
                   std::string* error = nullptr);

// Writes `content` to a temporary file beside `path`, then renames it over `path`,
// so a reader never sees a half-written file. Returns false with `error` set.
bool WriteFileAtomic(const std::string& path, const std::string& content,
                     std::string* error = nullptr);

// Writes `lines`, each followed by CR LF, atomically.
bool SaveTextLines(const std::string& path, const std::vector<std::string>& lines,
                   std::string* error = nullptr);

// Reads a text file one line at a time (CR LF, LF or CR end a line), never loading
// it whole. For Effect files, which may be tens of megabytes.
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
  std::vector<char> buf_;      // block read from the file, consumed from pos_
  size_t pos_ = 0;             // next unread byte of buf_
  size_t len_ = 0;             // valid bytes in buf_
};
