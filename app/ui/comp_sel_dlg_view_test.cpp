#include "app/ui/comp_sel_dlg_view.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <string>
#include <vector>

#include "app/ui/testing/screenshots.h"

namespace {

std::vector<std::string> Captions(const QList<QCheckBox*>& boxes) {
  std::vector<std::string> captions;
  for (const QCheckBox* box : boxes) captions.push_back(box->text().toStdString());
  return captions;
}

class CompSelDlgViewTest : public ::testing::Test {
 protected:
  CompSelDlgViewTest() : view(model) { view.show(); }

  // Clicks a box as the operator would: its tab brought forward first.
  void Click(const TCheckBox& box) {
    QCheckBox* widget = view.BoxFor(box);
    ASSERT_NE(widget, nullptr);
    for (int i = 0; i < view.PCCompSel()->count(); ++i) {
      if (view.PCCompSel()->widget(i)->isAncestorOf(widget)) view.PCCompSel()->setCurrentIndex(i);
    }
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
  }

  // The box on the screen agrees with the model and with `checked`/`enabled`.
  void ExpectBox(const TCheckBox& box, bool checked, bool enabled) {
    SCOPED_TRACE(box.Caption);
    EXPECT_EQ(box.Checked, checked);
    EXPECT_EQ(box.Enabled, enabled);
    EXPECT_EQ(view.BoxFor(box)->isChecked(), checked);
    EXPECT_EQ(view.BoxFor(box)->isEnabled(), enabled);
  }

  TCompSelDlg model;
  TCompSelDlgView view;
};

TEST_F(CompSelDlgViewTest, FiveTabsInOrderWithTheirBoxes) {
  struct Tab {
    const char* caption;
    const char* card;
    const char* group;  // object name, empty when the tab has none
    std::vector<std::string> components;
  };
  const std::vector<Tab> tabs = {
      {"VI3", "Program VI3", "GBUD3", {"MCU", "PROM", "CPLD"}},
      {"Keyb3", "Program Keyb3", "", {}},
      {"Ext Input Card", "Program Extended Input Card", "GBExtIn", {"CPLDs", "EDID"}},
      {"Scan SD", "Program Scan SD", "GBSCANSD", {"MCU", "PROM 1", "PROM 2"}},
      {"Scan HD", "Program Scan HD", "GBSCANHD", {"MCU", "PROM 1", "PROM 2"}},
  };
  EXPECT_EQ(view.windowTitle().toStdString(), "Component Selection");
  EXPECT_EQ(view.OKBtn()->text().toStdString(), "OK");
  EXPECT_TRUE(view.OKBtn()->isDefault());
  ASSERT_EQ(view.PCCompSel()->count(), 5);
  EXPECT_EQ(view.PCCompSel()->currentIndex(), 0);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(tabs[i].caption);
    view.PCCompSel()->setCurrentIndex(i);
    QWidget* page = view.PCCompSel()->widget(i);
    EXPECT_EQ(view.PCCompSel()->tabText(i).toStdString(), tabs[i].caption);
    const QList<QCheckBox*> all = page->findChildren<QCheckBox*>();
    ASSERT_FALSE(all.isEmpty());
    QCheckBox* card = all.first();
    EXPECT_EQ(card->text().toStdString(), tabs[i].card);
    QGroupBox* group = page->findChild<QGroupBox*>();
    if (tabs[i].components.empty()) {
      EXPECT_EQ(group, nullptr);
      EXPECT_EQ(all.size(), 1);
      continue;
    }
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->objectName().toStdString(), tabs[i].group);
    EXPECT_EQ(group->title().toStdString(), "Select Component to Program");
    const QList<QCheckBox*> components = group->findChildren<QCheckBox*>();
    EXPECT_EQ(Captions(components), tabs[i].components);
    EXPECT_LT(card->geometry().bottom(), group->geometry().top());
    for (int k = 1; k < components.size(); ++k) {
      EXPECT_LT(components[k - 1]->geometry().bottom(), components[k]->geometry().top());
    }
    for (QCheckBox* box : all) {
      EXPECT_TRUE(box->isChecked());
      EXPECT_TRUE(box->isEnabled());
    }
  }
  view.PCCompSel()->setCurrentIndex(3);
  EXPECT_FALSE(SaveScreenshot(view, QStringLiteral("component_selection")).isEmpty());
}

TEST_F(CompSelDlgViewTest, CardBoxClearsAndGreysItsComponentsThenTicksThemAllAgain) {
  struct Card {
    TCheckBox* card;
    std::vector<TCheckBox*> components;
  };
  TCompSelDlg& m = model;
  const std::vector<Card> cards = {
      {&m.CBUD3, {&m.CBVi3MCU, &m.CBUD3PROM1, &m.CBUD3CPLD}},
      {&m.CBExtIn, {&m.CBExtInCpld, &m.CBExtInEDID}},
      {&m.CBSCANSD, {&m.CBSCANSDMCU, &m.CBSCANSDPROM1, &m.CBSCANSDPROM2}},
      {&m.CBSCANHD, {&m.CBSCANHDMCU, &m.CBSCANHDPROM1, &m.CBSCANHDPROM2}},
  };
  for (const Card& card : cards) {
    SCOPED_TRACE(card.card->Caption);
    Click(*card.components.front());  // cleared by hand before the card box
    ExpectBox(*card.components.front(), false, true);
    Click(*card.card);
    ExpectBox(*card.card, false, true);
    for (TCheckBox* box : card.components) ExpectBox(*box, false, false);
    Click(*card.card);
    ExpectBox(*card.card, true, true);
    for (TCheckBox* box : card.components) ExpectBox(*box, true, true);
  }
}

TEST_F(CompSelDlgViewTest, ComponentAndKeyboardBoxesChangeOnlyThemselves) {
  Click(model.CBVi3MCU);
  ExpectBox(model.CBVi3MCU, false, true);
  ExpectBox(model.CBUD3PROM1, true, true);
  ExpectBox(model.CBUD3CPLD, true, true);
  ExpectBox(model.CBUD3, true, true);

  Click(model.CBKeyb3);
  ExpectBox(model.CBKeyb3, false, true);
  for (const TCheckBox* box :
       {&model.CBUD3, &model.CBUD3PROM1, &model.CBExtIn, &model.CBSCANSD, &model.CBSCANHDPROM2}) {
    ExpectBox(*box, true, true);
  }
}

TEST_F(CompSelDlgViewTest, ShowsTheModelsStateAndKeepsTicksAndPageBetweenShowings) {
  model.CBSCANHD.Checked = false;
  model.CBSCANHDClick();
  view.Render();
  ExpectBox(model.CBSCANHDPROM1, false, false);

  view.PCCompSel()->setCurrentIndex(2);
  QTest::mouseClick(view.OKBtn(), Qt::LeftButton);
  EXPECT_TRUE(model.Closed);
  EXPECT_FALSE(view.isVisible());
  EXPECT_EQ(view.result(), QDialog::Accepted);

  view.show();
  EXPECT_FALSE(model.Closed);
  EXPECT_EQ(view.PCCompSel()->currentIndex(), 2);
  ExpectBox(model.CBSCANHD, false, true);
  ExpectBox(model.CBSCANHDMCU, false, false);
}

}  // namespace
