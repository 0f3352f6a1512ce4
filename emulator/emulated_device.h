// TEmulatedDevice: the device's side of every exchange with the updater, bytes in
// and bytes out. It runs the application's variable protocol, the boot loader,
// the supervisor and, per card, the flash banks, the "E" memory, the version
// registers and four JTAG chains. Written from the device's side only: it shares
// no code with the host's engines or link. Front ends: TInProcessPort for tests,
// the qelt-emulator executable for a pseudo-terminal, UDP and TCP.
// Plain C++, single-threaded; time comes in as milliseconds from the caller.
// Wire: doc/protocol.md, whose worked examples protocol_doc_test.cpp replays here.
//
// Default identity (a revision-1 device; what the sample firmware package matches):
//   Application: "?" answers "DEV37" CR LF; writing 254 to the updater variable
//     ("254yU", echoed "UPD254" CR LF) enters the boot loader.
//   Boot loader: accepts type 37 ("27" is refused with "X"); identification reply
//     "6A5C01A7." (boot checksum 0x6A5C, identifier 0x01A7); for type 27 the reply
//     carries four more characters, "0201", before its ".".
//   Cards: main card (slot 255) and option cards 0-5, all present.
//   Versions: every component code of every card reads "0100".
//   MCU identifier ("D" + bank): main card "F" + bank digit ("F0".."F7"); option
//     card n: n + bank digit (card 2 bank 5: "25").
//   JTAG chains, the same on every card, devices from TDI to TDO; BYPASS is the
//   all-ones instruction; the IDCODE instruction is loaded by Test-Logic-Reset:
//     code 8: one device, IR 8 bits, IDCODE 0x1A5C80FF, IDCODE instr. 0x01,
//             USER instr. 0x02 selects a 32-bit user register
//     code 9: one device, IR 8 bits, IDCODE 0x1A5C90FF, IDCODE instr. 0x01,
//             USER instr. 0x02 (32 bits)
//     code A: one device, IR 10 bits, IDCODE 0x2B3CA0FF, IDCODE instr. 0x006,
//             USER instr. 0x002 (64 bits)
//     code C: two devices: IR 8 bits, IDCODE 0x3C4DC0FF, IDCODE instr. 0x01,
//             USER instr. 0x02 (32 bits); then IR 6 bits, IDCODE 0x3C4DD0FF,
//             IDCODE instr. 0x09, no user register
//   So "D8" answers "." + 32 hex digits + "." which the host shows as
//   [FFFFFFFF][1A5C80FF]; "DC" shows [3C4DC0FF][3C4DD0FF].
//   Memories: boot area 0x4000-0x5FFF (8 KiB), banks of 32 KiB (bank 0 at
//   0x0000-0x7FFF, banks 1-7 at 0x8000-0xFFFF), "E" memory of 256 bytes at
//   0x0000-0x00FF; all erased (0xFF) at first.
//
// Where the exchange leaves the device free, it does this:
//   "V" + code takes exactly four version characters after its "."; "UV" takes a
//   component code, optional blanks and four characters; a "." or a control
//   character among them is answered "X". Per-card commands (P, D, F, V, UV, T) go
//   to the card the bridge is open to ("Q" + n; "Z" + n closes it). "Q" + n is
//   answered "." whether or not card n is present (only a ping tells); behind a
//   bridge to an absent card the per-card commands are answered "I". "RS" closes
//   the bridge and any transfer; "FI" ends the update and the application runs
//   again; "%" synchronises again at any time.
//   Records with nothing open, data outside the memory's addresses and unknown
//   record types are answered "X"; flash keeps the AND of old and new data (so an
//   image needs its erase), the "E" memory is overwritten. Unknown characters in
//   the updater are answered "I"; blanks, line ends and control bytes are ignored.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/fault_plan.h"
#include "emulator/jtag_chain.h"
#include "emulator/jtag_session.h"

