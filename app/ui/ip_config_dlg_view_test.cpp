#include "app/ui/ip_config_dlg_view.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

#include "app/ui/testing/recording_modal_host.h"
#include "app/ui/testing/screenshots.h"

namespace {

class IPConfigDlgViewTest : public ::testing::Test {
 protected:
  IPConfigDlgViewTest() : view(model, host) {
    model.SetConnectionMode(3);
    model.SetRemoteAddress("192.168.0.10");
    model.SetRemotePort(10500);
    model.SetLocalPort(10500);
    view.show();
  }

  void Type(QLineEdit* edit, const char* text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromLatin1(text));
  }
  void Fill(const char* local, const char* address, const char* remote) {
    QTest::mouseClick(view.RBUdp(), Qt::LeftButton);
    Type(view.ELocalPort(), local);
    Type(view.ERemoteAddr(), address);
    Type(view.ERemotePort(), remote);
  }
  std::vector<std::string> Warnings() const {
    std::vector<std::string> texts;
    for (const auto& box : host.Warnings) texts.push_back(box.text);
    return texts;
  }

  TIPConfigDlg model;
  TRecordingModalHost host;
  TIPConfigDlgView view;
};

TEST_F(IPConfigDlgViewTest, ControlsCaptionsAndKeyboardOrder) {
  EXPECT_EQ(view.windowTitle().toStdString(), "LAN Setup");
  EXPECT_EQ(view.RGMode()->title().toStdString(), "Connection Mode");
  EXPECT_TRUE(view.RGMode()->isAncestorOf(view.RBTcp()));
  EXPECT_TRUE(view.RGMode()->isAncestorOf(view.RBUdp()));
  EXPECT_EQ(view.RBTcp()->text().toStdString(), "Tcp");
  EXPECT_EQ(view.RBUdp()->text().toStdString(), "Udp");
  EXPECT_LT(view.RBTcp()->geometry().right(), view.RBUdp()->geometry().left());
  EXPECT_EQ(view.BOk()->text().toStdString(), "Apply");
  EXPECT_EQ(view.BCancel()->text().toStdString(), "Cancel");

  struct Labelled {
    const char* label;
    const char* caption;
    QLineEdit* edit;
  };
  const std::vector<Labelled> edits = {{"LLocalPort", "Local Port :", view.ELocalPort()},
                                       {"LRemoteAddr", "Remote IP Address :", view.ERemoteAddr()},
                                       {"LRemotePort", "Remote Port :", view.ERemotePort()}};
  int previousTop = view.RGMode()->geometry().bottom();
  for (const Labelled& labelled : edits) {
    SCOPED_TRACE(labelled.caption);
    auto* label = view.findChild<QLabel*>(QString::fromLatin1(labelled.label));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), labelled.caption);
    EXPECT_EQ(label->buddy(), labelled.edit);
    EXPECT_GT(labelled.edit->geometry().top(), previousTop);
    previousTop = labelled.edit->geometry().top();
  }
  EXPECT_GT(view.BOk()->geometry().top(), previousTop);

  // Tab from Cancel visits the controls in this order, then comes back to Cancel.
  const std::vector<QWidget*> order = {view.BCancel(),     view.ELocalPort(), view.ERemoteAddr(),
                                       view.ERemotePort(), view.BOk(),        view.RBUdp(),
                                       view.RBTcp()};
  std::vector<QWidget*> visited;
  QWidget* widget = view.BCancel();
  do {
    if (std::find(order.begin(), order.end(), widget) != order.end()) visited.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != view.BCancel());
  EXPECT_EQ(visited, order);
}

TEST_F(IPConfigDlgViewTest, ShowsTheModelsValues) {
  EXPECT_EQ(view.ELocalPort()->text().toStdString(), "10500");
  EXPECT_EQ(view.ERemoteAddr()->text().toStdString(), "192.168.0.10");
  EXPECT_EQ(view.ERemotePort()->text().toStdString(), "10500");
  EXPECT_TRUE(view.RBTcp()->isChecked());
  EXPECT_FALSE(view.RBUdp()->isChecked());
  EXPECT_FALSE(SaveScreenshot(view, QStringLiteral("lan_setup_tcp")).isEmpty());
}

TEST_F(IPConfigDlgViewTest, UdpEnablesTheLocalPortAndTcpGreysIt) {
  const QColor window = view.style()->standardPalette().color(QPalette::Base);
  QTest::mouseClick(view.RBUdp(), Qt::LeftButton);
  EXPECT_EQ(model.ConnectionMode(), 2);
  EXPECT_TRUE(view.RBUdp()->isChecked());
  EXPECT_FALSE(view.RBTcp()->isChecked());
  EXPECT_TRUE(view.ELocalPort()->isEnabled());
  EXPECT_EQ(view.ELocalPort()->palette().color(QPalette::Base), window);
  EXPECT_FALSE(SaveScreenshot(view, QStringLiteral("lan_setup_udp")).isEmpty());

  QTest::mouseClick(view.RBTcp(), Qt::LeftButton);
  EXPECT_EQ(model.ConnectionMode(), 3);
  EXPECT_TRUE(view.RBTcp()->isChecked());
  EXPECT_FALSE(view.ELocalPort()->isEnabled());
  EXPECT_EQ(view.ELocalPort()->palette().color(QPalette::Disabled, QPalette::Base),
            QColor(0xc0, 0xc0, 0xc0));
}

