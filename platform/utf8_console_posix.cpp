// POSIX: arguments and terminal already speak the bytes the program uses.
#include "platform/utf8_console.h"

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void UseUtf8Console() {}
