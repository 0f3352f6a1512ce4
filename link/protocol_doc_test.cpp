// The variable protocol examples of doc/protocol.md, replayed from the link's side:
// each host line is made by the property write or command that sends it, and must
// go out exactly as shown; each device line is fed to the link, which must
// recognise it whole. (The engines and the emulator replay the other blocks.)
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "doc/wire_examples.h"
#include "link/testing/fake_transports.h"

namespace {

// Sends `text` ("?", "1yU", "254yU"...) the way the application does: a number
// and a command are a property write, a bare command is SendCommand. False when
// the text is not a command of the variable protocol.
bool SendAsTheApplication(TComDriver& link, const std::string& text) {
  const size_t digits = text.find_first_not_of("0123456789");
  if (digits == std::string::npos) return false;
  const std::string_view command = std::string_view(text).substr(digits);
  if (digits == 0) {
    const std::string_view bare[] = {"@", ">", "?", "yU", "$", "#"};
    for (int i = 0; i < 6; ++i) {
      if (command == bare[i]) {
        link.SendCommand(i);
        return true;
      }
    }
    return false;
  }
  const auto value = static_cast<uint32_t>(std::stoul(text.substr(0, digits)));
  if (command == "yU") {
    link.SetUPDATER(value);
  } else if (command == "@") {
    link.SetADDRDBG(value);
  } else if (command == ">") {
    link.SetDATADBG(value);
  } else {
    return false;
  }
  return true;
}

TEST(ProtocolDoc, TheLinkSpeaksTheVariableProtocolAsTheDocumentShows) {
  TProtocolDoc doc;
  std::string error;
  ASSERT_TRUE(ReadProtocolDoc(ProtocolDocPath(), doc, error)) << error;
  int replayed = 0;
  for (const TWireExample& example : doc.Examples) {
    if (!example.Has("application")) continue;
    SCOPED_TRACE("protocol.md:" + std::to_string(example.DocLine));
    TFakeLink f;
    f.link->SetPort("COM1");
    f.link->SetConType(CON_RS232);
    for (const TWireLine& line : example.Lines) {
      const std::string at = "protocol.md:" + std::to_string(line.DocLine);
      if (line.Kind == TWireLine::TKind::WL_HOST) {
        f.serial->wire.clear();
        ASSERT_TRUE(SendAsTheApplication(*f.link, line.Text)) << at;
        EXPECT_EQ(f.serial->wire, line.Text) << at;
      } else if (line.Kind == TWireLine::TKind::WL_DEVICE) {
        f.serial->Feed(line.Text);
        // A whole reply line: recognised from its tag, without its line end.
        ASSERT_GE(line.Text.size(), 2u) << at;
        EXPECT_EQ(f.link->receivedString(), line.Text.substr(0, line.Text.size() - 2)) << at;
      }
    }
    ++replayed;
  }
  EXPECT_GE(replayed, 1);
}

}  // namespace