// The JTAG chains of the default identity, for codes 8, 9, A, C in this order.
std::array<std::vector<TJtagDevice>, 4> DefaultJtagChains();

// The chain behind a JTAG component code: '8' 0, '9' 1, 'A' 2, 'C' 3; -1 for any
// other character.
int JtagChainIndex(char code);

struct TDeviceConfig {
  uint32_t DeviceType = 37;        // reported as "DEV" in the application
  bool Silent = false;             // the application answers nothing (a device that
                                   // is switched off); the boot loader listens
  int BootType = 37;               // type the boot loader accepts: 37, 27, 0 = none
  uint16_t BootId = 0x01A7;        // identifier of the identification reply
  uint16_t BootChecksum = 0x6A5C;  // boot checksum of the identification reply
  std::string BootExtra = "0201";  // characters 9-12 of a type-27 reply
  std::array<bool, 6> CardPresent = {true, true, true, true, true, true};
  std::string InitialVersion = "0100";  // every version register at start
  std::array<std::vector<TJtagDevice>, 4> Chains = DefaultJtagChains();  // 8, 9, A, C
  TFaultConfig Faults;
};

// Counters a test or the executable's log can read.
struct TDeviceStats {
  uint32_t ResendRequests = 0;  // "R" sent (damaged lines and resend faults)
  uint32_t UnknownReplies = 0;  // "I" sent
  uint32_t Failures = 0;        // "X" sent
  uint32_t DroppedOutput = 0;   // bytes dropped because nobody took the output
  uint32_t EffectPlays = 0;     // JTAG playbacks opened ("P" + chain answered ".")
  uint64_t HeldBackMs = 0;      // replies held back by delay faults, in all
};

class TEmulatedDevice {
 public:
  static constexpr int kMainCardSlot = 255;
  static constexpr size_t kBankSize = 0x8000;
  static constexpr size_t kBootSize = 0x2000;
  static constexpr uint16_t kBootBase = 0x4000;
  static constexpr size_t kEMemorySize = 256;
  static constexpr size_t kMaxChatter = 4096;  // noise bytes handed out per call at most

  explicit TEmulatedDevice(TDeviceConfig config = {});
  TEmulatedDevice(const TEmulatedDevice&) = delete;
  TEmulatedDevice& operator=(const TEmulatedDevice&) = delete;

  // Takes bytes from the host, as they arrive (any split), and prepares the
  // replies. Nothing is handed out here: replies wait for TakeOutput. The
  // form without a time uses the last time the device was given. Times are the
  // caller's millisecond tick count: it never goes back, and may wrap at 2^32.
  void Receive(std::string_view host_bytes, uint32_t now_ms);
  void Receive(std::string_view host_bytes);

  // Everything whose time has come (a delayed reply holds back what follows it;
  // a hung device releases nothing more; a chattering one the noise of the time
  // since the last call, at most kMaxChatter bytes), as one text or as the pieces a
  // split fault asked for.
  std::string TakeOutput(uint32_t now_ms);
  std::vector<std::string> TakeOutputPieces(uint32_t now_ms);
  // When the next held-back reply is due (in the caller's tick count, which may
  // have wrapped by then), if any is waiting; for a chattering device, 10 ms on.
  std::optional<uint32_t> NextReleaseTime() const;

  // The application runs (the serial line is at 9600 bit/s); otherwise 57600.
  bool InApplicationMode() const;
  bool Hung() const { return hung_; }
  // A chatter fault fired: the device answers nothing and sends noise for ever.
  bool Chattering() const { return chatter_rate_ != 0; }
  // The card the supervisor's bridge is open to (0-5), or kMainCardSlot.
  int BridgedCard() const;

