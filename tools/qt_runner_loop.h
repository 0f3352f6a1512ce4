// TQtRunnerLoop: runs a TUpdateRunner on the Qt event loop. A single-shot QTimer
// stands for Timer1: it fires after the core's current interval, ticks the runner
// and is armed again (the core's own tick disables and re-enables its timer the
// same way). A step the core asks for between ticks is a queued call, at most one
// posted at a time; one it asks for at the end of a timed wait comes from a second
// single-shot timer. When the run ends the event loop is left with the runner's exit
// status. Lives on the event loop's thread, as long as the runner.
#pragma once

#include <QObject>
#include <QTimer>

#include "tools/update_runner.h"

class TQtRunnerLoop : public QObject {
  Q_OBJECT

 public:
  explicit TQtRunnerLoop(TUpdateRunner& runner, QObject* parent = nullptr);
  ~TQtRunnerLoop() override;
  // Arms the first tick; the run starts when the event loop runs.
  void Start();

 private:
  void Tick();
  void StepSoon();

  TUpdateRunner& runner_;
  QTimer timer1_;                // one shot per tick, interval from the core's Timer1
  QTimer stepAfter_;             // one shot: the step at a timed wait's end
  bool stepSoonPosted_ = false;  // a queued StepSoon is on its way
};
