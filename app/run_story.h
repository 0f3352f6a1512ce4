// The words in which a run tells its story: the names of cards and components, the
// status-log notes the core adds (absent cards, the operator's selection, Effect files
// played, a card script kept in memory, a silent or unreadable device), and the
// escaping of device bytes for people. Used by the core (TMainFich), the runner and
// their tests, so each text is written once. Plain C++, no state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Bytes as readable text: printable ASCII as is, backslash doubled, CR LF TAB ESC
// as \r \n \t \e, every other byte as \xHH.
std::string EscapeBytes(std::string_view bytes);
// The first bytes of `total` received, escaped and quoted, with "..." inside the
// quotes when `total` is more than the sample holds: "\"ZZZ\\x01...\"".
std::string QuotedSample(std::string_view sample, uint64_t total);

// "60 s", "0.5 s", "1.25 s": milliseconds as seconds, without trailing zeros.
std::string SecondsText(uint32_t ms);

// "VI3" for the main card (255), "KEYB3" .. "OPT_IN" for option cards 0..5.
std::string CardName(int card);
// What an option card 0..5 is: "keyboard", "SD scaler", "HD scaler", "extended input".
std::string CardKind(int card);
// "MCU", "PROM 1", "PROM 2", "CPLD", "CPLDs", "EDID" for a component index 0..12
// (the component selection's names), "?" for any other index.
std::string ComponentName(int component);

// "Card 2 (SD scaler) not present: skipped".
std::string AbsentCardNote(int card);
// Manual mode: "Card 1 (SD scaler) not selected: skipped", "Main card (VI3) not
// selected: skipped" (card 255).
std::string CardNotSelectedNote(int card);
// Manual mode: "VI3 CPLD not selected: skipped" (card 255 or 0..5).
std::string ComponentNotSelectedNote(int card, int component);
// "Effect file opt_in\VI3_CPLD.svf played on chain A: 57 statements".
std::string EffectPlayedNote(const std::string& file, const std::string& chain, int statements);
// The card script could not be written: "Could not write PATH (REASON): this run
// goes on with the edited lines, the file is left as it was".
std::string UnwrittenScriptNote(const std::string& path, const std::string& reason);

// The window's note when nothing moved for `ms` while the run waits on the device
// for `awaited` (words of TMainFich::Awaited): "No answer from the device for 30 s
// while waiting for the boot loader (still waiting; press STOP to end the run)"; or,
// when `received` bytes came meanwhile (the first of them in `sample`), "Nothing
// usable from the device for 30 s while waiting for the boot loader: received
// \"ZZZ\" (3 bytes) (still waiting; press STOP to end the run)".
std::string StillWaitingNote(uint32_t ms, const std::string& awaited, uint64_t received,
                             std::string_view sample);
