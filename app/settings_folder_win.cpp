// Windows: the user's settings folder is %APPDATA%\qelt-updater, read from the
// wide environment (the ANSI one loses every character outside its code page),
// else from the known folder of roaming application data.
#include <windows.h>
// After <windows.h>, whose definitions it needs.
#include <shlobj.h>

#include <filesystem>
#include <string>

#include "app/settings_file.h"
#include "engines/file_access.h"

namespace {

std::filesystem::path RoamingAppData() {
  const DWORD size = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
  if (size > 1) {
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", value.data(), size);
    if (length > 0 && length < size) return std::filesystem::path(value.substr(0, length));
  }
  PWSTR known = nullptr;
  std::filesystem::path folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known))) {
    folder = known;
  }
  CoTaskMemFree(known);
  return folder;
}

}  // namespace

std::string DefaultUserConfigFolder() {
  const std::filesystem::path base = RoamingAppData();
  if (base.empty()) return {};
  return Utf8FromPath(base / L"qelt-updater") + '\\';
}
