#include "tools/update_runner.h"

#include <map>

#include "app/script_rules.h"
#include "engines/card_table.h"
#include "engines/prog_boot.h"
#include "engines/prog_jtag.h"
#include "engines/prog_psd.h"
#include "engines/text_util.h"
#include "link/com_driver.h"

std::string SkipNote(int card, int component, const std::string& version) {
  static const char* const kComponents[kCardCodeCount] = {
      "MCU", "MCU",    "MCU",    "MCU",  "MCU",   "MCU", "MCU",
      "MCU", "PROM 1", "PROM 2", "CPLD", "CPLDs", "EDID"};
  std::string card_name =
      card >= 0 && card < kOptionCardCount ? OptionCards[card].name : MainCard.name;
  const char* part = component >= 0 && component < kCardCodeCount ? kComponents[component] : "?";
  return "Skipped, already current: " + card_name + " " + part + " (version " + version + ")";
}

std::string RunnerScriptArgument(const TRunnerOptions& options, const std::string& program_folder) {
  if (!options.ReadId) return options.Script;
  if (options.Script.empty()) return program_folder + "readid.ini";
  return PathFolder(options.Script) + "readid.ini";
}

TUpdateRunner::TUpdateRunner(TMainFich& core, const TRunnerOptions& options, TMsClock& clock)
    : core_(core),
      options_(options),
      watchdog_(clock, options.TimeoutMs),
      logged_(core.MemoStatus.Lines().size()) {  // earlier lines are not this run's
  core_.SetView(this);
  core_.OnChanged = [this] { Render(); };
  HookEngine(core_.ProgBoot());
  HookEngine(core_.InstCrt());
  HookEngine(core_.ProgPsd());
  HookEngine(core_.ProgJtag());
  // A "wait" line keeps its keyword in Instruction until its first step, so the
  // moment the card supervisor turns busy tells a timed wait from a device exchange.
  TInstCrt& crt = core_.InstCrt();
  saved_crt_busy_ = crt.OnChangeBusy;
  crt.OnChangeBusy = [this](TGestionnaire* engine) {
    if (saved_crt_busy_) saved_crt_busy_(engine);
    timed_wait_ = engine->Busy && engine->Instruction.starts_with("wait");
  };
  saved_version_same_ = crt.OnVersionSame;
  crt.OnVersionSame = [this](TGestionnaire* engine, int component) {
    if (saved_version_same_) saved_version_same_(engine, component);
    NoteVersionSame(component);
  };
}

// The core skips a current component's lines in Auto mode while a card script
// runs, without a log line of its own; the runner says so.
void TUpdateRunner::NoteVersionSame(int component) {
  if (!core_.MAuto.Checked || core_.CurrentCard() == -1) return;
  // The card supervisor still holds the "T" line's code and expected version.
  const std::string_view line = core_.InstCrt().Instruction;
  const std::string version = line.empty() ? std::string() : Trim(line.substr(1));
  const std::string note = SkipNote(core_.CurrentCard(), component, version);
  for (TRunnerOutput* output : outputs_) output->Log(note);
}

TUpdateRunner::~TUpdateRunner() {
  for (auto& [engine, handler] : saved_info_) engine->OnInfo = handler;
  core_.InstCrt().OnChangeBusy = saved_crt_busy_;
  core_.InstCrt().OnVersionSame = saved_version_same_;
  core_.OnChanged = nullptr;
  core_.SetView(nullptr);
}

void TUpdateRunner::HookEngine(TGestionnaire& engine) {
  saved_info_.emplace_back(&engine, engine.OnInfo);
  TNotifyEvent core_handler = engine.OnInfo;
  engine.OnInfo = [this, core_handler](TGestionnaire* sender) {
    if (core_handler) core_handler(sender);
    for (TRunnerOutput* output : outputs_) output->Activity(sender->InfoText);
  };
}

bool TUpdateRunner::Configure(std::string& error) {
  TIPConfigDlg& lan = core_.IPConfigDlg;
  switch (options_.Link) {
    case TRunnerLink::LINK_SERIAL:
      if (options_.Port.starts_with("COM")) {
        core_.ComClick(options_.Port[3] - '1');
      } else {
        core_.Link().SetComDeviceMap({{"COM1", options_.Port}});
        core_.ComClick(0);
      }
      break;
    case TRunnerLink::LINK_UDP:
    case TRunnerLink::LINK_TCP:
      lan.SetConnectionMode(options_.Link == TRunnerLink::LINK_UDP ? CON_UDP : CON_TCP);
      lan.SetRemoteAddress(options_.Host);
      if (options_.RemotePort >= 0) lan.SetRemotePort(static_cast<uint32_t>(options_.RemotePort));
      core_.Port1.Check(core_.LAN1);
      break;
    case TRunnerLink::LINK_SETTINGS:
      break;
  }
  if (options_.LocalPort >= 0) lan.SetLocalPort(static_cast<uint32_t>(options_.LocalPort));
  if (core_.LAN1.Checked && !TIPConfigDlg::IsValidAddress(lan.RemoteAddress())) {
    error = "the settings file's REMOTE_IP \"" + lan.RemoteAddress() +
            "\" is not an IPv4 address; give --udp or --tcp";
    return false;
  }
  if (options_.Manual) core_.MManualClick();  // the view applies the selection
  return true;
}

