// TMainFich: the application core behind the main window. Owns the device link,
// the four programming engines, the component selection and LAN setup dialogs,
// the script lists, the settings list and the update sequencer that runs on
// Timer1. Its controls are model objects (app/controls.h) that a view renders;
// modal things go through TMainView, and a run's events through its On... members.
// Used by the Qt window, the command-line runner and the tests. Everything runs on
// one thread (the event loop's).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/comp_sel_dlg.h"
#include "app/controls.h"
#include "app/ip_config_dlg.h"
#include "app/package_check.h"
#include "app/progress_watch.h"
#include "app/sequencer.h"
#include "link/port_list.h"

class TComDriver;
class TMsClock;
class TProgBoot;
class TInstCrt;
class TProgPsd;
class TProgJtag;
class TGestionnaire;
struct TLinkLoss;

// What the core asks of the window (or of whatever stands in for it). Every call
// is modal: it returns when the operator has closed the box or dialog.
class TMainView {
 public:
  virtual ~TMainView() = default;
  // Error box (error icon, one OK button).
  virtual void ShowError(const std::string& text) = 0;
  // Warning box (one OK button).
  virtual void ShowWarning(const std::string& text) = 0;
  // Shows the LAN setup dialog; returns once its Closed is set (or the window's own
  // close button was used, which leaves Applied as it was).
  virtual void ShowLanSetup(TIPConfigDlg& dialog) = 0;
  // Shows the component selection dialog; returns once it is closed.
  virtual void ShowComponentSelection(TCompSelDlg& dialog) = 0;
  virtual void ShowAbout() = 0;
  // Redraws the window now (the caption shows the device identifier).
  virtual void Repaint() = 0;
  // Closes the main window. The view then calls FormClose (at once or from its
  // close event); FormClose runs its work only once.
  virtual void Close() = 0;
};

// Where the core finds its files.
struct TMainFichSetup {
  std::string ProgramFolder;     // the program's own folder, ending with a separator
  std::string ScriptArgument;    // the first command-line argument, or empty
  std::string WorkingFolder;     // where "readid.ini" decides Read Id; empty: current
  std::string UserConfigFolder;  // settings folder when ProgramFolder is read-only
};

class TMainFich {
 public:
  // FormCreate: ticks Com11 and MAuto, wires the link and the four engines, looks
  // for "readid.ini" in the working folder, SEQ_IDLE with Timer1 at 500 ms.
  // `clock` drives the timed engine operations and must outlive the core.
  TMainFich(std::unique_ptr<TComDriver> link, TMsClock& clock, TMainFichSetup setup);
  ~TMainFich();
  TMainFich(const TMainFich&) = delete;
  TMainFich& operator=(const TMainFich&) = delete;

  // The view; may be null (modal requests are then answered with "OK"/closed).
  void SetView(TMainView* view) { view_ = view; }
  // Raised after every handler below has run, so a view can re-render.
  std::function<void()> OnChanged;

  // What happens in a run, for a front end; the core needs no handler. Each is
  // raised inside a step: a handler may read the core but must not press its
  // buttons or tick its timer.
  // An engine's information text, every one, before the status log drops the
  // step-by-step texts and repeated lines.
  std::function<void(const std::string& text)> OnEngineInfo;
  // A timed wait began or ended: a card script's "wait" line counting its time, or
  // the JTAG engine's settling pause before an Effect file plays. In between the
  // engine sends nothing and expects nothing (the step that ends the wait may send
  // what follows it). Every begin is followed by one end before the run's end.
  std::function<void()> OnTimedWaitBegin;
  std::function<void()> OnTimedWaitEnd;
  // Auto mode, in a card script: the card supervisor read `version`, the version the
  // script names, for component `component` (0..12, as CardCodes) of `card` (255 main
  // card, 0..5 option card); the component's remaining lines are skipped.
  std::function<void(int card, int component, const std::string& version)> OnComponentSkipped;
  // Option card `card` (0..5) did not answer its ping; its card line is skipped.
  std::function<void(int card)> OnCardAbsent;
  // The run ended, raised once per run as the last event of the step that ends it:
  // RUN_COMPLETED with "Program operation completed" and the main script's path;
  // RUN_FAILED after the error box, with its message and the path it names;
  // RUN_STOPPED at the idle step after STOP (link closed, engines reset), with an
  // empty message and the path of the script that was running.
  std::function<void(TRunEnd end, const std::string& message, const std::string& script)> OnRunEnd;
  // The package check before a run finished: every finding, and whether the run
  // goes on (no error). Raised before the findings reach the status log.
  std::function<void(const std::vector<TFinding>& findings, bool can_run)> OnPackageChecked;

