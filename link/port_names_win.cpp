// Windows: "COMn" is the platform's own name; a mapping may still redirect it.
#include "link/port_names.h"

std::string ResolveSerialDeviceName(const std::string& name,
                                    const std::map<std::string, std::string>& map) {
  auto mapped = map.find(name);
  if (mapped != map.end() && !mapped->second.empty()) return mapped->second;
  return name;
}
