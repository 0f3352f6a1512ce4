#include "app/run_story.h"

#include <cstdio>

#include "engines/card_table.h"
#include "engines/text_util.h"

namespace {

const char* const kCardKinds[kOptionCardCount] = {"keyboard",  "SD scaler", "SD scaler",
                                                  "HD scaler", "HD scaler", "extended input"};

const char* const kComponentNames[kCardCodeCount] = {"MCU",  "MCU",   "MCU", "MCU",    "MCU",
                                                     "MCU",  "MCU",   "MCU", "PROM 1", "PROM 2",
                                                     "CPLD", "CPLDs", "EDID"};

bool IsOptionCard(int card) { return card >= 0 && card < kOptionCardCount; }

}  // namespace

std::string EscapeBytes(std::string_view bytes) { return EscapeText(bytes, false); }

std::string QuotedSample(std::string_view sample, uint64_t total) {
  return "\"" + EscapeBytes(sample) + (total > sample.size() ? "..." : "") + "\"";
}

std::string SecondsText(uint32_t ms) {
  std::string seconds = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03u", ms % 1000);
    seconds += fraction;
    seconds.erase(seconds.find_last_not_of('0') + 1);
  }
  return seconds + " s";
}

std::string CardName(int card) {
  return IsOptionCard(card) ? OptionCards[static_cast<size_t>(card)].name : MainCard.name;
}

std::string CardKind(int card) { return IsOptionCard(card) ? kCardKinds[card] : "main"; }

std::string ComponentName(int component) {
  return component >= 0 && component < kCardCodeCount ? kComponentNames[component] : "?";
}

std::string AbsentCardNote(int card) {
  return "Card " + std::to_string(card) + " (" + CardKind(card) + ") not present: skipped";
}

std::string CardNotSelectedNote(int card) {
  if (!IsOptionCard(card)) return "Main card (" + MainCard.name + ") not selected: skipped";
  return "Card " + std::to_string(card) + " (" + CardKind(card) + ") not selected: skipped";
}

std::string ComponentNotSelectedNote(int card, int component) {
  return CardName(card) + " " + ComponentName(component) + " not selected: skipped";
}

std::string EffectPlayedNote(const std::string& file, const std::string& chain, int statements) {
  return "Effect file " + file + " played on chain " + chain + ": " + std::to_string(statements) +
         (statements == 1 ? " statement" : " statements");
}

std::string UnwrittenScriptNote(const std::string& path, const std::string& reason) {
  return "Could not write " + path + " (" + reason +
         "): this run goes on with the edited lines, the file is left as it was";
}

std::string StillWaitingNote(uint32_t ms, const std::string& awaited, uint64_t received,
                             std::string_view sample) {
  const std::string tail = " (still waiting; press STOP to end the run)";
  if (received == 0) {
    return "No answer from the device for " + SecondsText(ms) + " while waiting for " + awaited +
           tail;
  }
  return "Nothing usable from the device for " + SecondsText(ms) + " while waiting for " + awaited +
         ": received " + QuotedSample(sample, received) + " (" + std::to_string(received) +
         (received == 1 ? " byte)" : " bytes)") + tail;
}