  // START and Read Id check the package before the link is opened (see
  // package_check.h); a package with errors is refused with its findings and the
  // device is never touched. Off runs a package on purpose as it is.
  void SetPackageCheck(bool enabled) { package_check_ = enabled; }
  // The check of the package is under way (on Timer1, a slice per tick).
  bool CheckRunning() const { return check_ != nullptr; }

  // Asks for one step (StepSoon) as soon as the event loop is free: raised inside a
  // step that leaves work to do at once (an operation or a line finished, the next
  // one to hand over), so a run does not wait for the next tick between them. The
  // handler must post the call (a queued call on the event loop), never make it: a
  // call from inside the handler is ignored. Unset, the ticks do that work.
  std::function<void()> OnStepSoon;
  // Asks for one step (StepSoon) after `ms` milliseconds: raised after a step that
  // leaves the run in a timed wait ("wait" in a card script, the pause before an
  // Effect file plays) with the time until a step ends it, so that the wait ends on
  // its time rather than on the next tick. A later request replaces an earlier one;
  // one that a tick has overtaken finds nothing to do. Unset, the ticks end waits.
  // `ms` is at most kLongestStepAfterMs (what a timer's int of milliseconds holds):
  // a longer wait is stepped then and asks again.
  std::function<void(uint32_t ms)> OnStepAfter;
  static constexpr uint32_t kLongestStepAfterMs = 0x7FFFFFFF;

  // The still-waiting note (app/run_story.h): logged once when the run has waited on
  // the device this long without progress, counted in Timer1's nominal intervals
  // outside timed waits. 0: never (a front end with a watchdog of its own).
  static constexpr uint32_t kStillWaitingNoteMs = 30000;
  uint32_t StillWaitingNoteMs = kStillWaitingNoteMs;

  // Writes a card script that the run edited (the extended input images), replacing
  // the file; false with the reason. SaveTextLines unless a test puts a fake here.
  using TScriptWriter = std::function<bool(
      const std::string& path, const std::vector<std::string>& lines, std::string* error)>;
  TScriptWriter WriteCardScript;

  // Settings file "Updater.prm": load once after construction, save in FormClose.
  void LoadSettings();
  // False (with the reason logged in the status log and a warning shown) when
  // the file could be written nowhere.
  bool SaveSettings();
  // The file the settings are read from and written to.
  std::string SettingsPath() const;
  // The file LoadSettings read, or empty when it read none (the defaults apply).
  const std::string& SettingsLoadedFrom() const { return settings_path_; }
  // Device path given by "COMn_DEVICE" for n 1..9, or empty.
  std::string ComDevice(int n) const;

  // Click handlers and the timer.
  void StartClick();
  void ReadIdClick();
  void QuitClick();
  void Com11Click() { ComClick(0); }
  void Com21Click() { ComClick(1); }
  void Com31Click() { ComClick(2); }
  void Com41Click() { ComClick(3); }
  void Com51Click() { ComClick(4); }
  void Com61Click() { ComClick(5); }
  void Com71Click() { ComClick(6); }
  void Com81Click() { ComClick(7); }
  void Com91Click() { ComClick(8); }
  void ComClick(int index);  // index 0..8 for Com11..Com91
  void LAN1Click();
  void MAutoClick();
  void MManualClick();
  void AboutQeltUpdater1Click();
  // The tick procedure: counts TimeLeft down by the nominal interval, one step.
  void Timer1Timer();
  // The step OnStepSoon asked for: one step like a tick's, but TimeLeft and the
  // still-waiting time are not counted. Nothing when another step has run since the
  // request, inside a step, or after FormClose.
  void StepSoon();
  // Stops the timer, saves the settings, closes the link. Runs once.
  void FormClose();

