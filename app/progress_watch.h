// TProgressWatch: tells a run's progress from mere traffic. After every step the core
// hands it where the run stands (TRunMilestone: the sequencer's state and lines, each
// engine's state and position, the progress bars); a milestone that differs from the
// last one is progress. Bytes received count only as a record of what came while
// nothing moved: their number and the first of them, so that a front end can say
// what the device sent while the run could not go on. Owned by TMainFich; plain
// C++, single-threaded, bounded memory.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/sequencer.h"

// Where a run stands, as far as progress goes.
struct TRunMilestone {
  TSeqState State = TSeqState::SEQ_IDLE;
  int32_t LineIndex = 0;               // main-script lines taken
  int32_t CardLineIndex = 0;           // card-script lines taken
  std::array<int, 4> EngineStates{};   // boot loader, card supervisor, bank flash, JTAG
  std::array<int32_t, 3> Positions{};  // boot and bank flash lines sent, JTAG lines read
  std::array<int, 3> Bars{};           // the three progress bars' positions
  bool operator==(const TRunMilestone&) const = default;
};

class TProgressWatch {
 public:
  // How many of the bytes received without progress are kept to be shown.
  static constexpr size_t kSampleBytes = 32;

  // True (and the record of bytes starts again) when `now` differs from the
  // milestone observed last.
  bool Observe(const TRunMilestone& now);
  // Bytes received from the device.
  void Received(std::string_view bytes);
  // Starts the record of bytes again without progress (the run does not wait on
  // the device, or a new run begins).
  void Restart();

  // Progress observed so far, counted; a front end compares it between two looks.
  uint64_t ProgressCount() const { return progress_count_; }
  // Bytes received since the last progress (or restart), and the first of them.
  uint64_t StalledBytes() const { return stalled_bytes_; }
  const std::string& StalledSample() const { return sample_; }

 private:
  TRunMilestone last_;           // the milestone observed last
  uint64_t progress_count_ = 0;  // milestones that differed from the one before
  uint64_t stalled_bytes_ = 0;   // received since the last progress
  std::string sample_;           // the first kSampleBytes of them
};
