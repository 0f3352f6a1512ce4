// POSIX: "COMn" without a mapping is the n-th built-in serial line, /dev/ttyS(n-1).
#include "link/port_names.h"

bool IsSerialDevicePath(const std::string& name) { return !name.empty() && name[0] == '/'; }

std::string ResolveSerialDeviceName(const std::string& name,
                                    const std::map<std::string, std::string>& map) {
  const auto mapped = map.find(name);
  const std::string& device =
      mapped != map.end() && !mapped->second.empty() ? mapped->second : name;
  const int n = ComPortNumber(device);
  return n == 0 ? device : "/dev/ttyS" + std::to_string(n - 1);
}
