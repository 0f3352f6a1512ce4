#include "emulator/pty_posix.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

TPseudoTerminal::~TPseudoTerminal() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
}

bool TPseudoTerminal::Open(std::string* error) {
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    if (error != nullptr)
      *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  slave_path_ = name;
  termios tio{};
  if (::tcgetattr(slave_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
  }
  const int flags = ::fcntl(master_, F_GETFL);
  ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  return true;
}

long TPseudoTerminal::Read(char* buffer, unsigned long size) {
  const ssize_t n = ::read(master_, buffer, size);
  return n > 0 ? static_cast<long>(n) : 0;
}

long TPseudoTerminal::Write(const char* data, unsigned long size) {
  const ssize_t n = ::write(master_, data, size);
  return n > 0 ? static_cast<long>(n) : 0;
}
