// qelt-updater: the desktop window. Entry sequence: the command line (--help,
// --version and a bad option are answered before the GUI starts, so they need no
// display), the application, the forms (the core and main window, the component
// selection dialog, the about box, the LAN setup dialog), the settings file and the
// command line's connection choices, then the event loop until the main window closes.
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ui/about_box.h"
#include "app/ui/modal_host.h"
#include "app/ui/program_icon.h"
#include "app/ui/termination_signals.h"
#include "app/ui/updater_forms.h"
#include "app/ui/window_options.h"
#include "engines/card_table.h"
#include "engines/ms_clock.h"
#include "link/qt_link_factory.h"
#include "link/qt_port_lister.h"
#include "platform/utf8_console.h"

namespace {

// The program's own folder, ending with the separator.
std::string ProgramFolder() {
  std::string folder =
      QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

// Checks the command line without any Qt application: returns the exit status
// when the program ends here (--help, --version, a bad option), or -1 to go on.
int AnswerCommandLine(int argc, char* argv[], TWindowOptions& options) {
  std::string error;
  // UTF-8 from the wide command line on Windows, where argv holds the ANSI code page.
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  if (!ParseWindowOptions(WithoutToolkitOptions(args), options, error)) {
    std::fprintf(stderr, "qelt-updater: %s\nTry 'qelt-updater --help'.\n", error.c_str());
    return 2;
  }
  if (options.Help) {
    std::fputs(WindowUsage().c_str(), stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("qelt-updater %s\n", ProgramFileVersion().toStdString().c_str());
    return 0;
  }
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  TWindowOptions options;
  if (const int status = AnswerCommandLine(argc, argv, options); status >= 0) return status;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("qelt-updater"));
  QApplication::setApplicationVersion(ProgramFileVersion());
  QApplication::setWindowIcon(ProgramIcon());
  // Ties the window to its desktop entry (qelt-updater.desktop) on Wayland.
  QGuiApplication::setDesktopFileName(QStringLiteral("qelt-updater"));

  TMainFichSetup setup;
  setup.ProgramFolder = ProgramFolder();
  setup.ScriptArgument = options.Script;
  // UserConfigFolder stays empty: the core then uses the platform's own folder
  // (DefaultUserConfigFolder) when the program's folder cannot be written.
  TUpdaterForms forms(CreateQtComDriver(), SystemClock(), setup, options, RealModalHost());
  TQtPortLister ports;
  forms.Window.SetPortLister(&ports);
  // However the event loop ends, the core's closing work (timer, settings, link)
  // has run once before the program leaves.
  QObject::connect(&app, &QCoreApplication::aboutToQuit, [&forms] { forms.Close(); });
  QuitOnTerminationSignals(app);
  forms.Window.show();
  return QApplication::exec();
}
