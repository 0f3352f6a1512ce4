// TIPConfigDlgView: the window of the LAN setup dialog. It shows the TIPConfigDlg
// model (the "Connection Mode" frame, the three labelled edits, "Apply" and
// "Cancel"), copies what the operator types into the model's edits, forwards the
// clicks, shows the model's warnings through the modal host and closes when the
// model asks to. The window's own close button (or Escape) closes it without
// touching the model, so `Applied` keeps its last value. Event-loop thread only.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "app/ip_config_dlg.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TModalHost;

class TIPConfigDlgView : public QDialog {
  Q_OBJECT

 public:
  // Builds every control from `model`; `model` and `host` must outlive the view.
  // While shown, the view raises the model's warnings over itself.
  TIPConfigDlgView(TIPConfigDlg& model, TModalHost& host, QWidget* parent = nullptr);
  ~TIPConfigDlgView() override;

  // Copies the model's texts, ticks, enabled states and colours into the controls.
  void Render();

  QGroupBox* RGMode() const { return mode_; }
  QRadioButton* RBTcp() const { return tcp_; }
  QRadioButton* RBUdp() const { return udp_; }
  QLineEdit* ELocalPort() const { return localPort_; }
  QLineEdit* ERemoteAddr() const { return remoteAddr_; }
  QLineEdit* ERemotePort() const { return remotePort_; }
  QPushButton* BOk() const { return ok_; }
  QPushButton* BCancel() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void BuildControls();
  void ConnectControls();
  void OkClicked();
  void CancelClicked();

  TIPConfigDlg& model_;
  TModalHost& host_;
  QGroupBox* mode_ = nullptr;                                // RGMode, "Connection Mode"
  QRadioButton* tcp_ = nullptr;                              // RBTcp
  QRadioButton* udp_ = nullptr;                              // RBUdp
  QLineEdit* localPort_ = nullptr;                           // ELocalPort
  QLineEdit* remoteAddr_ = nullptr;                          // ERemoteAddr
  QLineEdit* remotePort_ = nullptr;                          // ERemotePort
  QPushButton* ok_ = nullptr;                                // BOk, "Apply"
  QPushButton* cancel_ = nullptr;                            // BCancel, "Cancel"
  bool raisingWarnings_ = false;                             // model warnings come here while shown
  std::function<void(const std::string&)> previousWarning_;  // restored on hiding
};
