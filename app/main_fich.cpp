// TMainFich: construction and event wiring, the click handlers, the status log
// and closing. The sequencer's states are in sequencer.cpp, the card supervisor's
// script events in card_events.cpp, the settings file in main_fich_settings.cpp.
#include "app/main_fich.h"

#include <algorithm>
#include <system_error>

#include "app/script_rules.h"
#include "app/settings_file.h"
#include "engines/card_table.h"
#include "engines/file_access.h"
#include "engines/inst_crt.h"
#include "engines/intel_hex.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "link/com_driver.h"

namespace {

TMenuItem RadioItem(const char* caption) { return TMenuItem{caption, false, true, true}; }

bool ContainsIgnoringCase(const std::string& text, const std::string& word) {
  auto lower = [](std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return s;
  };
  return lower(text).find(lower(word)) != std::string::npos;
}

// Engine information texts that are steps of an operation, not worth a log line.
bool IsDroppedInfo(const std::string& text) {
  static const char* const kExact[] = {"Erase",
                                       "Upload",
                                       "Verify Checksum",
                                       "Reset",
                                       "Erase Extended Boot",
                                       "Upload Extended Boot",
                                       "Erase Bank",
                                       "Upload Bank",
                                       "Verify Bank",
                                       "Operation Bypassed",
                                       "Updating Prom Devices",
                                       " Starting ",
                                       "Ping OK",
                                       "Ping Error",
                                       "End Update"};
  for (const char* dropped : kExact) {
    if (text == dropped) return true;
  }
  for (const char* part : {"Start Bridge : ", "End   Bridge", "Ping Card "}) {
    if (ContainsIgnoringCase(text, part)) return true;
  }
  return false;
}

}  // namespace

TMainFich::TMainFich(std::unique_ptr<TComDriver> link, TMsClock& clock, TMainFichSetup setup)
    : Com11(RadioItem("Com &1")),
      Com21(RadioItem("Com &2")),
      Com31(RadioItem("Com &3")),
      Com41(RadioItem("Com &4")),
      Com51(RadioItem("Com &5")),
      Com61(RadioItem("Com &6")),
      Com71(RadioItem("Com &7")),
      Com81(RadioItem("Com &8")),
      Com91(RadioItem("Com &9")),
      LAN1(RadioItem("LAN/Setup")),
      MAuto(RadioItem("&Auto")),
      MManual(RadioItem("&Manual")),
      AboutQeltUpdater1{"&About Qelt Updater...", false, true, false},
      Port1("&Port",
            {&Com11, &Com21, &Com31, &Com41, &Com51, &Com61, &Com71, &Com81, &Com91, &LAN1}),
      Program1("&Mode", {&MAuto, &MManual}),
      About1("&About", {&AboutQeltUpdater1}),
      link_(std::move(link)),
      clock_(clock),
      setup_(std::move(setup)) {
  Port1.Check(Com11);
  link_->Tag = 1;
  link_->OnRecString = [this](TComDriver*, int32_t) { ReceiveProcedure(); };
  link_->OnShowMessage = [this](const std::string& text) {
    if (view_) view_->ShowWarning(text);
  };
  // The link keeps the last DEV and UPDATER values across runs; a run believes
  // only what the device reports during that run.
  // The link reports the text before the value, so the step that followed the text
  // did not see the value: one more step is asked for.
  link_->OnDEVchange = [this](TComDriver*, int32_t) {
    dev_reported_ = true;
    AskStepSoonOnReport();
  };
  link_->OnUPDATERchange = [this](TComDriver*, int32_t) {
    updater_reported_ = true;
    AskStepSoonOnReport();
  };
  link_->OnLinkLost = [this](TComDriver*, const TLinkLoss& loss) { HandleLinkLost(loss); };
  link_->SetBaudRate(57600);
  link_->SetConMode(MODE_RAW);
  seq_state_ = TSeqState::SEQ_IDLE;
  Timer1.Interval = 500;
  MemoStatus.Clear();
  device_id_ = 0;
  identified_ = false;
  revision_ = 0;
  if (PathExists(setup_.WorkingFolder + "readid.ini")) {
    ReadId.Visible = true;
    Quit.Visible = true;
  }
  prog_boot_ = std::make_unique<TProgBoot>();
  inst_crt_ = std::make_unique<TInstCrt>(clock_);
  prog_psd_ = std::make_unique<TProgPsd>();
  prog_jtag_ = std::make_unique<TProgJtag>(clock_);
  WireSequencerEvents();
  Program1.Check(MAuto);
  IPConfigDlg.OnWarning = [this](const std::string& text) {
    if (view_) view_->ShowWarning(text);
  };
  WriteCardScript = [](const std::string& path, const std::vector<std::string>& lines,
                       std::string* error) { return SaveTextLines(path, lines, error); };
}

TMainFich::~TMainFich() {
  if (link_) {
    link_->OnRecString = nullptr;
    link_->OnShowMessage = nullptr;
    link_->OnDEVchange = nullptr;
    link_->OnUPDATERchange = nullptr;
    link_->OnLinkLost = nullptr;
  }
}

