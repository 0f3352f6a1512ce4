#include "tools/qt_runner_loop.h"

#include <QCoreApplication>

TQtRunnerLoop::TQtRunnerLoop(TUpdateRunner& runner, QObject* parent)
    : QObject(parent), runner_(runner) {
  timer1_.setSingleShot(true);
  timer1_.setTimerType(Qt::PreciseTimer);  // 10 ms ticks during a run
  connect(&timer1_, &QTimer::timeout, this, &TQtRunnerLoop::Tick);
  runner_.OnFinished = [this] {
    timer1_.stop();
    QCoreApplication::exit(runner_.ExitCode());
  };
}

void TQtRunnerLoop::Start() { timer1_.start(0); }

void TQtRunnerLoop::Tick() {
  runner_.Tick();
  if (!runner_.Finished()) timer1_.start(static_cast<int>(runner_.TimerInterval()));
}
