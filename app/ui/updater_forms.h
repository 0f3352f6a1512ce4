// TUpdaterForms: the program's entry sequence as one object. It creates the core
// (whose construction is the main window's creation step), the main window with
// its dialogs and about box, then loads the settings file and applies the command
// line's connection choices, which win over the saved ones. Used by
// qelt_updater_main.cpp and by the window's tests. Event-loop thread only.
#pragma once

#include <memory>

#include "app/main_fich.h"
#include "app/ui/main_window.h"
#include "app/ui/window_options.h"

class TComDriver;
class TModalHost;
class TMsClock;

class TUpdaterForms {
 public:
  // Everything is created and the settings are loaded; the window is not shown yet.
  TUpdaterForms(std::unique_ptr<TComDriver> link, TMsClock& clock, const TMainFichSetup& setup,
                const TWindowOptions& options, TModalHost& host);
  TUpdaterForms(const TUpdaterForms&) = delete;
  TUpdaterForms& operator=(const TUpdaterForms&) = delete;

  TMainFich Core;      // declared first: the window goes before the core
  TMainWindow Window;  // the view of Core
};
