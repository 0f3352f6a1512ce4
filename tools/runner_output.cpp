#include "tools/runner_output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "engines/ms_clock.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

std::string HexByte(unsigned char c) { return {kHexDigits[c >> 4], kHexDigits[c & 0x0F]}; }

int Percent(int position, int max) {
  if (max <= 0) return 100;
  return std::clamp(static_cast<int>(static_cast<int64_t>(position) * 100 / max), 0, 100);
}

const char* const kBarLabels[3] = {"Operation ", "Card      ", "Script    "};
const char* const kJsonBarNames[3] = {"operation", "card", "script"};

std::string TraceLine(TTraceDir dir, const std::string& bytes) {
  return (dir == TTraceDir::TRACE_SENT ? "> " : "< ") + TraceText(bytes);
}

}  // namespace

std::string TraceText(std::string_view bytes) {
  if (bytes.size() <= kTraceLineBytes) return EscapeBytes(bytes);
  return EscapeBytes(bytes.substr(0, kTraceLineBytes)) + " ... (+" +
         std::to_string(bytes.size() - kTraceLineBytes) + " bytes not shown)";
}

std::string CapLogLine(const std::string& text) {
  if (text.size() <= kLogLineChars) return text;
  return text.substr(0, kLogLineChars) + " ... (+" + std::to_string(text.size() - kLogLineChars) +
         " characters not shown)";
}

std::string JsonQuote(std::string_view text) {
  std::string json = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        json += "\\\"";
        break;
      case '\\':
        json += "\\\\";
        break;
      case '\n':
        json += "\\n";
        break;
      case '\r':
        json += "\\r";
        break;
      case '\t':
        json += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          json += "\\u00" + HexByte(c);
        } else {
          json += static_cast<char>(c);
        }
    }
  }
  return json + "\"";
}

std::string FormatTimestamp(const std::tm& time, int milliseconds) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", time.tm_year + 1900,
                time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                milliseconds);
  return text;
}

std::string NowTimestamp() {
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return FormatTimestamp(local, static_cast<int>(ms.count() % 1000));
}

std::string ProgressBarText(int position, int max, int width) {
  int percent = Percent(position, max);
  int filled = max <= 0 ? width
                        : std::clamp(static_cast<int>(static_cast<int64_t>(position) * width / max),
                                     0, width);
  char number[8];
  std::snprintf(number, sizeof number, "%3d%%", percent);
  return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "] " + number;
}

// --- TPlainOutput -------------------------------------------------------------------

void TPlainOutput::Log(const std::string& text) { out_ << text << '\n' << std::flush; }

void TPlainOutput::Trace(TTraceDir dir, const std::string& bytes) {
  out_ << TraceLine(dir, bytes) << '\n' << std::flush;
}

void TPlainOutput::Finding(const TFinding& finding) {
  err_ << FormatFinding(finding) << '\n' << std::flush;
}

void TPlainOutput::Error(const std::string& message, const std::string& script, int) {
  err_ << message << '\n' << script << '\n' << std::flush;
}

void TPlainOutput::Done(const std::string&) { out_ << std::flush; }

std::string FindingJson(const TFinding& finding) {
  const bool error = finding.Severity == TFindingSeverity::FIND_ERROR;
  return std::string("{\"event\":\"finding\",\"severity\":\"") + (error ? "error" : "warning") +
         "\",\"path\":" + JsonQuote(finding.Path) + ",\"line\":" + std::to_string(finding.Line) +
         ",\"message\":" + JsonQuote(finding.Text) + "}";
}

// --- TTerminalOutput ----------------------------------------------------------------

TTerminalOutput::TTerminalOutput(std::ostream& out, std::ostream& err, TMsClock& clock, int width)
    : out_(out), err_(err), clock_(clock), width_(std::max(width, 40)) {}

std::string TTerminalOutput::Fit(const std::string& text) const {
  std::string line = EscapeBytes(text);
  size_t room = static_cast<size_t>(width_ - 1);
  if (line.size() > room) line = line.substr(0, room - 3) + "...";
  return line;
}

void TTerminalOutput::EraseBlock() {
  if (!drawn_) return;
  out_ << "\x1b[4F\x1b[J";  // to the block's first line, then clear to the end
  drawn_ = false;
}

