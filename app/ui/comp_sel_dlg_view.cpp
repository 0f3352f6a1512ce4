#include "app/ui/comp_sel_dlg_view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/ui/program_icon.h"

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// Object names of the tabs, in page order.
const char* const kTabNames[] = {"TSVi3", "TSKeyb3", "TSExtIn", "TSScanSd", "TSScanHD"};
// Object names of the group boxes (the keyboard card has none).
const char* const kGroupNames[] = {"GBUD3", "", "GBExtIn", "GBSCANSD", "GBSCANHD"};

}  // namespace

TCompSelDlgView::TCompSelDlgView(TCompSelDlg& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("CompSelDlg"));
  setWindowTitle(ToQt(model_.Caption));
  setWindowIcon(ProgramIcon());
  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("PCCompSel"));
  // All five tabs stay in sight: the dialog grows to fit them.
  pages_->setUsesScrollButtons(false);
  pages_->tabBar()->setExpanding(false);

  TCompSelDlg& m = model_;
  AddPage(ToQt(TCompSelDlg::TabCaptions()[0]), m.CBUD3, &TCompSelDlg::CBUD3Click,
          {&m.CBVi3MCU, &m.CBUD3PROM1, &m.CBUD3CPLD});
  AddPage(ToQt(TCompSelDlg::TabCaptions()[1]), m.CBKeyb3, nullptr, {});
  AddPage(ToQt(TCompSelDlg::TabCaptions()[2]), m.CBExtIn, &TCompSelDlg::CBExtInClick,
          {&m.CBExtInCpld, &m.CBExtInEDID});
  AddPage(ToQt(TCompSelDlg::TabCaptions()[3]), m.CBSCANSD, &TCompSelDlg::CBSCANSDClick,
          {&m.CBSCANSDMCU, &m.CBSCANSDPROM1, &m.CBSCANSDPROM2});
  AddPage(ToQt(TCompSelDlg::TabCaptions()[4]), m.CBSCANHD, &TCompSelDlg::CBSCANHDClick,
          {&m.CBSCANHDMCU, &m.CBSCANHDPROM1, &m.CBSCANHDPROM2});

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("OKBtn"));
  ok_->setDefault(true);
  ok_->setMinimumWidth(75);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addWidget(ok_, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  for (const TBoxView& view : boxes_) {
    connect(view.widget, &QCheckBox::clicked, this,
            [this, view](bool checked) { BoxClicked(view, checked); });
  }
  connect(pages_, &QTabWidget::currentChanged, this,
          [this](int index) { model_.ActivePage = index; });
  connect(ok_, &QPushButton::clicked, this, &TCompSelDlgView::OkClicked);
  Render();
}

void TCompSelDlgView::AddPage(const QString& caption, TCheckBox& card, void (TCompSelDlg::*click)(),
                              const std::vector<TCheckBox*>& components) {
  const int index = pages_->count();
  auto* page = new QWidget(pages_);
  page->setObjectName(QString::fromLatin1(kTabNames[index]));
  auto* layout = new QVBoxLayout(page);
  auto* cardBox = new QCheckBox(page);
  layout->addWidget(cardBox);
  boxes_.push_back({cardBox, &card, click});
  if (!components.empty()) {
    auto* group = new QGroupBox(ToQt(model_.GroupCaption), page);
    group->setObjectName(QString::fromLatin1(kGroupNames[index]));
    auto* groupLayout = new QVBoxLayout(group);
    for (TCheckBox* component : components) {
      auto* box = new QCheckBox(group);
      groupLayout->addWidget(box);
      boxes_.push_back({box, component, nullptr});
    }
    layout->addWidget(group);
  }
  layout->addStretch();
  page->setMinimumSize(300, 170);
  pages_->addTab(page, caption);
}

QCheckBox* TCompSelDlgView::BoxFor(const TCheckBox& box) const {
  for (const TBoxView& view : boxes_) {
    if (view.box == &box) return view.widget;
  }
  return nullptr;
}

void TCompSelDlgView::Render() {
  for (const TBoxView& view : boxes_) {
    view.widget->setText(ToQt(view.box->Caption));
    view.widget->setChecked(view.box->Checked);
    view.widget->setEnabled(view.box->Enabled);
  }
}

void TCompSelDlgView::BoxClicked(const TBoxView& view, bool checked) {
  view.box->Checked = checked;
  if (view.click != nullptr) (model_.*view.click)();
  Render();
}

void TCompSelDlgView::OkClicked() {
  model_.OKBtnClick();
  if (model_.Closed) accept();
}

void TCompSelDlgView::showEvent(QShowEvent* event) {
  model_.FormShow();
  pages_->setCurrentIndex(model_.ActivePage);
  Render();
  // The dialog opens in the middle of the screen, not over the main window.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  QDialog::showEvent(event);
}
