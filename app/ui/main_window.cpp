#include "app/ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <cassert>

#include "app/ui/about_box.h"
#include "app/ui/comp_sel_dlg_view.h"
#include "app/ui/ip_config_dlg_view.h"
#include "app/ui/modal_host.h"
#include "app/ui/program_icon.h"
#include "link/com_driver.h"
#include "link/port_list.h"

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// Places of the controls in the client area (528 x 216).
constexpr QRect kMemoRect(22, 8, 484, 105);
constexpr int kBarLeft = 8;
constexpr int kBarWidth = kClientWidth - 2 * kBarLeft;
constexpr int kBarHeight = 13;
constexpr int kBarTop[3] = {119, 136, 153};
constexpr int kButtonTop = 170;
constexpr QRect kStartRect((kClientWidth - 169) / 2, kButtonTop, 169, 41);
constexpr QRect kReadIdRect(kBarLeft, kButtonTop, 137, 41);
constexpr QRect kQuitRect(kClientWidth - kBarLeft - 137, kButtonTop, 137, 41);

void RenderButton(QPushButton* widget, const TButton& button) {
  widget->setText(ToQt(button.Caption));
  widget->setEnabled(button.Enabled);
  widget->setVisible(button.Visible);
}

// A bar whose maximum is 0 is drawn empty (a Qt bar with an empty range would
// show the "busy" animation instead).
void RenderBar(QProgressBar* widget, const TProgressBar& bar) {
  const int max = bar.Max() > bar.Min() ? bar.Max() : bar.Min() + 1;
  widget->setRange(bar.Min(), max);
  widget->setValue(bar.Position());
}

}  // namespace

TMainWindow::TMainWindow(TMainFich& core, TModalHost& host, QWidget* parent)
    : QMainWindow(parent), core_(core), host_(host) {
  setObjectName(QStringLiteral("MainFich"));
  // Fixed size, single border, minimise only.
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(ProgramIcon());
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  setFont(font);
  BuildControls();
  BuildMenus();
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  compSelView_ = new TCompSelDlgView(core_.CompSelDlg, this);
  aboutBox_ = new TAboutBox(this);
  ipConfigView_ = new TIPConfigDlgView(core_.IPConfigDlg, host_, this);

  timer1_.setObjectName(QStringLiteral("Timer1"));
  ConnectControls();
  core_.SetView(this);
  core_.OnChanged = [this] { Render(); };
  core_.OnStepSoon = [this] { PostStepSoon(); };
  stepAfter_.setSingleShot(true);
  stepAfter_.setTimerType(Qt::PreciseTimer);
  connect(&stepAfter_, &QTimer::timeout, this, &TMainWindow::StepAfterCall);
  core_.OnStepAfter = [this](uint32_t ms) { ArmStepAfter(ms); };
  Render();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

TMainWindow::~TMainWindow() {
  core_.OnChanged = nullptr;
  core_.OnStepSoon = nullptr;
  core_.OnStepAfter = nullptr;
  core_.SetView(nullptr);
}

void TMainWindow::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  memo_ = new QPlainTextEdit(client);
  memo_->setObjectName(QStringLiteral("MemoStatus"));
  memo_->setGeometry(kMemoRect);
  memo_->setReadOnly(true);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont memoFont = memo_->font();
  memoFont.setPixelSize(13);
  memo_->setFont(memoFont);
  QPalette palette = memo_->palette();
  const QColor menuColour = QApplication::palette("QMenu").color(QPalette::Window);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, menuColour);
  }
  memo_->setPalette(palette);

  for (int i = 0; i < 3; ++i) {
    bars_[i] = new QProgressBar(client);
    bars_[i]->setObjectName(QStringLiteral("ProgressBar%1").arg(i + 1));
    bars_[i]->setGeometry(kBarLeft, kBarTop[i], kBarWidth, kBarHeight);
    bars_[i]->setTextVisible(false);
  }

  start_ = new QPushButton(client);
  start_->setObjectName(QStringLiteral("Start"));
  start_->setGeometry(kStartRect);
  readId_ = new QPushButton(client);
  readId_->setObjectName(QStringLiteral("ReadId"));
  readId_->setGeometry(kReadIdRect);
  quit_ = new QPushButton(client);
  quit_->setObjectName(QStringLiteral("Quit"));
  quit_->setGeometry(kQuitRect);
}

QAction* TMainWindow::AddItem(QMenu* menu, TMenuItem& item, void (TMainFich::*click)()) {
  QAction* action = menu->addAction(ToQt(item.Caption));
  action->setCheckable(item.RadioItem);
  items_.push_back({action, &item});
  connect(action, &QAction::triggered, this, [this, click] { Forward(click); });
  return action;
}

