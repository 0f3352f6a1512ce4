// Replies in pieces of every size: a link may hand a reply over cut anywhere, so
// tests feed the same bytes cut every way and expect the same result. Used by the
// engine, link, emulator and integration tests; depends on no layer. Header-only,
// GoogleTest-based.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// `text` cut into consecutive pieces of `size` bytes (size > 0); the last piece
// may be shorter. Empty text gives no piece.
inline std::vector<std::string> CutInPieces(std::string_view text, size_t size) {
  std::vector<std::string> pieces;
  for (size_t at = 0; at < text.size(); at += size) pieces.emplace_back(text.substr(at, size));
  return pieces;
}

// Calls `check(size)` for every piece size from 1 to `longest`, each under a trace
// that names the size, so a failure says which cut broke.
inline void ForEveryPieceSize(size_t longest, const std::function<void(size_t size)>& check) {
  for (size_t size = 1; size <= longest; ++size) {
    SCOPED_TRACE("pieces of " + std::to_string(size));
    check(size);
  }
}
