#include "app/settings_file.h"

#include <filesystem>
#include <system_error>

#include "app/ip_config_dlg.h"
#include "engines/card_table.h"
#include "engines/file_access.h"

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// The value of `key`, or `fallback` when missing or empty.
std::string ValueOr(const std::vector<std::string>& lines, std::string_view key,
                    const char* fallback) {
  std::string value = SettingValue(lines, key);
  return value.empty() ? std::string(fallback) : value;
}

uint32_t PortValue(const std::vector<std::string>& lines, std::string_view key) {
  uint32_t port = 10500;
  if (!TIPConfigDlg::ParsePort(ValueOr(lines, key, "10500"), port)) port = 10500;
  return port;
}

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != kPathSeparator && folder.back() != '/') {
    folder += kPathSeparator;
  }
  return folder;
}

}  // namespace

int FindSettingLine(const std::vector<std::string>& lines, std::string_view key) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t eq = lines[i].find('=');
    if (eq != std::string::npos && SameKey(std::string_view(lines[i]).substr(0, eq), key)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string SettingValue(const std::vector<std::string>& lines, std::string_view key) {
  const int i = FindSettingLine(lines, key);
  if (i < 0) return {};
  const std::string& line = lines[static_cast<size_t>(i)];
  return line.substr(line.find('=') + 1);
}

void StoreSetting(std::vector<std::string>& lines, std::string_view key, const std::string& value) {
  const std::string line = std::string(key) + "=" + value;
  const int i = FindSettingLine(lines, key);
  if (i >= 0) {
    lines[static_cast<size_t>(i)] = line;
  } else {
    lines.push_back(line);
  }
}

TConnectionSettings ReadConnectionSettings(const std::vector<std::string>& lines) {
  TConnectionSettings s;
  const std::string type = ValueOr(lines, "CON_TYPE", "NONE");
  s.ConType = type == "RS232" ? 1 : type == "UDP" ? 2 : type == "TCP" ? 3 : 0;
  if (s.ConType != 2 && s.ConType != 3) {
    const std::string port = ValueOr(lines, "COM_PORT", "COM1");
    for (int n = 2; n <= 9; ++n) {
      if (port == "COM" + std::to_string(n)) s.ComIndex = n - 1;
    }
    // A port the Port menu found (an older program reads it as COM1).
    if (port[0] == '/') s.ComDevice = port;
  }
  s.RemoteIp = ValueOr(lines, "REMOTE_IP", "192.168.0.10");
  s.RemotePort = PortValue(lines, "REMOTE_PORT");
  s.LocalPort = PortValue(lines, "LOCAL_PORT");
  return s;
}

void WriteConnectionSettings(std::vector<std::string>& lines, const TConnectionSettings& s) {
  StoreSetting(lines, "CON_TYPE", ConTypeWord(s.ConType));
  const std::string port =
      !s.ComDevice.empty() ? s.ComDevice : "COM" + std::to_string(s.ComIndex + 1);
  StoreSetting(lines, "COM_PORT", s.ConType == 1 ? port : "NA");
  StoreSetting(lines, "REMOTE_IP", s.RemoteIp);
  StoreSetting(lines, "REMOTE_PORT", std::to_string(s.RemotePort));
  StoreSetting(lines, "LOCAL_PORT", std::to_string(s.LocalPort));
}

std::string ConTypeWord(uint8_t con_type) {
  switch (con_type) {
    case 1:
      return "RS232";
    case 2:
      return "UDP";
    case 3:
      return "TCP";
    default:
      return "NONE";
  }
}

std::string ComDeviceSetting(const std::vector<std::string>& lines, int n) {
  return SettingValue(lines, "COM" + std::to_string(n) + "_DEVICE");
}

bool FolderWritable(const std::string& folder) {
  const std::string probe = WithSeparator(folder) + ".qelt-write-probe";
  if (!WriteFileAtomic(probe, "")) return false;
  std::error_code ec;
  std::filesystem::remove(PathFromUtf8(probe), ec);
  return true;
}

bool EnsureFolder(const std::string& folder, std::string* error) {
  const std::filesystem::path path = PathFromUtf8(folder);
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  std::error_code exists_ec;
  if (ec && !std::filesystem::is_directory(path, exists_ec)) {
    if (error) *error = ec.message();
    return false;
  }
  return true;
}
