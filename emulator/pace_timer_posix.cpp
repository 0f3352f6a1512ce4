#include "emulator/pace_timer_posix.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

namespace {

constexpr int64_t kSecondNs = 1'000'000'000;

itimerspec At(int64_t deadline_ns) {
  itimerspec spec{};
  // A zero time would disarm the timer: a deadline that has passed is 1 ns.
  const int64_t at = deadline_ns > 0 ? deadline_ns : 1;
  spec.it_value.tv_sec = static_cast<time_t>(at / kSecondNs);
  spec.it_value.tv_nsec = static_cast<long>(at % kSecondNs);
  return spec;
}

}  // namespace

TPaceTimer::TPaceTimer(QObject* parent) : QObject(parent) {}

TPaceTimer::~TPaceTimer() {
  delete notifier_;
  if (fd_ >= 0) ::close(fd_);
}

bool TPaceTimer::Open(std::string* error) {
  fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ < 0) {
    if (error != nullptr) *error = std::string("cannot create a timer: ") + std::strerror(errno);
    return false;
  }
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);  // best effort: only precision is at stake
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TPaceTimer::Fired);
  return true;
}

void TPaceTimer::StartAt(int64_t deadline_ns) {
  if (fd_ < 0 || deadline_ns == armed_) return;
  const itimerspec spec = At(deadline_ns);
  ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &spec, nullptr);
  armed_ = deadline_ns;
}

void TPaceTimer::Stop() {
  if (fd_ < 0 || armed_ < 0) return;
  const itimerspec off{};
  ::timerfd_settime(fd_, 0, &off, nullptr);
  armed_ = -1;
}

int64_t TPaceTimer::NowNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * kSecondNs + now.tv_nsec;
}

bool TPaceTimer::SpinUntilReadable(int fd, int64_t until_ns) {
  pollfd watched{fd, POLLIN, 0};
  while (NowNs() < until_ns) {
    if (::poll(&watched, 1, 0) > 0) return true;
  }
  return false;
}

void TPaceTimer::SpinUntil(int64_t until_ns) {
  while (NowNs() < until_ns) {
  }
}

void TPaceTimer::Fired() {
  uint64_t expirations = 0;
  if (::read(fd_, &expirations, sizeof expirations) <= 0) return;  // re-armed meanwhile
  armed_ = -1;
  if (OnTimeout) OnTimeout();
}
