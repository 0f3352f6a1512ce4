#include "tools/update_runner.h"

#include "app/connection_options.h"
#include "app/script_rules.h"
#include "engines/card_table.h"
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
  Subscribe();
}

TUpdateRunner::~TUpdateRunner() {
  core_.OnChanged = nullptr;
  core_.OnEngineInfo = nullptr;
  core_.OnTimedWaitBegin = nullptr;
  core_.OnTimedWaitEnd = nullptr;
  core_.OnComponentSkipped = nullptr;
  core_.OnRunEnd = nullptr;
  core_.SetView(nullptr);
}

void TUpdateRunner::Subscribe() {
  core_.OnChanged = [this] { Render(); };
  core_.OnEngineInfo = [this](const std::string& text) {
    for (TRunnerOutput* output : outputs_) output->Activity(text);
  };
  core_.OnTimedWaitBegin = [this] { timed_wait_ = true; };
  core_.OnTimedWaitEnd = [this] { timed_wait_ = false; };
  // The core skips a current component's lines without a log line of its own.
  core_.OnComponentSkipped = [this](int card, int component, const std::string& version) {
    Log(SkipNote(card, component, version));
  };
  // Finished by Render, once the run's last log lines are written out.
  core_.OnRunEnd = [this](TRunEnd end, const std::string& message, const std::string& script) {
    ended_ = true;
    end_ = end;
    end_message_ = message;
    end_script_ = script;
  };
}

void TUpdateRunner::Log(const std::string& text) {
  for (TRunnerOutput* output : outputs_) output->Log(text);
}

bool TUpdateRunner::Configure(std::string& error) {
  TIPConfigDlg& lan = core_.IPConfigDlg;
  switch (options_.Link) {
    case TRunnerLink::LINK_SERIAL:
      if (const int item = ComMenuItem(options_.Port); item != 0) {
        core_.ComClick(item - 1);
      } else {  // a device path or a COM port beyond the menu, through Com 1
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

bool TUpdateRunner::RunWaitsOnDevice() const {
  return started_ && WaitsOnDevice(core_.SeqState()) && !timed_wait_;
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

void TUpdateRunner::Interrupt(const std::string& reason) {
  if (finished_) return;
  if (!started_ || core_.SeqState() == TSeqState::SEQ_IDLE) {
    Finish(kExitStopped, reason, "");
    return;
  }
  stop_reason_ = reason;
  core_.StartClick();   // STOP: the state becomes SEQ_IDLE ...
  core_.Timer1Timer();  // ... whose step closes the link, resets the engines, ends the run
}

void TUpdateRunner::Render() {
  const std::vector<std::string>& lines = core_.MemoStatus.Lines();
  for (; logged_ < lines.size(); ++logged_) {
    if (lines[logged_] != kIdlePrompt) Log(lines[logged_]);
  }
  TProgressState state;
  const TProgressBar* bars[3] = {&core_.ProgressBar1, &core_.ProgressBar2, &core_.ProgressBar3};
  for (int i = 0; i < 3; ++i) {
    state.Position[i] = bars[i]->Position();
    state.Max[i] = bars[i]->Max();
  }
  for (TRunnerOutput* output : outputs_) output->Progress(state);
  if (!ended_ || !started_) return;
  switch (end_) {
    case TRunEnd::RUN_COMPLETED:
      Finish(kExitCompleted, end_message_, "");
      break;
    case TRunEnd::RUN_FAILED:
      Finish(kExitFailed, end_message_, end_script_);
      break;
    case TRunEnd::RUN_STOPPED:
      Finish(kExitStopped, stop_reason_.empty() ? "Stopped" : stop_reason_, end_script_);
      break;
  }
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
