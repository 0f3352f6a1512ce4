#include "engines/card_table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Folder(const char* name) { return std::string(name) + kPathSeparator; }

TEST(CardTable, ThirteenCodesWithoutBOrD) {
  const char* expected[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "C", "E"};
  ASSERT_EQ(CardCodes.size(), 13u);
  for (int i = 0; i < kCardCodeCount; ++i) {
    EXPECT_EQ(CardCodes[static_cast<size_t>(i)], expected[i]);
    EXPECT_EQ(CardCodeIndex(expected[i]), i);
  }
}

TEST(CardTable, UnknownCodesMapToComponentZero) {
  for (const char* code : {"B", "D", "a", "F", "", "10", " 1"}) {
    EXPECT_EQ(CardCodeIndex(code), 0) << code;
  }
}

TEST(CardTable, MainCardAndOptionCards) {
  EXPECT_EQ(MainCard.slot, 255);
  EXPECT_EQ(MainCard.number, 0);
  EXPECT_EQ(MainCard.name, "VI3");
  EXPECT_EQ(MainCard.folder, Folder("VI3"));
  const struct {
    const char* name;
    const char* folder;
  } expected[] = {{"KEYB3", "KEYB3"}, {"SCAN1", "SCAN"}, {"SCAN2", "SCAN"},
                  {"HD1", "HD"},      {"HD2", "HD"},     {"OPT_IN", "OPT_IN"}};
  for (int i = 0; i < kOptionCardCount; ++i) {
    const card_rec& card = OptionCards[static_cast<size_t>(i)];
    SCOPED_TRACE(card.name);
    EXPECT_EQ(card.slot, i);
    EXPECT_EQ(card.number, i);
    EXPECT_EQ(card.name, expected[i].name);
    EXPECT_EQ(card.folder, Folder(expected[i].folder));
  }
}

TEST(CardTable, RevisionFoldersEndWithTheSeparator) {
  EXPECT_EQ(RevisionFolders[0], Folder("rev0"));
  EXPECT_EQ(RevisionFolders[1], Folder("rev1"));
}

}  // namespace
