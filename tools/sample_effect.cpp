#include "tools/sample_effect.h"

#include "tools/sample_firmware.h"

namespace {

using TBits = std::vector<bool>;

const char kDigits[] = "0123456789ABCDEF";

TBits UintBits(uint64_t value, int count) {
  TBits bits;
  for (int i = 0; i < count; ++i) bits.push_back(i < 64 && ((value >> i) & 1) != 0);
  return bits;
}

TBits RandomBits(TSampleRandom& random, int count) {
  TBits bits;
  uint64_t word = 0;
  for (int i = 0; i < count; ++i) {
    if (i % 64 == 0) word = random.Next();
    bits.push_back(((word >> (i % 64)) & 1) != 0);
  }
  return bits;
}

// Hex field of `bits` (bit j of the value is bits[j]), most significant digit first,
// an even number of digits.
std::string BitsHex(const TBits& bits) {
  size_t digits = (bits.size() + 3) / 4;
  digits += digits % 2;
  std::string hex(digits, '0');
  for (size_t d = 0; d < digits; ++d) {
    int value = 0;
    for (size_t b = 0; b < 4; ++b) {
      size_t bit = d * 4 + b;
      if (bit < bits.size() && bits[bit]) value |= 1 << b;
    }
    hex[digits - 1 - d] = kDigits[value];
  }
  return hex;
}

// One register per device (TDI to TDO) as the one value a shift carries: the
// device nearest TDO takes the lowest bits, since its bits leave first.
TBits ChainBits(const std::vector<TBits>& registers) {
  TBits bits;
  for (size_t k = registers.size(); k-- > 0;) {
    bits.insert(bits.end(), registers[k].begin(), registers[k].end());
  }
  return bits;
}

// Instruction registers: `target` gets `instruction`, every other device BYPASS.
TBits IrBits(const TEffectPlan& plan, uint32_t (*pick)(const TEffectDevice&), bool all) {
  std::vector<TBits> registers;
  for (size_t k = 0; k < plan.Chain.size(); ++k) {
    const TEffectDevice& d = plan.Chain[k];
    uint64_t value = (all || k == plan.Target) ? pick(d) : ~uint64_t{0};
    registers.push_back(UintBits(value, d.IrLength));
  }
  return ChainBits(registers);
}

uint32_t IdCodeInstruction(const TEffectDevice& d) { return d.IdCodeInstruction; }
uint32_t UserInstruction(const TEffectDevice& d) { return d.UserInstruction; }
uint32_t Bypass(const TEffectDevice&) { return 0xFFFFFFFF; }

// The user register of the target with `value`, every other device in BYPASS
// (one bit of `bypass`); `value` empty gives zeros.
TBits UserPath(const TEffectPlan& plan, const TBits& value, bool bypass) {
  std::vector<TBits> registers;
  for (size_t k = 0; k < plan.Chain.size(); ++k) {
    if (k == plan.Target) {
      TBits bits = value;
      bits.resize(static_cast<size_t>(plan.Chain[k].UserLength), false);
      registers.push_back(bits);
    } else {
      registers.push_back(TBits{bypass});
    }
  }
  return ChainBits(registers);
}

std::string Sir(const TBits& bits) {
  return "SIR " + std::to_string(bits.size()) + " TDI (" + BitsHex(bits) + ");";
}

std::string Sdr(const TBits& tdi) {
  return "SDR " + std::to_string(tdi.size()) + " TDI (" + BitsHex(tdi) + ");";
}

std::string SdrCheck(const TBits& tdo, const TBits& mask) {
  return "SDR " + std::to_string(tdo.size()) + " TDI (" + BitsHex(TBits(tdo.size(), false)) +
         ") TDO (" + BitsHex(tdo) + ") MASK (" + BitsHex(mask) + ");";
}

std::vector<std::string> Header(const TEffectPlan& plan) {
  std::vector<std::string> lines = {"// " + plan.Title + ", version " + plan.Version};
  std::string chain = "// Chain from TDI to TDO:";
  for (const TEffectDevice& d : plan.Chain) {
    chain +=
        " [IR " + std::to_string(d.IrLength) + " bits, ID " + BitsHex(UintBits(d.IdCode, 32)) + "]";
  }
  lines.push_back(chain);
  lines.push_back("// " + std::to_string(plan.Blocks) + " configuration blocks of " +
                  std::to_string(kEffectBlockBits) + " bits, then a signature word read back.");
  lines.push_back("// Written by qelt-make-package: regenerate rather than edit.");
  lines.insert(lines.end(), {"TRST OFF;", "ENDIR IDLE;", "ENDDR IDLE;", "STATE RESET IDLE;"});
  return lines;
}

void AddIdentifierCheck(const TEffectPlan& plan, std::vector<std::string>& lines) {
  std::vector<TBits> ids;
  std::vector<TBits> masks;
  for (const TEffectDevice& d : plan.Chain) {
    ids.push_back(UintBits(d.IdCode, 32));
    masks.push_back(UintBits(kIdCodeMask, 32));
  }
  lines.push_back("// Check the chain identifiers (the silicon revision is ignored)");
  lines.push_back(Sir(IrBits(plan, IdCodeInstruction, true)));
  lines.push_back(SdrCheck(ChainBits(ids), ChainBits(masks)));
}

void AddConfiguration(const TEffectPlan& plan, TSampleRandom& random,
                      std::vector<std::string>& lines) {
  lines.push_back("// Programming mode");
  lines.push_back(Sir(IrBits(plan, UserInstruction, false)));
  lines.push_back("RUNTEST 1000 TCK;");
  lines.push_back("// Configuration data");
  for (int block = 0; block < plan.Blocks; ++block) {
    lines.push_back(Sdr(RandomBits(random, kEffectBlockBits)));
    lines.push_back("RUNTEST 250 TCK;");
  }
  const int length = plan.Chain[plan.Target].UserLength;
  TBits signature = RandomBits(random, length);
  lines.push_back("// Signature word, then read it back");
  lines.push_back(Sdr(UserPath(plan, signature, false)));
  lines.push_back("RUNTEST 100 TCK;");
  lines.push_back(
      SdrCheck(UserPath(plan, signature, false), UserPath(plan, TBits(length, true), false)));
}

}  // namespace

std::vector<TEffectDevice> SampleChain(char code) {
  switch (code) {
    case '8':
      return {{8, 0x1A5C80FF, 0x01, 0x02, 32}};
    case '9':
      return {{8, 0x1A5C90FF, 0x01, 0x02, 32}};
    case 'A':
      return {{10, 0x2B3CA0FF, 0x006, 0x002, 64}};
    case 'C':
      return {{8, 0x3C4DC0FF, 0x01, 0x02, 32}, {6, 0x3C4DD0FF, 0x09, 0, 0}};
    default:
      return {};
  }
}

std::string EffectText(const TEffectPlan& plan) {
  TSampleRandom random(plan.Title);
  std::vector<std::string> lines = Header(plan);
  AddIdentifierCheck(plan, lines);
  AddConfiguration(plan, random, lines);
  lines.push_back("// Leave programming mode");
  lines.push_back(Sir(IrBits(plan, Bypass, true)));
  lines.push_back("RUNTEST 100 TCK;");
  lines.push_back("STATE RESET;");
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}
