#include "app/comp_sel_dlg.h"

namespace {
TCheckBox Box(const char* caption) { return TCheckBox{caption, true, true}; }
}  // namespace

TCompSelDlg::TCompSelDlg()
    : CBUD3(Box("Program VI3")),
      CBVi3MCU(Box("MCU")),
      CBUD3PROM1(Box("PROM")),
      CBUD3CPLD(Box("CPLD")),
      CBKeyb3(Box("Program Keyb3")),
      CBExtIn(Box("Program Extended Input Card")),
      CBExtInCpld(Box("CPLDs")),
      CBExtInEDID(Box("EDID")),
      CBSCANSD(Box("Program Scan SD")),
      CBSCANSDMCU(Box("MCU")),
      CBSCANSDPROM1(Box("PROM 1")),
      CBSCANSDPROM2(Box("PROM 2")),
      CBSCANHD(Box("Program Scan HD")),
      CBSCANHDMCU(Box("MCU")),
      CBSCANHDPROM1(Box("PROM 1")),
      CBSCANHDPROM2(Box("PROM 2")) {}

const std::vector<std::string>& TCompSelDlg::TabCaptions() {
  static const std::vector<std::string> captions = {"VI3", "Keyb3", "Ext Input Card", "Scan SD",
                                                    "Scan HD"};
  return captions;
}

void TCompSelDlg::FollowCardBox(const TCheckBox& card, const std::vector<TCheckBox*>& boxes) {
  for (TCheckBox* box : boxes) box->Enabled = card.Checked;
  for (TCheckBox* box : boxes) box->Checked = card.Checked;
}

void TCompSelDlg::CBUD3Click() { FollowCardBox(CBUD3, {&CBVi3MCU, &CBUD3PROM1, &CBUD3CPLD}); }

void TCompSelDlg::CBSCANSDClick() {
  FollowCardBox(CBSCANSD, {&CBSCANSDMCU, &CBSCANSDPROM1, &CBSCANSDPROM2});
}

void TCompSelDlg::CBSCANHDClick() {
  FollowCardBox(CBSCANHD, {&CBSCANHDMCU, &CBSCANHDPROM1, &CBSCANHDPROM2});
}

void TCompSelDlg::CBExtInClick() { FollowCardBox(CBExtIn, {&CBExtInCpld, &CBExtInEDID}); }

bool TCompSelDlg::CardSelected(int card) const {
  switch (card) {
    case 255:
      return CBUD3.Checked;
    case 0:
      return CBKeyb3.Checked;
    case 1:
    case 2:
      return CBSCANSD.Checked;
    case 3:
    case 4:
      return CBSCANHD.Checked;
    case 5:
      return CBExtIn.Checked;
    default:
      return true;
  }
}

bool TCompSelDlg::ComponentSelected(int card, int component) const {
  const bool mcu = component >= 0 && component <= 7;
  switch (card) {
    case 255:
      if (mcu) return CBVi3MCU.Checked;
      if (component == 8) return CBUD3PROM1.Checked;
      if (component == 10) return CBUD3CPLD.Checked;
      return true;
    case 0:
      return mcu ? CBKeyb3.Checked : true;
    case 1:
    case 2:
      if (mcu) return CBSCANSDMCU.Checked;
      if (component == 8) return CBSCANSDPROM1.Checked;
      if (component == 9) return CBSCANSDPROM2.Checked;
      return true;
    case 3:
    case 4:
      if (mcu) return CBSCANHDMCU.Checked;
      if (component == 8) return CBSCANHDPROM1.Checked;
      if (component == 9) return CBSCANHDPROM2.Checked;
      return true;
    case 5:
      if (component == 11) return CBExtInCpld.Checked;
      if (component == 12) return CBExtInEDID.Checked;
      return true;
    default:
      return true;
  }
}
