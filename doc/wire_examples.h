// The worked examples of doc/protocol.md, read for the tests that replay them:
// emulator/protocol_doc_test.cpp (the device's side), engines/protocol_doc_test.cpp
// and link/protocol_doc_test.cpp (the host's side). The notation is the document's
// own ("Notation and worked examples"): fenced blocks headed "wire" (with words
// saying where the device starts) and "file NAME". A line that does not read
// exactly as the notation says makes the reading fail, naming the document's line,
// so a slip in the document fails the tests instead of being skipped.
// Header-only plain C++ for tests; no state.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// One line of a "wire" block.
struct TWireLine {
  enum class TKind { WL_SCRIPT, WL_HOST, WL_DEVICE, WL_PAUSE, WL_INFO, WL_ERROR };
  TKind Kind = TKind::WL_HOST;
  std::string Text;      // the unescaped bytes or text; empty for WL_PAUSE
  uint32_t PauseMs = 0;  // WL_PAUSE only
  int DocLine = 0;       // line number in the document
};

struct TWireExample {
  std::string Section;             // the "## " heading it stands under
  std::vector<std::string> Words;  // the fence's words after "wire"
  std::vector<TWireLine> Lines;
  int DocLine = 0;  // line of the opening fence

  bool Has(std::string_view word) const {
    for (const std::string& w : Words) {
      if (w == word) return true;
    }
    return false;
  }
  bool HasScript() const {
    for (const TWireLine& l : Lines) {
      if (l.Kind == TWireLine::TKind::WL_SCRIPT) return true;
    }
    return false;
  }
};

struct TDocFile {
  std::string Name;
  std::string Content;  // lines joined with "\n", ending with one
};

struct TProtocolDoc {
  std::vector<std::string> Sections;  // every "## " heading, in order
  std::vector<TWireExample> Examples;
  std::vector<TDocFile> Files;
};

namespace wire_examples_detail {

inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads a quoted, escaped text at the start of `rest` into `out`; false when the
// quotes or an escape are malformed.
inline bool ReadQuoted(std::string_view rest, std::string& out) {
  if (rest.empty() || rest[0] != '"') return false;
  for (size_t i = 1; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= rest.size()) return false;
    switch (rest[i]) {
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'e':
        out += '\x1B';
        break;
      case '\\':
      case '"':
        out += rest[i];
        break;
      case 'x': {
        if (i + 2 >= rest.size()) return false;
        const int hi = HexValue(rest[i + 1]);
        const int lo = HexValue(rest[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return false;  // no closing quote
}

inline std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

// Parses one line of a wire block; false when it is not in the notation.
inline bool ParseWireLine(std::string_view text, TWireLine& line) {
  using K = TWireLine::TKind;
  struct TKeyword {
    std::string_view word;
    K kind;
  };
  const TKeyword keywords[] = {{"script", K::WL_SCRIPT}, {">", K::WL_HOST},
                               {"<", K::WL_DEVICE},      {"pause", K::WL_PAUSE},
                               {"info", K::WL_INFO},     {"error", K::WL_ERROR}};
  for (const TKeyword& k : keywords) {
    if (text.substr(0, k.word.size()) != k.word || text.size() == k.word.size() ||
        text[k.word.size()] != ' ') {
      continue;
    }
    line.Kind = k.kind;
    const std::string_view rest = SkipBlanks(text.substr(k.word.size()));
    if (k.kind != K::WL_PAUSE) return ReadQuoted(rest, line.Text);
    const std::string number(rest.substr(0, rest.find(' ')));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    line.PauseMs = static_cast<uint32_t>(std::stoul(number));
    return true;
  }
  return false;
}

inline std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> words;
  std::istringstream in{std::string(s)};
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

}  // namespace wire_examples_detail

// doc/protocol.md: from the test environment's source folder, else beside this header.
inline std::filesystem::path ProtocolDocPath() {
  if (const char* src = std::getenv("QELT_SOURCE_DIR")) {
    return std::filesystem::path(src) / "doc" / "protocol.md";
  }
  return std::filesystem::path(__FILE__).parent_path() / "protocol.md";
}

// Reads the document's headings, wire blocks and files. False with `error` naming
// the document's line when a block's line is not in the notation.
inline bool ReadProtocolDoc(const std::filesystem::path& path, TProtocolDoc& doc,
                            std::string& error) {
  using namespace wire_examples_detail;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path.string();
    return false;
  }
  enum class TBlock { B_NONE, B_WIRE, B_FILE, B_OTHER } block = TBlock::B_NONE;
  std::string section;
  int number = 0;
  for (std::string text; std::getline(in, text);) {
    ++number;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::string where = path.filename().string() + ":" + std::to_string(number) + ": ";
    if (text.rfind("```", 0) == 0) {
      if (block != TBlock::B_NONE) {
        block = TBlock::B_NONE;
        continue;
      }
      const std::vector<std::string> words = Words(std::string_view(text).substr(3));
      if (!words.empty() && words[0] == "wire") {
        block = TBlock::B_WIRE;
        doc.Examples.push_back({section, {words.begin() + 1, words.end()}, {}, number});
      } else if (!words.empty() && words[0] == "file" && words.size() == 2) {
        block = TBlock::B_FILE;
        doc.Files.push_back({words[1], ""});
      } else {
        block = TBlock::B_OTHER;
      }
      continue;
    }
    if (block == TBlock::B_WIRE) {
      TWireLine line;
      line.DocLine = number;
      if (!ParseWireLine(text, line)) {
        error = where + "not a wire line: " + text;
        return false;
      }
      doc.Examples.back().Lines.push_back(std::move(line));
    } else if (block == TBlock::B_FILE) {
      doc.Files.back().Content += text + "\n";
    } else if (block == TBlock::B_NONE && text.rfind("## ", 0) == 0) {
      section = text.substr(3);
      doc.Sections.push_back(section);
    }
  }
  if (block != TBlock::B_NONE) {
    error = path.filename().string() + ": a block is not closed";
    return false;
  }
  return true;
}
