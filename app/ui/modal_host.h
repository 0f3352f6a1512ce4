// TModalHost: the one place the window and its dialogs run anything modal (a
// dialog's own loop, the error box, the warning box). The program uses the real
// host; tests put a recording host in its place so no modal loop ever blocks them.
// Single-threaded (the event loop's thread).
#pragma once

#include <QString>

class QDialog;
class QWidget;

class TModalHost {
 public:
  virtual ~TModalHost() = default;

  // Shows `dialog` modally and returns its result (QDialog::Accepted or Rejected).
  virtual int Exec(QDialog& dialog) = 0;
  // A modal box with the error icon and one OK button; returns when it is closed.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  // A modal box with the warning icon and one OK button; returns when it is closed.
  virtual void ShowWarning(QWidget* parent, const QString& text) = 0;
};

// The host that really runs modal loops (QDialog::exec and QMessageBox).
TModalHost& RealModalHost();
