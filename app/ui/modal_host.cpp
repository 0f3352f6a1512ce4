#include "app/ui/modal_host.h"

#include <QDialog>
#include <QMessageBox>

namespace {

class TRealModalHost : public TModalHost {
 public:
  int Exec(QDialog& dialog) override { return dialog.exec(); }

  void ShowError(QWidget* parent, const QString& text) override {
    QMessageBox::critical(parent, QStringLiteral("Error"), text, QMessageBox::Ok);
  }

  void ShowWarning(QWidget* parent, const QString& text) override {
    QMessageBox::warning(parent, QStringLiteral("Warning"), text, QMessageBox::Ok);
  }
};

}  // namespace

TModalHost& RealModalHost() {
  static TRealModalHost host;
  return host;
}
