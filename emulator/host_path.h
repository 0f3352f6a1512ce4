// The emulator's own turning of a file name given as UTF-8 text (the --state and
// --log options, the tests) into a path of the computer it runs on. The device's
// side shares no code with the updater, so this is its own copy of that one line:
// std::filesystem::path's std::string constructor would read the text in the
// ANSI code page on Windows. Header-only; no state.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

inline std::filesystem::path HostPath(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
