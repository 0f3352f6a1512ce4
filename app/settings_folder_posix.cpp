// POSIX: the user's settings folder is $XDG_CONFIG_HOME/qelt-updater, else
// ~/.config/qelt-updater. The environment's bytes are the file names' bytes.
#include <cstdlib>

#include "app/settings_file.h"

std::string DefaultUserConfigFolder() {
  const auto folder = [](std::string base, const char* below) {
    if (base.back() != '/') base += '/';
    return base + below + "qelt-updater/";
  };
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg != '\0') return folder(xdg, "");
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return {};
  return folder(home, ".config/");
}
