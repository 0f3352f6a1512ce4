#include "app/ip_config_dlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class IPConfigDlgTest : public ::testing::Test {
 protected:
  IPConfigDlgTest() {
    dlg.OnWarning = [this](const std::string& text) { warnings.push_back(text); };
    dlg.SetConnectionMode(3);
    dlg.SetRemoteAddress("192.168.0.10");
    dlg.SetRemotePort(10500);
    dlg.SetLocalPort(10500);
    dlg.FormShow();
  }
  void Type(const std::string& local, const std::string& address, const std::string& remote) {
    dlg.ELocalPort.Text = local;
    dlg.ERemoteAddr.Text = address;
    dlg.ERemotePort.Text = remote;
  }

  TIPConfigDlg dlg;
  std::vector<std::string> warnings;
};

TEST_F(IPConfigDlgTest, InitialTextsBeforeTheSettingsFillThem) {
  TIPConfigDlg fresh;
  EXPECT_EQ(fresh.ELocalPort.Text, "10100");
  EXPECT_EQ(fresh.ERemoteAddr.Text, "192.168.0.10");
  EXPECT_EQ(fresh.ERemotePort.Text, "10500");
  EXPECT_EQ(fresh.Caption, "LAN Setup");
  EXPECT_EQ(fresh.BOk.Caption, "Apply");
  EXPECT_EQ(fresh.BCancel.Caption, "Cancel");
  fresh.FormShow();  // neither UDP nor TCP yet: TCP
  EXPECT_EQ(fresh.ConnectionMode(), 3);
  EXPECT_TRUE(fresh.RBTcp.Checked);
}

TEST_F(IPConfigDlgTest, ApplyChecksInOrderAndWarnsWithTheExactTexts) {
  struct Case {
    const char* local;
    const char* address;
    const char* remote;
    const char* warning;  // nullptr: accepted
  };
  const std::vector<Case> cases = {
      {"70000", "10.0.0.1", "10500", "Choose a Local Port <0-65535>"},
      {"", "10.0.0.1", "10500", "Choose a Local Port <0-65535>"},
      {"-1", "10.0.0.1", "10500", "Choose a Local Port <0-65535>"},
      {"12ab", "10.0.0.1", "10500", "Choose a Local Port <0-65535>"},
      {"10", "10.0.0.1", "65536", "Choose a Remote Port <0-65535>"},
      {"10", "bad", "x", "Choose a Remote Port <0-65535>"},  // remote port checked first
      {"10", "10.0.0", "10500", "Remote IP address not Valid"},
      {"10", "10.0.0.256", "10500", "Remote IP address not Valid"},
      {"10", "1.2.3.4.5", "10500", "Remote IP address not Valid"},
      {"0", "10.0.0.1", "65535", nullptr},
      {"65535", "0.0.0.0", "0", nullptr},
  };
  for (const Case& c : cases) {
    warnings.clear();
    dlg.Applied = false;
    dlg.Closed = false;
    Type(c.local, c.address, c.remote);
    dlg.BOkClick();
    if (c.warning) {
      EXPECT_EQ(warnings, std::vector<std::string>{c.warning}) << c.local << " " << c.remote;
      EXPECT_FALSE(dlg.Closed);
      EXPECT_FALSE(dlg.Applied);
    } else {
      EXPECT_TRUE(warnings.empty()) << warnings.front();
      EXPECT_TRUE(dlg.Closed);
      EXPECT_TRUE(dlg.Applied);
    }
  }
}

TEST_F(IPConfigDlgTest, ApplyStoresTheValuesAndTheAddressAsTyped) {
  Type("+0040", "010.1.2.3", "  4000");
  dlg.BOkClick();
  ASSERT_TRUE(dlg.Applied);
  EXPECT_EQ(dlg.LocalPort(), 40u);
  EXPECT_EQ(dlg.ELocalPort.Text, "40");  // shown back in plain decimal
  EXPECT_EQ(dlg.RemotePort(), 4000u);
  EXPECT_EQ(dlg.ERemotePort.Text, "4000");
  EXPECT_EQ(dlg.RemoteAddress(), "010.1.2.3");
}

TEST_F(IPConfigDlgTest, ValidLocalPortIsKeptWhenALaterCheckFailsAndAfterCancel) {
  Type("2000", "10.0.0.1", "99999");
  dlg.BOkClick();
  EXPECT_EQ(warnings, std::vector<std::string>{"Choose a Remote Port <0-65535>"});
  EXPECT_EQ(dlg.LocalPort(), 2000u);
  dlg.BCancelClick();
  EXPECT_TRUE(dlg.Closed);
  EXPECT_FALSE(dlg.Applied);
  EXPECT_EQ(dlg.LocalPort(), 2000u);
  EXPECT_EQ(dlg.RemotePort(), 10500u);  // not stored
}

TEST_F(IPConfigDlgTest, RadioButtonsSwitchTheModeAndTheLocalPortField) {
  dlg.RBUdpClick();
  EXPECT_EQ(dlg.ConnectionMode(), 2);
  EXPECT_TRUE(dlg.RBUdp.Checked);
  EXPECT_FALSE(dlg.RBTcp.Checked);
  EXPECT_TRUE(dlg.ELocalPort.Enabled);
  EXPECT_EQ(dlg.ELocalPort.Color, TEditColor::clWindow);
  dlg.RBTcpClick();
  EXPECT_EQ(dlg.ConnectionMode(), 3);
  EXPECT_TRUE(dlg.RBTcp.Checked);
  EXPECT_FALSE(dlg.ELocalPort.Enabled);
  EXPECT_EQ(dlg.ELocalPort.Color, TEditColor::clInactiveCaptionText);
  // The mode follows the click at once, even when the dialog is then cancelled.
  dlg.RBUdpClick();
  dlg.BCancelClick();
  EXPECT_EQ(dlg.ConnectionMode(), 2);
}

TEST_F(IPConfigDlgTest, AppliedSurvivesReopeningAndAClosingWithoutAButton) {
  Type("1", "1.1.1.1", "2");
  dlg.BOkClick();
  ASSERT_TRUE(dlg.Applied);
  dlg.FormShow();  // shown again, then closed by the window's own button
  EXPECT_TRUE(dlg.Applied);
  EXPECT_FALSE(dlg.Closed);
}

TEST(IPConfigDlgAddress, IsValidAddressYieldsTheFourNumbers) {
  struct Case {
    const char* text;
    bool valid;
    std::array<int, 4> parts;
  };
  const std::vector<Case> cases = {
      {"192.168.0.10", true, {192, 168, 0, 10}},
      {"0.0.0.0", true, {0, 0, 0, 0}},
      {"255.255.255.255", true, {255, 255, 255, 255}},
      {"1.2.3", false, {0, 0, 0, 0}},
      {"1.2.3.256", false, {0, 0, 0, 0}},
      {"1.2.3.4.5", false, {0, 0, 0, 0}},
      {"1..3.4", false, {0, 0, 0, 0}},
      {"a.b.c.d", false, {0, 0, 0, 0}},
      {"1.2.3.-4", false, {0, 0, 0, 0}},
      {"", false, {0, 0, 0, 0}},
      {"1.2.3.4 ", false, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::array<int, 4> parts{9, 9, 9, 9};
    EXPECT_EQ(TIPConfigDlg::IsValidAddress(c.text, &parts), c.valid) << c.text;
    EXPECT_EQ(parts, c.parts) << c.text;
  }
}

}  // namespace
