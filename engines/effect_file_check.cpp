#include "engines/effect_file_check.h"

#include <limits>

#include "engines/effect_language.h"

bool TEffectFileCheck::Open(const std::string& path, std::string* error) {
  faults_.clear();
  fault_count_ = 0;
  lines_ = 0;
  bytes_ = 0;
  done_ = false;
  return reader_.Open(path, error);
}

bool TEffectFileCheck::Advance(size_t max_lines) {
  std::string line;
  for (size_t n = 0; n < max_lines && !done_; ++n) {
    if (!reader_.ReadLine(line) || lines_ == std::numeric_limits<int32_t>::max()) {
      done_ = true;
      break;
    }
    ++lines_;
    bytes_ += line.size() + 1;
    std::string reason = CheckEffectLine(line);
    if (reason.empty()) continue;
    ++fault_count_;
    if (faults_.size() < max_faults_) faults_.push_back({lines_, std::move(reason)});
    if (!count_all_ && faults_.size() >= max_faults_) done_ = true;
  }
  if (done_) reader_.Close();
  return done_;
}
