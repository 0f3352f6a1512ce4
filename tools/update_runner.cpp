#include "tools/update_runner.h"

#include "app/connection_options.h"
#include "app/run_story.h"
#include "app/script_rules.h"
#include "engines/card_table.h"
#include "link/com_driver.h"

namespace {

constexpr const char* kIdentificationScript = "readid.ini";
constexpr const char* kListPortsHint =
    "name the device's port with --port NAME (qelt-update --list-ports lists the serial ports)";

}  // namespace

std::string SkipNote(int card, int component, const std::string& version) {
  return "Skipped, already current: " + CardName(card) + " " + ComponentName(component) +
         " (version " + version + ")";
}

std::string DefaultPortHint(const std::string& device) {
  return "No --port, --udp or --tcp was given and there is no settings file, so the default "
         "serial port COM1 (" +
         device + ") was tried: " + kListPortsHint + ", or use --udp or --tcp";
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
  core_.OnPackageChecked = nullptr;
  core_.OnStepSoon = nullptr;
  core_.OnStepAfter = nullptr;
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
  // A refused package: its findings go to stderr (the outputs' Finding) rather than
  // among the log lines, where the core's status log also has them.
  core_.OnPackageChecked = [this](const std::vector<TFinding>& findings, bool can_run) {
    if (can_run) return;
    for (const TFinding& finding : findings) {
      for (TRunnerOutput* output : outputs_) output->Finding(finding);
      finding_lines_.insert(FormatFinding(finding));
    }
  };
  // Finished by Render, once the run's last log lines are written out.
  core_.OnRunEnd = [this](TRunEnd end, const std::string& message, const std::string& script) {
    ended_ = true;
    end_ = end;
    end_message_ = message;
    end_script_ = script;
  };
  core_.OnStepSoon = [this] {
    if (OnStepSoon) OnStepSoon();
  };
  core_.OnStepAfter = [this](uint32_t ms) {
    if (OnStepAfter) OnStepAfter(ms);
  };
}

void TUpdateRunner::StepSoon() {
  if (!finished_) core_.StepSoon();
}

void TUpdateRunner::Log(const std::string& text) {
  const std::string line = CapLogLine(text);
  for (TRunnerOutput* output : outputs_) output->Log(line);
}

