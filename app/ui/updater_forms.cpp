#include "app/ui/updater_forms.h"

#include "link/com_driver.h"

namespace {

// Com 1..9 as 0..8, LAN/Setup as 9.
template <typename Core>
auto* PortItem(Core& core, int index) {
  decltype(&core.Com11) items[] = {&core.Com11, &core.Com21, &core.Com31, &core.Com41, &core.Com51,
                                   &core.Com61, &core.Com71, &core.Com81, &core.Com91, &core.LAN1};
  return items[index];
}

}  // namespace

TUpdaterForms::TUpdaterForms(std::unique_ptr<TComDriver> link, TMsClock& clock,
                             const TMainFichSetup& setup, const TWindowOptions& options,
                             TModalHost& host)
    : Core(std::move(link), clock, setup), Window(Core, host) {
  Core.LoadSettings();
  loaded_ = Capture();
  ApplyWindowOptions(options, Core);
  applied_ = Capture();
  Window.OnClosing = [this] { KeepSavedConnection(); };
  Window.Render();
}

void TUpdaterForms::Close() {
  if (Core.Closed()) return;
  KeepSavedConnection();
  Core.FormClose();
}

TUpdaterForms::TConnectionChoice TUpdaterForms::Capture() const {
  TConnectionChoice choice;
  for (int i = 0; i < 10; ++i) {
    if (PortItem(Core, i)->Checked) choice.ticked = i;
  }
  choice.device = Core.SelectedDevice();
  choice.mode = Core.IPConfigDlg.ConnectionMode();
  choice.address = Core.IPConfigDlg.RemoteAddress();
  choice.remotePort = Core.IPConfigDlg.RemotePort();
  choice.localPort = Core.IPConfigDlg.LocalPort();
  return choice;
}

void TUpdaterForms::Restore(const TConnectionChoice& choice) {
  if (!choice.device.empty()) {
    Core.SelectDevicePort(choice.device);
  } else if (choice.ticked >= 0) {
    Core.Port1.Check(*PortItem(Core, choice.ticked));
  }
  Core.IPConfigDlg.SetConnectionMode(choice.mode);
  Core.IPConfigDlg.SetRemoteAddress(choice.address);
  Core.IPConfigDlg.SetRemotePort(choice.remotePort);
  Core.IPConfigDlg.SetLocalPort(choice.localPort);
}

void TUpdaterForms::KeepSavedConnection() {
  if (applied_ != loaded_ && Capture() == applied_) Restore(loaded_);
}
