// The variable protocol of the link (MODE_VAR) and raw mode, over a fake serial port:
// framing of sends, the line parser fed in pieces of every size, the 10-character
// tail, and the order of notifications.
#include <gtest/gtest.h>

#include "link/testing/fake_transports.h"
#include "testing/pieces.h"

namespace {

using Events = std::vector<std::string>;

class VarProtocol : public ::testing::Test {
 protected:
  void SetUp() override {
    f.link->Tag = 7;
    f.link->SetPort("COM1");
    f.link->SetConType(CON_RS232);
    f.RecordEvents();
  }
  void Reply(const std::string& bytes) { f.serial->Feed(bytes); }
  void ReplyInPieces(const std::string& bytes, size_t size) {
    for (const std::string& piece : CutInPieces(bytes, size)) Reply(piece);
  }
  TComDriver& link() { return *f.link; }
  TFakeLink f;
};

// One device reply and everything it must leave behind.
struct LineCase {
  const char* name;
  std::string input;
  Events events;
  uint32_t dev, upd, adbg, ddbg;
  std::string received;  // receivedString afterwards
  std::string buffer;    // what stays in the receive buffer
  bool pieceInvariant;   // same result whatever the piece sizes
};

const LineCase kLineCases[] = {
    {"plain DEV", "DEV37\r\n", {"RecString", "DEV"}, 37, 0, 0, 0, "DEV37", "", true},
    {"two lines in order",
     "UPD254\r\nDEV3\r\n",
     {"RecString", "UPDATER", "RecString", "DEV"},
     3,
     254,
     0,
     0,
     "DEV3",
     "",
     true},
    {"stray characters before the tag",
     "xyDEV12\r\n",
     {"RecString", "DEV"},
     12,
     0,
     0,
     0,
     "DEV12",
     "",
     true},
    {"DEV followed by a letter", "DEVx\r\n", {}, 0, 0, 0, 0, "", "", true},
    {"failed ADBG cuts the line for DEV",
     "ADBGx DEV5\r\n",
     {"RecString", "DEV"},
     5,
     0,
     0,
     0,
     "DEV5",
     "",
     false},
    {"ADBG and DDBG",
     "ADBG16\r\nDDBG255\r\n",
     {"RecString", "ADDRDBG", "RecString", "DATADBG"},
     0,
     0,
     16,
     255,
     "DDBG255",
     "",
     true},
    {"dollar line", "$\r\n", {"RecString", "DOLLARS"}, 0, 0, 0, 0, "$", "", true},
    {"hash line", "#\r\n", {"RecString", "QUERYALL"}, 0, 0, 0, 0, "#", "", true},
    {"bare numeric tag reports 0",
     "UPD\r\n",
     {"RecString", "UPDATER"},
     0,
     0,
     0,
     0,
     "UPD",
     "",
     true},
    {"largest 32-bit number",
     "DEV4294967295\r\n",
     {"RecString", "DEV"},
     4294967295u,
     0,
     0,
     0,
     "DEV4294967295",
     "",
     false},
    {"number above 32 bits dropped", "DEV4294967296\r\n", {}, 0, 0, 0, 0, "", "", false},
    {"negative number dropped", "DEV-1\r\n", {}, 0, 0, 0, 0, "", "", true},
    {"number then a dollar falls to the dollar entry",
     "DEV7$\r\n",
     {"RecString", "DOLLARS"},
     0,
     0,
     0,
     0,
     "$",
     "",
     true},
    {"text without tag dropped", "hello\r\n", {}, 0, 0, 0, 0, "", "", true},
    {"empty line dropped", "\r\n", {}, 0, 0, 0, 0, "", "", true},
    {"lone LF is not a line end", "DEV1\nDEV2\r\n", {}, 0, 0, 0, 0, "", "", true},
    {"CR without LF stays in the tail", "DEV9\r", {}, 0, 0, 0, 0, "", "DEV9\r", true},
    {"zero byte in a serial line is kept",
     std::string("a\0DEV8\r\n", 8),
     {"RecString", "DEV"},
     8,
     0,
     0,
     0,
     "DEV8",
     "",
     true},
};

TEST_F(VarProtocol, RecognisesLinesWhateverThePieceSizes) {
  for (const LineCase& c : kLineCases) {
    SCOPED_TRACE(c.name);
    // A case that depends on how the reply is cut is fed whole only.
    ForEveryPieceSize(c.pieceInvariant ? c.input.size() : 1, [&](size_t size) {
      TFakeLink g;
      g.link->Tag = 7;
      g.link->SetPort("COM1");
      g.link->SetConType(CON_RS232);
      g.RecordEvents();
      const size_t piece = c.pieceInvariant ? size : c.input.size();
      for (const std::string& part : CutInPieces(c.input, piece)) g.serial->Feed(part);
      EXPECT_EQ(g.events, c.events);
      EXPECT_EQ(g.link->DEV(), c.dev);
      EXPECT_EQ(g.link->UPDATER(), c.upd);
      EXPECT_EQ(g.link->ADDRDBG(), c.adbg);
      EXPECT_EQ(g.link->DATADBG(), c.ddbg);
      EXPECT_EQ(g.link->DOLLARS(), 0u);
      EXPECT_EQ(g.link->receivedString(), c.received);
      EXPECT_EQ(g.link->ReceiveBuffer(), c.buffer);
    });
  }
}

TEST_F(VarProtocol, HoldsAnUnterminatedLineUntilCrLf) {
  Reply("DEV12");
  EXPECT_TRUE(f.events.empty());
  EXPECT_EQ(link().DEV(), 0u);
  Events seen;
  uint32_t devSeenInRecString = 99;
  link().OnRecString = [&](TComDriver* d, int32_t) {
    seen.push_back("RecString " + d->receivedString());
    devSeenInRecString = d->DEV();
  };
  link().OnDEVchange = [&](TComDriver* d, int32_t) {
    seen.push_back("DEV " + std::to_string(d->DEV()));
  };
  Reply("\r\n");
  EXPECT_EQ(seen, (Events{"RecString DEV12", "DEV 12"}));
  EXPECT_EQ(devSeenInRecString, 0u) << "OnRecString comes before the property is stored";
}

TEST_F(VarProtocol, KeepsOnlyTheLastTenCharactersOfAnUnterminatedLine) {
  Reply("abcdefghijklmno");
  EXPECT_EQ(link().ReceiveBuffer(), "fghijklmno");
  // A reply longer than ten characters before its CR LF loses its head.
  Reply("xADBG1234567");
  Reply("\r\n");
  EXPECT_TRUE(f.events.empty());
  EXPECT_EQ(link().ADDRDBG(), 0u);
}

TEST_F(VarProtocol, GarbageAndHugeBurstsNeverGrowTheBuffer) {
  std::string burst;
  for (int i = 0; i < 100000; ++i) burst += static_cast<char>((i * 131) % 256);
  Reply(burst);
  EXPECT_LE(link().ReceiveBuffer().size(), 10u);
  std::string lines;
  for (int i = 0; i < 20000; ++i) lines += "DEV" + std::to_string(i) + "\r\n";
  Reply(lines + std::string(50000, '\0'));
  EXPECT_EQ(link().DEV(), 19999u);
  EXPECT_EQ(link().ReceiveBuffer(), std::string(10, '\0'));
}

TEST_F(VarProtocol, ValueWritesSendDigitsAndCommandWithoutTerminator) {
  link().SetUPDATER(1);
  EXPECT_EQ(f.serial->wire, "1yU");
  EXPECT_EQ(link().sentString(), "1yU");
  EXPECT_EQ(link().UPDATER(), 0u) << "changes only when the device reports it";
  link().SetUPDATER(254);
  link().SetADDRDBG(0);
  link().SetDATADBG(4294967295u);
  EXPECT_EQ(f.serial->wire, "1yU254yU0@4294967295>");
  EXPECT_EQ(link().sentString(), "4294967295>");
  EXPECT_EQ(f.events, (Events{"SentString", "SentString", "SentString", "SentString"}));
  EXPECT_EQ(link().ADDRDBG(), 0u);
  EXPECT_EQ(link().DATADBG(), 0u);
}

TEST_F(VarProtocol, EachSendIsOneWrite) {
  f.log.clear();
  link().SetUPDATER(254);
  link().SendCommand(2);
  EXPECT_EQ(f.log, (TCallLog{"serial.write 254yU", "serial.write ?"}));
}

TEST_F(VarProtocol, SendCommandSendsTheTableCommands) {
  for (int i = 0; i < 6; ++i) link().SendCommand(i);
  EXPECT_EQ(f.serial->wire, "@>?yU$#");
  EXPECT_EQ(link().sentString(), "#");
  EXPECT_EQ(f.events.size(), 6u);
}

TEST_F(VarProtocol, SendCommandRefusesAnIndexOutsideTheTable) {
  for (int bad : {-1, 6, 1000}) {
    try {
      link().SendCommand(bad);
      ADD_FAILURE() << "index " << bad << " was accepted";
    } catch (const std::out_of_range& e) {
      EXPECT_EQ(std::string(e.what()),
                "SendCommand: index " + std::to_string(bad) + " is outside 0..5");
    }
  }
  EXPECT_EQ(f.serial->wire, "");
}

TEST_F(VarProtocol, SendCommandWithNoTransportStillRecordsTheText) {
  link().SetConType(CON_NONE);
  f.events.clear();
  link().SendCommand(2);
  EXPECT_EQ(f.serial->wire, "");
  EXPECT_EQ(link().sentString(), "?");
  EXPECT_EQ(f.events, Events{"SentString"});
}

TEST_F(VarProtocol, WrongModeSendsNothing) {
  link().SetsentString("before");
  link().SetConMode(MODE_RAW);
  link().SetUPDATER(254);
  link().SetADDRDBG(1);
  link().SetDATADBG(1);
  link().SendCommand(2);
  EXPECT_EQ(f.serial->wire, "");
  EXPECT_EQ(link().sentString(), "before");
  link().SetConMode(MODE_VAR);
  EXPECT_TRUE(link().SendRaw("SYN"));
  EXPECT_EQ(f.serial->wire, "");
  EXPECT_TRUE(f.events.empty());
}

TEST_F(VarProtocol, ReadRawInVarModeLeavesTheBuffer) {
  Reply("DEV1");
  EXPECT_EQ(link().ReadRaw(), "");
  EXPECT_EQ(link().ReceiveBuffer(), "DEV1");
  // The tail left over is the first thing handed out in raw mode.
  link().SetConMode(MODE_RAW);
  EXPECT_EQ(link().ReadRaw(), "DEV1");
}

TEST_F(VarProtocol, HandlerSwitchingToRawModeStopsTheParser) {
  link().OnDEVchange = [&](TComDriver* d, int32_t) { d->SetConMode(MODE_RAW); };
  Reply("DEV1\r\nUPD5\r\nrest");
  EXPECT_EQ(link().UPDATER(), 0u);
  EXPECT_EQ(link().ReadRaw(), "UPD5\r\nrest");
}

class RawMode : public VarProtocol {
 protected:
  void SetUp() override {
    VarProtocol::SetUp();
    link().SetConMode(MODE_RAW);
  }
};

TEST_F(RawMode, EachPieceRaisesRecStringAndReadRawTakesAll) {
  Reply("ab");
  Reply("c\r");
  EXPECT_EQ(f.events, (Events{"RecString", "RecString"}));
  EXPECT_EQ(link().ReadRaw(), "abc\r");
  EXPECT_EQ(link().ReadRaw(), "");
}

TEST_F(RawMode, NothingIsParsedOrTrimmed) {
  std::string big(20000, 'x');
  Reply("DEV5\r\n" + big + std::string(1, '\0'));
  EXPECT_EQ(link().DEV(), 0u);
  EXPECT_EQ(link().ReadRaw(), "DEV5\r\n" + big + std::string(1, '\0'));
}

TEST_F(RawMode, SendRawWritesTheTextUnchanged) {
  std::string line = std::string("SYN\r\n\0\xff", 7);
  EXPECT_TRUE(link().SendRaw(line));
  EXPECT_EQ(f.serial->wire, line);
  EXPECT_EQ(link().sentString(), "");
  EXPECT_TRUE(f.events.empty());
}

TEST_F(RawMode, HandlerMayReadInsideRecString) {
  std::string got;
  link().OnRecString = [&](TComDriver* d, int32_t) { got += d->ReadRaw(); };
  Reply("12");
  Reply("34");
  EXPECT_EQ(got, "1234");
  EXPECT_EQ(link().ReceiveBuffer(), "");
}

}  // namespace
