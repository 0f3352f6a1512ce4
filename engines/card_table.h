// The card table: card codes, the main card entry, the option cards and the
// revision folders. Used by the card supervisor (component index of a code) and by
// the sequencer (folder names, card numbers). Folder names end with the platform's
// separator, so they can be appended to a path as they are.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct card_rec {
  int32_t slot;        // 255 for the main card, the table index for option cards
  int32_t number;      // card number carried by device commands ("M" + number)
  std::string name;    // e.g. "SCAN1"
  std::string folder;  // firmware folder, ending with the platform's separator
};

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

inline constexpr int kCardCodeCount = 13;
inline constexpr int kOptionCardCount = 6;

// "0".."9", "A", "C", "E": no "B" and no "D".
extern const std::array<std::string, kCardCodeCount> CardCodes;
extern const card_rec MainCard;
extern const std::array<card_rec, kOptionCardCount> OptionCards;
// "rev0" and "rev1" followed by the separator.
extern const std::array<std::string, 2> RevisionFolders;

// Index of the first card code equal to `code`, or 0 when there is none.
int CardCodeIndex(std::string_view code);
