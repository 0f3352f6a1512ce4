// TMainFich's sequencer, the opening of a run: the link opened for the variable
// protocol, the device asked for its type and into updater mode, then the link
// switched to raw mode for the boot loader. One function per state, as in
// sequencer.cpp; nothing waits inside a step.
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

// The platform's reason for a failed serial open, naming the device that was
// tried, with a hint when the operator lacks the right to open it.
std::string SerialOpenDetail(const std::string& device, const std::string& reason) {
  std::string detail = device + ": " + reason;
  for (const char* word : {"ermission", "denied", "ccess"}) {
    if (reason.find(word) != std::string::npos) {
      return detail + " (you may not have permission to open this serial port)";
    }
  }
  return detail;
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

// The first opening of a run: a failure ends the run with the platform's reason.
void TMainFich::OpenLink() {
  const bool lan = LAN1.Checked;
  link_->SetConType(lan ? static_cast<tConnectionType>(IPConfigDlg.ConnectionMode()) : CON_RS232);
  if (link_->LastOpenOk()) return;
  const std::string reason = link_->LastOpenError();
  ReportError(lan ? std::string("Error while opening LAN Device")
                  : "Error while opening " + link_->Port());
  if (reason.empty()) return;
  LogInfo(lan ? reason : SerialOpenDetail(link_->ResolvePortName(link_->Port()), reason));
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
  }
  line_index_ = 0;
  ClearReceived();
  seq_state_ = TSeqState::SEQ_WAIT_BOOT_SYNC;
  HandBoot("SYN");
}
