#include "tools/qt_runner_loop.h"

#include <QCoreApplication>

TQtRunnerLoop::TQtRunnerLoop(TUpdateRunner& runner, QObject* parent)
    : QObject(parent), runner_(runner) {
  timer1_.setSingleShot(true);
  timer1_.setTimerType(Qt::PreciseTimer);  // 10 ms ticks during a run
  connect(&timer1_, &QTimer::timeout, this, &TQtRunnerLoop::Tick);
  runner_.OnStepSoon = [this] {
    if (stepSoonPosted_) return;
    stepSoonPosted_ = true;
    QMetaObject::invokeMethod(this, &TQtRunnerLoop::StepSoon, Qt::QueuedConnection);
  };
  stepAfter_.setSingleShot(true);
  stepAfter_.setTimerType(Qt::PreciseTimer);
  connect(&stepAfter_, &QTimer::timeout, this, [this] { runner_.StepSoon(); });
  runner_.OnStepAfter = [this](uint32_t ms) {
    stepAfter_.start(static_cast<int>(ms));  // at most the core's kLongestStepAfterMs
  };
  runner_.OnFinished = [this] {
    timer1_.stop();
    stepAfter_.stop();
    QCoreApplication::exit(runner_.ExitCode());
  };
}

TQtRunnerLoop::~TQtRunnerLoop() {
  runner_.OnStepSoon = nullptr;
  runner_.OnStepAfter = nullptr;
  runner_.OnFinished = nullptr;
}

void TQtRunnerLoop::Start() { timer1_.start(0); }

void TQtRunnerLoop::StepSoon() {
  stepSoonPosted_ = false;
  runner_.StepSoon();
}

void TQtRunnerLoop::Tick() {
  runner_.Tick();
  if (!runner_.Finished()) timer1_.start(static_cast<int>(runner_.TimerInterval()));
}