void TTerminalOutput::DrawBlock() {
  int cells = width_ - 18;
  for (int bar = 0; bar < 3; ++bar) {
    out_ << kBarLabels[bar] << ProgressBarText(state_.Position[bar], state_.Max[bar], cells)
         << '\n';
  }
  out_ << Fit(activity_) << '\n' << std::flush;
  drawn_ = true;
  last_draw_ = clock_.TickCount();
}

void TTerminalOutput::Redraw(bool force) {
  if (!force && drawn_ && clock_.TickCount() - last_draw_ < kRedrawMs) return;
  EraseBlock();
  DrawBlock();
}

void TTerminalOutput::Log(const std::string& text) {
  EraseBlock();
  out_ << text << '\n';
  activity_ = text;
  DrawBlock();
}

void TTerminalOutput::Activity(const std::string& text) {
  activity_ = text;
  Redraw(false);
}

void TTerminalOutput::Progress(const TProgressState& state) {
  if (state == state_ && drawn_) return;
  state_ = state;
  Redraw(false);
}

void TTerminalOutput::Trace(TTraceDir dir, const std::string& bytes) {
  EraseBlock();
  out_ << TraceLine(dir, bytes) << '\n';
  DrawBlock();
}

void TTerminalOutput::Finding(const TFinding& finding) {
  EraseBlock();
  err_ << FormatFinding(finding) << '\n' << std::flush;
  DrawBlock();
}

void TTerminalOutput::Error(const std::string& message, const std::string& script, int) {
  Redraw(true);
  err_ << message << '\n' << script << '\n' << std::flush;
}

void TTerminalOutput::Done(const std::string&) { Redraw(true); }

// --- TJsonOutput --------------------------------------------------------------------

void TJsonOutput::Write(const std::string& event, const std::string& fields) {
  out_ << "{\"event\":" << JsonQuote(event) << ",\"time\":" << JsonQuote(stamp_()) << fields
       << "}\n"
       << std::flush;
}

void TJsonOutput::Log(const std::string& text) { Write("log", ",\"text\":" + JsonQuote(text)); }

void TJsonOutput::Progress(const TProgressState& state) {
  bool changed = false;
  for (int bar = 0; bar < 3; ++bar) {
    int percent = Percent(state.Position[bar], state.Max[bar]);
    changed = changed || percent != percent_[bar] || state.Max[bar] != max_[bar];
    percent_[bar] = percent;
    max_[bar] = state.Max[bar];
  }
  if (!changed) return;
  std::string fields;
  for (int bar = 0; bar < 3; ++bar) {
    fields += ",\"" + std::string(kJsonBarNames[bar]) +
              "\":{\"position\":" + std::to_string(state.Position[bar]) +
              ",\"max\":" + std::to_string(state.Max[bar]) + "}";
  }
  Write("progress", fields);
}

void TJsonOutput::Trace(TTraceDir dir, const std::string& bytes) {
  Write("trace", std::string(",\"direction\":") +
                     (dir == TTraceDir::TRACE_SENT ? "\"sent\"" : "\"received\"") +
                     ",\"data\":" + JsonQuote(TraceText(bytes)));
}

void TJsonOutput::Finding(const TFinding& finding) {
  out_ << FindingJson(finding) << '\n' << std::flush;
}

void TJsonOutput::Error(const std::string& message, const std::string& script, int exit_code) {
  Write("error", ",\"message\":" + JsonQuote(message) + ",\"script\":" + JsonQuote(script) +
                     ",\"exit\":" + std::to_string(exit_code));
}

void TJsonOutput::Done(const std::string& text) {
  Write("done", ",\"message\":" + JsonQuote(text) + ",\"exit\":0");
}

// --- TLogFileOutput -----------------------------------------------------------------

void TLogFileOutput::Line(const std::string& text) {
  out_ << stamp_() << "  " << text << '\n' << std::flush;
}

void TLogFileOutput::Log(const std::string& text) { Line(text); }

void TLogFileOutput::Trace(TTraceDir dir, const std::string& bytes) { Line(TraceLine(dir, bytes)); }

void TLogFileOutput::Finding(const TFinding& finding) { Line(FormatFinding(finding)); }

void TLogFileOutput::Error(const std::string& message, const std::string& script, int) {
  Line(message);
  Line(script);
}

void TLogFileOutput::Done(const std::string&) {}