void TMainFich::WireEngine(TGestionnaire& engine) {
  engine.OnSend = [this](TGestionnaire* e) {
    if (!link_->SendRaw(e->BufOut)) ReportError(link_->LastSendError());
  };
  engine.OnChangeBufIn = [this](TGestionnaire* e) { TakeBackReceived(*e); };
  engine.OnReceive = [this](TGestionnaire* e) { HandOverReceived(*e); };
  engine.OnChangeBusy = [this](TGestionnaire* e) { engine_busy_ = e->Busy; };
  engine.OnStepProgress = [this](TGestionnaire* e) {
    ProgressBar1.StepIt();
    if (effect_play_ && e == prog_jtag_.get()) ++effect_play_->Statements;
  };
  engine.OnChangeMaxProgress = [this](TGestionnaire* e) { ProgressBar1.SetMax(e->MaxProgress); };
  engine.OnInfo = [this](TGestionnaire* e) {
    if (OnEngineInfo) OnEngineInfo(e->InfoText);
    LogInfo(e->InfoText);
  };
  engine.OnError = [this](TGestionnaire* e) { ReportError(e->ErrorText); };
  engine.OnChangeDeviceID = [this](TGestionnaire* e) { DeviceIdentified(*e); };
  engine.OnSpeedUp = [this](TGestionnaire*) { link_->SetBaudRate(57600); };
  engine.OnSpeedDown = [this](TGestionnaire*) { link_->SetBaudRate(19200); };
}

void TMainFich::WireSequencerEvents() {
  WireEngine(*prog_boot_);
  WireEngine(*inst_crt_);
  WireEngine(*prog_psd_);
  WireEngine(*prog_jtag_);
  prog_boot_->OnDeviceType = [this](TGestionnaire*) {
    revision_ = prog_boot_->DeviceType == 27 ? 0 : 1;
  };
  inst_crt_->OnCardReady = [this](TGestionnaire*, int card) { CardReady(card); };
  inst_crt_->OnCardError = [this](TGestionnaire*, int card) { CardError(card); };
  inst_crt_->OnVersionSame = [this](TGestionnaire*, int component) { VersionSame(component); };
}

// ---- Engines ----------------------------------------------------------------

namespace {
template <typename Engine>
void Hand(Engine& engine, const std::string& instruction) {
  engine.Instruction = instruction;
  engine.Step();
}
template <typename Engine>
void StepIfBusy(Engine& engine) {
  if (engine.Busy) engine.Step();
}
}  // namespace

void TMainFich::HandBoot(const std::string& instruction) { Hand(*prog_boot_, instruction); }
void TMainFich::HandCrt(const std::string& instruction) { Hand(*inst_crt_, instruction); }

void TMainFich::OfferLine(const std::string& line) {
  Hand(*prog_boot_, line);
  Hand(*inst_crt_, line);
  Hand(*prog_psd_, line);
  Hand(*prog_jtag_, line);
}

void TMainFich::PumpEngines() {
  StepIfBusy(*prog_boot_);
  StepIfBusy(*inst_crt_);
  StepIfBusy(*prog_psd_);
  StepIfBusy(*prog_jtag_);
}

bool TMainFich::Finished() const { return !engine_busy_ && seq_state_ != TSeqState::SEQ_ERROR; }

void TMainFich::ResetEngines() {
  ReclaimReceived();  // a reset empties BufIn: what the device sent stays received
  prog_boot_->ResetEngine();
  inst_crt_->ResetEngine();
  prog_psd_->ResetEngine();
  prog_jtag_->ResetEngine();
  engine_busy_ = false;  // a reset engine is idle, though it raises no event
}

void TMainFich::SetCurentCardDir(const std::string& dir) {
  curent_card_dir_ = dir;
  prog_boot_->CurentDir = dir;
  inst_crt_->CurentDir = dir;
  prog_psd_->CurentDir = dir;
  prog_jtag_->CurentDir = dir;
}

void TMainFich::DeviceIdentified(const TGestionnaire& engine) {
  device_id_ = static_cast<uint32_t>(engine.DeviceID) & 0xFFFFu;
  identified_ = true;
  prog_boot_->UpdateAllowed = identified_;
  inst_crt_->UpdateAllowed = identified_;
  prog_psd_->UpdateAllowed = identified_;
  prog_jtag_->UpdateAllowed = identified_;
  if (view_) view_->Repaint();
}

// ---- Status log and error path -----------------------------------------------

void TMainFich::ReportError(const std::string& text) {
  last_error_ = text;
  seq_state_ = TSeqState::SEQ_ERROR;
  if (MemoStatus.Empty() || MemoStatus.LastLine() != text) MemoStatus.Append(text);
}

void TMainFich::LogInfo(const std::string& text) {
  if (IsDroppedInfo(text)) return;
  if (MemoStatus.Empty() || MemoStatus.LastLine() != text) MemoStatus.Append(text);
}

// ---- Handlers -------------------------------------------------------------------