  // The window title with the device identifier.
  std::string Caption() const;
  // The serial port the port menu selects: "COM1".."COM9", or the device path of
  // a ticked detected port.
  std::string SelectedPortName() const;
  // The device path of the ticked detected port; empty when none is ticked.
  std::string SelectedDevice() const;

  // The port menu's detected ports (main_fich_ports.cpp): the serial ports the
  // system has that no Com item stands for, and a chosen device path the system
  // does not list (a pseudo-terminal). Radio items of Port1 after LAN/Setup.
  struct TDeviceItem {
    std::string Device;  // the path the port is opened and saved by
    TMenuItem Item;      // "/dev/ttyUSB0  (FT232R USB UART)"
  };
  const std::vector<TDeviceItem>& DeviceItems() const { return device_items_; }
  // Changes whenever DeviceItems is rebuilt, so that a view redraws them.
  uint32_t DeviceItemsVersion() const { return device_items_version_; }
  // Rebuilds DeviceItems from the ports the system has now (`found`); the window
  // calls it each time the port menu opens. The tick stays where it was.
  void RefreshDevicePorts(const std::vector<TSerialPortInfo>& found);
  // A click on the detected port `device`; a path not yet listed is added. The
  // command line's --port with a device path comes here too.
  void DevicePortClick(const std::string& device);
  // Ticks `device` as DevicePortClick does, also while the menu is disabled (the
  // settings file, and putting back the saved choice at closing).
  void SelectDevicePort(const std::string& device);

  // Controls.
  TButton Start{"START", true, true};
  TButton ReadId{"Read Id", true, false};
  TButton Quit{"Quit", true, false};
  TProgressBar ProgressBar1, ProgressBar2, ProgressBar3;
  TMemo MemoStatus;
  TTimer Timer1;
  TMenuItem Com11, Com21, Com31, Com41, Com51, Com61, Com71, Com81, Com91;
  TMenuItem LAN1;
  TMenuItem MAuto, MManual;
  TMenuItem AboutQeltUpdater1;
  TMenu Port1;
  TMenu Program1;
  TMenu About1;

  // Dialogs owned by the core.
  TCompSelDlg CompSelDlg;
  TIPConfigDlg IPConfigDlg;

  // State for the runner, the window and the tests (read-only).
  TSeqState SeqState() const { return seq_state_; }
  const std::string& LastError() const { return last_error_; }
  const std::string& ScriptFile() const { return script_file_; }
  // The main script START runs: the script argument, or "script.ini" beside the program.
  std::string StartScriptFile() const {
    return setup_.ScriptArgument.empty() ? setup_.ProgramFolder + "script.ini"
                                         : setup_.ScriptArgument;
  }
  const std::string& CardScriptFile() const { return card_script_file_; }
  const std::string& CurentCardDir() const { return curent_card_dir_; }
  int32_t CurrentCard() const { return current_card_; }
  int32_t Revision() const { return revision_; }
  uint32_t DeviceID() const { return device_id_; }
  bool Identified() const { return identified_; }
  bool Card0Ready() const { return card0_ready_; }
  bool UpdaterAck() const { return updater_ack_; }
  uint32_t TimeLeft() const { return time_left_; }
  // The receive buffer: what the device sent that no engine has consumed yet.
  std::string RxBuffer() const;
  // Bytes the receive buffer could not take in this run: it holds at most
  // TGestionnaire::kInputCap bytes, as much as an engine ever looks at.
  uint64_t RxDropped() const { return rx_dropped_; }
  const std::vector<std::string>& ScriptLines() const { return script_lines_; }
  const std::vector<std::string>& CardLines() const { return card_lines_; }
  const std::vector<std::string>& Settings() const { return settings_; }
  bool Closed() const { return closed_; }
  // The script line handed to the engines last (trimmed), and the lines taken so
  // far of the main script and of the card script (the 1-based number of the line
  // under way).
  const std::string& CurrentLine() const { return current_line_; }
  int32_t LineIndex() const { return line_index_; }
  int32_t CardLineIndex() const { return card_line_index_; }
  // Progress of the run (main_fich_progress.cpp): counted after every step, with
  // the bytes received since the last progress.
  const TProgressWatch& Progress() const { return progress_; }
  // What the run waits for now, in the operator's words: "the bank 2 flash to be
  // programmed (erasing; card script line 4: P2 BANK2.HEX)".
  std::string Awaited() const;

