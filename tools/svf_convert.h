// The core of qelt-svf2eff: turns a vendor's SVF file into an Effect file, the
// one-statement-per-line subset the JTAG engine plays. It joins statements that
// span lines, drops comments (or keeps them as "//" lines), drops FREQUENCY and
// zero-length header and trailer statements with a note, folds non-zero headers
// and trailers into the shifts they belong to, writes every SIR and SDR with its
// fields in full (SVF carries TDI, MASK and SMASK from one statement to the next;
// the Effect language does not), and turns RUNTEST times into clock counts. What
// the language cannot express is refused, statement by statement, with the reason.
// Plain C++, no I/O: text in, lines and messages out. Used by svf2eff_main.cpp and
// the tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TSvfOptions {
  uint64_t TckHz = 0;         // clock of the chain, for RUNTEST times; 0: unknown
  bool KeepComments = false;  // "!" and "//" comments become "//" lines
};

// A note (something dropped or changed on the way) or a refusal (a statement the
// Effect language cannot express), at the line where its statement begins.
struct TSvfMessage {
  int32_t Line = 0;
  std::string Text;
};

struct TSvfConversion {
  std::vector<std::string> Lines;     // the Effect file, one statement per line
  std::vector<TSvfMessage> Notes;     // what was dropped or changed
  std::vector<TSvfMessage> Refusals;  // what cannot be expressed; none: it converted
  bool Ok() const { return Refusals.empty(); }
};

// Converts the whole text of an SVF file.
TSvfConversion ConvertSvf(std::string_view text, const TSvfOptions& options);

// "file:line: text" for a refusal, "file:line: note: text" for a note.
std::string FormatSvfRefusal(const std::string& file, const TSvfMessage& message);
std::string FormatSvfNote(const std::string& file, const TSvfMessage& message);