void TUpdateRunner::Start() {
  started_ = true;
  watchdog_.Arrived();  // the silence is counted from the start of the run
  core_.StartClick();
}

void TUpdateRunner::Tick() {
  if (finished_) return;
  core_.Timer1Timer();
  if (!finished_ && watchdog_.Expired(RunWaitsOnDevice())) {
    std::string message = NoAnswerMessage(watchdog_.TimeoutMs(), core_.SeqState(), last_sent_);
    const TComDriver& link = core_.Link();
    if (link.ConType() == CON_TCP && link.TcpConnectPending()) {
      message += "; no TCP connection to " + link.IpRemoteAddress() + ":" +
                 std::to_string(link.IpRemotePort());
    }
    Interrupt(message);
  }
}

bool TUpdateRunner::RunWaitsOnDevice() {
  return started_ && WaitsOnDevice(core_.SeqState()) && !timed_wait_ &&
         core_.ProgJtag().State() != TProgJtag::TJtagState::JTAG_PAUSE;
}

void TUpdateRunner::Traffic(TTraceDir dir, const std::string& bytes) {
  if (dir == TTraceDir::TRACE_RECEIVED) {
    watchdog_.Arrived();
  } else {
    last_sent_ = bytes;
  }
  if (!options_.Trace || finished_) return;
  for (TRunnerOutput* output : trace_outputs_) output->Trace(dir, bytes);
}

std::string TUpdateRunner::RunningScript() const {
  return core_.CurrentCard() != -1 ? core_.CardScriptFile() : core_.ScriptFile();
}

void TUpdateRunner::Interrupt(const std::string& reason) {
  if (finished_) return;
  const std::string script = started_ ? RunningScript() : std::string();
  if (started_ && core_.SeqState() != TSeqState::SEQ_IDLE) {
    core_.StartClick();   // STOP: the state becomes SEQ_IDLE ...
    core_.Timer1Timer();  // ... whose step closes the link and resets the engines
  }
  Finish(kExitStopped, reason, script);
}

void TUpdateRunner::Render() {
  const std::vector<std::string>& lines = core_.MemoStatus.Lines();
  for (; logged_ < lines.size(); ++logged_) {
    const std::string& line = lines[logged_];
    if (line == kIdlePrompt) continue;
    if (started_ && line == kCompletedText) completed_ = true;
    for (TRunnerOutput* output : outputs_) output->Log(line);
  }
  TProgressState state;
  const TProgressBar* bars[3] = {&core_.ProgressBar1, &core_.ProgressBar2, &core_.ProgressBar3};
  for (int i = 0; i < 3; ++i) {
    state.Position[i] = bars[i]->Position();
    state.Max[i] = bars[i]->Max();
  }
  for (TRunnerOutput* output : outputs_) output->Progress(state);
  if (finished_ || !started_ || core_.SeqState() != TSeqState::SEQ_IDLE) return;
  if (error_shown_) {
    Finish(kExitFailed, error_message_, error_script_);
  } else if (completed_) {
    Finish(kExitCompleted, kCompletedText, "");
  }
}

void TUpdateRunner::ShowError(const std::string& text) {
  // The box holds the message, CR LF, and the path of the script that was running.
  const size_t cut = text.find("\r\n");
  error_message_ = text.substr(0, cut);
  error_script_ = cut == std::string::npos ? std::string() : text.substr(cut + 2);
  error_shown_ = true;
}

void TUpdateRunner::ShowWarning(const std::string& text) {
  for (TRunnerOutput* output : outputs_) output->Log("Warning: " + text);
}

void TUpdateRunner::ShowLanSetup(TIPConfigDlg& dialog) { dialog.BCancelClick(); }

void TUpdateRunner::ShowComponentSelection(TCompSelDlg& dialog) {
  ApplyManualSelection(options_, dialog);
  dialog.OKBtnClick();
}

void TUpdateRunner::Finish(int exit_code, const std::string& message, const std::string& script) {
  if (finished_) return;
  finished_ = true;
  exit_code_ = exit_code;
  for (TRunnerOutput* output : outputs_) {
    if (exit_code == kExitCompleted) {
      output->Done(message);
    } else {
      output->Error(message, script, exit_code);
    }
  }
  if (OnFinished) OnFinished();
}
