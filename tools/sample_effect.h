// Effect files (JTAG vector files) for the sample package: the identifier check of
// the component's chain (TDO with MASK), programming mode, a stream of long SDR
// configuration blocks with the RUNTEST waits a logic device asks for, and a
// signature word written to the user register and read back. Used only by the
// package generator; deterministic (data from TSampleRandom seeded by the title).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One device of a JTAG chain as the file addresses it.
struct TEffectDevice {
  int IrLength = 8;     // instruction register bits
  uint32_t IdCode = 0;  // identifier the chain reports
  uint32_t IdCodeInstruction = 1;
  uint32_t UserInstruction = 0;  // selects the user register (0: none)
  int UserLength = 0;            // user register bits (0: none)
};

// The chain of component `code` ('8', '9', 'A' or 'C') of the device family the
// package is for, devices listed from TDI to TDO.
std::vector<TEffectDevice> SampleChain(char code);

struct TEffectPlan {
  std::string Title;                 // names the file in its header, seeds its data
  std::string Version;               // four digits, as the card script's "T"/"V" lines
  std::vector<TEffectDevice> Chain;  // from TDI to TDO
  size_t Target = 0;                 // the device programmed (has a user register)
  int Blocks = 16;                   // configuration blocks of kEffectBlockBits
};

inline constexpr int kEffectBlockBits = 512;
// Identifier bits compared: the top nibble (the silicon revision) is left out.
inline constexpr uint32_t kIdCodeMask = 0x0FFFFFFF;

// The whole file, CR LF line ends.
std::string EffectText(const TEffectPlan& plan);
