#include "emulator/fault_plan.h"

#include <charconv>
#include <utility>

namespace {

struct TKindName {
  TFaultKind kind;
  const char* name;
  bool memory;  // takes mem=, otherwise cmd=
};

constexpr TKindName kKinds[] = {
    {TFaultKind::FK_RESEND, "resend", true},
    {TFaultKind::FK_ERASE_FAIL, "erase-fail", true},
    {TFaultKind::FK_WRITE_FAIL, "write-fail", true},
    {TFaultKind::FK_VERIFY_FAIL, "verify-fail", true},
    {TFaultKind::FK_READ_FAIL, "read-fail", true},
    {TFaultKind::FK_UNKNOWN, "unknown", false},
    {TFaultKind::FK_CAPTURE_CHECKSUM, "capture-checksum", true},
    {TFaultKind::FK_GARBAGE, "garbage", false},
    {TFaultKind::FK_SPLIT, "split", false},
    {TFaultKind::FK_DELAY, "delay", false},
    {TFaultKind::FK_HANG, "hang", false},
    {TFaultKind::FK_CHATTER, "chatter", false},
};

bool ParseNumber(std::string_view text, uint32_t& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "card3." or "main." in front of a memory name; -1 when neither.
int TakeCardPrefix(std::string_view& text) {
  if (StartsWith(text, "main.")) {
    text.remove_prefix(5);
    return 6;
  }
  if (text.size() >= 6 && StartsWith(text, "card") && text[4] >= '0' && text[4] <= '5' &&
      text[5] == '.') {
    const int card = text[4] - '0';
    text.remove_prefix(6);
    return card;
  }
  return -1;
}

bool ApplyKey(std::string_view key, std::string_view value, bool memory_kind, TFaultRule& rule,
              std::string& error) {
  const std::string quoted = "\"" + std::string(value) + "\"";
  uint32_t number = 0;
  if (key == "cmd") {
    if (memory_kind) return error = "key \"cmd\" does not apply to this fault", false;
    rule.Command = std::string(value);
    return true;
  }
  if (key == "mem") {
    if (!memory_kind) return error = "key \"mem\" does not apply to this fault", false;
    if (!ParseMemSelector(value, rule.Memory)) return error = "bad memory " + quoted, false;
    return true;
  }
  if (!ParseNumber(value, number)) {
    return error = "bad number " + quoted + " for key \"" + std::string(key) + "\"", false;
  }
  if (key == "rate" && number <= 100) return rule.RatePercent = number, true;
  if (key == "rate") return error = "rate must be 0 to 100", false;
  if (key == "count") return rule.Count = number, true;
  if (key == "skip") return rule.Skip = number, true;
  if (key == "ms" && rule.Kind == TFaultKind::FK_DELAY) return rule.DelayMs = number, true;
  const bool noise = rule.Kind == TFaultKind::FK_GARBAGE || rule.Kind == TFaultKind::FK_CHATTER;
  if (key == "bytes" && noise && number <= 4096) {
    return rule.Bytes = number, true;
  }
  if (key == "size" && rule.Kind == TFaultKind::FK_SPLIT && number > 0) {
    return rule.PieceSize = number, true;
  }
  error =
      "key \"" + std::string(key) + "\" does not apply to this fault, or its value is out of range";
  return false;
}

}  // namespace

int ComponentCodeIndex(char code) {
  static constexpr std::string_view kCodes = "0123456789ACE";
  const size_t pos = kCodes.find(code);
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

bool TMemSelector::Matches(const TMemRef& mem) const {
  if (Kind == TMemKind::MK_ANY) return true;
  return Kind == mem.Kind && (Card < 0 || Card == mem.Card) && (Index < 0 || Index == mem.Index);
}

bool ParseMemSelector(std::string_view text, TMemSelector& out) {
  TMemSelector sel;
  if (text == "boot") {
    sel.Kind = TMemKind::MK_BOOT;
    out = sel;
    return true;
  }
  sel.Card = TakeCardPrefix(text);
  std::string_view rest;
  if (StartsWith(text, "bank")) {
    sel.Kind = TMemKind::MK_BANK;
    rest = text.substr(4);
    if (rest.size() == 1 && rest[0] >= '0' && rest[0] <= '7') sel.Index = rest[0] - '0';
  } else if (text == "e") {
    sel.Kind = TMemKind::MK_EMEM;
  } else if (StartsWith(text, "jtag")) {
    sel.Kind = TMemKind::MK_JTAG;
    rest = text.substr(4);
    if (rest.size() == 1 && std::string_view("89AC").find(rest[0]) != std::string_view::npos) {
      sel.Index = ComponentCodeIndex(rest[0]);
    }
  } else if (StartsWith(text, "version")) {
    sel.Kind = TMemKind::MK_VERSION;
    rest = text.substr(7);
    if (rest.size() == 1) sel.Index = ComponentCodeIndex(rest[0]);
  } else {
    return false;
  }
  if (!rest.empty() && sel.Index < 0) return false;  // an index that names nothing
  out = sel;
  return true;
}

bool ParseFaultRule(std::string_view text, TFaultRule& rule, std::string& error) {
  const size_t comma = text.find(',');
  const std::string_view name = text.substr(0, comma);
  const TKindName* kind = nullptr;
  for (const TKindName& k : kKinds) {
    if (name == k.name) kind = &k;
  }
  if (kind == nullptr) {
    error = "unknown fault \"" + std::string(name) + "\"";
    return false;
  }
  TFaultRule parsed;
  parsed.Kind = kind->kind;
  std::string_view rest = comma == std::string_view::npos ? "" : text.substr(comma + 1);
  while (!rest.empty()) {
    const size_t next = rest.find(',');
    const std::string_view item = rest.substr(0, next);
    rest = next == std::string_view::npos ? "" : rest.substr(next + 1);
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos) {
      error = "\"" + std::string(item) + "\" is not key=value";
      return false;
    }
    if (!ApplyKey(item.substr(0, eq), item.substr(eq + 1), kind->memory, parsed, error)) {
      error = "fault \"" + std::string(name) + "\": " + error;
      return false;
    }
  }
  if (parsed.Kind == TFaultKind::FK_DELAY && parsed.DelayMs == 0) {
    error = "fault \"delay\" needs ms=N (N > 0)";
    return false;
  }
  rule = std::move(parsed);
  return true;
}

std::string FaultRuleHelp() {
  return "Fault RULE: KIND[,key=value]...  (every rule is drawn from --seed)\n"
         "  Memory faults (key mem=MEMORY, default any memory):\n"
         "    resend            answer \"R\" (\"damaged, send it again\") to a line of an\n"
         "                      upload, a verify record, or a JTAG statement record or\n"
         "                      raw block; never to the end record of a JTAG playback,\n"
         "                      which the host does not send again\n"
         "    erase-fail        answer \"X\" instead of the erase confirmation (PB, P0-P7)\n"
         "    write-fail        answer \"X\" to a data record, a version text (V, UV) or\n"
         "                      a JTAG statement record\n"
         "    verify-fail       answer \"X\" to a verify record; on a JTAG chain, send\n"
         "                      captured bits that are wrong (with a right checksum)\n"
         "    read-fail         answer \"X\" instead of the version a \"T\" reads\n"
         "    capture-checksum  send captured JTAG data with a wrong checksum\n"
         "  Command faults (key cmd=TEXT, a prefix of the command, default any):\n"
         "    unknown           answer \"I\" and do not carry the command out\n"
         "    garbage           send noise bytes before the reply (bytes=N, default 1-8)\n"
         "    split             send the reply in pieces (size=N bytes, default random)\n"
         "    delay             hold the reply back ms=N milliseconds (required)\n"
         "    hang              send no reply and answer nothing ever after\n"
         "    chatter           send no reply but noise without pause, and answer nothing\n"
         "                      ever after (bytes=N per 10 ms, default 64: a full line)\n"
         "  Keys for every fault: rate=PERCENT (default 100), count=N (at most N times,\n"
         "    default no limit), skip=N (let the first N matching events pass).\n"
         "  MEMORY: boot | [CARD.]bank[0-7] | [CARD.]e | [CARD.]jtag[8|9|A|C] |\n"
         "          [CARD.]version[CODE], CARD = main or card0..card5 (default any card);\n"
         "          without a digit or code, any bank, chain or version of the card.\n"
         "  Command texts: ? yU @ > $ # (application), % 37 27 (boot loader), PB P0-P7 PE\n"
         "    P8 P9 PA PC D0-DC F0-FC FI FY FU RS NP V<code> UV T<code> Q0-Q5 Z0-Z5\n"
         "    M0-M5 L0, \":\" for record lines, \"raw\" for raw JTAG blocks, \"ack\" for the\n"
         "    host's acknowledgement of captured data.\n"
         "  Examples: resend,rate=10   write-fail,mem=card1.bank3,skip=5\n"
         "            unknown,cmd=T8   delay,cmd=M2,ms=3000   hang,cmd=P8,count=1\n"
         "            chatter,cmd=PB,skip=1\n";
}

TFaultPlan::TFaultPlan(const TFaultConfig& config) : random_state_(config.Seed) {
  for (const TFaultRule& r : config.Rules) rules_.push_back({r, 0, 0});
}

uint64_t TFaultPlan::NextRandom() {
  // splitmix64: the same sequence on every platform for a given seed.
  uint64_t z = (random_state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

bool TFaultPlan::Decide(TRuleState& state) {
  if (state.seen++ < state.rule.Skip) return false;
  if (state.rule.Count != 0 && state.fired >= state.rule.Count) return false;
  if (state.rule.RatePercent < 100 && NextRandom() % 100 >= state.rule.RatePercent) return false;
  ++state.fired;
  return true;
}

bool TFaultPlan::FireOnMemory(TFaultKind kind, const TMemRef& mem) {
  bool fired = false;
  for (TRuleState& s : rules_) {
    if (s.rule.Kind == kind && s.rule.Memory.Matches(mem) && Decide(s)) fired = true;
  }
  return fired;
}

const TFaultRule* TFaultPlan::FireOnCommand(TFaultKind kind, std::string_view command) {
  const TFaultRule* fired = nullptr;
  for (TRuleState& s : rules_) {
    if (s.rule.Kind != kind || !StartsWith(command, s.rule.Command)) continue;
    if (Decide(s) && fired == nullptr) fired = &s.rule;
  }
  return fired;
}
