#include "app/comp_sel_dlg.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Toggles a box the way a click does and runs its handler.
void Click(TCheckBox& box, void (TCompSelDlg::*handler)(), TCompSelDlg& dialog) {
  box.Checked = !box.Checked;
  if (handler) (dialog.*handler)();
}

std::vector<TCheckBox*> AllBoxes(TCompSelDlg& d) {
  return {&d.CBUD3,    &d.CBVi3MCU,    &d.CBUD3PROM1,    &d.CBUD3CPLD,
          &d.CBKeyb3,  &d.CBExtIn,     &d.CBExtInCpld,   &d.CBExtInEDID,
          &d.CBSCANSD, &d.CBSCANSDMCU, &d.CBSCANSDPROM1, &d.CBSCANSDPROM2,
          &d.CBSCANHD, &d.CBSCANHDMCU, &d.CBSCANHDPROM1, &d.CBSCANHDPROM2};
}

TEST(CompSelDlg, StartsWithEveryBoxTickedAndEnabledAndTheCaptions) {
  TCompSelDlg d;
  for (TCheckBox* box : AllBoxes(d)) {
    EXPECT_TRUE(box->Checked) << box->Caption;
    EXPECT_TRUE(box->Enabled) << box->Caption;
  }
  EXPECT_EQ(d.Caption, "Component Selection");
  EXPECT_EQ(TCompSelDlg::TabCaptions(),
            (std::vector<std::string>{"VI3", "Keyb3", "Ext Input Card", "Scan SD", "Scan HD"}));
  EXPECT_EQ(d.CBUD3.Caption, "Program VI3");
  EXPECT_EQ(d.CBExtIn.Caption, "Program Extended Input Card");
  EXPECT_EQ(d.CBSCANHDPROM2.Caption, "PROM 2");
  EXPECT_EQ(d.CBUD3PROM1.Caption, "PROM");
  EXPECT_EQ(d.CBExtInCpld.Caption, "CPLDs");
}

TEST(CompSelDlg, ClearingACardBoxClearsAndGreysItsComponentsAndTickingRestoresAll) {
  TCompSelDlg d;
  d.CBSCANSDPROM1.Checked = false;  // the operator's own choice before
  Click(d.CBSCANSD, &TCompSelDlg::CBSCANSDClick, d);
  for (TCheckBox* box : {&d.CBSCANSDMCU, &d.CBSCANSDPROM1, &d.CBSCANSDPROM2}) {
    EXPECT_FALSE(box->Checked);
    EXPECT_FALSE(box->Enabled);
  }
  EXPECT_TRUE(d.CBSCANHDMCU.Checked);  // the other tabs are untouched
  Click(d.CBSCANSD, &TCompSelDlg::CBSCANSDClick, d);
  for (TCheckBox* box : {&d.CBSCANSDMCU, &d.CBSCANSDPROM1, &d.CBSCANSDPROM2}) {
    EXPECT_TRUE(box->Checked);
    EXPECT_TRUE(box->Enabled);
  }
}

TEST(CompSelDlg, EachCardBoxFollowsOnlyItsOwnComponents) {
  struct Case {
    TCheckBox TCompSelDlg::*card;
    void (TCompSelDlg::*handler)();
    std::vector<TCheckBox TCompSelDlg::*> components;
  };
  const std::vector<Case> cases = {
      {&TCompSelDlg::CBUD3,
       &TCompSelDlg::CBUD3Click,
       {&TCompSelDlg::CBVi3MCU, &TCompSelDlg::CBUD3PROM1, &TCompSelDlg::CBUD3CPLD}},
      {&TCompSelDlg::CBSCANHD,
       &TCompSelDlg::CBSCANHDClick,
       {&TCompSelDlg::CBSCANHDMCU, &TCompSelDlg::CBSCANHDPROM1, &TCompSelDlg::CBSCANHDPROM2}},
      {&TCompSelDlg::CBExtIn,
       &TCompSelDlg::CBExtInClick,
       {&TCompSelDlg::CBExtInCpld, &TCompSelDlg::CBExtInEDID}},
  };
  for (const Case& c : cases) {
    TCompSelDlg d;
    Click(d.*c.card, c.handler, d);
    int cleared = 0;
    for (TCheckBox* box : AllBoxes(d)) cleared += box->Checked ? 0 : 1;
    EXPECT_EQ(cleared, static_cast<int>(c.components.size()) + 1) << (d.*c.card).Caption;
    for (auto member : c.components) {
      EXPECT_FALSE((d.*member).Checked);
      EXPECT_FALSE((d.*member).Enabled);
    }
  }
}

