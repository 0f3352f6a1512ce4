#include "app/ui/about_box.h"

#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/program_icon.h"

QString ProgramFileVersion() {
#ifdef QELT_FILE_VERSION
  return QStringLiteral(QELT_FILE_VERSION);
#else
  return {};
#endif
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About \"%1\"").arg(QString::fromLatin1(kProgramTitle)));
  setWindowIcon(ProgramIcon());

  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* icon = new QLabel(panel);
  icon->setObjectName(QStringLiteral("ProgramIcon"));
  icon->setPixmap(ProgramPixmap(48));
  title_ = new QLabel(QString::fromLatin1(kProgramTitle), panel);
  title_->setObjectName(QStringLiteral("LTitle"));
  QFont titleFont = title_->font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
  title_->setFont(titleFont);
  version_ = new QLabel(QStringLiteral("Version : ") + ProgramFileVersion(), panel);
  version_->setObjectName(QStringLiteral("LVersion"));

  auto* texts = new QVBoxLayout;
  texts->addWidget(title_);
  texts->addWidget(version_);
  texts->addStretch();
  auto* panelLayout = new QHBoxLayout(panel);
  panelLayout->setContentsMargins(12, 12, 24, 12);
  panelLayout->setSpacing(16);
  panelLayout->addWidget(icon, 0, Qt::AlignTop);
  panelLayout->addLayout(texts);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("OKButton"));
  ok_->setDefault(true);
  ok_->setMinimumWidth(75);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panel);
  layout->addWidget(ok_, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}
