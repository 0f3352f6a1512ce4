// TEmulatorProcess: the qelt-emulator executable as a child process, for the
// end-to-end tests of every layer that drives it. Starts it with its options,
// reads the endpoint lines it announces ("PTY /dev/pts/N", "UDP 127.0.0.1:PORT",
// "TCP 127.0.0.1:PORT") up to "READY" within a bound, and stops it when it goes
// (QProcess::terminate, then kill). Qt Core only, so the tests that include it
// build on every platform; the emulator executable itself, and sending it a
// chosen signal (emulator_signal_posix.h), are POSIX. A QCoreApplication must exist;
// one thread. Header-only; tests only.
#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

class TEmulatorProcess {
 public:
  // Starts `program` (the emulator's path) with `args`; its standard error stays
  // readable through Process().
  TEmulatorProcess(const QString& program, const QStringList& args) {
    process_.start(program, args);
  }
  ~TEmulatorProcess() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(kStopMs)) {
      process_.kill();
      process_.waitForFinished(kStopMs);
    }
  }
  TEmulatorProcess(const TEmulatorProcess&) = delete;
  TEmulatorProcess& operator=(const TEmulatorProcess&) = delete;

  // Reads the announcement lines up to "READY". False when the program ended, or
  // said nothing more, before "READY" came within `ms`.
  bool WaitReady(int ms = 15000) {
    const QDeadlineTimer deadline(ms);
    while (true) {
      while (process_.canReadLine()) {
        const std::string line = process_.readLine().trimmed().toStdString();
        if (line == "READY") return process_.state() == QProcess::Running;
        lines_.push_back(line);
      }
      if (deadline.hasExpired() || !process_.waitForReadyRead(RemainingMs(deadline))) return false;
    }
  }

  // The announcement lines before "READY", as printed.
  const std::vector<std::string>& Lines() const { return lines_; }

  // What the announcement line of `kind` ("PTY", "UDP", "TCP") gives: a device
  // path, or "127.0.0.1:PORT". Empty when that endpoint was not announced.
  std::string Endpoint(const std::string& kind) const {
    for (const std::string& line : lines_) {
      if (line.rfind(kind + " ", 0) == 0) return line.substr(kind.size() + 1);
    }
    return {};
  }

  // The port of the UDP or TCP endpoint; 0 when it was not announced.
  uint16_t Port(const std::string& kind) const {
    const std::string endpoint = Endpoint(kind);
    const size_t colon = endpoint.rfind(':');
    if (colon == std::string::npos) return 0;
    return static_cast<uint16_t>(QString::fromStdString(endpoint.substr(colon + 1)).toUInt());
  }

  // Waits for the program to end (after it was told to); its exit status, or -1
  // when it did not end normally within the bound.
  int WaitExitStatus() {
    if (!process_.waitForFinished(kStopMs)) return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }

  QProcess& Process() { return process_; }

 private:
  static constexpr int kStopMs = 10000;  // bound on stopping; nothing is timed

  static int RemainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(deadline.remainingTime());
  }

  QProcess process_;
  std::vector<std::string> lines_;  // announcement lines before "READY"
};
