#include "link/port_names.h"

int ComPortNumber(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0 || name[3] == '0') return 0;
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + (name[i] - '0');
    if (n > kHighestComNumber) return 0;
  }
  return n;
}
