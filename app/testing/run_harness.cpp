#include "app/testing/run_harness.h"

#include <initializer_list>
#include <utility>

#include "link/com_driver.h"

// ---- The view ------------------------------------------------------------------------

void TRecordingView::ShowLanSetup(TIPConfigDlg& dialog) {
  if (OnLanSetup) OnLanSetup(dialog);
}

void TRecordingView::ShowComponentSelection(TCompSelDlg& dialog) {
  if (OnComponentSelection) OnComponentSelection(dialog);
  dialog.OKBtnClick();
}

void TRecordingView::Close() {
  ++Closes;
  if (OnClose) OnClose();
}

// ---- The harness ---------------------------------------------------------------------

TRunHarness::TRunHarness(TRunHarnessOptions options, TDeviceEnd* device)
    : options_(std::move(options)), device_(device) {
  auto serial = std::make_unique<TFakeSerial>(&Transports);
  auto udp = std::make_unique<TFakeUdp>(&Transports);
  auto tcp = std::make_unique<TFakeTcp>(&Transports);
  serial_ = serial.get();
  udp_ = udp.get();
  tcp_ = tcp.get();
  serial_->missing = options_.MissingDevices;
  serial_->missingReason = options_.OpenFailure;
  serial_->missingFault = options_.OpenFault;
  serial_->lowLatency = options_.LowLatency;
  udp_->allPortsBusy = options_.UdpBindFails;
  serial_->farEnd = [this](const std::string& bytes) { HostWrote("serial", bytes); };
  udp_->farEnd = [this](const std::string& bytes) { HostWrote("udp", bytes); };
  tcp_->farEnd = [this](const std::string& bytes) { HostWrote("tcp", bytes); };
  for (TFakeEnds* end : std::initializer_list<TFakeEnds*>{serial_, udp_, tcp_}) {
    end->farEndClosed = [this] { Closed(); };
  }
  auto link = std::make_unique<TComDriver>(std::move(serial), std::move(udp), std::move(tcp));
  TMainFichSetup setup{options_.ProgramFolder, options_.ScriptArgument, options_.WorkingFolder,
                       options_.UserConfigFolder};
  core = std::make_unique<TMainFich>(std::move(link), clock, setup);
  view.OnClose = [this] { core->FormClose(); };
  core->OnStepSoon = [this] {
    step_soon_asked_ = true;
    ++StepSoonRequests;
  };
  core->OnStepAfter = [this](uint32_t ms) { step_due_ = clock.TickCount() + ms; };
  core->SetView(&view);
  core->SetPackageCheck(options_.PackageCheck);
  core->LoadSettings();
}

TRunHarness::~TRunHarness() {
  core->SetView(nullptr);
  core.reset();  // the link and its transports go first, while the harness still stands
}

void TRunHarness::HostWrote(const std::string& kind, const std::string& bytes) {
  Wire += bytes;
  Writes.push_back(bytes);
  if (device_) device_->FromHost(kind, bytes);
}

void TRunHarness::Closed() {
  if (device_) device_->Closed();
}

void TRunHarness::Deliver(const std::string& bytes) {
  TComDriver& link = core->Link();
  switch (link.ConType()) {
    case CON_RS232:
      serial_->Feed(bytes);
      break;
    case CON_UDP:
      // Sent from the address and port the link expects its device at.
      udp_->Arrive(bytes, link.IpRemoteAddress(), link.IpRemotePort());
      break;
    case CON_TCP:
      if (tcp_->IsConnected()) tcp_->Arrive(bytes);
      break;
    case CON_NONE:
      break;
  }
}

// Event-loop work of the TCP transport: deferred calls run (whatever their delay),
// and a pending attempt connects once it has waited `TcpConnectPumps` pumps, or
// is refused at once with TcpRefused.
void TRunHarness::PumpTcp() {
  tcp_->RunDeferred();
  if (options_.TcpRefused && tcp_->pending) {
    tcp_->Fail("Connection refused");
    return;
  }
  if (tcp_->connects != tcp_attempts_) {
    tcp_attempts_ = tcp_->connects;
    tcp_pumps_ = 0;
  }
  if (tcp_->pending && ++tcp_pumps_ >= options_.TcpConnectPumps) tcp_->Accept();
}

