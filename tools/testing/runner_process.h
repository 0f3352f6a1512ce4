// The runner's end-to-end test fixture: qelt-update and qelt-emulator as processes
// (QProcess), each run bounded in time, on a private copy of the sample package.
// Shared by the runner's process tests. Tests only; the Qt test application's thread.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/testing/emulator_process.h"
#include "testing/temp_dir.h"

namespace fs = std::filesystem;

inline constexpr int kRunMs = 240000;  // a whole update under the sanitizers, with room to spare

inline QStringList Args(const std::vector<std::string>& args) {
  QStringList list;
  for (const std::string& arg : args) list << QString::fromStdString(arg);
  return list;
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The emulator executable with the endpoints it announced, as qelt-update's
// options take them: "/dev/pts/N" and "127.0.0.1:PORT".
class TEmulator : public TEmulatorProcess {
 public:
  explicit TEmulator(const std::vector<std::string>& args)
      : TEmulatorProcess(QELT_EMULATOR_PATH, Args(args)),
        Ready(WaitReady()),
        Pty(Endpoint("PTY")),
        Udp(Endpoint("UDP")),
        Tcp(Endpoint("TCP")) {}

  const bool Ready;
  const std::string Pty, Udp, Tcp;
};

struct TRun {
  int exit_code = -1;
  std::string out, err;
};

// Runs qelt-update to its end; `wrapper` (for example setpriv and its options) runs
// it when given.
inline TRun RunUpdater(const std::vector<std::string>& args,
                       const std::vector<std::string>& wrapper = {}) {
  QProcess process;
  QStringList all = Args(wrapper);
  all << QELT_UPDATE_PATH << Args(args);
  const QString program = all.takeFirst();
  process.start(program, all);
  TRun run;
  if (!process.waitForFinished(kRunMs)) {
    process.kill();
    process.waitForFinished(2000);
    run.err = "qelt-update did not end in time\n";
  } else if (process.exitStatus() == QProcess::NormalExit) {
    run.exit_code = process.exitCode();
  }
  run.out += process.readAllStandardOutput().toStdString();
  run.err += process.readAllStandardError().toStdString();
  return run;
}

inline std::string Explain(const TRun& run) {
  return "exit " + std::to_string(run.exit_code) + "\n--- stdout\n" + run.out + "--- stderr\n" +
         run.err;
}

// A private copy of the sample package (a run may rewrite a card script).
class RunnerProcess : public ::testing::Test {
 protected:
  void SetUp() override { ResetPackage(); }
  // A fresh copy of the committed sample package.
  void ResetPackage() const {
    fs::remove_all(dir_.path() / "pkg");
    fs::copy(fs::path(QELT_SOURCE_DIR_FALLBACK) / "examples" / "package", dir_.path() / "pkg",
             fs::copy_options::recursive);
  }
  std::string Pkg(const std::string& relative = "") const {
    return (dir_.path() / "pkg" / relative).string();
  }
  std::string Script() const { return Pkg("script.ini"); }
  std::string State() const { return (dir_.path() / "device.state").string(); }
  std::string Temp(const std::string& name) const { return (dir_.path() / name).string(); }
  void WriteFile(const std::string& path, const std::string& text) const {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  TTempDir dir_;
};
