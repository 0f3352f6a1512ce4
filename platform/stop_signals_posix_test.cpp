// The stop signals: each reaches the event loop as a call, never inside the handler
// and never ending the process; a flood of signals neither blocks the handler nor
// disturbs errno; the watch ends with its context.
#include "platform/stop_signals_posix.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <cerrno>
#include <csignal>
#include <vector>

namespace {

// Lets the event loop read what the handler wrote (already in the pipe).
void RunPendingEvents() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

TEST(StopSignals, EachSignalBecomesOneCallFromTheEventLoop) {
  QObject context;
  std::vector<int> calls;
  ASSERT_TRUE(WatchStopSignals(context, [&](int signal) { calls.push_back(signal); }));
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(StopSignalName(signal));
    calls.clear();
    ASSERT_EQ(std::raise(signal), 0);
    EXPECT_TRUE(calls.empty()) << "called inside the handler";
    RunPendingEvents();
    EXPECT_EQ(calls, std::vector<int>{signal});
  }
}

TEST(StopSignals, NamesTheWatchedSignals) {
  EXPECT_STREQ(StopSignalName(SIGINT), "SIGINT");
  EXPECT_STREQ(StopSignalName(SIGTERM), "SIGTERM");
  EXPECT_STREQ(StopSignalName(SIGHUP), "SIGHUP");
}

// More signals than the pipe holds while the loop is busy: the handler must not
// block on the full pipe (this test would hang) nor leave its failed write's
// errno behind.
TEST(StopSignals, AFloodNeitherBlocksTheHandlerNorChangesErrno) {
  QObject context;
  size_t calls = 0;
  ASSERT_TRUE(WatchStopSignals(context, [&](int) { ++calls; }));
  constexpr int kMoreThanAPipeHolds = 70000;  // a pipe holds 64 KiB on Linux
  for (int i = 0; i < kMoreThanAPipeHolds; ++i) std::raise(SIGTERM);
  errno = EDOM;
  std::raise(SIGHUP);  // its byte finds the pipe full
  EXPECT_EQ(errno, EDOM);
  RunPendingEvents();
  EXPECT_GT(calls, 0u);
  EXPECT_LT(calls, static_cast<size_t>(kMoreThanAPipeHolds));  // the overflow was dropped
  // The pipe is empty again: the next signal is one call.
  calls = 0;
  std::raise(SIGINT);
  RunPendingEvents();
  EXPECT_EQ(calls, 1u);
}

TEST(StopSignals, ALaterWatchReplacesTheEarlierOne) {
  QObject first_context;
  QObject second_context;
  std::vector<int> first;
  std::vector<int> second;
  ASSERT_TRUE(WatchStopSignals(first_context, [&](int signal) { first.push_back(signal); }));
  ASSERT_TRUE(WatchStopSignals(second_context, [&](int signal) { second.push_back(signal); }));
  std::raise(SIGTERM);
  RunPendingEvents();
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(second, std::vector<int>{SIGTERM});
}

TEST(StopSignals, WhenTheContextGoesTheDefaultHandlingIsBack) {
  {
    QObject context;
    ASSERT_TRUE(WatchStopSignals(context, [](int) {}));
    struct sigaction now = {};
    ::sigaction(SIGHUP, nullptr, &now);
    EXPECT_NE(now.sa_handler, SIG_DFL);
  }
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction now = {};
    ::sigaction(signal, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << StopSignalName(signal);
  }
}

}  // namespace
