#include "emulator/jtag_chain.h"

#include <array>
#include <utility>

namespace {

using S = TTapState;

// Next state for TMS 0 and TMS 1, indexed by the state's code.
constexpr std::array<std::pair<S, S>, 16> kTransitions = {{
    {S::TAP_IDLE, S::TAP_RESET},          // RESET
    {S::TAP_IDLE, S::TAP_DRSELECT},       // IDLE
    {S::TAP_DRCAPTURE, S::TAP_IRSELECT},  // DRSELECT
    {S::TAP_DRSHIFT, S::TAP_DREXIT1},     // DRCAPTURE
    {S::TAP_DRSHIFT, S::TAP_DREXIT1},     // DRSHIFT
    {S::TAP_DRPAUSE, S::TAP_DRUPDATE},    // DREXIT1
    {S::TAP_DRPAUSE, S::TAP_DREXIT2},     // DRPAUSE
    {S::TAP_DRSHIFT, S::TAP_DRUPDATE},    // DREXIT2
    {S::TAP_IDLE, S::TAP_DRSELECT},       // DRUPDATE
    {S::TAP_IRCAPTURE, S::TAP_RESET},     // IRSELECT
    {S::TAP_IRSHIFT, S::TAP_IREXIT1},     // IRCAPTURE
    {S::TAP_IRSHIFT, S::TAP_IREXIT1},     // IRSHIFT
    {S::TAP_IRPAUSE, S::TAP_IRUPDATE},    // IREXIT1
    {S::TAP_IRPAUSE, S::TAP_IREXIT2},     // IRPAUSE
    {S::TAP_IRSHIFT, S::TAP_IRUPDATE},    // IREXIT2
    {S::TAP_IDLE, S::TAP_DRSELECT},       // IRUPDATE
}};

constexpr uint32_t kCaptureIr = 0x1;  // ...01, the value every IR captures

}  // namespace

bool IsStableTapState(TTapState state) {
  return state == S::TAP_RESET || state == S::TAP_IDLE || state == S::TAP_DRPAUSE ||
         state == S::TAP_IRPAUSE;
}

TTapState NextTapState(TTapState state, bool tms) {
  const auto& t = kTransitions[static_cast<size_t>(state) & 0x0F];
  return tms ? t.second : t.first;
}

TJtagChain::TJtagChain(std::vector<TJtagDevice> devices) : devices_(std::move(devices)) {
  for (const TJtagDevice& d : devices_) {
    instructions_.push_back(d.IdCodeInstruction);
    user_.emplace_back(static_cast<size_t>(d.UserLength > 0 ? d.UserLength : 0), false);
  }
}

bool TJtagChain::Clock(bool tms, bool tdi) {
  bool tdo = false;
  if (state_ == S::TAP_DRCAPTURE) Capture(false);
  if (state_ == S::TAP_IRCAPTURE) Capture(true);
  if (state_ == S::TAP_DRSHIFT || state_ == S::TAP_IRSHIFT) {
    if (!shift_.empty()) {
      tdo = shift_.front();
      shift_.pop_front();
      shift_.push_back(tdi);
    } else {
      tdo = tdi;  // an empty chain passes TDI straight through
    }
  }
  state_ = NextTapState(state_, tms);
  if (state_ == S::TAP_DRUPDATE) Update(false);
  if (state_ == S::TAP_IRUPDATE) Update(true);
  if (state_ == S::TAP_RESET) {
    for (size_t i = 0; i < devices_.size(); ++i) instructions_[i] = devices_[i].IdCodeInstruction;
  }
  return tdo;
}

void TJtagChain::Reset() {
  for (int i = 0; i < 5; ++i) Clock(true, false);
}

int TJtagChain::MoveTo(TTapState target) {
  // Breadth-first over the 16 states; TMS 0 is tried first so ties prefer it.
  std::array<int, 16> from{};
  std::array<bool, 16> via_tms{};
  from.fill(-1);
  std::deque<TTapState> queue{state_};
  from[static_cast<size_t>(state_)] = static_cast<int>(state_);
  while (!queue.empty() && from[static_cast<size_t>(target)] < 0) {
    const TTapState s = queue.front();
    queue.pop_front();
    for (bool tms : {false, true}) {
      const TTapState n = NextTapState(s, tms);
      if (from[static_cast<size_t>(n)] >= 0) continue;
      from[static_cast<size_t>(n)] = static_cast<int>(s);
      via_tms[static_cast<size_t>(n)] = tms;
      queue.push_back(n);
    }
  }
  std::vector<bool> path;
  for (TTapState s = target; s != state_;
       s = static_cast<TTapState>(from[static_cast<size_t>(s)])) {
    path.insert(path.begin(), via_tms[static_cast<size_t>(s)]);
  }
  for (bool tms : path) Clock(tms, false);
  return static_cast<int>(path.size());
}

std::vector<bool> TJtagChain::Shift(const std::vector<bool>& bits, bool exit_last) {
  std::vector<bool> out;
  out.reserve(bits.size());
  for (size_t i = 0; i < bits.size(); ++i) {
    out.push_back(Clock(exit_last && i + 1 == bits.size(), bits[i]));
  }
  return out;
}

int TJtagChain::DataRegisterLength(size_t index) const {
  const TJtagDevice& d = devices_[index];
  if (instructions_[index] == d.IdCodeInstruction) return 32;
  if (d.UserLength > 0 && instructions_[index] == d.UserInstruction) return d.UserLength;
  return 1;
}

void TJtagChain::Capture(bool instruction_register) {
  // The device nearest TDO comes out first, its least significant bit leading.
  shift_.clear();
  for (size_t k = devices_.size(); k-- > 0;) {
    const TJtagDevice& d = devices_[k];
    if (instruction_register) {
      for (int i = 0; i < d.IrLength; ++i) shift_.push_back(i < 32 && (kCaptureIr >> i) & 1);
    } else if (instructions_[k] == d.IdCodeInstruction) {
      for (int i = 0; i < 32; ++i) shift_.push_back((d.IdCode >> i) & 1);
    } else if (DataRegisterLength(k) > 1) {
      shift_.insert(shift_.end(), user_[k].begin(), user_[k].end());
    } else {
      shift_.push_back(false);  // bypass captures 0
    }
  }
}

void TJtagChain::Update(bool instruction_register) {
  size_t pos = 0;
  for (size_t k = devices_.size(); k-- > 0;) {
    const TJtagDevice& d = devices_[k];
    const int length = instruction_register ? d.IrLength : DataRegisterLength(k);
    if (pos + static_cast<size_t>(length) > shift_.size()) return;
    if (instruction_register) {
      uint32_t value = 0;
      for (int i = 0; i < length && i < 32; ++i) value |= uint32_t{shift_[pos + i]} << i;
      instructions_[k] = value;
    } else if (length > 1 && instructions_[k] != d.IdCodeInstruction) {
      for (int i = 0; i < length; ++i) user_[k][static_cast<size_t>(i)] = shift_[pos + i];
    }
    pos += static_cast<size_t>(length);
  }
}
