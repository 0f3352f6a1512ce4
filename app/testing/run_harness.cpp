#include "app/testing/run_harness.h"

#include <utility>

#include "link/com_driver.h"
#include "link/transport.h"

// ---- The three in-process transports ------------------------------------------------

class TRunHarness::TSerialEnd : public TSerialBackend {
 public:
  explicit TSerialEnd(TRunHarness& h) : h_(h) {}
  bool Open(const std::string& device, const TSerialSettings& settings,
            std::string& error) override {
    h_.Transports.push_back("serial.open " + device + " " + std::to_string(settings.baud));
    if (h_.options_.MissingDevices.count(device)) {
      error = h_.options_.OpenFailure;
      return false;
    }
    open_ = true;
    return true;
  }
  void Close() override {
    if (!open_) return;
    open_ = false;
    h_.Transports.push_back("serial.close");
    if (h_.device_) h_.device_->Closed();
  }
  bool IsOpen() const override { return open_; }
  void Apply(const TSerialSettings& settings) override {
    h_.Transports.push_back("serial.apply " + std::to_string(settings.baud));
  }
  void Write(const std::string& bytes) override {
    if (open_) h_.HostWrote("serial", bytes);
  }
  void ResetLines() override {}
  void Receive(const std::string& bytes) {
    if (OnReceive) OnReceive(bytes);
  }

 private:
  TRunHarness& h_;
  bool open_ = false;
};

class TRunHarness::TUdpEnd : public TUdpBackend {
 public:
  explicit TUdpEnd(TRunHarness& h) : h_(h) {}
  bool Bind(int32_t port, std::string& error) override {
    h_.Transports.push_back("udp.bind " + std::to_string(port));
    if (h_.options_.UdpBindFails) {
      error = "The bound address is already in use";
      return false;
    }
    port_ = port;
    return true;
  }
  void Unbind() override {
    if (port_ < 0) return;
    port_ = -1;
    h_.Transports.push_back("udp.unbind");
    if (h_.device_) h_.device_->Closed();
  }
  bool IsBound() const override { return port_ >= 0; }
  int32_t BoundPort() const override { return port_ < 0 ? 0 : port_; }
  bool SendTo(const std::string& address, int32_t port, const std::string& data,
              std::string&) override {
    h_.Transports.push_back("udp.send " + address + ":" + std::to_string(port));
    h_.HostWrote("udp", data);
    return true;
  }
  // A datagram from the device, sent from the address and port the link expects.
  void Receive(const std::string& bytes) {
    TComDriver& link = h_.core->Link();
    if (OnDatagram) OnDatagram(bytes, link.IpRemoteAddress(), link.IpRemotePort());
  }

 private:
  TRunHarness& h_;
  int32_t port_ = -1;  // bound port, -1 when unbound
};

class TRunHarness::TTcpEnd : public TTcpBackend {
 public:
  explicit TTcpEnd(TRunHarness& h) : h_(h) {}
  bool Connect(const std::string& address, int32_t port, std::string&) override {
    h_.Transports.push_back("tcp.connect " + address + ":" + std::to_string(port));
    pending_ = true;
    pumps_ = 0;
    return true;
  }
  void Close() override {
    if (!pending_ && !connected_) return;
    pending_ = connected_ = false;
    h_.Transports.push_back("tcp.close");
    if (h_.device_) h_.device_->Closed();
  }
  bool IsConnected() const override { return connected_; }
  void Write(const std::string& bytes) override {
    if (connected_) h_.HostWrote("tcp", bytes);
  }
  void Defer(std::function<void()> call) override { deferred_.push_back(std::move(call)); }
  // Event-loop work: a pending attempt connects, deferred calls run.
  void Pump() {
    std::deque<std::function<void()>> calls;
    calls.swap(deferred_);
    for (auto& call : calls) call();
    if (pending_ && ++pumps_ >= h_.options_.TcpConnectPumps) {
      pending_ = false;
      connected_ = true;
      if (OnConnected) OnConnected();
    }
  }
  void Receive(const std::string& bytes) {
    if (connected_ && OnReceive) OnReceive(bytes);
  }

 private:
  TRunHarness& h_;
  bool pending_ = false;
  bool connected_ = false;
  int pumps_ = 0;  // pumps since the attempt started
  std::deque<std::function<void()>> deferred_;
};

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
  auto serial = std::make_unique<TSerialEnd>(*this);
  auto udp = std::make_unique<TUdpEnd>(*this);
  auto tcp = std::make_unique<TTcpEnd>(*this);
  serial_ = serial.get();
  udp_ = udp.get();
  tcp_ = tcp.get();
  auto link = std::make_unique<TComDriver>(std::move(serial), std::move(udp), std::move(tcp));
  TMainFichSetup setup{options_.ProgramFolder, options_.ScriptArgument, options_.WorkingFolder,
                       options_.UserConfigFolder};
  core = std::make_unique<TMainFich>(std::move(link), clock, setup);
  view.OnClose = [this] { core->FormClose(); };
  core->SetView(&view);
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

void TRunHarness::Deliver(const std::string& bytes) {
  TComDriver& link = core->Link();
  switch (link.ConType()) {
    case CON_RS232:
      serial_->Receive(bytes);
      break;
    case CON_UDP:
      udp_->Receive(bytes);
      break;
    case CON_TCP:
      tcp_->Receive(bytes);
      break;
    case CON_NONE:
      break;
  }
}

void TRunHarness::Pump() {
  tcp_->Pump();
  if (device_) {
    device_->Pump(clock.TickCount(),
                  [this](const std::string& bytes) { to_host_.push_back(bytes); });
  }
  std::deque<std::string> batch;
  batch.swap(to_host_);  // output caused by these deliveries waits for the next pump
  for (const std::string& bytes : batch) Deliver(bytes);
}

void TRunHarness::Tick() {
  clock.Advance(core->Timer1.Interval);
  if (core->Timer1.Enabled) core->Timer1Timer();
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
  press();
  if (core->SeqState() == TSeqState::SEQ_IDLE) {
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

std::string TRunHarness::LastLogLines(size_t n) const {
  const std::vector<std::string>& lines = core->MemoStatus.Lines();
  std::string out;
  for (size_t i = lines.size() > n ? lines.size() - n : 0; i < lines.size(); ++i) {
    out += "  " + lines[i] + "\n";
  }
  return out;
}
