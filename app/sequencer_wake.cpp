// TMainFich's sequencer, the opening of a run: the link opened for the variable
// protocol, the device asked for its type and into updater mode, then the link
// switched to raw mode for the boot loader. One function per state, as in
// sequencer.cpp; nothing waits inside a step. Also the link's failures as the run's
// errors: what could not be opened and why, and a link lost during the run.
#include "app/main_fich.h"
#include "link/com_driver.h"

namespace {

constexpr uint32_t kRunInterval = 10;      // ms between ticks during a run
constexpr uint32_t kTypeTimeout = 1000;    // ms allowed for the DEV report
constexpr uint32_t kUpdaterTimeout = 500;  // ms allowed for the updater-mode echo
constexpr uint32_t kWakeBaud = 9600;
constexpr uint32_t kRunBaud = 57600;
constexpr int kDevCommand = 2;             // the link's "?" entry
constexpr uint32_t kUpdaterAck = 254;      // written after 1, and echoed by the device
constexpr uint32_t kFirstDeviceType = 36;  // the device types that take updater mode
constexpr uint32_t kLastDeviceType = 39;

// What the operator can do about a serial port that could not be opened.
const char* NextStep(TLinkFault fault) {
  switch (fault) {
    case TLinkFault::LF_MISSING:
      return "is the adapter plugged in? `--list-ports`";
    case TLinkFault::LF_PERMISSION:
      return "add your user to the group `dialout`";
    case TLinkFault::LF_BUSY:
      return "another program holds it: close it";
    case TLinkFault::LF_NOT_SERIAL:
      return "this is not a serial port: choose one that `--list-ports` or the Port menu shows";
    default:
      return nullptr;
  }
}

}  // namespace

void TMainFich::DoOpen() {
  Timer1.Interval = kRunInterval;
  link_->SetConMode(MODE_VAR);
  if (LAN1.Checked) {
    link_->SetIpLocalPort(static_cast<int32_t>(IPConfigDlg.LocalPort()));
    link_->SetIpRemotePort(static_cast<int32_t>(IPConfigDlg.RemotePort()));
    link_->SetIpRemoteAddress(IPConfigDlg.RemoteAddress());
  } else {
    link_->SetBaudRate(kWakeBaud);
    link_->SetPort(SelectedPortName());
  }
  Port1.Enabled = false;
  Program1.Enabled = false;
  Start.Caption = "STOP";
  if (ReadId.Visible) ReadId.Enabled = false;
  ProgressBar1.SetPosition(0);
  ProgressBar2.SetPosition(0);
  ProgressBar3.SetPosition(0);
  seq_state_ = TSeqState::SEQ_WAKE;
  OpenLink();
}

// "Error while opening COM3", then the port as the operator named it with the
// device it stands for, the platform's reason, and what to do about it.
std::string TMainFich::SerialOpenError() const {
  std::string text = "Error while opening " + link_->Port();
  const std::string& reason = link_->LastOpenError();
  if (reason.empty()) return text;
  text += "\n" + link_->PortLabel() + ": " + reason;
  if (const char* step = NextStep(link_->LastOpenFault())) text += std::string("\n") + step;
  return text;
}

// The first opening of a run: a failure ends the run, naming the link and the
// platform's reason.
void TMainFich::OpenLink() {
  const bool lan = LAN1.Checked;
  const auto type = lan ? static_cast<tConnectionType>(IPConfigDlg.ConnectionMode()) : CON_RS232;
  link_->SetConType(type);
  if (link_->LastOpenOk()) {
    if (!lan && link_->ComPort().LowLatency() == TLowLatency::LL_REFUSED) {
      LogInfo(link_->PortLabel() +
              ": the serial driver refused low latency; replies may wait a few milliseconds");
    }
    return;
  }
  if (!lan) {
    ReportError(SerialOpenError());
    return;
  }
  std::string text = "Error while opening LAN Device";
  const std::string& reason = link_->LastOpenError();
  if (!reason.empty() && type == CON_UDP) {
    text += "\nlocal UDP port " + std::to_string(link_->IpLocalPort()) + ": " + reason;
  } else if (!reason.empty()) {
    text += "\nTCP " + link_->IpRemoteAddress() + ":" + std::to_string(link_->IpRemotePort()) +
            ": " + reason;
  }
  ReportError(text);
}

// The link lost its transport. During a run that ends the run through the error
// path; a network link that never came up in this run still failed to open.
void TMainFich::HandleLinkLost(const TLinkLoss& loss) {
  if (!RunUnderWay()) return;
  ReportError(loss.NeverOpened && LAN1.Checked ? "Error while opening LAN Device\n" + loss.Text
                                               : loss.Text);
  if (!in_step_) Changed();
}

bool TMainFich::RunUnderWay() const {
  switch (seq_state_) {
    case TSeqState::SEQ_IDLE:
    case TSeqState::SEQ_DONE:
    case TSeqState::SEQ_ERROR:
    case TSeqState::SEQ_ERROR_REPORT:
      return false;
    default:
      return true;
  }
}

void TMainFich::DoWake() {
  line_index_ = 0;
  ClearReceived();
  rx_dropped_ = 0;
  LogInfo("Synchronize...");
  dev_reported_ = false;
  updater_reported_ = false;
  link_->SendCommand(kDevCommand);
  // A TCP link drops what is sent while it connects; the request is sent again as
  // soon as the connection stands, within the same time allowance.
  wake_unsent_ = link_->ConType() == CON_TCP && link_->TcpConnectPending();
  time_left_ = kTypeTimeout;
  seq_state_ = TSeqState::SEQ_WAIT_TYPE;
}

void TMainFich::DoWaitType() {
  if (time_left_ == 0) {
    LogInfo("Switch ON the device");
    seq_state_ = TSeqState::SEQ_BOOT_SYNC;
    return;
  }
  if (wake_unsent_ && !link_->TcpConnectPending()) {
    wake_unsent_ = false;
    link_->SendCommand(kDevCommand);
  }
  const uint32_t dev = link_->DEV();
  if (dev_reported_ && dev >= kFirstDeviceType && dev <= kLastDeviceType) {
    time_left_ = kUpdaterTimeout;
    link_->SetUPDATER(1);
    link_->SetUPDATER(kUpdaterAck);
    seq_state_ = TSeqState::SEQ_WAIT_UPDATER;
  }
}

void TMainFich::DoWaitUpdater() {
  if (time_left_ == 0) {
    seq_state_ = TSeqState::SEQ_BOOT_SYNC;
  } else if (updater_reported_ && link_->UPDATER() == kUpdaterAck) {
    updater_ack_ = true;
    seq_state_ = TSeqState::SEQ_BOOT_SYNC;
  }
}

void TMainFich::DoBootSync() {
  link_->SetConMode(MODE_RAW);
  if (link_->ConType() == CON_RS232) {
    link_->SetConType(CON_NONE);
    link_->SetBaudRate(kRunBaud);
    link_->SetConType(CON_RS232);
    // The port opened a moment ago: failing now means the device went away.
    if (!link_->LastOpenOk()) {
      ReportError(SerialOpenError());
      return;
    }
  }
  line_index_ = 0;
  ClearReceived();
  seq_state_ = TSeqState::SEQ_WAIT_BOOT_SYNC;
  HandBoot("SYN");
}
