#include "app/ui/modal_host.h"

#include <QDialog>
#include <QMessageBox>

namespace {

class TRealModalHost : public TModalHost {
 public:
  int Exec(QDialog& dialog) override { return dialog.exec(); }

  void ShowError(QWidget* parent, const QString& text) override {
    QMessageBox::critical(parent, QStringLiteral("Error"), Lines(text), QMessageBox::Ok);
  }

  void ShowWarning(QWidget* parent, const QString& text) override {
    QMessageBox::warning(parent, QStringLiteral("Warning"), Lines(text), QMessageBox::Ok);
  }

 private:
  // The core's texts break lines with CR LF; a message box wants LF alone.
  static QString Lines(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  }
};

}  // namespace

TModalHost& RealModalHost() {
  static TRealModalHost host;
  return host;
}