void TRunHarness::Pump() {
  PumpTcp();
  if (device_) {
    device_->Pump(clock.TickCount(),
                  [this](const std::string& bytes) { to_host_.push_back(bytes); });
  }
  std::deque<std::string> batch;
  batch.swap(to_host_);  // output caused by these deliveries waits for the next pump
  for (const std::string& bytes : batch) {
    Deliver(bytes);
    ServeStepSoon();
  }
}

// Bounded: a core that kept asking would fail the run's tick budget, not hang.
void TRunHarness::ServeStepSoon() {
  for (int i = 0; i < 10000 && step_soon_asked_ && options_.StepSoon; ++i) {
    step_soon_asked_ = false;
    core->StepSoon();
  }
}

void TRunHarness::Tick() {
  ++Ticks;
  const uint32_t tick_at = clock.TickCount() + core->Timer1.Interval;
  // A step asked for by time, due before the tick, runs at its time (unsigned
  // differences: right across the clock's wrap).
  while (options_.StepSoon && step_due_ && static_cast<int32_t>(*step_due_ - tick_at) < 0) {
    clock.Set(*step_due_);
    step_due_.reset();
    core->StepSoon();
    ServeStepSoon();
    Pump();
  }
  clock.Set(tick_at);
  if (core->Timer1.Enabled) core->Timer1Timer();
  ServeStepSoon();
  Pump();
}

bool TRunHarness::RunUntil(const std::function<bool()>& done, int max_ticks, std::string* why) {
  for (int i = 0; i < max_ticks; ++i) {
    if (done()) return true;
    Tick();
  }
  if (done()) return true;
  if (why) {
    *why = "not done after " + std::to_string(max_ticks) + " ticks, state " +
           std::to_string(static_cast<int>(core->SeqState())) + "; last log lines:\n" +
           LastLogLines();
  }
  return false;
}

bool TRunHarness::RunFromButton(const std::function<void()>& press, int max_ticks,
                                std::string* why) {
  const size_t boxes = view.Errors.size();
  press();
  ServeStepSoon();
  // The package is checked first, within the click or over some ticks; a refused
  // package ends the run there, with its error box.
  if (!RunUntil([this] { return !core->CheckRunning(); }, max_ticks, why)) return false;
  if (core->SeqState() == TSeqState::SEQ_IDLE) {
    if (view.Errors.size() > boxes) {
      Tick();  // the idle step after the refusal
      return true;
    }
    if (why) *why = "the button did not start a run";
    return false;
  }
  if (!RunUntil([this] { return core->SeqState() == TSeqState::SEQ_IDLE; }, max_ticks, why)) {
    return false;
  }
  Tick();  // the first idle step: link closed, engines reset, invitation logged
  return true;
}

bool TRunHarness::RunStart(int max_ticks, std::string* why) {
  return RunFromButton([this] { core->StartClick(); }, max_ticks, why);
}

bool TRunHarness::RunReadId(int max_ticks, std::string* why) {
  return RunFromButton([this] { core->ReadIdClick(); }, max_ticks, why);
}

bool TRunHarness::RunToState(TSeqState state, int max_ticks, std::string* why) {
  return RunUntil([this, state] { return core->SeqState() == state; }, max_ticks, why);
}

TCallLog TRunHarness::Connections() const {
  TCallLog calls;
  for (const std::string& call : Transports) {
    const bool bytes = call.starts_with("serial.write ") || call.starts_with("tcp.write ") ||
                       call.starts_with("udp.send ");
    if (!bytes) calls.push_back(call);
  }
  return calls;
}

std::string TRunHarness::LastLogLines(size_t n) const {
  const std::vector<std::string>& lines = core->MemoStatus.Lines();
  std::string out;
  for (size_t i = lines.size() > n ? lines.size() - n : 0; i < lines.size(); ++i) {
    out += "  " + lines[i] + "\n";
  }
  return out;
}