TEST(CompSelDlg, ClearingAComponentOrTheKeyboardCardChangesNoOtherBox) {
  TCompSelDlg d;
  d.CBVi3MCU.Checked = false;  // no handler on component boxes
  EXPECT_TRUE(d.CBUD3PROM1.Checked);
  EXPECT_TRUE(d.CBUD3CPLD.Checked);
  EXPECT_TRUE(d.CBUD3.Checked);
  Click(d.CBKeyb3, nullptr, d);  // the keyboard card box has no handler
  int cleared = 0;
  for (TCheckBox* box : AllBoxes(d)) cleared += box->Checked ? 0 : 1;
  EXPECT_EQ(cleared, 2);
}

TEST(CompSelDlg, SelectionMapsBoxesToCardsAndComponents) {
  struct Case {
    TCheckBox TCompSelDlg::*box;
    int card;
    std::vector<int> deselected;  // component indexes the cleared box deselects
  };
  const std::vector<Case> cases = {
      {&TCompSelDlg::CBVi3MCU, 255, {0, 1, 2, 3, 4, 5, 6, 7}},
      {&TCompSelDlg::CBUD3PROM1, 255, {8}},
      {&TCompSelDlg::CBUD3CPLD, 255, {10}},
      {&TCompSelDlg::CBKeyb3, 0, {0, 1, 2, 3, 4, 5, 6, 7}},
      {&TCompSelDlg::CBSCANSDMCU, 1, {0, 1, 2, 3, 4, 5, 6, 7}},
      {&TCompSelDlg::CBSCANSDPROM1, 2, {8}},
      {&TCompSelDlg::CBSCANSDPROM2, 1, {9}},
      {&TCompSelDlg::CBSCANHDMCU, 4, {0, 1, 2, 3, 4, 5, 6, 7}},
      {&TCompSelDlg::CBSCANHDPROM1, 3, {8}},
      {&TCompSelDlg::CBSCANHDPROM2, 4, {9}},
      {&TCompSelDlg::CBExtInCpld, 5, {11}},
      {&TCompSelDlg::CBExtInEDID, 5, {12}},
  };
  for (const Case& c : cases) {
    TCompSelDlg d;
    (d.*c.box).Checked = false;
    for (int card : {255, 0, 1, 2, 3, 4, 5}) {
      for (int component = 0; component < 13; ++component) {
        bool expected_off = false;
        if (card == c.card || (c.card == 1 && card == 2) || (c.card == 2 && card == 1) ||
            (c.card == 3 && card == 4) || (c.card == 4 && card == 3)) {
          for (int i : c.deselected) expected_off |= i == component;
        }
        EXPECT_EQ(d.ComponentSelected(card, component), !expected_off)
            << (d.*c.box).Caption << " card " << card << " component " << component;
      }
    }
  }
}

TEST(CompSelDlg, CardBoxesSelectWholeCards) {
  TCompSelDlg d;
  d.CBSCANHD.Checked = false;
  d.CBUD3.Checked = false;
  EXPECT_FALSE(d.CardSelected(255));
  EXPECT_TRUE(d.CardSelected(0));
  EXPECT_TRUE(d.CardSelected(1));
  EXPECT_TRUE(d.CardSelected(2));
  EXPECT_FALSE(d.CardSelected(3));
  EXPECT_FALSE(d.CardSelected(4));
  EXPECT_TRUE(d.CardSelected(5));
}

}  // namespace
