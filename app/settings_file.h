// The settings file "Updater.prm": key "=" value lines that remember how the device
// was reached (serial port, or UDP/TCP with address and ports). Keys match without
// regard to case, the first matching line wins, and every other line is carried
// through in its place; saving rewrites the line that loading read. Used by
// TMainFich at start-up (load) and at close (save).
// Plain functions over the settings list; no state, no I/O except the folder helpers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kSettingsFileName = "Updater.prm";

// The connection as the settings file describes it.
struct TConnectionSettings {
  uint8_t ConType = 0;                    // tConnectionType: 0 NONE, 1 RS232, 2 UDP, 3 TCP
  int ComIndex = 0;                       // 0..8 for "COM1".."COM9"
  std::string ComDevice;                  // a device path chosen instead ("/dev/ttyUSB0")
  std::string RemoteIp = "192.168.0.10";  // not validated
  uint32_t RemotePort = 10500;
  uint32_t LocalPort = 10500;
};

// Index of the first line whose key (the text before its first "=", untrimmed)
// equals `key` ignoring case; -1 when there is none.
int FindSettingLine(const std::vector<std::string>& lines, std::string_view key);
// The value of that line; empty when the key is missing (or its value is empty).
std::string SettingValue(const std::vector<std::string>& lines, std::string_view key);
// The line that reading uses (the first with `key`) becomes key "=" value, whatever
// value it held; without one, key "=" value is appended. So the value stored is the
// value read at the next load, and storing it again changes nothing. An empty
// `value` is written as it is (and reads as missing): removing the line instead
// would let a later line with the same key be read.
void StoreSetting(std::vector<std::string>& lines, std::string_view key, const std::string& value);

// Reads the five connection keys with their defaults. "CON_TYPE" and "COM_PORT"
// compare exactly; a "COM_PORT" that starts with "/" is a device path (ComDevice);
// a port value that is not a whole number 0..65535 gives 10500.
TConnectionSettings ReadConnectionSettings(const std::vector<std::string>& lines);
// Stores "CON_TYPE", "COM_PORT" ("NA" unless RS232; ComDevice when set), "REMOTE_IP",
// "REMOTE_PORT" and "LOCAL_PORT", in that order, by the StoreSetting rule.
void WriteConnectionSettings(std::vector<std::string>& lines, const TConnectionSettings& s);

// "NONE", "RS232", "UDP" or "TCP" ("NONE" for any other value).
std::string ConTypeWord(uint8_t con_type);
// The device path a "COMn_DEVICE" line gives for COM item n (1..9), or empty.
std::string ComDeviceSetting(const std::vector<std::string>& lines, int n);

// True when a file can be created in `folder` (checked by creating and removing a
// probe file).
bool FolderWritable(const std::string& folder);
// The user's own settings folder for this program (UTF-8), ending with a separator:
// $XDG_CONFIG_HOME or ~/.config on POSIX; on Windows %APPDATA% from the wide
// environment, else the known folder of roaming application data; then
// "qelt-updater". Empty when neither names a folder. One implementation per
// platform (settings_folder_posix.cpp, settings_folder_win.cpp).
std::string DefaultUserConfigFolder();
// Creates `folder` and its parents when missing. False with the reason otherwise.
bool EnsureFolder(const std::string& folder, std::string* error);