  TComDriver& Link() { return *link_; }
  TProgBoot& ProgBoot() { return *prog_boot_; }
  TInstCrt& InstCrt() { return *inst_crt_; }
  TProgPsd& ProgPsd() { return *prog_psd_; }
  TProgJtag& ProgJtag() { return *prog_jtag_; }

 private:
  // Sequencer (sequencer.cpp): one function per state.
  void SequencerStep();
  void StepState();
  void DoIdle();
  void DoOpen();
  void DoWake();
  void DoWaitType();
  void DoWaitUpdater();
  void DoBootSync();
  void DoWaitBootSync();
  void DoLoadScript();
  void DoWaitBridgeBoot();
  void DoPing();
  void DoWaitPing();
  void DoWaitCrt(TSeqState next, const char* instruction);
  void DoNextLine();
  void DoWaitLine();
  void DoNextCardLine();
  void DoWaitCardLine();
  void DoNormalBoot();
  void DoWaitNormalBoot();
  void DoClose();
  void DoWaitRebridgeBoot();
  void DoWaitFinish();
  void DoDone();
  void DoError();
  void DoErrorReport();
  void OptionCardLine();
  void LoadCardScript(const std::string& card_folder);
  void OfferCurrentLine(TSeqState waiting, int32_t line_number);
  void OpenLink();
  bool IsUpdateScript() const;
  // Step soon (step_soon.cpp): does the state left by this step act at once?
  bool StepActsAtOnce() const;
  uint64_t StatesMark() const;
  bool InputPending() const;
  void AskStepSoon(bool states_changed = false);
  void AskStepSoonOnReport();
  void AskStepAtWaitEnd();
  void RaiseStepSoon();

  // Engines and handlers (main_fich.cpp).
  void WireEngine(TGestionnaire& engine);
  void WireSequencerEvents();
  void HandBoot(const std::string& instruction);
  void HandCrt(const std::string& instruction);
  void OfferLine(const std::string& line);
  void PumpEngines();
  bool Finished() const;
  void ResetEngines();
  void SetCurentCardDir(const std::string& dir);
  void ReportError(const std::string& text);
  void LogInfo(const std::string& text);
  void ReceiveProcedure();
  // The receive buffer is shared with the engines rather than copied at every
  // pull: it is the BufIn of the engine that pulled last (rx_holder_), followed by
  // what arrived since (rx_buffer_). A pull appends only that new part; what the
  // engine consumes is gone for everybody at once, so OnChangeBufIn copies nothing.
  void AppendReceived(const std::string& bytes);  // up to the cap, the rest counted
  void HandOverReceived(TGestionnaire& engine);   // OnReceive: engine.BufIn := all
  void TakeBackReceived(TGestionnaire& engine);   // OnChangeBufIn
  void ReclaimReceived();                         // all back into rx_buffer_
  void ClearReceived();
  void DeviceIdentified(const TGestionnaire& engine);
  void CardReady(int card);
  void CardError(int card);
  void VersionSame(int component);
  void RewriteExtendedInput(bool present);
  void WatchTimedWait();
  // Progress and the still-waiting note (main_fich_progress.cpp).
  TRunMilestone Milestone() const;
  void WatchProgress();
  void WatchStillWaiting();
  std::string AwaitedPingCard() const;
  // The status log's story of a run (card_events.cpp).
  void NoteCardSelection(const std::vector<std::string>& before);
  void NoteComponentSelection(const std::vector<std::string>& before);
  void NoteEffectStarted();
  void NoteLineFinished();
  bool LoadCardLines(std::string* reason = nullptr);  // false with the reason when unreadable
  void EndRun(TRunEnd end, const std::string& message, const std::string& script);
  void RaiseRunEnd();

  // The package check before a run (main_fich_check.cpp).
  void BeginRun();
  void StepCheck();
  void StopCheck();
  void ShowCheckRunning(bool running);
  void ShowCheckProgress();
  void RefusePackage(const std::vector<TFinding>& findings, size_t errors);
  const std::string& RunningScript() const;
  void ApplyComDevices();
  TMenuItem& ComItem(int index);
  int SelectedComIndex() const;
  void RebuildDeviceItems(const std::string& ticked);
  void HandleLinkLost(const TLinkLoss& loss);
  bool RunUnderWay() const;
  std::string SerialOpenError() const;
  void Changed();

