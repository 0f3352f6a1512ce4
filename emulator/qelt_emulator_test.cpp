// The qelt-emulator executable, started as the user would: its pseudo-terminal,
// UDP and TCP endpoints each carry a short exchange with the one device behind
// them; the state file carries what one run wrote into the next; bad start-up
// input ends it with status 2 and a clear message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTcpSocket>
#include <QUdpSocket>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "emulator/testing/emulator_signal_posix.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
constexpr int kWaitMs = 10000;  // bound on every wait; nothing is timed

// Writes `send` to the pseudo-terminal and reads until `expected.size()` bytes came.
std::string PtyExchange(int fd, const std::string& send, size_t expected_size) {
  EXPECT_EQ(::write(fd, send.data(), send.size()), static_cast<ssize_t>(send.size()));
  std::string got;
  while (got.size() < expected_size) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) <= 0) break;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

std::string UdpExchange(QUdpSocket& socket, quint16 port, const QByteArray& send) {
  socket.writeDatagram(send, QHostAddress::LocalHost, port);
  if (!socket.waitForReadyRead(kWaitMs)) return {};
  QByteArray data(static_cast<int>(socket.pendingDatagramSize()), '\0');
  socket.readDatagram(data.data(), data.size());
  return data.toStdString();
}

std::string TcpExchange(QTcpSocket& socket, const QByteArray& send, int expected_size) {
  socket.write(send);
  socket.waitForBytesWritten(kWaitMs);
  QByteArray got;
  while (got.size() < expected_size && socket.waitForReadyRead(kWaitMs)) got += socket.readAll();
  return got.toStdString();
}

class QeltEmulatorTest : public ::testing::Test {
 protected:
  TTempDir dir_;
  const fs::path& folder_ = dir_.path();
};

TEST_F(QeltEmulatorTest, OneDeviceAnswersOnThePseudoTerminalUdpAndTcp) {
  TEmulatorProcess emulator(QELT_EMULATOR_PATH, {"--pty", "--udp", "0", "--tcp", "0"});
  ASSERT_TRUE(emulator.WaitReady());
  ASSERT_EQ(emulator.Lines().size(), 3u);
  EXPECT_EQ(emulator.Lines()[0].rfind("PTY /dev/pts/", 0), 0u);
  EXPECT_EQ(emulator.Lines()[1].rfind("UDP 127.0.0.1:", 0), 0u);
  EXPECT_EQ(emulator.Lines()[2].rfind("TCP 127.0.0.1:", 0), 0u);

  const int fd = ::open(emulator.Endpoint("PTY").c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  EXPECT_EQ(PtyExchange(fd, "?", 7), "DEV37\r\n");
  EXPECT_EQ(PtyExchange(fd, "1yU254yU", 14), "UPD1\r\nUPD254\r\n");

  QUdpSocket udp;
  ASSERT_TRUE(udp.bind(QHostAddress::LocalHost, 0));
  EXPECT_EQ(UdpExchange(udp, emulator.Port("UDP"), "%"), ".");
  EXPECT_EQ(UdpExchange(udp, emulator.Port("UDP"), "37"), ".6A5C01A7.");

  QTcpSocket tcp;
  tcp.connectToHost(QHostAddress::LocalHost, emulator.Port("TCP"));
  ASSERT_TRUE(tcp.waitForConnected(kWaitMs));
  EXPECT_EQ(TcpExchange(tcp, "V80203", 2), "..");
  EXPECT_EQ(TcpExchange(tcp, "T8", 6), ".0203.");
  // Back on the terminal: the same device, still in its updater.
  EXPECT_EQ(PtyExchange(fd, "D8", 34), ".FF805C1AFFFFFFFFFFFFFFFFFFFFFFFF.");
  ::close(fd);
  EXPECT_EQ(TerminateWith(emulator), 0);
}

TEST_F(QeltEmulatorTest, TheStateFileCarriesWhatOneRunWroteIntoTheNext) {
  const QString state = QString::fromStdString((folder_ / "device.state").string());
  {
    TEmulatorProcess first(QELT_EMULATOR_PATH, {"--udp", "0", "--state", state, "--absent", "2"});
    ASSERT_TRUE(first.WaitReady());
    EXPECT_TRUE(fs::exists(state.toStdString()));  // created at once on a first run
    QUdpSocket udp;
    ASSERT_TRUE(udp.bind(QHostAddress::LocalHost, 0));
    const quint16 port = first.Port("UDP");
    EXPECT_EQ(UdpExchange(udp, port, "254yU"), "UPD254\r\n");
    EXPECT_EQ(UdpExchange(udp, port, "%"), ".");
    EXPECT_EQ(UdpExchange(udp, port, "37"), ".6A5C01A7.");
    EXPECT_EQ(UdpExchange(udp, port, "V9"), ".");
    EXPECT_EQ(UdpExchange(udp, port, "0777"), ".");
    EXPECT_EQ(UdpExchange(udp, port, "P1"), "..");
    EXPECT_EQ(UdpExchange(udp, port, ":048000000102030472\r\n"), ".");
    EXPECT_EQ(TerminateWith(first), 0);
  }
  TEmulatorProcess second(QELT_EMULATOR_PATH, {"--tcp", "0", "--state", state});
  ASSERT_TRUE(second.WaitReady());
  QTcpSocket tcp;
  tcp.connectToHost(QHostAddress::LocalHost, second.Port("TCP"));
  ASSERT_TRUE(tcp.waitForConnected(kWaitMs));
  EXPECT_EQ(TcpExchange(tcp, "254yU%37", 19), "UPD254\r\n..6A5C01A7.");
  EXPECT_EQ(TcpExchange(tcp, "T9", 6), ".0777.");
  EXPECT_EQ(TcpExchange(tcp, "M2M3", 2), "X.");
  EXPECT_EQ(TerminateWith(second), 0);
  std::ifstream in(state.toStdString());
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("mem main.bank1 0000 01020304FFFF"), std::string::npos);
  EXPECT_NE(text.find("card 2 absent"), std::string::npos);
}

