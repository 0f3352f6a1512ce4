#include "app/ui/about_box.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "app/ui/testing/screenshots.h"

namespace {

TEST(AboutBoxTest, ShowsTitleAndTheBuildsFourPartVersion) {
  TAboutBox box;
  EXPECT_EQ(box.windowTitle().toStdString(), "About \"Corvane Qelt Updater\"");
  EXPECT_EQ(box.LTitle()->text().toStdString(), "Corvane Qelt Updater");
  EXPECT_EQ(box.LVersion()->text().toStdString(),
            std::string("Version : ") + QELT_EXPECTED_FILE_VERSION);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Version : \\d+\\.\\d+\\.\\d+\\.\\d+$"))
                  .match(box.LVersion()->text())
                  .hasMatch());
  EXPECT_EQ(box.OKButton()->text().toStdString(), "OK");
  EXPECT_TRUE(box.OKButton()->isDefault());
  box.show();
  EXPECT_FALSE(SaveScreenshot(box, QStringLiteral("about_box")).isEmpty());
}

TEST(AboutBoxTest, OkClosesTheBoxAccepted) {
  TAboutBox box;
  box.show();
  QTest::mouseClick(box.OKButton(), Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(AboutBoxTest, EnterPressesTheDefaultButton) {
  TAboutBox box;
  box.show();
  QTest::keyClick(&box, Qt::Key_Return);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

}  // namespace
