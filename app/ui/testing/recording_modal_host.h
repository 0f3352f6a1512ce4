// TRecordingModalHost: a modal host for the window tests. Nothing blocks: a dialog
// is shown, handed to the test's OnExec (which clicks and types in it), and closed
// as by the window's close button if OnExec left it open. Error and warning boxes
// are recorded with the widget they were raised over.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "app/ui/modal_host.h"

class TRecordingModalHost : public TModalHost {
 public:
  struct TBox {
    QWidget* parent;
    std::string text;
  };

  int Exec(QDialog& dialog) override {
    Opened.push_back(dialog.objectName().toStdString());
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    if (OnExec) OnExec(dialog);
    if (dialog.isVisible()) dialog.reject();
    return dialog.result();
  }
  void ShowError(QWidget* parent, const QString& text) override {
    Errors.push_back({parent, text.toStdString()});
    if (OnError) OnError();
  }
  void ShowWarning(QWidget* parent, const QString& text) override {
    Warnings.push_back({parent, text.toStdString()});
  }

  std::function<void(QDialog&)> OnExec;  // acts on each dialog while it is open
  std::function<void()> OnError;         // runs while an error box is "open"
  std::vector<std::string> Opened;       // object names of the dialogs shown
  std::vector<TBox> Errors;
  std::vector<TBox> Warnings;
};
