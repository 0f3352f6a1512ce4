// qelt-pace-check: how exactly `qelt-emulator --pace` keeps the serial line's
// timing. A tiny host on the emulator's pseudo-terminal that answers at once runs
// four phases against a fresh device and compares, for each, the time from writing
// a command to reading the last byte of its reply with the ideal: ten bit times a
// byte, each way, at the speed in force.
//   1. 9600 bit/s, long replies: "#" (1 byte) answered with 30 bytes.
//   2. 9600 bit/s into the boot loader: "254yU" answered "UPD254" CR LF.
//   3. 57600 bit/s, short exchanges: "%" answered ".".
//   4. 57600 bit/s, a stream to the device: 11,520 blanks (ignored) then "%".
// Prints per phase the exchanges, the ideal and measured totals, their difference
// in percent and the median time an exchange took beyond its ideal. POSIX; run by
// benchmarks/end_to_end.sh (or by hand: qelt-pace-check /dev/pts/N).
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int64_t kSlowByteNs = 10'000'000'000 / 9600;
constexpr int64_t kFastByteNs = 10'000'000'000 / 57600;
constexpr int kWaitMs = 10'000;  // a reply that takes longer ends the check

int64_t NowNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct TPhase {
  const char* Name;
  std::string Command;
  std::string Reply;
  int64_t ByteNs;
  int Count;
};

struct TResult {
  int64_t IdealNs = 0;
  int64_t MeasuredNs = 0;
  std::vector<int64_t> ExtraNs;  // per exchange: measured minus ideal
};

// Writes `command` and reads until `reply` came whole; the time it took, or -1.
int64_t Exchange(int fd, const std::string& command, const std::string& reply) {
  const int64_t start = NowNs();
  size_t written = 0;
  while (written < command.size()) {
    const ssize_t n = ::write(fd, command.data() + written, command.size() - written);
    if (n <= 0) return -1;
    written += static_cast<size_t>(n);
  }
  std::string got;
  while (got.size() < reply.size()) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) <= 0) return -1;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return -1;
    got.append(buffer, static_cast<size_t>(n));
  }
  const int64_t took = NowNs() - start;
  return got == reply ? took : -1;
}

bool Run(int fd, const TPhase& phase, TResult& result) {
  const int64_t ideal =
      static_cast<int64_t>(phase.Command.size() + phase.Reply.size()) * phase.ByteNs;
  for (int i = 0; i < phase.Count; ++i) {
    const int64_t took = Exchange(fd, phase.Command, phase.Reply);
    if (took < 0) {
      std::fprintf(stderr, "qelt-pace-check: %s: no reply \"%s\" to exchange %d\n", phase.Name,
                   phase.Reply.c_str(), i + 1);
      return false;
    }
    result.IdealNs += ideal;
    result.MeasuredNs += took;
    result.ExtraNs.push_back(took - ideal);
  }
  return true;
}

void Print(const TPhase& phase, TResult& result) {
  std::sort(result.ExtraNs.begin(), result.ExtraNs.end());
  const int64_t median = result.ExtraNs[result.ExtraNs.size() / 2];
  const double percent = 100.0 * static_cast<double>(result.MeasuredNs - result.IdealNs) /
                         static_cast<double>(result.IdealNs);
  std::printf("%-34s %6d %12.1f %12.1f %+8.3f %% %10.1f\n", phase.Name, phase.Count,
              static_cast<double>(result.IdealNs) / 1e6,
              static_cast<double>(result.MeasuredNs) / 1e6, percent,
              static_cast<double>(median) / 1e3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: qelt-pace-check PTY   (a fresh qelt-emulator --pty --pace)\n");
    return 2;
  }
  const int fd = ::open(argv[1], O_RDWR | O_NOCTTY);
  if (fd < 0) {
    std::perror(argv[1]);
    return 2;
  }
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  const std::string status = "ADBG0\r\nDDBG0\r\nDEV37\r\nUPD0\r\n#\r\n";
  const TPhase phases[] = {
      {"9600 bit/s, \"#\" -> 30 bytes", "#", status, kSlowByteNs, 50},
      {"9600 bit/s, \"254yU\" -> 8 bytes", "254yU", "UPD254\r\n", kSlowByteNs, 1},
      {"57600 bit/s, \"%\" -> \".\"", "%", ".", kFastByteNs, 2000},
      {"57600 bit/s, 11,521 bytes -> \".\"", std::string(11'520, ' ') + "%", ".", kFastByteNs, 3},
  };
  std::printf("%-34s %6s %12s %12s %10s %10s\n", "phase", "count", "ideal ms", "measured ms",
              "difference", "extra us");
  for (const TPhase& phase : phases) {
    TResult result;
    if (!Run(fd, phase, result)) return 1;
    Print(phase, result);
  }
  ::close(fd);
  return 0;
}
