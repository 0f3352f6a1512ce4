// Windows console: the console mode for cursor movement, the buffer width, and
// Ctrl-C / Ctrl-Break / close through SetConsoleCtrlHandler, whose thread hands the
// stop over to the event loop with a queued call.
#include <cstdio>
#include <io.h>
#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>

#include "tools/console.h"

namespace {

std::function<void(const std::string&)> g_on_stop;  // set once, before the handler

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const char* name = event == CTRL_C_EVENT ? "SIGINT" : "SIGTERM";
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [name] { g_on_stop(name); }, Qt::QueuedConnection);
  return TRUE;
}

}  // namespace

bool StdoutIsTerminal() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!_isatty(_fileno(stdout)) || !GetConsoleMode(out, &mode)) return false;
  return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int TerminalWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

void InstallStopHandler(std::function<void(const std::string& signal)> on_stop) {
  g_on_stop = std::move(on_stop);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