bool TUpdateRunner::Configure(std::string& error) {
  TIPConfigDlg& lan = core_.IPConfigDlg;
  switch (options_.Link) {
    case TRunnerLink::LINK_SERIAL:
      if (const int item = ComMenuItem(options_.Port); item != 0) {
        core_.ComClick(item - 1);
      } else {  // a device path or a COM port beyond the menu, named as given
        core_.DevicePortClick(options_.Port);
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
  core_.SetPackageCheck(!options_.SkipCheck);
  core_.StillWaitingNoteMs = 0;  // the watchdog ends such a run; the note is the window's
  return true;
}

void TUpdateRunner::Start() {
  started_ = true;
  watchdog_.Progressed();  // the time without progress is counted from the start
  // First, so that a package refused within the click has its lines after them.
  Log(ConnectionLine());
  Log("Package: " + core_.StartScriptFile());
  core_.StartClick();
}

bool TUpdateRunner::DefaultConnection() const {
  return options_.Link == TRunnerLink::LINK_SETTINGS && core_.SettingsLoadedFrom().empty();
}

std::string TUpdateRunner::ConnectionLine() const {
  std::string where;
  switch (options_.Link) {
    case TRunnerLink::LINK_SERIAL:
      where = "from --port";
      break;
    case TRunnerLink::LINK_UDP:
      where = "from --udp";
      break;
    case TRunnerLink::LINK_TCP:
      where = "from --tcp";
      break;
    case TRunnerLink::LINK_SETTINGS:
      where = DefaultConnection() ? "default: no --port and no settings file"
                                  : "from the settings file " + core_.SettingsLoadedFrom();
      break;
  }
  const TIPConfigDlg& lan = core_.IPConfigDlg;
  if (core_.LAN1.Checked) {
    const bool udp = lan.ConnectionMode() == CON_UDP;
    return std::string("Connection: ") + (udp ? "UDP " : "TCP ") + lan.RemoteAddress() + ":" +
           std::to_string(lan.RemotePort()) +
           (udp ? ", local port " + std::to_string(lan.LocalPort()) : "") + " (" + where + ")";
  }
  if (options_.Link == TRunnerLink::LINK_SERIAL && !options_.Port.starts_with("COM")) {
    return "Connection: serial " + options_.Port + " (" + where + ")";
  }
  const std::string name = core_.SelectedPortName();
  const std::string device = core_.Link().ResolvePortName(name);
  return "Connection: serial " + name + (device != name ? " = " + device : "") + " (" + where + ")";
}

void TUpdateRunner::Tick() {
  if (finished_) return;
  core_.Timer1Timer();
  if (finished_) return;
  const uint64_t progress = core_.Progress().ProgressCount();
  if (progress != seen_progress_) {
    seen_progress_ = progress;
    watchdog_.Progressed();
  }
  if (!watchdog_.Expired(RunWaitsOnDevice())) return;
  if (options_.Trace)
    Log("Watchdog: no progress in " + std::string(SeqStateName(core_.SeqState())));
  Interrupt(WatchdogMessage());
}

// What the run waited for and what came meanwhile, with the likely causes the link knows.
std::string TUpdateRunner::WatchdogMessage() const {
  const TProgressWatch& progress = core_.Progress();
  const std::string awaited = core_.Awaited();
  std::string message = progress.StalledBytes() == 0
                            ? NoAnswerMessage(watchdog_.TimeoutMs(), awaited, last_sent_)
                            : NoProgressMessage(watchdog_.TimeoutMs(), awaited,
                                                progress.StalledBytes(), progress.StalledSample());
  const TComDriver& link = core_.Link();
  if (link.ConType() == CON_TCP && link.TcpConnectPending()) {
    message += "; no TCP connection to " + link.IpRemoteAddress() + ":" +
               std::to_string(link.IpRemotePort());
  }
  if (DefaultConnection() && !core_.LAN1.Checked) {
    message += "; the connection is the default COM1: " + std::string(kListPortsHint);
  }
  return message;
}

bool TUpdateRunner::RunWaitsOnDevice() const {
  return started_ && WaitsOnDevice(core_.SeqState()) && !timed_wait_;
}

void TUpdateRunner::Traffic(TTraceDir dir, const std::string& bytes) {
  if (dir == TTraceDir::TRACE_SENT) last_sent_ = bytes.substr(0, kTraceLineBytes);
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
    const auto finding = finding_lines_.find(lines[logged_]);
    if (finding != finding_lines_.end()) {
      finding_lines_.erase(finding);  // already shown as a finding
    } else if (lines[logged_] != kIdlePrompt) {
      Log(lines[logged_]);
    }
  }
  ShowProgress();
  if (ended_ && started_) EndRun();
}

void TUpdateRunner::ShowProgress() {
  TProgressState state;
  const TProgressBar* bars[3] = {&core_.ProgressBar1, &core_.ProgressBar2, &core_.ProgressBar3};
  for (int i = 0; i < 3; ++i) {
    state.Position[i] = bars[i]->Position();
    state.Max[i] = bars[i]->Max();
  }
  for (TRunnerOutput* output : outputs_) output->Progress(state);
}

void TUpdateRunner::EndRun() {
  switch (end_) {
    case TRunEnd::RUN_COMPLETED:
      if (PathFileName(core_.ScriptFile()) == kIdentificationScript) {
        Log(kIdentificationCompleted);
      }
      Finish(kExitCompleted, end_message_, "");
      break;
    case TRunEnd::RUN_FAILED: {
      // A default COM1 that cannot be opened: the command line must name the port.
      const std::string opening = "Error while opening " + core_.SelectedPortName();
      if (DefaultConnection() && !core_.LAN1.Checked &&
          (end_message_ == opening || end_message_.starts_with(opening + "\n"))) {
        Log(DefaultPortHint(core_.Link().ResolvePortName(core_.SelectedPortName())));
        Finish(kExitUsage, end_message_, end_script_);
        break;
      }
      Finish(kExitFailed, end_message_, end_script_);
      break;
    }
    case TRunEnd::RUN_STOPPED:
      Finish(kExitStopped, stop_reason_.empty() ? "Stopped" : stop_reason_, end_script_);
      break;
  }
}

void TUpdateRunner::ShowWarning(const std::string& text) { Log("Warning: " + text); }

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
