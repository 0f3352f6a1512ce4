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
#include <map>
#include <string>

#include "emulator/testing/emulator_signal_posix.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
constexpr int kWaitMs = 10000;  // bound on every wait; nothing is timed

// The emulator's pseudo-terminal opened as the updater does, in raw mode; -1 when
// it cannot be opened.
int OpenRawTerminal(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

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

  const int fd = OpenRawTerminal(emulator.Endpoint("PTY"));
  ASSERT_GE(fd, 0);
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

// Paced, the figures written at exit count every byte at the speed it went at: the
// application's exchanges at 9600 bit/s, the boot loader's at 57600 (a reply at the
// speed of its command), and one turnaround before each command the host sent after
// a reply. Only what the emulator counted is checked, never how long anything took;
// spinning (--exact) changes when things happen to the microsecond, not what counts.
TEST_F(QeltEmulatorTest, PacedSessionFiguresCountEachByteAtItsSpeed) {
  for (const QStringList& pacing : {QStringList{"--pace"}, QStringList{"--pace", "--exact"}}) {
    SCOPED_TRACE(pacing.join(' ').toStdString());
    const std::string stats = (folder_ / "stats.txt").string();
    TEmulatorProcess emulator(
        QELT_EMULATOR_PATH,
        QStringList{"--pty", "--stats", QString::fromStdString(stats)} + pacing);
    ASSERT_TRUE(emulator.WaitReady());
    const int fd = OpenRawTerminal(emulator.Endpoint("PTY"));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(PtyExchange(fd, "?", 7), "DEV37\r\n");
    EXPECT_EQ(PtyExchange(fd, "1yU254yU", 14), "UPD1\r\nUPD254\r\n");
    EXPECT_EQ(PtyExchange(fd, "%", 1), ".");
    ::close(fd);
    ASSERT_EQ(TerminateWith(emulator), 0);
    std::ifstream in(stats);
    std::map<std::string, long long> figures;
    for (std::string key; in >> key;) {
      if (key == "#") {
        std::getline(in, key);
        continue;
      }
      in >> figures[key];
    }
    const long long slow = 1'041'666;  // ns a byte at 9600 bit/s
    const long long fast = 173'611;    // at 57600
    EXPECT_EQ(figures["host_bytes"], 10);
    EXPECT_EQ(figures["host_line_us"], (9 * slow + fast) / 1000);
    EXPECT_EQ(figures["device_bytes"], 22);
    EXPECT_EQ(figures["device_line_us"], (21 * slow + fast) / 1000);
    EXPECT_EQ(figures["effect_plays"], 0);
    EXPECT_EQ(figures["replies"], 3);  // "UPD1" went out while "254yU" was still coming
    EXPECT_EQ(figures["turnarounds"], 2);
    EXPECT_EQ(figures.count("turnaround_median_us"), 1u);
    EXPECT_EQ(figures.count("late_total_us"), 1u);
  }
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

// --expect: one verdict line per check, status 0 when all match, 1 when one does
// not, 2 when an image cannot be read.
TEST_F(QeltEmulatorTest, ExpectChecksTheStateFileAgainstImagesAndVersions) {
  const std::string state = (folder_ / "device.state").string();
  std::ofstream(state) << "qelt-emulator-state 1\nversion main 8 0107\n"
                       << "mem main.bank3 0000 112233\n";
  const std::string image = (folder_ / "b3.hex").string();
  std::ofstream(image) << ":0380000011223317\r\n:00000001FF\r\n";
  struct TCase {
    QStringList expect;
    int status;
    std::string output;
  };
  const QString b3 = QString::fromStdString(image);
  const TCase table[] = {
      {{"main.bank3=" + b3, "main.version8=0107"},
       0,
       "main.bank3 matches " + image + "\nmain.version8 is 0107\n"},
      {{"main.bank2=" + b3, "main.version8=0107"},
       1,
       "main.bank2 differs from " + image +
           ": 3 bytes, the first at 8000 (device FF, image 11)\nmain.version8 is 0107\n"},
      {{"main.bank3=" + b3 + "x"}, 2, "main.bank3: cannot read " + image + "x\n"},
  };
  for (const TCase& c : table) {
    QStringList args = {"--state", QString::fromStdString(state)};
    for (const QString& e : c.expect) args << "--expect" << e;
    TEmulatorProcess emulator(QELT_EMULATOR_PATH, args);
    ASSERT_TRUE(emulator.Process().waitForFinished(kWaitMs));
    EXPECT_EQ(emulator.Process().exitCode(), c.status) << c.output;
    EXPECT_EQ(emulator.Process().readAllStandardOutput().toStdString(), c.output);
  }
}

TEST_F(QeltEmulatorTest, HelpDocumentsEveryOptionAndTheFaultSyntax) {
  TEmulatorProcess emulator(QELT_EMULATOR_PATH, {"--help"});
  ASSERT_TRUE(emulator.Process().waitForFinished(kWaitMs));
  EXPECT_EQ(emulator.Process().exitCode(), 0);
  const std::string help = emulator.Process().readAllStandardOutput().toStdString();
  for (const char* option :
       {"--pty", "--udp PORT", "--tcp PORT", "--state FILE", "--pace", "--exact", "--log FILE",
        "--stats FILE", "--seed N", "--device-type N|silent", "--boot-type 37|27|none",
        "--absent LIST", "--fault RULE", "--expect MEMORY=VALUE", "--help", "capture-checksum",
        "hang", "MEMORY:"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

}  // namespace
