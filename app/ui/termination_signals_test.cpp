#include "app/ui/termination_signals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#ifndef _WIN32
#include <signal.h>

namespace {

TEST(TerminationSignalsTest, EachSignalEndsTheEventLoopInsteadOfTheProcess) {
  QuitOnTerminationSignals(*QCoreApplication::instance());
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    bool aboutToQuit = false;
    const QMetaObject::Connection connection = QObject::connect(
        QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [&] { aboutToQuit = true; });
    bool guardFired = false;
    // A guard so a broken handler fails the test instead of hanging it.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
      guardFired = true;
      QCoreApplication::exit(1);
    });
    guard.start(30000);
    QTimer::singleShot(0, [signal] { raise(signal); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(guardFired);
    EXPECT_TRUE(aboutToQuit);
    QObject::disconnect(connection);
  }
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::signal(signal, SIG_DFL);
}

}  // namespace
#endif
