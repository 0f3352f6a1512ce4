// TLinePace: one direction of the serial line that qelt-emulator paces. Bytes are
// queued when they are ready to go; each then takes ten bit times (8N1) at the speed
// in force when it was queued, one after the other, and has crossed the line when
// its last bit has. The server asks which bytes have crossed and when the next ones
// will, and the line keeps the totals the end-to-end benchmark reads: bytes and
// serial time. With no pacing (0 per byte) a byte crosses the moment it is queued.
// Plain C++, single-threaded; times are nanoseconds of the caller's monotonic clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

// Nanoseconds one byte takes at `bits_per_second`, 8N1 (ten bits a byte).
constexpr int64_t ByteNs(uint32_t bits_per_second) {
  return bits_per_second == 0 ? 0 : 10'000'000'000 / bits_per_second;
}

class TLinePace {
 public:
  // Queues `bytes`, ready to go at `ready` (which may lie in the past: a reply made
  // when the command's last byte crossed), at `byte_ns` each. They follow what is
  // queued already, and keep the boundary: Take never returns bytes of two pushes.
  void Push(std::string_view bytes, int64_t ready, int64_t byte_ns);

  // Bytes of the front push that have crossed by `now`.
  size_t CrossedInFront(int64_t now) const;
  // When byte `index` of the front push crosses; `index` below FrontSize().
  int64_t CrossingInFront(size_t index) const;
  // What is left of the front push (empty when nothing is queued), its size and
  // the time each of its bytes takes.
  std::string_view Front() const;
  size_t FrontSize() const { return Front().size(); }
  int64_t FrontByteNs() const;
  // Removes and returns the first `n` bytes of the front push (at most FrontSize()).
  std::string TakeFront(size_t n);
  // When the next wake-up is due for this line: the crossing of the front push's
  // last byte, or of its `chunk`-th byte if it is longer; nothing when empty.
  std::optional<int64_t> NextDue(size_t chunk) const;

  bool Empty() const { return runs_.empty(); }
  size_t Queued() const { return queued_; }  // bytes not yet taken
  // Totals since construction: bytes pushed and the line time they take.
  uint64_t Bytes() const { return bytes_; }
  int64_t LineNs() const { return line_ns_; }

 private:
  // Bytes pushed together, crossing one after the other from Start.
  struct TRun {
    std::string Bytes;   // what is left of the push
    int64_t Start = 0;   // when the first byte left starts on the line
    int64_t ByteNs = 0;  // time per byte
  };

  std::deque<TRun> runs_;   // front: the next bytes to cross
  int64_t busy_until_ = 0;  // when the last queued byte has crossed
  size_t queued_ = 0;
  uint64_t bytes_ = 0;
  int64_t line_ns_ = 0;
};
