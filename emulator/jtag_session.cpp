#include "emulator/jtag_session.h"

namespace {

constexpr char kEsc = '\x1B';
constexpr size_t kMaxShiftBits = 512;

TJtagResult Outcome(TJtagOutcome outcome) {
  TJtagResult r;
  r.Outcome = outcome;
  return r;
}

bool ValidStateCode(uint8_t code) { return code <= 0x0F; }

}  // namespace

std::vector<bool> BytesToBits(const std::vector<uint8_t>& bytes, size_t bit_count) {
  std::vector<bool> bits(bit_count, false);
  for (size_t i = 0; i < bit_count && i / 8 < bytes.size(); ++i) {
    bits[i] = (bytes[i / 8] >> (i % 8)) & 1;
  }
  return bits;
}

std::vector<uint8_t> BitsToBytes(const std::vector<bool>& bits) {
  std::vector<uint8_t> bytes((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i) {
    if (bits[i]) bytes[i / 8] = static_cast<uint8_t>(bytes[i / 8] | 1u << (i % 8));
  }
  return bytes;
}

std::string EncodeCapturedData(const std::vector<uint8_t>& bytes, bool corrupt_checksum) {
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  if (corrupt_checksum) sum = static_cast<uint8_t>(sum + 1);
  std::string out;
  auto put = [&out](uint8_t b) {
    if (b == 0x00) {
      out += {kEsc, '0'};
    } else if (b == 0x1B) {
      out += {kEsc, kEsc};
    } else {
      out += DeviceHexByte(b);
    }
  };
  for (uint8_t b : bytes) put(b);
  put(sum);
  out += {kEsc, '.'};
  return out;
}

std::string ReadChainIdentifiers(TJtagChain& chain) {
  chain.Reset();
  chain.MoveTo(TTapState::TAP_DRSHIFT);
  const std::vector<bool> out = chain.Shift(std::vector<bool>(128, true), true);
  chain.MoveTo(TTapState::TAP_IDLE);
  return DeviceHexText(BitsToBytes(out));
}

TJtagResult TJtagSession::Execute(const TDeviceRecord& record) {
  switch (record.Type) {
    case 0x01:
      return Outcome(TJtagOutcome::JO_END);
    case 0x04:
      return RunTest(record.Data);
    case 0x05:
      return WalkStates(record.Data);
    case 0x06:
      return SetEndState(record.Data, end_ir_);
    case 0x07:
      return SetEndState(record.Data, end_dr_);
    default:
      return ShiftRecord(record);
  }
}

TJtagResult TJtagSession::RunTest(const std::vector<uint8_t>& data) {
  // Count (4 bytes, most significant first) and the run state. The clocks
  // themselves change nothing in this chain, so only the state is walked.
  if (data.size() != 5 || !ValidStateCode(data[4])) return Outcome(TJtagOutcome::JO_FAILED);
  const auto state = static_cast<TTapState>(data[4]);
  if (!IsStableTapState(state)) return Outcome(TJtagOutcome::JO_FAILED);
  chain_.MoveTo(state);
  return Outcome(TJtagOutcome::JO_DONE);
}

TJtagResult TJtagSession::WalkStates(const std::vector<uint8_t>& data) {
  for (uint8_t code : data) {
    if (!ValidStateCode(code)) return Outcome(TJtagOutcome::JO_FAILED);
    const auto target = static_cast<TTapState>(code);
    if (NextTapState(chain_.State(), false) == target) {
      chain_.Clock(false, false);
    } else if (NextTapState(chain_.State(), true) == target) {
      chain_.Clock(true, false);
    } else if (IsStableTapState(target)) {
      chain_.MoveTo(target);
    } else {
      return Outcome(TJtagOutcome::JO_FAILED);  // not one clock away, and not a rest state
    }
  }
  return Outcome(TJtagOutcome::JO_DONE);
}

TJtagResult TJtagSession::SetEndState(const std::vector<uint8_t>& data, TTapState& end_state) {
  if (data.size() != 1 || !ValidStateCode(data[0])) return Outcome(TJtagOutcome::JO_FAILED);
  const auto state = static_cast<TTapState>(data[0]);
  if (!IsStableTapState(state)) return Outcome(TJtagOutcome::JO_FAILED);
  end_state = state;
  return Outcome(TJtagOutcome::JO_DONE);
}

TJtagResult TJtagSession::ShiftRecord(const TDeviceRecord& record) {
  const uint8_t kind = record.Type & 0x0F;
  const bool fill = (record.Type & 0x80) != 0;
  if ((kind != 2 && kind != 3) || (kind == 2 && fill) || record.Address > kMaxShiftBits) {
    return Outcome(TJtagOutcome::JO_FAILED);
  }
  if (kind == 2) return DoShift(record.Type, record.Address, record.Data);
  if (record.Data.size() != 1) return Outcome(TJtagOutcome::JO_FAILED);
  if (fill) {
    const std::vector<uint8_t> tdi((record.Address + 7u) / 8u, record.Data[0]);
    return DoShift(record.Type, record.Address, tdi);
  }
  // A long SDR: its data byte is the length of the raw block that follows.
  const size_t length = record.Data[0];
  if (length < 4 || length % 2 != 0) return Outcome(TJtagOutcome::JO_FAILED);
  pending_type_ = record.Type;
  pending_bits_ = record.Address;
  TJtagResult r = Outcome(TJtagOutcome::JO_RAW_WANTED);
  r.RawLength = length;
  return r;
}

TJtagResult TJtagSession::ExecuteRawBlock(std::string_view block) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < block.size(); i += 2) {
    const int hi = DeviceHexValue(block[i]);
    const int lo = DeviceHexValue(block[i + 1]);
    if (hi < 0 || lo < 0) return Outcome(TJtagOutcome::JO_RAW_BAD);
    bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  if (block.size() % 2 != 0 || bytes.size() < 2) return Outcome(TJtagOutcome::JO_RAW_BAD);
  const uint8_t expected = bytes.back();
  bytes.pop_back();
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  if (sum != expected) return Outcome(TJtagOutcome::JO_RAW_BAD);
  return DoShift(pending_type_, pending_bits_, bytes);
}

