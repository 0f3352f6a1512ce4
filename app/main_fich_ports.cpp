// TMainFich's port menu: the Com items, and below them the detected serial ports
// that no Com item stands for, rebuilt from the system's list each time the window
// opens the menu. A ticked detected port is the selected serial port by its path.
#include <algorithm>

#include "app/main_fich.h"
#include "link/com_driver.h"

namespace {

// A menu caption shows '&' as "&&" (a single one marks the shortcut letter).
std::string MenuText(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

}  // namespace

TMenuItem& TMainFich::ComItem(int index) {
  TMenuItem* items[] = {&Com11, &Com21, &Com31, &Com41, &Com51, &Com61, &Com71, &Com81, &Com91};
  return *items[index >= 0 && index < 9 ? index : 0];
}

int TMainFich::SelectedComIndex() const {
  const TMenuItem* items[] = {&Com21, &Com31, &Com41, &Com51, &Com61, &Com71, &Com81, &Com91};
  for (int i = 0; i < 8; ++i) {
    if (items[i]->Checked) return i + 1;
  }
  return 0;
}

std::string TMainFich::SelectedDevice() const {
  for (const TDeviceItem& d : device_items_) {
    if (d.Item.Checked) return d.Device;
  }
  return {};
}

std::string TMainFich::SelectedPortName() const {
  const std::string device = SelectedDevice();
  if (!device.empty()) return device;
  return "COM" + std::to_string(SelectedComIndex() + 1);
}

void TMainFich::ComClick(int index) {
  if (!Port1.Enabled) return;
  Port1.Check(ComItem(index));
  Changed();
}

void TMainFich::RefreshDevicePorts(const std::vector<TSerialPortInfo>& found) {
  found_ports_ = found;
  RebuildDeviceItems(SelectedDevice());
  Changed();
}

void TMainFich::DevicePortClick(const std::string& device) {
  if (!Port1.Enabled) return;
  SelectDevicePort(device);
  Changed();
}

void TMainFich::SelectDevicePort(const std::string& device) {
  if (device.empty()) return;
  RebuildDeviceItems(device);
  for (TDeviceItem& d : device_items_) {
    if (d.Device == device) Port1.Check(d.Item);
  }
}

// The found ports that no Com item opens, then `ticked` when the system did not
// list it; `ticked` keeps its tick.
void TMainFich::RebuildDeviceItems(const std::string& ticked) {
  std::vector<std::string> com_devices;
  for (int n = 1; n <= 9; ++n)
    com_devices.push_back(link_->ResolvePortName("COM" + std::to_string(n)));
  auto is_com = [&](const std::string& path) {
    return std::find(com_devices.begin(), com_devices.end(), path) != com_devices.end();
  };
  std::vector<TDeviceItem> items;
  for (const TSerialPortInfo& port : found_ports_) {
    if (port.Path.empty() || is_com(port.Path)) continue;
    std::string caption = port.Path;
    if (!port.Description.empty()) caption += "  (" + port.Description + ")";
    items.push_back({port.Path, TMenuItem{MenuText(caption), false, true, true}});
  }
  const bool listed = std::any_of(items.begin(), items.end(),
                                  [&](const TDeviceItem& d) { return d.Device == ticked; });
  if (!ticked.empty() && !listed) {
    items.push_back({ticked, TMenuItem{MenuText(ticked), false, true, true}});
  }
  for (TDeviceItem& d : items) d.Item.Checked = !ticked.empty() && d.Device == ticked;
  device_items_ = std::move(items);
  ++device_items_version_;
  Port1.Items = {&Com11, &Com21, &Com31, &Com41, &Com51, &Com61, &Com71, &Com81, &Com91, &LAN1};
  for (TDeviceItem& d : device_items_) Port1.Items.push_back(&d.Item);
}
