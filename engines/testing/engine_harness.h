// TEngineHarness: a small language for engine tests. It owns one engine wired to a
// TTestOwner and drives it the way the update sequencer does: Offer a line (one
// Step), Pump while busy, Reply with device text (whole or in pieces of any size),
// then ExpectWire / ExpectEvents / ExpectError on what came out.
// Header-only and GoogleTest-based: include it from test binaries only.
#pragma once

#include <gtest/gtest.h>

#include <source_location>
#include <string>
#include <utility>
#include <vector>

#include "engines/testing/test_owner.h"
#include "testing/pieces.h"

template <class Engine>
class TEngineHarness {
 public:
  template <class... Args>
  explicit TEngineHarness(Args&&... args) : engine(std::forward<Args>(args)...) {
    owner.Attach(engine);
  }
  TEngineHarness(const TEngineHarness&) = delete;
  TEngineHarness& operator=(const TEngineHarness&) = delete;

  // Hands `line` over as the sequencer does (Instruction := line, one Step) and
  // returns whether the engine took it.
  bool Offer(const std::string& line) {
    engine.Instruction = line;
    engine.Step();
    return engine.Busy;
  }

  // Calls Step `n` times, each only while the engine is busy (the sequencer's pump).
  void Pump(int n = 1) {
    for (int i = 0; i < n && engine.Busy; ++i) engine.Step();
  }

  // Device text, appended to the owner's receive accumulator.
  void Reply(const std::string& text) { owner.Reply(text); }

  // Delivers `text` in pieces of `piece` characters, pumping once after each, as
  // a link that splits the reply arbitrarily would.
  void ReplyInPieces(const std::string& text, size_t piece) {
    for (const std::string& part : CutInPieces(text, piece)) {
      Reply(part);
      Pump();
    }
  }

  // Reply, then pump once: the common "device answers, engine reacts" beat.
  void Answer(const std::string& text) {
    Reply(text);
    Pump();
  }

  // Pumps until the engine is no longer busy; false if still busy after `limit`.
  bool RunToIdle(int limit = 100) {
    for (int i = 0; i < limit && engine.Busy; ++i) engine.Step();
    return !engine.Busy;
  }

  // What was sent since the last Take/Expect, forgotten afterwards.
  std::string TakeWire() {
    std::string wire = std::move(owner.Wire);
    owner.Wire.clear();
    owner.Sent.clear();
    return wire;
  }
  std::vector<std::string> TakeEvents() {
    std::vector<std::string> events = std::move(owner.Events);
    owner.Events.clear();
    return events;
  }

  void ExpectWire(const std::string& expected,
                  std::source_location where = std::source_location::current()) {
    ::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "wire");
    EXPECT_EQ(TakeWire(), expected);
  }
  void ExpectNothingSent(std::source_location where = std::source_location::current()) {
    ExpectWire("", where);
  }
  void ExpectEvents(const std::vector<std::string>& expected,
                    std::source_location where = std::source_location::current()) {
    ::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "events");
    EXPECT_EQ(TakeEvents(), expected);
  }
  // The operation ended in error: Busy fell first, then OnError with exactly `text`,
  // and the engine is not busy.
  void ExpectError(const std::string& text,
                   std::source_location where = std::source_location::current()) {
    ::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "error");
    std::vector<std::string> events = TakeEvents();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "busy:0");
    EXPECT_EQ(events.back(), "error:" + text);
    EXPECT_EQ(engine.ErrorText, text);
    EXPECT_FALSE(engine.Busy);
  }
  // The operation completed: the last event is OnChangeBusy(false), no error raised.
  void ExpectDone(std::source_location where = std::source_location::current()) {
    ::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "done");
    std::vector<std::string> events = TakeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "busy:0");
    for (const std::string& e : events) EXPECT_NE(e.rfind("error:", 0), 0u) << e;
    EXPECT_FALSE(engine.Busy);
  }

  Engine engine;
  TTestOwner owner;
};
