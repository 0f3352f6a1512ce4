#include "app/ui/ip_config_dlg_view.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/ui/modal_host.h"
#include "app/ui/program_icon.h"

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// The grey a disabled edit is painted in (the system's inactive caption text),
// and the darker grey its text is written in so it stays readable.
const QColor kInactiveCaptionText(0xc0, 0xc0, 0xc0);
const QColor kGrayText(0x6d, 0x6d, 0x6d);

// Shows one model edit in its line edit without moving the cursor needlessly.
void RenderEdit(QLineEdit* widget, const TEdit& edit) {
  const QString text = ToQt(edit.Text);
  if (widget->text() != text) widget->setText(text);
  widget->setEnabled(edit.Enabled);
  QPalette palette = widget->palette();
  const QColor base = edit.Color == TEditColor::clWindow
                          ? widget->style()->standardPalette().color(QPalette::Base)
                          : kInactiveCaptionText;
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, base);
  }
  palette.setColor(QPalette::Disabled, QPalette::Text, kGrayText);
  widget->setPalette(palette);
}

QLabel* AddLabelledEdit(QGridLayout* grid, int row, const char* caption, const char* labelName,
                        QLineEdit* edit) {
  auto* label = new QLabel(QString::fromLatin1(caption));
  label->setObjectName(QString::fromLatin1(labelName));
  label->setBuddy(edit);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  return label;
}

}  // namespace

TIPConfigDlgView::TIPConfigDlgView(TIPConfigDlg& model, TModalHost& host, QWidget* parent)
    : QDialog(parent), model_(model), host_(host) {
  setObjectName(QStringLiteral("IPConfigDlg"));
  setWindowTitle(ToQt(model_.Caption));
  setWindowIcon(ProgramIcon());
  BuildControls();
  ConnectControls();
  Render();
}

TIPConfigDlgView::~TIPConfigDlgView() {
  if (raisingWarnings_) model_.OnWarning = std::move(previousWarning_);
}

void TIPConfigDlgView::BuildControls() {
  mode_ = new QGroupBox(ToQt(model_.RGModeCaption), this);
  mode_->setObjectName(QStringLiteral("RGMode"));
  tcp_ = new QRadioButton(ToQt(model_.RBTcp.Caption), mode_);
  tcp_->setObjectName(QStringLiteral("RBTcp"));
  udp_ = new QRadioButton(ToQt(model_.RBUdp.Caption), mode_);
  udp_->setObjectName(QStringLiteral("RBUdp"));
  auto* modeLayout = new QHBoxLayout(mode_);
  modeLayout->addWidget(tcp_);
  modeLayout->addStretch();
  modeLayout->addWidget(udp_);
  modeLayout->addStretch();

  localPort_ = new QLineEdit(this);
  localPort_->setObjectName(QStringLiteral("ELocalPort"));
  remoteAddr_ = new QLineEdit(this);
  remoteAddr_->setObjectName(QStringLiteral("ERemoteAddr"));
  remotePort_ = new QLineEdit(this);
  remotePort_->setObjectName(QStringLiteral("ERemotePort"));
  auto* grid = new QGridLayout;
  AddLabelledEdit(grid, 0, "Local Port :", "LLocalPort", localPort_);
  AddLabelledEdit(grid, 1, "Remote IP Address :", "LRemoteAddr", remoteAddr_);
  AddLabelledEdit(grid, 2, "Remote Port :", "LRemotePort", remotePort_);

  ok_ = new QPushButton(ToQt(model_.BOk.Caption), this);
  ok_->setObjectName(QStringLiteral("BOk"));
  ok_->setAutoDefault(false);
  cancel_ = new QPushButton(ToQt(model_.BCancel.Caption), this);
  cancel_->setObjectName(QStringLiteral("BCancel"));
  cancel_->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(mode_);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Keyboard order: Cancel first, then the edits, Apply and the mode buttons.
  setTabOrder(cancel_, localPort_);
  setTabOrder(localPort_, remoteAddr_);
  setTabOrder(remoteAddr_, remotePort_);
  setTabOrder(remotePort_, ok_);
  setTabOrder(ok_, udp_);
  setTabOrder(udp_, tcp_);
}

void TIPConfigDlgView::ConnectControls() {
  connect(tcp_, &QRadioButton::clicked, this, [this] {
    model_.RBTcpClick();
    Render();
  });
  connect(udp_, &QRadioButton::clicked, this, [this] {
    model_.RBUdpClick();
    Render();
  });
  connect(localPort_, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.ELocalPort.Text = text.toStdString(); });
  connect(remoteAddr_, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.ERemoteAddr.Text = text.toStdString(); });
  connect(remotePort_, &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.ERemotePort.Text = text.toStdString(); });
  connect(ok_, &QPushButton::clicked, this, &TIPConfigDlgView::OkClicked);
  connect(cancel_, &QPushButton::clicked, this, &TIPConfigDlgView::CancelClicked);
}

void TIPConfigDlgView::Render() {
  // Exclusive radio buttons cannot both be cleared; the model can (before the
  // mode is first set), so exclusivity is lifted while the ticks are copied.
  tcp_->setAutoExclusive(false);
  udp_->setAutoExclusive(false);
  tcp_->setChecked(model_.RBTcp.Checked);
  udp_->setChecked(model_.RBUdp.Checked);
  tcp_->setAutoExclusive(true);
  udp_->setAutoExclusive(true);
  RenderEdit(localPort_, model_.ELocalPort);
  RenderEdit(remoteAddr_, model_.ERemoteAddr);
  RenderEdit(remotePort_, model_.ERemotePort);
  ok_->setEnabled(model_.BOk.Enabled);
  cancel_->setEnabled(model_.BCancel.Enabled);
}

void TIPConfigDlgView::OkClicked() {
  model_.BOkClick();
  Render();
  if (model_.Closed) accept();
}

void TIPConfigDlgView::CancelClicked() {
  model_.BCancelClick();
  Render();
  if (model_.Closed) reject();
}

void TIPConfigDlgView::showEvent(QShowEvent* event) {
  // While the dialog is on the screen its warnings appear over it.
  if (!raisingWarnings_) {
    previousWarning_ = std::move(model_.OnWarning);
    model_.OnWarning = [this](const std::string& text) { host_.ShowWarning(this, ToQt(text)); };
    raisingWarnings_ = true;
  }
  model_.FormShow();
  Render();
  QDialog::showEvent(event);
}

void TIPConfigDlgView::hideEvent(QHideEvent* event) {
  if (raisingWarnings_) {
    model_.OnWarning = std::move(previousWarning_);
    raisingWarnings_ = false;
  }
  QDialog::hideEvent(event);
}
