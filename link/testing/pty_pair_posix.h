// A pseudo-terminal pair for the serial tests: the test plays the device on the
// master side, the serial port under test opens the slave by its path. The slave
// descriptor stays open for the pair's lifetime (otherwise the master reads EIO
// whenever the port is closed). Both sides are raw: every byte value passes.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

class TPtyPair {
 public:
  TPtyPair() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    path_ = name;
  }
  ~TPtyPair() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  bool ok() const { return !path_.empty(); }
  // The far end goes away as a killed emulator's does: both of its descriptors close.
  void Hangup() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
  }
  const std::string& path() const { return path_; }  // "/dev/pts/N"
  bool Write(const std::string& bytes) {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Everything the port has written so far (non-blocking).
  std::string Read() {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(master_, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};