TEST_F(IPConfigDlgViewTest, ApplyWarnsInOrderAndKeepsTheDialogOpen) {
  struct Case {
    const char* local;
    const char* address;
    const char* remote;
    const char* warning;
  };
  const std::vector<Case> cases = {
      {"70000", "10.0.0.1", "10500", "Choose a Local Port <0-65535>"},
      {"-1", "10.0.0.1", "10500", "Choose a Local Port <0-65535>"},
      {"", "10.0.0.1", "10500", "Choose a Local Port <0-65535>"},
      {"4001", "10.0.0.1", "65536", "Choose a Remote Port <0-65535>"},
      {"4001", "10.0.0.1", "port", "Choose a Remote Port <0-65535>"},
      {"4001", "10.0.1", "4000", "Remote IP address not Valid"},
      {"4001", "10.0.0.256", "4000", "Remote IP address not Valid"},
      {"4001", "10.0.0.1.5", "4000", "Remote IP address not Valid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.local) + " " + c.address + " " + c.remote);
    host.Warnings.clear();
    Fill(c.local, c.address, c.remote);
    QTest::mouseClick(view.BOk(), Qt::LeftButton);
    EXPECT_EQ(Warnings(), std::vector<std::string>{c.warning});
    ASSERT_FALSE(host.Warnings.empty());
    EXPECT_EQ(host.Warnings[0].parent, &view);
    EXPECT_TRUE(view.isVisible());
    EXPECT_FALSE(model.Applied);
    EXPECT_EQ(model.RemotePort(), 10500u);
    EXPECT_EQ(model.RemoteAddress(), "192.168.0.10");
  }
}

TEST_F(IPConfigDlgViewTest, ApplyAcceptsTheLimitsAndStoresTheAddressAsTyped) {
  Fill(" 0", "127.0.0.1", "65535");
  QTest::mouseClick(view.BOk(), Qt::LeftButton);
  EXPECT_TRUE(host.Warnings.empty());
  EXPECT_TRUE(model.Applied);
  EXPECT_FALSE(view.isVisible());
  EXPECT_EQ(view.result(), QDialog::Accepted);
  EXPECT_EQ(model.LocalPort(), 0u);
  EXPECT_EQ(model.RemotePort(), 65535u);
  EXPECT_EQ(model.RemoteAddress(), "127.0.0.1");
  EXPECT_EQ(model.ConnectionMode(), 2);
  EXPECT_EQ(view.ELocalPort()->text().toStdString(), "0");  // rewritten in plain decimal
}

TEST_F(IPConfigDlgViewTest, CancelAfterAFailedApplyKeepsTheNewLocalPortAndAppliedFalse) {
  model.Applied = true;
  Fill("4001", "10.0.0.1", "99999");
  QTest::mouseClick(view.BOk(), Qt::LeftButton);
  EXPECT_EQ(Warnings(), std::vector<std::string>{"Choose a Remote Port <0-65535>"});
  QTest::mouseClick(view.BCancel(), Qt::LeftButton);
  EXPECT_FALSE(view.isVisible());
  EXPECT_EQ(view.result(), QDialog::Rejected);
  EXPECT_FALSE(model.Applied);
  EXPECT_EQ(model.LocalPort(), 4001u);
  EXPECT_EQ(model.RemotePort(), 10500u);
}

TEST_F(IPConfigDlgViewTest, ClosingWithoutAButtonLeavesAppliedAsItWas) {
  for (bool applied : {true, false}) {
    model.Applied = applied;
    view.show();
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_FALSE(view.isVisible());
    EXPECT_EQ(model.Applied, applied);
  }
}

TEST_F(IPConfigDlgViewTest, WarningsGoBackToTheirOwnerOnceTheDialogIsHidden) {
  std::vector<std::string> elsewhere;
  view.hide();
  model.OnWarning = [&](const std::string& text) { elsewhere.push_back(text); };
  view.show();
  QTest::mouseClick(view.RBUdp(), Qt::LeftButton);
  Type(view.ELocalPort(), "x");
  QTest::mouseClick(view.BOk(), Qt::LeftButton);
  EXPECT_EQ(Warnings(), std::vector<std::string>{"Choose a Local Port <0-65535>"});
  EXPECT_TRUE(elsewhere.empty());
  view.hide();
  model.ELocalPort.Text = "x";
  model.BOkClick();
  EXPECT_EQ(elsewhere, std::vector<std::string>{"Choose a Local Port <0-65535>"});
}

}  // namespace
