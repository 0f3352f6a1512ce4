#include "engines/text_util.h"

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }
}  // namespace

std::string_view TrimView(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string Trim(std::string_view s) { return std::string(TrimView(s)); }

std::string TrimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string EscapeText(std::string_view bytes, bool escape_quote) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const unsigned char c : bytes) {
    switch (c) {
      case '\\':
        text += "\\\\";
        break;
      case '"':
        text += escape_quote ? "\\\"" : "\"";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\t':
        text += "\\t";
        break;
      case 0x1B:
        text += "\\e";
        break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          text += static_cast<char>(c);
        } else {
          text += {'\\', 'x', kDigits[c >> 4], kDigits[c & 0x0F]};
        }
    }
  }
  return text;
}

std::string EscapeForMessage(std::string_view bytes) { return EscapeText(bytes, true); }