void TMainWindow::BuildMenus() {
  port1_ = menuBar()->addMenu(ToQt(core_.Port1.Caption));
  port1_->setObjectName(QStringLiteral("Port1"));
  port1_->setToolTipsVisible(true);
  TMenuItem* coms[] = {&core_.Com11, &core_.Com21, &core_.Com31, &core_.Com41, &core_.Com51,
                       &core_.Com61, &core_.Com71, &core_.Com81, &core_.Com91};
  void (TMainFich::*comClicks[])() = {
      &TMainFich::Com11Click, &TMainFich::Com21Click, &TMainFich::Com31Click,
      &TMainFich::Com41Click, &TMainFich::Com51Click, &TMainFich::Com61Click,
      &TMainFich::Com71Click, &TMainFich::Com81Click, &TMainFich::Com91Click};
  // Radio items draw as radio items inside a group; which one is ticked is the
  // core's decision, so the group itself never forces a tick.
  auto* portGroup = new QActionGroup(this);
  portGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  portGroup_ = portGroup;
  connect(port1_, &QMenu::aboutToShow, this, &TMainWindow::RefreshPorts);
  for (int i = 0; i < 9; ++i) {
    portItems_.push_back(AddItem(port1_, *coms[i], comClicks[i]));
    portItems_.back()->setObjectName(QStringLiteral("Com%11").arg(i + 1));
  }
  port1_->addSeparator()->setObjectName(QStringLiteral("N1"));
  portItems_.push_back(AddItem(port1_, core_.LAN1, &TMainFich::LAN1Click));
  portItems_.back()->setObjectName(QStringLiteral("LAN1"));
  for (QAction* action : portItems_) portGroup->addAction(action);

  program1_ = menuBar()->addMenu(ToQt(core_.Program1.Caption));
  program1_->setObjectName(QStringLiteral("Program1"));
  auto* modeGroup = new QActionGroup(this);
  modeGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  mAuto_ = AddItem(program1_, core_.MAuto, &TMainFich::MAutoClick);
  mAuto_->setObjectName(QStringLiteral("MAuto"));
  mManual_ = AddItem(program1_, core_.MManual, &TMainFich::MManualClick);
  mManual_->setObjectName(QStringLiteral("MManual"));
  modeGroup->addAction(mAuto_);
  modeGroup->addAction(mManual_);

  about1_ = menuBar()->addMenu(ToQt(core_.About1.Caption));
  about1_->setObjectName(QStringLiteral("About1"));
  aboutItem_ = AddItem(about1_, core_.AboutQeltUpdater1, &TMainFich::AboutQeltUpdater1Click);
  aboutItem_->setObjectName(QStringLiteral("AboutQeltUpdater1"));
}

void TMainWindow::ConnectControls() {
  connect(&timer1_, &QTimer::timeout, this, &TMainWindow::Timer1Timeout);
  connect(start_, &QPushButton::clicked, this, [this] { Forward(&TMainFich::StartClick); });
  connect(readId_, &QPushButton::clicked, this, [this] { Forward(&TMainFich::ReadIdClick); });
  connect(quit_, &QPushButton::clicked, this, [this] { Forward(&TMainFich::QuitClick); });
}

void TMainWindow::Forward(void (TMainFich::*handler)()) {
  (core_.*handler)();
  Render();
}

void TMainWindow::Timer1Timeout() {
  // Stopped while the core steps: an error box opened inside the step runs its own
  // event loop, and no tick may enter the sequencer again from there.
  timer1_.stop();
  Forward(&TMainFich::Timer1Timer);
}

// One queued call at a time; none while a test gives the ticks by hand.
void TMainWindow::PostStepSoon() {
  if (manualTicks_ || stepSoonPosted_) return;
  stepSoonPosted_ = true;
  QMetaObject::invokeMethod(this, &TMainWindow::StepSoonCall, Qt::QueuedConnection);
}

void TMainWindow::StepSoonCall() {
  stepSoonPosted_ = false;
  timer1_.stop();  // as for a tick: no tick enters the step from an error box's loop
  Forward(&TMainFich::StepSoon);
}

// `ms` fits the timer's int: the core asks for at most kLongestStepAfterMs.
void TMainWindow::ArmStepAfter(uint32_t ms) {
  if (manualTicks_) return;
  stepAfter_.start(static_cast<int>(ms));
}

void TMainWindow::StepAfterCall() {
  timer1_.stop();  // as for a tick: no tick enters the step from an error box's loop
  Forward(&TMainFich::StepSoon);
}

void TMainWindow::UseManualTicks() {
  manualTicks_ = true;
  SyncTimer();
}

void TMainWindow::Render() {
  setWindowTitle(ToQt(core_.Caption()));
  RenderButton(start_, core_.Start);
  RenderButton(readId_, core_.ReadId);
  RenderButton(quit_, core_.Quit);
  RenderBar(bars_[0], core_.ProgressBar1);
  RenderBar(bars_[1], core_.ProgressBar2);
  RenderBar(bars_[2], core_.ProgressBar3);
  RenderMemo();
  RenderMenus();
  SyncTimer();
}

