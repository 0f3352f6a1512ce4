// TCompSelDlg: the component selection dialog as a model. The operator chooses,
// in Manual mode, which cards and which components of each card a run programs.
// The main window owns one instance for the life of the program; the view shows it
// modally, toggles a box's Checked and then calls that box's click handler.
// Single-threaded.
#pragma once

#include <string>
#include <vector>

#include "app/controls.h"

class TCompSelDlg {
 public:
  // Every box ticked and enabled, with its caption.
  TCompSelDlg();

  // Card boxes: after the view has toggled the card box, enable and tick (or
  // disable and clear) every component box of that card.
  void CBUD3Click();
  void CBSCANSDClick();
  void CBSCANHDClick();
  void CBExtInClick();
  // Closes the dialog with the result OK.
  void OKBtnClick() { Closed = true; }
  // Called by the view when it shows the dialog.
  void FormShow() { Closed = false; }

  const std::string Caption = "Component Selection";
  // Tab captions in page order: "VI3", "Keyb3", "Ext Input Card", "Scan SD", "Scan HD".
  static const std::vector<std::string>& TabCaptions();
  int ActivePage = 0;   // the first tab at the first showing
  bool Closed = false;  // set by OKBtnClick; the view then closes the dialog

  // "VI3" tab.
  TCheckBox CBUD3, CBVi3MCU, CBUD3PROM1, CBUD3CPLD;
  // "Keyb3" tab.
  TCheckBox CBKeyb3;
  // "Ext Input Card" tab.
  TCheckBox CBExtIn, CBExtInCpld, CBExtInEDID;
  // "Scan SD" tab.
  TCheckBox CBSCANSD, CBSCANSDMCU, CBSCANSDPROM1, CBSCANSDPROM2;
  // "Scan HD" tab.
  TCheckBox CBSCANHD, CBSCANHDMCU, CBSCANHDPROM1, CBSCANHDPROM2;
  // Caption of the group boxes that hold component boxes.
  const std::string GroupCaption = "Select Component to Program";

  // Selection as the script rules read it. `card` is 255 for the main card or an
  // option card index 0..5.
  // True when the whole card is to be programmed (its card box is ticked).
  bool CardSelected(int card) const;
  // False when component index `component` (0..12) of `card` is deselected by a
  // cleared box; components no box names are always selected.
  bool ComponentSelected(int card, int component) const;

 private:
  // Enables and ticks (or disables and clears) `boxes`: all enabled states first,
  // then all ticks.
  static void FollowCardBox(const TCheckBox& card, const std::vector<TCheckBox*>& boxes);
};
