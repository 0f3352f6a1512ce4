#include "engines/file_access.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "engines/card_table.h"
#include "engines/file_access_platform.h"

namespace fs = std::filesystem;

namespace {

std::string ToLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// The unique entry of `dir` whose name equals `name` ignoring case (ASCII letters
// only, as UTF-8 text), or "".
std::string CaseInsensitiveMatch(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec);
  if (ec) return {};
  const std::string wanted = ToLower(name);
  std::string found;
  int matches = 0;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string entry = Utf8FromPath(it->path().filename());
    if (ToLower(entry) == wanted) {
      found = entry;
      ++matches;
    }
  }
  return matches == 1 ? found : std::string();
}

std::string ErrnoText(int err) { return std::strerror(err); }

// Opens the resolved `path` for reading; a folder is refused as POSIX does.
std::FILE* OpenForReading(const std::string& path, std::string* error) {
  const fs::path resolved = PathFromUtf8(ResolvePath(path));
  std::error_code ec;
  if (fs::is_directory(resolved, ec)) {
    if (error) *error = ErrnoText(EISDIR);
    return nullptr;
  }
  std::string reason;
  std::FILE* file = OpenSharedForReading(resolved, reason);
  if (file == nullptr && error) *error = reason;
  return file;
}

// Puts `temp` in place of `target`, retrying while another program holds it.
bool ReplaceWithRetries(const fs::path& temp, const fs::path& target, const TReplaceWait& wait,
                        std::string& reason) {
  for (int attempt = 1;; ++attempt) {
    const TReplaceResult result = ReplaceFileOnce(temp, target, reason);
    if (result == TReplaceResult::RR_DONE) return true;
    if (result == TReplaceResult::RR_FAILED || !wait || !wait(attempt + 1)) return false;
  }
}

}  // namespace

fs::path PathFromUtf8(std::string_view utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string ResolvePath(const std::string& path) {
  std::string p = path;
  if (kPathSeparator != '\\') {
    for (char& c : p) {
      if (c == '\\') c = kPathSeparator;
    }
  }
  std::error_code ec;
  if (p.empty() || fs::exists(PathFromUtf8(p), ec)) return p;

  // Walk the components, keeping those that exist and resolving those that do not.
  const fs::path in = PathFromUtf8(p);
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
    const std::string match = CaseInsensitiveMatch(out, Utf8FromPath(part));
    if (match.empty()) return p;
    out = out.empty() ? PathFromUtf8(match) : out / PathFromUtf8(match);
  }
  return Utf8FromPath(out);
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(PathFromUtf8(ResolvePath(path)), ec);
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string* error) {
  bytes.clear();
  std::FILE* file = OpenForReading(path, error);
  if (file == nullptr) return false;
  char block[64 * 1024];
  size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
  const bool failed = std::ferror(file) != 0;
  const int err = errno;
  std::fclose(file);
  if (failed) {
    bytes.clear();
    if (error) *error = ErrnoText(err != 0 ? err : EIO);
    return false;
  }
  return true;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
  std::string content;
  for (const std::string& l : lines) {
    content += l;
    content += "\r\n";
  }
  return content;
}

bool LoadTextLines(const std::string& path, std::vector<std::string>& lines, std::string* error) {
  lines.clear();
  std::string text;
  if (!ReadFileBytes(path, text, error)) return false;
  lines = SplitTextLines(text);
  return true;
}

bool DefaultReplaceWait(int attempt) {
  constexpr int kRetries = 6;
  if (attempt < 2 || attempt > kRetries + 1) return false;
  SleepMs(10 << (attempt - 2));
  return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& content, std::string* error,
                     const TReplaceWait& wait) {
  const std::string target_text = ResolvePath(path);
  const std::string temp_text = target_text + ".tmp~";
  const fs::path target = PathFromUtf8(target_text);
  const fs::path temp = PathFromUtf8(temp_text);
  std::error_code ec;
  {
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      if (error) *error = "cannot create " + temp_text + ": " + ErrnoText(errno ? errno : EACCES);
      return false;
    }
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
      if (error) *error = "cannot write " + temp_text + ": " + ErrnoText(errno ? errno : EIO);
      fs::remove(temp, ec);
      return false;
    }
  }
  std::string reason;
  if (!ReplaceWithRetries(temp, target, wait, reason)) {
    if (error) *error = "cannot replace " + target_text + ": " + reason;
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool SaveTextLines(const std::string& path, const std::vector<std::string>& lines,
                   std::string* error) {
  return WriteFileAtomic(path, JoinTextLines(lines), error);
}

bool OpenForAppending(std::ofstream& stream, const std::string& path, std::string* error) {
  errno = 0;
  stream.open(PathFromUtf8(ResolvePath(path)), std::ios::app | std::ios::binary);
  if (stream.is_open()) return true;
  if (error) *error = ErrnoText(errno ? errno : EACCES);
  return false;
}

TLineReader::~TLineReader() { Close(); }

bool TLineReader::Open(const std::string& path, std::string* error) {
  Close();
  failed_ = false;
  file_ = OpenForReading(path, error);
  if (!file_) return false;
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