void TMainFich::StartClick() {
  if (check_) {  // STOP while the package is checked: nothing was opened
    StopCheck();
    Changed();
    return;
  }
  if (seq_state_ == TSeqState::SEQ_DONE) {
    QuitClick();
    return;
  }
  if (seq_state_ == TSeqState::SEQ_IDLE) {
    RaiseRunEnd();  // STOP was pressed since the last step: that run ends first
    script_file_ = StartScriptFile();
    Quit.Enabled = false;
    BeginRun();
    AskStepSoon();
  } else {  // any other state is a run: STOP; the next idle step closes and resets
    Quit.Enabled = true;
    EndRun(TRunEnd::RUN_STOPPED, "", RunningScript());
    seq_state_ = TSeqState::SEQ_IDLE;
  }
  Changed();
}

void TMainFich::ReadIdClick() {
  if (seq_state_ != TSeqState::SEQ_IDLE || !ReadId.Visible || !ReadId.Enabled) return;
  if (check_) return;
  script_file_ = setup_.ProgramFolder + "readid.ini";
  BeginRun();
  AskStepSoon();
  Changed();
}

void TMainFich::QuitClick() {
  if (view_) {
    view_->Close();
  } else {
    FormClose();
  }
}

void TMainFich::LAN1Click() {
  if (!Port1.Enabled || !view_) return;
  IPConfigDlg.FormShow();
  view_->ShowLanSetup(IPConfigDlg);
  if (IPConfigDlg.Applied) Port1.Check(LAN1);
  Changed();
}

void TMainFich::MAutoClick() {
  if (!Program1.Enabled) return;
  Program1.Check(MAuto);
  Changed();
}

void TMainFich::MManualClick() {
  if (!Program1.Enabled) return;
  Program1.Check(MManual);
  CompSelDlg.FormShow();
  if (view_) view_->ShowComponentSelection(CompSelDlg);
  Changed();
}

void TMainFich::AboutQeltUpdater1Click() {
  if (view_) view_->ShowAbout();
}

void TMainFich::Timer1Timer() {
  if (closed_) return;
  Timer1.Enabled = false;
  time_left_ = Timer1.Interval < time_left_ ? time_left_ - Timer1.Interval : 0;
  if (check_) {
    StepCheck();
    AskStepSoon();  // a check that passed opens the run at once
  } else {
    SequencerStep();
    WatchStillWaiting();
  }
  Timer1.Enabled = true;
  Changed();
}

// ---- Receive buffer -----------------------------------------------------------------

std::string TMainFich::RxBuffer() const {
  return rx_holder_ != nullptr ? rx_holder_->BufIn + rx_buffer_ : rx_buffer_;
}

void TMainFich::AppendReceived(const std::string& bytes) {
  const size_t cap = TGestionnaire::kInputCap;
  const size_t held = (rx_holder_ != nullptr ? rx_holder_->BufIn.size() : 0) + rx_buffer_.size();
  const size_t room = cap - std::min(cap, held);
  const size_t taken = std::min(room, bytes.size());
  rx_buffer_.append(bytes, 0, taken);
  rx_dropped_ += bytes.size() - taken;
}

void TMainFich::HandOverReceived(TGestionnaire& engine) {
  if (rx_holder_ == &engine) {
    engine.BufIn += rx_buffer_;
  } else {
    ReclaimReceived();
    engine.BufIn = std::move(rx_buffer_);
    rx_holder_ = &engine;
  }
  rx_buffer_.clear();
}

// The engine's BufIn is the buffer now; text received since it pulled, if any,
// was never handed over and is dropped with the rest, as the engine asked.
void TMainFich::TakeBackReceived(TGestionnaire& engine) {
  if (rx_holder_ == &engine) return;
  ClearReceived();
  rx_holder_ = &engine;
}

void TMainFich::ReclaimReceived() {
  if (rx_holder_ == nullptr) return;
  rx_buffer_.insert(0, rx_holder_->BufIn);
  rx_holder_->BufIn.clear();
  rx_holder_ = nullptr;
}

void TMainFich::ClearReceived() {
  if (rx_holder_ != nullptr) rx_holder_->BufIn.clear();
  rx_holder_ = nullptr;
  rx_buffer_.clear();
}

void TMainFich::ReceiveProcedure() {
  Timer1.Enabled = false;
  const std::string received = link_->ReadRaw();
  progress_.Received(received);
  AppendReceived(received);
  if (StepsOnReceive(seq_state_)) SequencerStep();
  Timer1.Enabled = !closed_;
  Changed();
}

std::string TMainFich::Caption() const {
  const std::string device = device_id_ != 0
                                 ? "(Device Id : " + WordToHex(static_cast<int>(device_id_)) + ")"
                                 : std::string("(Device Id Unknown)");
  return "Corvane Qelt Updater  " + device;
}

void TMainFich::Changed() {
  if (OnChanged) OnChanged();
}

// ---- Closing ---------------------------------------------------------------------

void TMainFich::FormClose() {
  if (closed_) return;
  closed_ = true;
  Timer1.Enabled = false;
  SaveSettings();
  link_->SetConType(CON_NONE);
  Changed();
}
