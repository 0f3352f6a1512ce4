// Small text helpers shared by the engines and the application: trimming as the
// script rules define it (blanks and control characters, i.e. bytes <= 0x20), and
// bytes from the device made readable for a message.
#pragma once

#include <string>
#include <string_view>

// Removes bytes <= 0x20 from both ends.
std::string Trim(std::string_view s);
// The same as a view into `s`, copying nothing (for tests run on every line).
std::string_view TrimView(std::string_view s);
// Removes bytes <= 0x20 from the start only.
std::string TrimLeft(std::string_view s);

inline bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// Bytes as readable text: printable ASCII as is, backslash doubled, CR LF TAB ESC
// as \r \n \t \e, every other byte as \xHH (upper-case digits); with
// `escape_quote` a double quote is preceded by a backslash too.
std::string EscapeText(std::string_view bytes, bool escape_quote);

// Bytes as readable text for a message that quotes them (EscapeText with the
// double quote escaped), as the runner's trace writes them.
std::string EscapeForMessage(std::string_view bytes);
