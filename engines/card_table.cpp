#include "engines/card_table.h"

namespace {
std::string Folder(const char* name) { return std::string(name) + kPathSeparator; }
}  // namespace

const std::array<std::string, kCardCodeCount> CardCodes = {
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "C", "E"};

const card_rec MainCard = {255, 0, "VI3", Folder("VI3")};

const std::array<card_rec, kOptionCardCount> OptionCards = {{
    {0, 0, "KEYB3", Folder("KEYB3")},
    {1, 1, "SCAN1", Folder("SCAN")},
    {2, 2, "SCAN2", Folder("SCAN")},
    {3, 3, "HD1", Folder("HD")},
    {4, 4, "HD2", Folder("HD")},
    {5, 5, "OPT_IN", Folder("OPT_IN")},
}};

const std::array<std::string, 2> RevisionFolders = {Folder("rev0"), Folder("rev1")};

int CardCodeIndex(std::string_view code) {
  for (int i = 0; i < kCardCodeCount; ++i) {
    if (CardCodes[i] == code) return i;
  }
  return 0;
}
