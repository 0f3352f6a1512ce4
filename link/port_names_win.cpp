// Windows: "COMn" is the platform's own name; from COM10 on, only the device
// namespace form "\\.\COMn" opens (the short names COM1..COM9 are the only ones
// the system reserves in every folder).
#include "link/port_names.h"

bool IsSerialDevicePath(const std::string& name) { return name.rfind("\\\\.\\", 0) == 0; }

std::string ResolveSerialDeviceName(const std::string& name,
                                    const std::map<std::string, std::string>& map) {
  const auto mapped = map.find(name);
  const std::string& device =
      mapped != map.end() && !mapped->second.empty() ? mapped->second : name;
  return ComPortNumber(device) >= 10 ? "\\\\.\\" + device : device;
}