  // Memories and registers. card_slot is kMainCardSlot or 0..5; anything else
  // throws std::out_of_range, as do a bad bank or component code.
  const std::vector<uint8_t>& BootArea() const { return boot_area_; }
  const std::vector<uint8_t>& BankMemory(int card_slot, int bank) const;
  const std::vector<uint8_t>& EMemory(int card_slot) const;
  std::string Version(int card_slot, char code) const;
  void SetVersion(int card_slot, char code, const std::string& version);
  std::string McuId(int card_slot, int bank) const;
  const TJtagChain& Chain(int card_slot, char code) const;
  bool CardPresent(int card_slot) const;
  void SetCardPresent(int card_slot, bool present);
  const TDeviceConfig& Config() const { return config_; }
  const TDeviceStats& Stats() const { return stats_; }

  // Device state (identifiers, card presence, versions, memories, JTAG chains)
  // as text, and back. Loading replaces that state; on failure nothing changes
  // and `error` names the line at fault.
  std::string SaveStateText() const;
  bool LoadStateText(const std::string& text, std::string* error);
  // The same through a file. Saving writes a temporary file beside `path` and
  // renames it over `path`, so a reader never sees a half-written state.
  bool SaveState(const std::string& path, std::string* error) const;
  bool LoadState(const std::string& path, std::string* error);

 private:
  static constexpr int kMainIndex = 6;  // the main card's place in cards_, after slots 0-5

  // kMainCardSlot or 0..5 -> the card's place in cards_; throws std::out_of_range
  // for anything else.
  static int CardIndex(int card_slot);

  // Where the device's input goes next.
  enum class TDevState : uint8_t {
    DS_APP,           // application: variable protocol
    DS_BOOT_SYNC,     // boot loader waits for "%"
    DS_BOOT_TYPE,     // boot loader reads the proposed type (two characters)
    DS_COMMAND,       // updater: waits for a command's first character
    DS_COMMAND_ARG,   // updater: waits for a command's second character
    DS_VERSION_TEXT,  // "V" + code accepted: reads the four version characters
    DS_UV_CODE,       // "UV" accepted: reads the component code
    DS_UV_TEXT,       // "UV" code read: reads the four version characters
    DS_RECORD,        // reads a ":" line up to its line feed
    DS_RAW_BLOCK,     // reads the raw TDI block of a long SDR
    DS_CAPTURE_ACK,   // captured data sent: waits for the host's "." or "R"
  };
  // What the record lines currently go to.
  enum class TTarget : uint8_t {
    TG_NONE,  // nothing open: records are refused
    TG_BOOT,  // the boot area, after "PB"
    TG_BANK,  // a flash bank, after "P" + bank
    TG_EMEM,  // the "E" memory, after "PE"
    TG_JTAG,  // a JTAG playback, after "P" + 8, 9, A or C
  };
  struct TCard {
    bool present = true;
    std::array<std::vector<uint8_t>, 8> banks;
    std::vector<uint8_t> e_memory;
    std::array<std::string, 13> versions;  // by component code index
    std::array<std::string, 8> mcu_ids;
    std::array<TJtagChain, 4> chains;  // codes 8, 9, A, C
  };
  struct TOutChunk {
    uint64_t due = 0;                 // release time, on the device's 64-bit time
    std::vector<std::string> pieces;  // one piece unless a split fault cut it
    bool split = false;
  };

  void Feed(char c);
  // Application (device_app_mode.cpp).
  void FeedApp(char c);
  void AppVariable(const char* tag, uint32_t& variable, std::string_view key);
  // Boot loader and commands (device_commands.cpp).
  void FeedBootSync(char c);
  void FeedBootType(char c);
  void FeedCommand(char c);
  void FeedCommandArg(char c);
  void FeedVersionText(char c);
  void FeedUvCode(char c);
  void FeedUvText(char c);
  void Execute(const std::string& key);
  void ExecuteProgram(const std::string& key);
  void ExecuteRead(const std::string& key);
  void ExecuteFinish(const std::string& key);
  void ExecuteSupervisor(const std::string& key);
  void StoreVersion();
  void EndUpdateSession();
  // Records (device_records.cpp).
  void FeedRecord(char c);
  void FeedRawBlock(char c);
  void FeedCaptureAck(char c);
  void HandleRecordLine();
  bool MayAskAgain(const TDeviceRecord& record) const;  // may a resend fault hit it?
  void HandleMemoryRecord(const TDeviceRecord& record);
  void HandleJtagRecord(const TDeviceRecord& record);
  void HandleJtagResult(const TJtagResult& result, std::string_view key);
  void SendCapture(std::string_view key);
  bool WriteData(const TDeviceRecord& record);
  uint16_t TargetSum() const;
  void CloseTarget();
  // Output (emulated_device.cpp).
  void SetNow(uint32_t now_ms);  // advances now_ by the ticks since now_ms_
  void Reply(std::string_view key, std::string text);
  std::string Noise(const TFaultRule& rule);
  std::string NoiseBytes(uint64_t count);
  std::string Chatter();  // the noise of the time since the last call
  TOutChunk MakeChunk(std::string_view key, std::string text);
  void Refuse(std::string_view key) { Reply(key, "I"); }

