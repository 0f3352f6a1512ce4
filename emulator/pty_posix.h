// A pseudo-terminal for the emulator: the updater opens the slave side as its
// serial port, the emulator reads and writes the master side. The emulator keeps
// its own slave descriptor open, so the master never reads EIO while no client
// has the port open. Raw mode: every byte passes unchanged. POSIX only.
#pragma once

#include <string>

class TPseudoTerminal {
 public:
  TPseudoTerminal() = default;
  ~TPseudoTerminal();
  TPseudoTerminal(const TPseudoTerminal&) = delete;
  TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

  // Creates the pair, puts it in raw mode and makes the master non-blocking.
  // False with `error` set.
  bool Open(std::string* error);
  // Master descriptor, for a read notifier; -1 until opened.
  int MasterFd() const { return master_; }
  // The path the updater opens, e.g. /dev/pts/3.
  const std::string& SlavePath() const { return slave_path_; }
  // Non-blocking read of up to `size` bytes: the count, 0 when nothing is waiting.
  long Read(char* buffer, unsigned long size);
  // Non-blocking write: the count written (possibly fewer), 0 when the terminal's
  // buffer is full.
  long Write(const char* data, unsigned long size);

 private:
  int master_ = -1;
  int slave_ = -1;  // kept open on purpose
  std::string slave_path_;
};
