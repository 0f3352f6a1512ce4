// TMainFich and the settings file "Updater.prm": loaded once after the window
// exists, saved when it closes; kept in the user's folder when the program's own
// folder cannot be written.
#include <map>
#include <string>

#include "app/main_fich.h"
#include "app/script_rules.h"
#include "app/settings_file.h"
#include "engines/file_access.h"
#include "link/com_driver.h"

std::string TMainFich::SettingsPath() const {
  if (FolderWritable(setup_.ProgramFolder)) return setup_.ProgramFolder + kSettingsFileName;
  const std::string user =
      setup_.UserConfigFolder.empty() ? DefaultUserConfigFolder() : setup_.UserConfigFolder;
  if (user.empty()) return setup_.ProgramFolder + kSettingsFileName;
  return user + kSettingsFileName;
}

void TMainFich::LoadSettings() {
  const std::string path = SettingsPath();
  const std::string installed = setup_.ProgramFolder + kSettingsFileName;
  // A read-only installation may carry its own file: used until the user saves one.
  settings_path_.clear();
  if (LoadTextLines(path, settings_)) {
    settings_path_ = path;
  } else if (path != installed && LoadTextLines(installed, settings_)) {
    settings_path_ = installed;
  } else {
    settings_.clear();
    Port1.Check(Com11);
    IPConfigDlg.SetConnectionMode(CON_TCP);
    IPConfigDlg.SetRemoteAddress("192.168.0.10");
    IPConfigDlg.SetRemotePort(10500);
    IPConfigDlg.SetLocalPort(10500);
    return;
  }
  const TConnectionSettings s = ReadConnectionSettings(settings_);
  if (s.ConType == CON_UDP || s.ConType == CON_TCP) {
    Port1.Check(LAN1);
    IPConfigDlg.SetConnectionMode(s.ConType);
  } else {
    Port1.Check(ComItem(s.ComIndex));
    IPConfigDlg.SetConnectionMode(CON_TCP);
  }
  ApplyComDevices();  // before the device item: the Com items' devices are known
  if (!s.ComDevice.empty() && !LAN1.Checked) SelectDevicePort(s.ComDevice);
  IPConfigDlg.SetRemoteAddress(s.RemoteIp);
  IPConfigDlg.SetRemotePort(s.RemotePort);
  IPConfigDlg.SetLocalPort(s.LocalPort);
  Changed();
}

void TMainFich::ApplyComDevices() {
  std::map<std::string, std::string> map;
  for (int n = 1; n <= 9; ++n) {
    const std::string device = ComDeviceSetting(settings_, n);
    if (!device.empty()) map["COM" + std::to_string(n)] = device;
  }
  link_->SetComDeviceMap(std::move(map));
}

std::string TMainFich::ComDevice(int n) const { return ComDeviceSetting(settings_, n); }

bool TMainFich::SaveSettings() {
  TConnectionSettings s;
  s.ConType = LAN1.Checked ? IPConfigDlg.ConnectionMode() : static_cast<uint8_t>(CON_RS232);
  s.ComIndex = SelectedComIndex();
  s.ComDevice = SelectedDevice();
  s.RemoteIp = IPConfigDlg.RemoteAddress();
  s.RemotePort = IPConfigDlg.RemotePort();
  s.LocalPort = IPConfigDlg.LocalPort();
  WriteConnectionSettings(settings_, s);
  const std::string path = SettingsPath();
  std::string reason;
  if (EnsureFolder(PathFolder(path).empty() ? "." : PathFolder(path), &reason) &&
      SaveTextLines(path, settings_, &reason)) {
    return true;
  }
  const std::string message = "Settings not saved to " + path + " : " + reason;
  LogInfo(message);
  if (view_) view_->ShowWarning(message);
  return false;
}