void TMainWindow::RenderMemo() {
  const std::vector<std::string>& lines = core_.MemoStatus.Lines();
  if (static_cast<size_t>(memoLines_) > lines.size()) {
    memo_->clear();
    memoLines_ = 0;
  }
  if (static_cast<size_t>(memoLines_) == lines.size()) return;
  for (size_t i = memoLines_; i < lines.size(); ++i) memo_->appendPlainText(ToQt(lines[i]));
  memoLines_ = static_cast<int>(lines.size());
  memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
}

void TMainWindow::RenderMenus() {
  port1_->menuAction()->setEnabled(core_.Port1.Enabled);
  program1_->menuAction()->setEnabled(core_.Program1.Enabled);
  about1_->menuAction()->setEnabled(core_.About1.Enabled);
  for (const TItemView& view : items_) {
    view.action->setText(ToQt(view.item->Caption));
    view.action->setChecked(view.item->Checked);
    view.action->setEnabled(view.item->Enabled);
  }
  RenderDeviceItems();
  // Where a Com item opens a device of another name (a POSIX system), its tooltip
  // says which.
  for (int i = 0; i < 9; ++i) {
    const std::string name = "COM" + std::to_string(i + 1);
    const std::string device = core_.Link().ResolvePortName(name);
    portItems_[i]->setToolTip(device == name ? QString() : ToQt(device));
  }
}

// The port menu asks the system for its serial ports each time it opens.
void TMainWindow::RefreshPorts() {
  if (lister_) core_.RefreshDevicePorts(lister_->List());
  Render();
}

// The core's detected ports below a separator under LAN/Setup: rebuilt when the
// core rebuilt its list, otherwise only their ticks are brought up to date.
void TMainWindow::RenderDeviceItems() {
  const std::vector<TMainFich::TDeviceItem>& items = core_.DeviceItems();
  if (core_.DeviceItemsVersion() != deviceVersion_) {
    deviceVersion_ = core_.DeviceItemsVersion();
    // Taken off the menu now, deleted later: one of them may be the action whose
    // click is being handled.
    for (QAction* action : deviceItems_) {
      portGroup_->removeAction(action);
      port1_->removeAction(action);
      action->deleteLater();
    }
    deviceItems_.clear();
    if (deviceSeparator_) {
      port1_->removeAction(deviceSeparator_);
      deviceSeparator_->deleteLater();
    }
    deviceSeparator_ = nullptr;
    if (!items.empty()) {
      deviceSeparator_ = port1_->addSeparator();
      deviceSeparator_->setObjectName(QStringLiteral("N2"));
    }
    for (const TMainFich::TDeviceItem& d : items) {
      QAction* action = port1_->addAction(ToQt(d.Item.Caption));
      action->setCheckable(true);
      action->setObjectName(QStringLiteral("Device:") + ToQt(d.Device));
      portGroup_->addAction(action);
      const std::string device = d.Device;
      connect(action, &QAction::triggered, this, [this, device] {
        core_.DevicePortClick(device);
        Render();
      });
      deviceItems_.push_back(action);
    }
  }
  for (size_t i = 0; i < items.size() && i < deviceItems_.size(); ++i) {
    deviceItems_[i]->setChecked(items[i].Item.Checked);
    deviceItems_[i]->setEnabled(items[i].Item.Enabled);
  }
}

void TMainWindow::SyncTimer() {
  const bool run = core_.Timer1.Enabled && !core_.Closed() && !manualTicks_;
  const int interval = static_cast<int>(core_.Timer1.Interval);
  if (timer1_.interval() != interval) timer1_.setInterval(interval);
  if (run && !timer1_.isActive()) timer1_.start();
  if (!run && timer1_.isActive()) timer1_.stop();
}

void TMainWindow::ShowError(const std::string& text) { host_.ShowError(this, ToQt(text)); }

void TMainWindow::ShowWarning(const std::string& text) { host_.ShowWarning(this, ToQt(text)); }

void TMainWindow::ShowLanSetup(TIPConfigDlg& dialog) {
  assert(&dialog == &core_.IPConfigDlg);
  (void)dialog;
  host_.Exec(*ipConfigView_);
}

void TMainWindow::ShowComponentSelection(TCompSelDlg& dialog) {
  assert(&dialog == &core_.CompSelDlg);
  (void)dialog;
  host_.Exec(*compSelView_);
}

void TMainWindow::ShowAbout() { host_.Exec(*aboutBox_); }

void TMainWindow::Repaint() {
  Render();
  update();
}

void TMainWindow::Close() { close(); }

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (OnClosing && !core_.Closed()) OnClosing();
  core_.FormClose();
  SyncTimer();
  event->accept();
}
