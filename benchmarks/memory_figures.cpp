#include "benchmarks/memory_figures.h"

#include <cctype>

namespace {

// The value of `key` (e.g. "VmRSS:") in kB, or -1. The key must start a line and
// the number must be followed by the unit "kB".
long FigureOf(std::string_view text, std::string_view key) {
  size_t at = 0;
  while ((at = text.find(key, at)) != std::string_view::npos) {
    if (at == 0 || text[at - 1] == '\n') break;
    at += key.size();
  }
  if (at == std::string_view::npos) return -1;
  size_t i = at + key.size();
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  long value = 0;
  size_t digits = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
    if (value > 1'000'000'000'000L) return -1;  // no process is that large: damaged text
    value = value * 10 + (text[i] - '0');
  }
  if (digits == 0) return -1;
  while (i < text.size() && text[i] == ' ') ++i;
  if (text.substr(i, 2) != "kB") return -1;
  return value;
}

}  // namespace

bool ParseMemFigures(std::string_view status_text, TMemFigures& figures) {
  figures.RssKiB = FigureOf(status_text, "VmRSS:");
  figures.HwmKiB = FigureOf(status_text, "VmHWM:");
  return figures.RssKiB >= 0 || figures.HwmKiB >= 0;
}