  std::unique_ptr<TComDriver> link_;
  TMsClock& clock_;
  TMainFichSetup setup_;
  TMainView* view_ = nullptr;  // not owned
  std::unique_ptr<TProgBoot> prog_boot_;
  std::unique_ptr<TInstCrt> inst_crt_;
  std::unique_ptr<TProgPsd> prog_psd_;
  std::unique_ptr<TProgJtag> prog_jtag_;

  std::vector<std::string> script_lines_;  // main script of the current run
  std::vector<std::string> card_lines_;    // card script being run; empty between
  std::vector<std::string> settings_;      // lines of "Updater.prm", load to save
  std::string settings_path_;              // where the settings were loaded from
  std::string script_file_;                // full path of the main script
  std::string card_script_file_;           // full path of the running card script
  std::string curent_card_dir_;            // the folder the engines look in
  std::string last_error_;                 // shown in the error box
  std::string current_line_;               // the instruction being handed over
  std::string rx_buffer_;                  // received since rx_holder_ last pulled
  TGestionnaire* rx_holder_ = nullptr;     // its BufIn: the older part of the buffer
  uint64_t rx_dropped_ = 0;                // bytes the full buffer could not take
  int32_t current_card_ = -1;              // 255 main card, 0..5 option card, -1 none
  int32_t line_index_ = 0;                 // main-script lines taken (pings before)
  int32_t card_line_index_ = 0;            // card-script lines taken
  int32_t revision_ = 0;                   // 0 or 1: "rev0" or "rev1"
  uint32_t device_id_ = 0;                 // 0 means unknown
  uint32_t time_left_ = 0;                 // ms of the current time-out
  TSeqState seq_state_ = TSeqState::SEQ_IDLE;
  bool identified_ = false;        // a device identifier was reported in this run
  bool card0_ready_ = false;       // option card 0 answered its ping in this run
  bool updater_ack_ = false;       // the device confirmed updater mode in this run
  bool engine_busy_ = false;       // Busy last reported by any engine
  bool dev_reported_ = false;      // the device reported DEV since this run's "?"
  bool updater_reported_ = false;  // the device reported UPDATER since then
  bool wake_unsent_ = false;       // "?" fell on a TCP connection still being made
  bool in_step_ = false;           // guards SequencerStep against re-entry
  bool step_soon_ = false;         // a step was asked for and none has run since
  bool timed_wait_ = false;        // an engine's timed wait was under way after the last step
  bool closed_ = false;            // FormClose has run

  TProgressWatch progress_;           // milestones and bytes since the last progress
  uint32_t still_waiting_ms_ = 0;     // nominal ms waited on the device without progress
  bool still_waiting_noted_ = false;  // the still-waiting note was logged for this wait

  // The main card's card script as this run edited it, kept in memory because the
  // file could not be written; used instead of the file when the card script loads.
  struct TEditedScript {
    std::string Path;
    std::vector<std::string> Lines;
  };
  std::optional<TEditedScript> edited_card_script_;

  // An Effect file being played by a script line, for its log line at the end.
  struct TEffectPlay {
    std::string File;    // as the line names it
    std::string Chain;   // the component code: "8", "9", "A" or "C"
    int Statements = 0;  // statements the device took (the JTAG engine's progress steps)
  };
  std::optional<TEffectPlay> effect_play_;

  // How the run ended, until OnRunEnd has told it.
  struct TRunEndNote {
    TRunEnd End;
    std::string Message;
    std::string Script;
  };
  std::optional<TRunEndNote> run_end_;

  std::vector<TDeviceItem> device_items_;     // the port menu's detected ports
  std::vector<TSerialPortInfo> found_ports_;  // as the system last listed them
  uint32_t device_items_version_ = 0;         // bumped by every rebuild
  std::unique_ptr<TPackageCheck> check_;      // the check under way before a run, or null
  bool package_check_ = true;                 // START and Read Id check the package first
};
