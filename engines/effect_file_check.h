// TEffectFileCheck: checks an Effect file line by line, a slice of lines at a
// time, with the parser a playback uses, so that a file the device could not play
// to its end is refused before its first statement. The JTAG engine runs it while
// it pauses before a playback; the package checker runs it before a run. Reads one
// line at a time (Effect files may be tens of megabytes); single-threaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engines/file_access.h"

// A line of an Effect file that is not a statement, and why.
struct TEffectFault {
  int32_t Line = 0;    // 1-based
  std::string Reason;  // as CheckEffectLine gives it
};

class TEffectFileCheck {
 public:
  // `max_faults`: how many faults are kept. The check stops at the last kept
  // fault unless `count_all`, in which case it reads on and counts the rest.
  explicit TEffectFileCheck(size_t max_faults = 1, bool count_all = false)
      : max_faults_(max_faults), count_all_(count_all) {}

  // Opens `path` (resolved as every file is) and starts from its first line. False,
  // with the platform's reason in `error`, when it cannot be opened.
  bool Open(const std::string& path, std::string* error = nullptr);
  // Checks up to `max_lines` further lines. True once the whole file is checked,
  // or once `max_faults` faults are kept (unless counting all), or on a read error
  // (see ReadFailed).
  bool Advance(size_t max_lines);

  bool Done() const { return done_; }
  bool ReadFailed() const { return reader_.Failed(); }
  const std::vector<TEffectFault>& Faults() const { return faults_; }
  // Every fault found so far, kept or not.
  size_t FaultCount() const { return fault_count_; }
  int32_t LinesChecked() const { return lines_; }
  // Bytes of the lines read so far (line ends counted as one byte), for progress.
  uint64_t BytesChecked() const { return bytes_; }

 private:
  TLineReader reader_;
  size_t max_faults_;
  bool count_all_;
  std::vector<TEffectFault> faults_;
  size_t fault_count_ = 0;
  int32_t lines_ = 0;
  uint64_t bytes_ = 0;
  bool done_ = false;
};
