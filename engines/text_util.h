// Small text helpers shared by the engines and the application: trimming as the
// script rules define it (blanks and control characters, i.e. bytes <= 0x20).
#pragma once

#include <string>
#include <string_view>

// Removes bytes <= 0x20 from both ends.
std::string Trim(std::string_view s);
// Removes bytes <= 0x20 from the start only.
std::string TrimLeft(std::string_view s);

inline bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}