  TCard& CurrentCard();
  TCard& CardAt(int card_slot);
  const TCard& CardAt(int card_slot) const;
  int CurrentCardIndex() const;
  TMemRef TargetRef() const;
  using TCards = std::array<TCard, 7>;  // option cards 0-5, main card at 6
  // The cards `config` describes, with no memory yet (EraseMemories gives it).
  static TCards MakeCards(const TDeviceConfig& config);
  // Every memory erased (0xFF), at its size; reuses what is already allocated.
  void EraseMemories();
  // A "mem" line of a state file being loaded: kept aside until every line passed.
  struct TMemWrite {
    int card = -1;  // place in cards_, or -1 for the boot area
    int bank = 0;   // 0-7, or 8 for the "E" memory
    size_t offset = 0;
    std::vector<uint8_t> data;
  };
  std::vector<uint8_t>& MemoryOf(const TMemWrite& write);
  // State file lines (device_state_file.cpp). False with `error` (no line number).
  static bool ApplyStateLine(const std::string& line, TDeviceConfig& config, TCards& cards,
                             std::vector<TMemWrite>& writes, std::string& error);
  static bool ApplyCardLine(const std::vector<std::string>& words, const std::string& line,
                            TCard& card, std::string& error);
  static bool ApplyMemLine(const std::vector<std::string>& words, std::vector<TMemWrite>& writes,
                           std::string& error);

  TDeviceConfig config_;
  TFaultPlan faults_;
  TDeviceStats stats_;
  TDevState state_ = TDevState::DS_APP;
  bool hung_ = false;
  uint32_t chatter_rate_ = 0;  // chattering: noise bytes per 10 ms (0: quiet)
  uint64_t chatter_from_ = 0;  // the device's time up to which noise was sent
  uint32_t now_ms_ = 0;        // the caller's tick count last given
  uint64_t now_ = 0;           // the device's time: the ticks given so far, never wrapping
  std::deque<TOutChunk> output_;
  size_t output_bytes_ = 0;

  // Application variables and the number being typed.
  uint32_t addr_dbg_ = 0, data_dbg_ = 0, updater_ = 0;
  std::string app_number_;  // digits typed before a command (at most 10)
  bool app_number_overflow_ = false;
  bool app_y_ = false;  // "y" seen, "U" may follow

  std::string type_text_;       // the proposed boot type being read
  char pending_ = 0;            // first character of a two-character command
  std::string text_;            // version text, record line or raw block being read
  bool line_overflow_ = false;  // the record line outgrew its cap; answered "R"
  char version_code_ = 0;
  std::string version_key_;
  size_t raw_length_ = 0;

  std::vector<uint8_t> boot_area_;
  TCards cards_;
  int bridge_ = 6;  // card index the per-card commands go to
  TTarget target_ = TTarget::TG_NONE;
  int target_index_ = 0;  // bank, or chain 0-3
  int target_card_ = 6;
  std::optional<TJtagSession> session_;
  std::vector<uint8_t> captured_;  // the last captured data, for a resend
};
