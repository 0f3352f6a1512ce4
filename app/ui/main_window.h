// TMainWindow: the program's main window, a thin view of the TMainFich core. It
// draws the core's controls (buttons, log, progress bars, menus, caption), forwards
// clicks and the ticks of its QTimer `Timer1` to the core, and implements TMainView
// for the modal things (error and warning boxes, the two dialogs, the about box),
// which it runs through a TModalHost. It creates, in this order, its own controls,
// the component selection dialog, the about box and the LAN setup dialog. Event-loop
// thread only; the core must outlive the window.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <vector>

#include "app/main_fich.h"

class QAction;
class QActionGroup;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TAboutBox;
class TCompSelDlgView;
class TIPConfigDlgView;
class TModalHost;
class TPortLister;

// The client area's size; the window keeps it fixed.
inline constexpr int kClientWidth = 528;
inline constexpr int kClientHeight = 216;

class TMainWindow : public QMainWindow, public TMainView {
  Q_OBJECT

 public:
  // Builds the window over `core` and becomes the core's view. `host` runs every
  // modal box and dialog and must outlive the window.
  TMainWindow(TMainFich& core, TModalHost& host, QWidget* parent = nullptr);
  ~TMainWindow() override;

  // Copies every control of the core onto the screen and sets Timer1 to the core's
  // interval and enabled state (stopped for good once the window has closed).
  void Render();
  // What Timer1 does on each tick: one tick of the core, then a redraw.
  void Timer1Timeout();
  // Keeps Timer1 stopped, so a test gives the ticks itself through Timer1Timeout.
  void UseManualTicks();
  // Where the port menu finds the system's serial ports each time it opens (not
  // owned; may be null: then only a chosen device path is shown).
  void SetPortLister(TPortLister* lister) { lister_ = lister; }

  // TMainView.
  void ShowError(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  void ShowLanSetup(TIPConfigDlg& dialog) override;
  void ShowComponentSelection(TCompSelDlg& dialog) override;
  void ShowAbout() override;
  void Repaint() override;
  void Close() override;

  // Raised by the close event just before the core's closing work (settings saved).
  std::function<void()> OnClosing;

  // The controls, for tests and screenshots.
  QPushButton* Start() const { return start_; }
  QPushButton* ReadId() const { return readId_; }
  QPushButton* Quit() const { return quit_; }
  QPlainTextEdit* MemoStatus() const { return memo_; }
  QProgressBar* ProgressBar(int n) const { return bars_.at(n - 1); }
  const QTimer& Timer1() const { return timer1_; }
  QMenu* Port1() const { return port1_; }
  QMenu* Program1() const { return program1_; }
  QMenu* About1() const { return about1_; }
  // Com 1..9 are items 0..8, LAN/Setup is item 9.
  QAction* PortItem(int index) const { return portItems_.at(index); }
  // The detected ports below LAN/Setup, as last drawn (the core's DeviceItems).
  const std::vector<QAction*>& DeviceItems() const { return deviceItems_; }
  QAction* MAuto() const { return mAuto_; }
  QAction* MManual() const { return mManual_; }
  QAction* AboutQeltUpdater1() const { return aboutItem_; }
  TCompSelDlgView* CompSelDlg() const { return compSelView_; }
  TIPConfigDlgView* IPConfigDlg() const { return ipConfigView_; }
  TAboutBox* AboutBox() const { return aboutBox_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // One menu item on the screen and the core's model of it.
  struct TItemView {
    QAction* action;
    TMenuItem* item;
  };

  void BuildControls();
  void BuildMenus();
  QAction* AddItem(QMenu* menu, TMenuItem& item, void (TMainFich::*click)());
  void ConnectControls();
  void RenderMenus();
  void RefreshPorts();
  void RenderDeviceItems();
  void RenderMemo();
  void SyncTimer();
  // The step the core asks for between ticks (TMainFich::OnStepSoon): a queued call.
  void PostStepSoon();
  void StepSoonCall();
  // The step the core asks for at a timed wait's end (TMainFich::OnStepAfter).
  void ArmStepAfter(uint32_t ms);
  void StepAfterCall();
  // Runs a core handler, then redraws.
  void Forward(void (TMainFich::*handler)());

  TMainFich& core_;
  TModalHost& host_;
  QTimer timer1_;                        // Timer1: drives the core's sequencer
  bool manualTicks_ = false;             // Timer1 kept stopped (tests tick by hand)
  bool stepSoonPosted_ = false;          // a queued StepSoonCall is on its way
  QTimer stepAfter_;                     // one shot: the step at a timed wait's end
  QPushButton* start_ = nullptr;         // Start: "START", "STOP" or "QUIT"
  QPushButton* readId_ = nullptr;        // ReadId: "Read Id"
  QPushButton* quit_ = nullptr;          // Quit: "Quit"
  QPlainTextEdit* memo_ = nullptr;       // MemoStatus: the status log
  std::array<QProgressBar*, 3> bars_{};  // ProgressBar1..3
  int memoLines_ = 0;                    // log lines already on the screen
  QMenu* port1_ = nullptr;               // "&Port"
  QMenu* program1_ = nullptr;            // "&Mode"
  QMenu* about1_ = nullptr;              // "&About"
  std::vector<QAction*> portItems_;      // Com11..Com91, LAN1
  QActionGroup* portGroup_ = nullptr;    // the port menu's radio items
  QAction* deviceSeparator_ = nullptr;   // above the detected ports; null when none
  std::vector<QAction*> deviceItems_;    // the detected ports, as the core lists them
  uint32_t deviceVersion_ = 0;           // the core's DeviceItemsVersion they show
  TPortLister* lister_ = nullptr;        // not owned
  QAction* mAuto_ = nullptr;
  QAction* mManual_ = nullptr;
  QAction* aboutItem_ = nullptr;
  std::vector<TItemView> items_;  // every menu item with its model
  TCompSelDlgView* compSelView_ = nullptr;
  TAboutBox* aboutBox_ = nullptr;
  TIPConfigDlgView* ipConfigView_ = nullptr;
};
