// TPaceTimer: a one-shot timer for the emulator's line pacing that fires at an
// absolute time of the monotonic clock to within microseconds (a QTimer counts
// whole milliseconds, and a byte at 57,600 bit/s takes 174 us). A timerfd watched by
// the Qt event loop; the thread's timer slack is brought down to 1 ns so that the
// kernel does not round the wake-up. POSIX (Linux). Lives on the event loop's
// thread, owned by the emulator's server.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

class QSocketNotifier;

class TPaceTimer : public QObject {
  Q_OBJECT

 public:
  explicit TPaceTimer(QObject* parent = nullptr);
  ~TPaceTimer() override;
  TPaceTimer(const TPaceTimer&) = delete;
  TPaceTimer& operator=(const TPaceTimer&) = delete;

  // Creates the timer. False with the system's reason.
  bool Open(std::string* error);
  // Fires OnTimeout once at `deadline_ns` of NowNs() (at the next turn of the event
  // loop when it has passed); replaces the deadline set before.
  void StartAt(int64_t deadline_ns);
  void Stop();
  // The monotonic clock, in nanoseconds.
  static int64_t NowNs();
  // Spins until `fd` is readable or NowNs() reaches `until_ns`; true when readable.
  static bool SpinUntilReadable(int fd, int64_t until_ns);
  // Spins until NowNs() reaches `until_ns`.
  static void SpinUntil(int64_t until_ns);

  std::function<void()> OnTimeout;

 private:
  void Fired();

  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  int64_t armed_ = -1;  // the deadline set, -1 when stopped
};