// A closed terminal (SIGHUP) or Ctrl-C stops the emulator as SIGTERM does: the
// state is saved and the status is 0.
TEST_F(QeltEmulatorTest, InterruptAndHangUpSaveTheStateToo) {
  for (int signal : {SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    const std::string state = (folder_ / ("device" + std::to_string(signal) + ".state")).string();
    TEmulatorProcess emulator(QELT_EMULATOR_PATH,
                              {"--udp", "0", "--state", QString::fromStdString(state)});
    ASSERT_TRUE(emulator.WaitReady());
    QUdpSocket udp;
    ASSERT_TRUE(udp.bind(QHostAddress::LocalHost, 0));
    const quint16 port = emulator.Port("UDP");
    EXPECT_EQ(UdpExchange(udp, port, "254yU"), "UPD254\r\n");
    EXPECT_EQ(UdpExchange(udp, port, "%"), ".");
    EXPECT_EQ(UdpExchange(udp, port, "37"), ".6A5C01A7.");
    EXPECT_EQ(UdpExchange(udp, port, "V9"), ".");
    EXPECT_EQ(UdpExchange(udp, port, "0777"), ".");
    EXPECT_EQ(TerminateWith(emulator, signal), 0);
    std::ifstream in(state);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("version main 9 0777"), std::string::npos) << text;
  }
}

TEST_F(QeltEmulatorTest, BadStartUpInputEndsWithStatusTwoAndAClearMessage) {
  const std::string bad = (folder_ / "bad.state").string();
  std::ofstream(bad) << "qelt-emulator-state 1\nversion main 8 12\n";
  struct TCase {
    QStringList args;
    std::string message;
  };
  const TCase table[] = {
      {{"--pty", "--state", QString::fromStdString(bad)},
       "qelt-emulator: " + bad + ": line 2: a version has four characters\n"},
      {{"--pty", "--state", QString::fromStdString((folder_ / "none" / "x.state").string())},
       "qelt-emulator: cannot write " + (folder_ / "none" / "x.state").string() +
           ".tmp: No such file or directory\n"},
      {{"--udp", "70000"},
       "qelt-emulator: bad port \"70000\" for --udp (0 to 65535) (see --help)\n"},
      {{"--pty", "--fault", "melt"},
       "qelt-emulator: --fault melt: unknown fault \"melt\" (see --help)\n"},
      {{}, "qelt-emulator: nothing to serve: give --pty, --udp PORT or --tcp PORT (see --help)\n"},
  };
  for (const TCase& c : table) {
    TEmulatorProcess emulator(QELT_EMULATOR_PATH, c.args);
    ASSERT_TRUE(emulator.Process().waitForFinished(kWaitMs));
    EXPECT_EQ(emulator.Process().exitCode(), 2) << c.message;
    EXPECT_EQ(emulator.Process().readAllStandardError().toStdString(), c.message);
  }
}

TEST_F(QeltEmulatorTest, HelpDocumentsEveryOptionAndTheFaultSyntax) {
  TEmulatorProcess emulator(QELT_EMULATOR_PATH, {"--help"});
  ASSERT_TRUE(emulator.Process().waitForFinished(kWaitMs));
  EXPECT_EQ(emulator.Process().exitCode(), 0);
  const std::string help = emulator.Process().readAllStandardOutput().toStdString();
  for (const char* option :
       {"--pty", "--udp PORT", "--tcp PORT", "--state FILE", "--pace", "--log FILE", "--seed N",
        "--device-type N|silent", "--boot-type 37|27|none", "--absent LIST", "--fault RULE",
        "--help", "capture-checksum", "hang", "MEMORY:"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

}  // namespace
