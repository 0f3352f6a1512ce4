// Faults the emulated device can be told to commit, reproducible from a seed:
// retransmission requests, failed erases/writes/verifies/reads, "I" to chosen
// commands, damaged captured data, noise before replies, replies in pieces,
// delayed replies, a device that hangs and one that chatters. Rules come from the in-process config
// or from "--fault RULE" on the emulator's command line (ParseFaultRule).
// Plain C++; single-threaded; owned by the emulated device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TFaultKind : uint8_t {
  FK_RESEND,            // "R" to a record or raw JTAG block the host sends again
                        // (never to a playback's end record)
  FK_ERASE_FAIL,        // "X" instead of the erase confirmation
  FK_WRITE_FAIL,        // "X" to a data record, a version text or a JTAG statement
  FK_VERIFY_FAIL,       // "X" to a verify record; wrong captured bits on a JTAG chain
  FK_READ_FAIL,         // "X" instead of the version a "T" reads
  FK_UNKNOWN,           // "I" to a command, which is then not carried out
  FK_CAPTURE_CHECKSUM,  // captured JTAG data sent with a wrong checksum
  FK_GARBAGE,           // noise bytes before a reply
  FK_SPLIT,             // a reply delivered in several pieces
  FK_DELAY,             // a reply held back for DelayMs
  FK_HANG,              // no reply, and nothing answered ever after
  FK_CHATTER,           // no reply; noise without pause, and nothing answered ever after
};

// The kinds of memory a memory fault can name.
enum class TMemKind : uint8_t {
  MK_ANY,      // any memory (no mem= given)
  MK_BOOT,     // the boot area 0x4000-0x5FFF
  MK_BANK,     // a flash bank 0-7 of a card
  MK_EMEM,     // the "E" memory of a card
  MK_JTAG,     // the JTAG chain of code 8, 9, A or C of a card
  MK_VERSION,  // the version register of a component code of a card
};

// A concrete memory (Card 0..5 option cards, 6 main card; Index: bank, or the
// component code's index 0..12 in "0123456789ACE").
struct TMemRef {
  TMemKind Kind = TMemKind::MK_ANY;
  int Card = 6;
  int Index = 0;
};

// A memory selector: Card and Index -1 mean "any".
struct TMemSelector {
  TMemKind Kind = TMemKind::MK_ANY;
  int Card = -1;
  int Index = -1;
  bool Matches(const TMemRef& mem) const;
};

struct TFaultRule {
  TFaultKind Kind = TFaultKind::FK_RESEND;
  std::string Command;         // command faults: prefix of the command text ("" = any)
  TMemSelector Memory;         // memory faults: which memory ("any" by default)
  uint32_t RatePercent = 100;  // chance that a matching event fires, drawn from the seed
  uint32_t Count = 0;          // fires at most this many times (0 = no limit)
  uint32_t Skip = 0;           // lets this many matching events pass before firing
  uint32_t DelayMs = 0;        // FK_DELAY: how long the reply is held back
  uint32_t Bytes = 0;          // FK_GARBAGE: noise bytes (0 = 1 to 8, drawn from the seed);
                               // FK_CHATTER: noise bytes per 10 ms (0 = 64, a full line)
  uint32_t PieceSize = 0;      // FK_SPLIT: piece length (0 = cut points drawn from the seed)
};

struct TFaultConfig {
  uint64_t Seed = 1;
  std::vector<TFaultRule> Rules;
};

// Parses "KIND[,key=value]..." (syntax in FaultRuleHelp). False with `error`.
bool ParseFaultRule(std::string_view text, TFaultRule& rule, std::string& error);
// Parses a memory name such as "boot", "bank3", "card2.e", "main.jtagA", "version8".
bool ParseMemSelector(std::string_view text, TMemSelector& out);
// The RULE syntax, for --help.
std::string FaultRuleHelp();

// Index of a component code in "0123456789ACE", or -1.
int ComponentCodeIndex(char code);

class TFaultPlan {
 public:
  explicit TFaultPlan(const TFaultConfig& config);

  // An event that touches memory `mem`: true when a rule of `kind` fires.
  bool FireOnMemory(TFaultKind kind, const TMemRef& mem);
  // A command (or a reply to it): the rule of `kind` that fires, or nullptr.
  const TFaultRule* FireOnCommand(TFaultKind kind, std::string_view command);
  // The next pseudo-random number of the seeded sequence.
  uint64_t NextRandom();

 private:
  struct TRuleState {
    TFaultRule rule;
    uint32_t seen = 0;   // matching events so far
    uint32_t fired = 0;  // times it fired
  };
  bool Decide(TRuleState& state);

  std::vector<TRuleState> rules_;
  uint64_t random_state_;
};
