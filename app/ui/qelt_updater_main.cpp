// qelt-updater: the desktop window. Entry sequence: the application, the forms
// (the core and main window, the component selection dialog, the about box, the
// LAN setup dialog), the settings file and the command line's connection choices,
// then the event loop until the main window closes.
#include <QApplication>
#include <QDir>
#include <QStringList>
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

namespace {

// The program's own folder, ending with the separator.
std::string ProgramFolder() {
  std::string folder =
      QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("qelt-updater"));
  QApplication::setApplicationVersion(ProgramFileVersion());
  QApplication::setWindowIcon(ProgramIcon());

  // Qt's list, not argv: on Windows it comes from the wide command line (argv holds
  // the ANSI code page), without the options QApplication took for itself.
  std::vector<std::string> args;
  const QStringList arguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());
  TWindowOptions options;
  std::string error;
  if (!ParseWindowOptions(args, options, error)) {
    std::fprintf(stderr, "qelt-updater: %s\n%s", error.c_str(), WindowUsage().c_str());
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

  TMainFichSetup setup;
  setup.ProgramFolder = ProgramFolder();
  setup.ScriptArgument = options.Script;
  // UserConfigFolder stays empty: the core then uses the platform's own folder
  // (DefaultUserConfigFolder) when the program's folder cannot be written.
  TUpdaterForms forms(CreateQtComDriver(), SystemClock(), setup, options, RealModalHost());
  // However the event loop ends, the core's closing work (timer, settings, link)
  // has run once before the program leaves.
  QObject::connect(&app, &QCoreApplication::aboutToQuit, [&forms] { forms.Close(); });
  QuitOnTerminationSignals(app);
  forms.Window.show();
  return QApplication::exec();
}
