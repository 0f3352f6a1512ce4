// TUpdaterForms: the program's entry sequence as one object. It creates the core
// (whose construction is the main window's creation step), the main window with
// its dialogs and about box, then loads the settings file and applies the command
// line's connection choices, which win over the saved ones for this session. Used by
// qelt_updater_main.cpp and by the window's tests. Event-loop thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

  // Runs the core's closing work once. A connection the command line chose and
  // the operator left as it was is not saved: the settings file keeps the choice
  // it had (the operator's own changes during the session are saved as usual).
  void Close();

  TMainFich Core;      // declared first: the window goes before the core
  TMainWindow Window;  // the view of Core

 private:
  // The connection as the port menu and the LAN setup dialog hold it.
  struct TConnectionChoice {
    int ticked = -1;     // Com 1..9 as 0..8, LAN/Setup as 9
    std::string device;  // the ticked detected port, when one is
    uint8_t mode = 0;
    std::string address;
    uint32_t remotePort = 0;
    uint32_t localPort = 0;
    bool operator==(const TConnectionChoice&) const = default;
  };
  TConnectionChoice Capture() const;
  void Restore(const TConnectionChoice& choice);
  void KeepSavedConnection();

  TConnectionChoice loaded_;   // as the settings file gave it
  TConnectionChoice applied_;  // after the command line's options
};
