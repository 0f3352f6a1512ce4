#include "engines/file_access.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "engines/card_table.h"

namespace fs = std::filesystem;

namespace {

std::string ToLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// The unique entry of `dir` whose name equals `name` ignoring case, or "".
std::string CaseInsensitiveMatch(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec);
  if (ec) return {};
  const std::string wanted = ToLower(name);
  std::string found;
  int matches = 0;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string entry = it->path().filename().string();
    if (ToLower(entry) == wanted) {
      found = entry;
      ++matches;
    }
  }
  return matches == 1 ? found : std::string();
}

std::string ErrnoText(int err) { return std::strerror(err); }

}  // namespace

std::string ResolvePath(const std::string& path) {
  std::string p = path;
  if (kPathSeparator != '\\') {
    for (char& c : p) {
      if (c == '\\') c = kPathSeparator;
    }
  }
  std::error_code ec;
  if (p.empty() || fs::exists(p, ec)) return p;

  // Walk the components, keeping those that exist and resolving those that do not.
  fs::path in(p);
  fs::path out;
  bool first = true;
  for (const fs::path& part : in) {
    fs::path candidate = first ? part : out / part;
    first = false;
    if (part == in.root_path() || part == in.root_name() || part == in.root_directory() ||
        part.empty() || fs::exists(candidate, ec)) {
      out = candidate;
      continue;
    }
    std::string match = CaseInsensitiveMatch(out, part.string());
    if (match.empty()) return p;
    out = out.empty() ? fs::path(match) : out / match;
  }
  return out.string();
}

bool LoadTextLines(const std::string& path, std::vector<std::string>& lines, std::string* error) {
  lines.clear();
  const std::string resolved = ResolvePath(path);
  std::error_code ec;
  if (fs::is_directory(resolved, ec)) {
    if (error) *error = ErrnoText(EISDIR);
    return false;
  }
  errno = 0;
  std::ifstream in(resolved, std::ios::binary);
  if (!in) {
    if (error) *error = ErrnoText(errno ? errno : ENOENT);
    return false;
  }
  std::ostringstream buf;
  buf << in.rdbuf();
  if (in.bad()) {
    if (error) *error = ErrnoText(errno ? errno : EIO);
    return false;
  }
  const std::string text = buf.str();
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& content, std::string* error) {
  const std::string target = ResolvePath(path);
  const std::string temp = target + ".tmp~";
  {
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      if (error) *error = ErrnoText(errno ? errno : EACCES);
      return false;
    }
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out) {
      if (error) *error = ErrnoText(errno ? errno : EIO);
      out.close();
      std::remove(temp.c_str());
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    if (error) *error = ec.message();
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool SaveTextLines(const std::string& path, const std::vector<std::string>& lines,
                   std::string* error) {
  std::string content;
  for (const std::string& l : lines) {
    content += l;
    content += "\r\n";
  }
  return WriteFileAtomic(path, content, error);
}

TLineReader::~TLineReader() { Close(); }

bool TLineReader::Open(const std::string& path, std::string* error) {
  Close();
  failed_ = false;
  const std::string resolved = ResolvePath(path);
  std::error_code ec;
  if (fs::is_directory(resolved, ec)) {
    if (error) *error = ErrnoText(EISDIR);
    return false;
  }
  errno = 0;
  file_ = std::fopen(resolved.c_str(), "rb");
  if (!file_) {
    if (error) *error = ErrnoText(errno ? errno : ENOENT);
    return false;
  }
  buf_.resize(64 * 1024);
  pos_ = len_ = 0;
  return true;
}

bool TLineReader::Fill() {
  if (!file_) return false;
  pos_ = 0;
  len_ = std::fread(buf_.data(), 1, buf_.size(), file_);
  if (len_ == 0 && std::ferror(file_)) failed_ = true;
  return len_ > 0;
}

bool TLineReader::ReadLine(std::string& line) {
  line.clear();
  if (!file_) return false;
  bool any = false;
  for (;;) {
    if (pos_ == len_ && !Fill()) return failed_ ? false : any;
    any = true;
    const char* start = buf_.data() + pos_;
    const size_t avail = len_ - pos_;
    const char* end = start;
    while (end < start + avail && *end != '\n' && *end != '\r') ++end;
    line.append(start, static_cast<size_t>(end - start));
    pos_ += static_cast<size_t>(end - start);
    if (pos_ == len_) continue;  // no line end in this block yet
    const char c = buf_[pos_++];
    if (c == '\r') {
      // CR LF counts as one line end, also when the LF starts the next block.
      if (pos_ == len_ && !Fill()) return !failed_;
      if (buf_[pos_] == '\n') ++pos_;
    }
    return true;
  }
}

void TLineReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  pos_ = len_ = 0;
}
