// The worked examples of doc/protocol.md, replayed from the host's side: each
// block's script lines go to the four engines, wired as the main window wires them,
// the device bytes are fed to them as they arrive, and the engines must send
// exactly the host bytes, post the texts and end with the error the document
// shows. (emulator/protocol_doc_test.cpp replays the device's side.)
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <vector>

#include "doc/wire_examples.h"
#include "engines/inst_crt.h"
#include "engines/ms_clock.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "testing/temp_dir.h"

namespace {

constexpr int kStepLimit = 20;  // steps an engine may take to send what it must

// The four engines sharing one receive buffer, as in the main window. Time moves
// only when a block says "pause".
class TDocHost {
 public:
  explicit TDocHost(const std::string& dir) {
    for (TGestionnaire* e : engines_) {
      e->CurentDir = dir;
      e->UpdateAllowed = true;
      e->OnSend = [this](TGestionnaire* s) { wire += s->BufOut; };
      e->OnReceive = [this](TGestionnaire* s) { s->BufIn = rx; };
      e->OnChangeBufIn = [this](TGestionnaire* s) { rx = s->BufIn; };
      e->OnInfo = [this](TGestionnaire* s) { infos.push_back(s->InfoText); };
      e->OnError = [this](TGestionnaire* s) { errors.push_back(s->ErrorText); };
    }
  }

  // Offers `line` to each engine in the sequencer's order; true when one took it.
  bool Offer(const std::string& line) {
    for (size_t i = 0; i < engines_.size(); ++i) {
      engines_[i]->Instruction = line;
      Step(i);
      if (engines_[i]->Busy) {
        active_ = i;
        return true;
      }
    }
    return false;
  }
  bool Busy() const { return engines_[active_]->Busy; }
  void Step() { Step(active_); }

  TFakeClock clock;
  std::string rx;    // the receive buffer
  std::string wire;  // sent and not yet checked
  std::vector<std::string> infos, errors;

 private:
  void Step(size_t i) {
    switch (i) {
      case 0:
        return boot_.Step();
      case 1:
        return crt_.Step();
      case 2:
        return psd_.Step();
      default:
        return jtag_.Step();
    }
  }

  TProgBoot boot_;
  TInstCrt crt_{clock};
  TProgPsd psd_;
  TProgJtag jtag_{clock};
  std::array<TGestionnaire*, 4> engines_{&boot_, &crt_, &psd_, &jtag_};
  size_t active_ = 0;
};

std::string At(int doc_line) { return "protocol.md:" + std::to_string(doc_line); }

// Steps the engine until it is idle; nothing more may be sent on the way.
void Finish(TDocHost& host, int doc_line) {
  for (int i = 0; i < kStepLimit && host.Busy(); ++i) host.Step();
  EXPECT_FALSE(host.Busy()) << "still busy after " << At(doc_line);
  EXPECT_EQ(host.wire, "") << "sent after " << At(doc_line);
  host.wire.clear();
}

// Steps until the engine has sent as many bytes as `expected` holds, then compares.
void ExpectSent(TDocHost& host, const TWireLine& line) {
  for (int i = 0; i < kStepLimit && host.wire.size() < line.Text.size() && host.Busy(); ++i) {
    host.Step();
  }
  EXPECT_EQ(host.wire, line.Text) << "host bytes at " << At(line.DocLine);
  host.wire.clear();
}

// Not a byte before the pause has passed, however often the engine is stepped.
void ExpectPause(TDocHost& host, const TWireLine& line) {
  for (int i = 0; i < kStepLimit; ++i) host.Step();
  if (line.PauseMs > 0) host.clock.Advance(line.PauseMs - 1);
  host.Step();
  EXPECT_EQ(host.wire, "") << "sent before the pause ended, " << At(line.DocLine);
  host.clock.Advance(1);
}

// True when `expected` appears in `posted` in the same order (other texts between).
bool InOrder(const std::vector<std::string>& expected, const std::vector<std::string>& posted) {
  size_t next = 0;
  for (const std::string& text : posted) {
    if (next < expected.size() && text == expected[next]) ++next;
  }
  return next == expected.size();
}

void Replay(const TWireExample& example, const std::string& dir) {
  TDocHost host(dir);
  std::vector<std::string> infos;
  std::string error;
  bool started = false;
  int last_line = example.DocLine;
  for (const TWireLine& line : example.Lines) {
    last_line = line.DocLine;
    switch (line.Kind) {
      case TWireLine::TKind::WL_SCRIPT:
        if (started) Finish(host, line.DocLine);
        started = true;
        ASSERT_TRUE(host.Offer(line.Text)) << "no engine takes " << At(line.DocLine);
        break;
      case TWireLine::TKind::WL_HOST:
        ExpectSent(host, line);
        break;
      case TWireLine::TKind::WL_DEVICE:
        host.rx += line.Text;
        break;
      case TWireLine::TKind::WL_PAUSE:
        ExpectPause(host, line);
        break;
      case TWireLine::TKind::WL_INFO:
        infos.push_back(line.Text);
        break;
      case TWireLine::TKind::WL_ERROR:
        error = line.Text;
        break;
    }
  }
  Finish(host, last_line);
  // The document names files as the scripts do, without the folder they lie in.
  for (std::string& text : host.errors) {
    if (text.starts_with(dir)) text.erase(0, dir.size());
  }
  EXPECT_EQ(host.errors,
            error.empty() ? std::vector<std::string>{} : std::vector<std::string>{error});
  EXPECT_TRUE(InOrder(infos, host.infos)) << ::testing::PrintToString(host.infos);
}

TEST(ProtocolDoc, TheEnginesExchangeWhatTheDocumentShows) {
  TProtocolDoc doc;
  std::string error;
  ASSERT_TRUE(ReadProtocolDoc(ProtocolDocPath(), doc, error)) << error;
  TTempDir dir;
  for (const TDocFile& f : doc.Files) dir.Write(f.Name, f.Content);
  std::set<std::string> replayed_sections;
  for (const TWireExample& example : doc.Examples) {
    if (!example.HasScript()) continue;  // the link's part: the variable protocol
    SCOPED_TRACE(At(example.DocLine) + " (" + example.Section + ")");
    Replay(example, dir.Dir());
    replayed_sections.insert(example.Section);
  }
  for (const char* section :
       {"Raw mode", "Boot loader", "Card supervisor", "Bank flash", "JTAG", "Captured data"}) {
    EXPECT_TRUE(replayed_sections.count(section)) << section;
  }
}

// Headers point into the document by these headings; they must stay.
TEST(ProtocolDoc, KeepsTheHeadingsOthersPointTo) {
  TProtocolDoc doc;
  std::string error;
  ASSERT_TRUE(ReadProtocolDoc(ProtocolDocPath(), doc, error)) << error;
  const std::set<std::string> headings(doc.Sections.begin(), doc.Sections.end());
  for (const char* heading : {"Variable protocol", "Raw mode", "Boot loader", "Card supervisor",
                              "Bank flash", "JTAG", "Captured data", "Glossary"}) {
    EXPECT_TRUE(headings.count(heading)) << heading;
  }
}

}  // namespace
