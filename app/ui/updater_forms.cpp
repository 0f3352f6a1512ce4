#include "app/ui/updater_forms.h"

#include "link/com_driver.h"

TUpdaterForms::TUpdaterForms(std::unique_ptr<TComDriver> link, TMsClock& clock,
                             const TMainFichSetup& setup, const TWindowOptions& options,
                             TModalHost& host)
    : Core(std::move(link), clock, setup), Window(Core, host) {
  Core.LoadSettings();
  ApplyWindowOptions(options, Core);
  Window.Render();
}