TJtagResult TJtagSession::DoShift(uint8_t type, uint16_t bit_count,
                                  const std::vector<uint8_t>& tdi) {
  const bool ir = (type & 0x0F) == 2;
  const bool enter = (type & 0x20) != 0;  // start from a rest state through Capture
  const bool leave = (type & 0x40) != 0;  // finish in the ENDIR/ENDDR state
  const bool wants_tdo = (type & 0x10) != 0;
  const TTapState shift_state = ir ? TTapState::TAP_IRSHIFT : TTapState::TAP_DRSHIFT;
  if (enter) {
    if (!IsStableTapState(chain_.State())) return Outcome(TJtagOutcome::JO_FAILED);
    chain_.MoveTo(ir ? TTapState::TAP_IRCAPTURE : TTapState::TAP_DRCAPTURE);
    chain_.Clock(false, false);
  } else if (chain_.State() != shift_state) {
    return Outcome(TJtagOutcome::JO_FAILED);  // a continuation needs a shift under way
  }
  std::vector<bool> out;
  if (bit_count > 0) {
    out = chain_.Shift(BytesToBits(tdi, bit_count), leave);
    if (leave) chain_.MoveTo(ir ? end_ir_ : end_dr_);
  } else if (leave) {
    chain_.MoveTo(ir ? end_ir_ : end_dr_);
  }
  if (!wants_tdo) return Outcome(TJtagOutcome::JO_DONE);
  TJtagResult r = Outcome(TJtagOutcome::JO_CAPTURED);
  r.Captured = BitsToBytes(out);
  return r;
}
