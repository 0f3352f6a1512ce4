// POSIX: "COMn" without a mapping is the n-th built-in serial line, /dev/ttyS(n-1).
#include "link/port_names.h"

namespace {

// n for "COMn" with n in 1..256, else 0.
int ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0) return 0;
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n >= 1 && n <= 256 ? n : 0;
}

}  // namespace

std::string ResolveSerialDeviceName(const std::string& name,
                                    const std::map<std::string, std::string>& map) {
  if (name.empty() || name[0] == '/') return name;
  auto mapped = map.find(name);
  if (mapped != map.end() && !mapped->second.empty()) return mapped->second;
  int n = ComNumber(name);
  if (n == 0) return name;
  return "/dev/ttyS" + std::to_string(n - 1);
}
