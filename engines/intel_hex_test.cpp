#include "engines/intel_hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The sum of an image range that holds only 0xFF bytes.
uint16_t ErasedSum(uint32_t bytes) { return static_cast<uint16_t>(bytes * 0xFF); }

// ---------------------------------------------------------------------------
// Hexadecimal text.

TEST(HexDigits, OnlyDigitsAndUpperCaseLettersHaveAValue) {
  const std::pair<char, int> cases[] = {{'0', 0}, {'9', 9},  {'A', 10},  {'F', 15}, {'a', 0},
                                        {'f', 0}, {'G', 0},  {' ', 0},   {':', 0},  {'/', 0},
                                        {'@', 0}, {'\0', 0}, {'\xFF', 0}};
  for (const auto& [c, value] : cases) {
    EXPECT_EQ(HexDigitValue(c), value) << "character " << static_cast<int>(c);
  }
}

TEST(HexDigits, DigitOfAValueModulo16) {
  EXPECT_EQ(HexDigit(0), '0');
  EXPECT_EQ(HexDigit(10), 'A');
  EXPECT_EQ(HexDigit(15), 'F');
  EXPECT_EQ(HexDigit(16), '0');
  EXPECT_EQ(HexDigit(0x1B), 'B');
}

TEST(HexText, ByteWordAndDWordKeepTheirLowBitsInUpperCase) {
  EXPECT_EQ(ByteToHex(0), "00");
  EXPECT_EQ(ByteToHex(0xAB), "AB");
  EXPECT_EQ(ByteToHex(0x1FF), "FF");
  EXPECT_EQ(ByteToHex(-1), "FF");
  EXPECT_EQ(WordToHex(0x1234), "1234");
  EXPECT_EQ(WordToHex(0x12345), "2345");
  EXPECT_EQ(WordToHex(0x0A), "000A");
  EXPECT_EQ(WordToHex(-0x6000), "A000");
  EXPECT_EQ(DWordToHex(0x0123ABCDu), "0123ABCD");
  EXPECT_EQ(DWordToHex(0xFFFFFFFFu), "FFFFFFFF");
  EXPECT_EQ(DWordToHex(0), "00000000");
}

TEST(HexText, HexToWordReadsTheFirstFourCharacters) {
  const std::pair<std::string, uint16_t> cases[] = {
      {"12AB", 0x12AB},
      {"FFFF", 0xFFFF},
      {"12AB99", 0x12AB},
      {"ab12", 0x0012},
      {"1 2.", 0x1020},
      // Fewer than four characters: the missing digits read as 0.
      {"1", 0x1000},
      {"12", 0x1200},
      {"123", 0x1230},
      {"", 0x0000},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(HexToWord(text), value) << text;
}

// ---------------------------------------------------------------------------
// Records.

TEST(HexRecord, ParsesCountAddressTypeAndData) {
  THexRecord r = ParseHexRecord(":0200000C1234AC");
  EXPECT_EQ(r.ByteCount, 2);
  EXPECT_EQ(r.Address, 0x0000);
  EXPECT_EQ(r.RecordType, 0x0C);
  EXPECT_EQ(r.Data, std::string("\x12\x34", 2));

  r = ParseHexRecord(":10C0F000000102030405060708090A0B0C0D0E0F00");
  EXPECT_EQ(r.ByteCount, 16);
  EXPECT_EQ(r.Address, 0xC0F0);
  EXPECT_EQ(r.RecordType, 0x00);
  ASSERT_EQ(r.Data.size(), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(r.Data[static_cast<size_t>(i)], static_cast<char>(i));
}

TEST(HexRecord, ChecksumIsNeitherReadNorVerified) {
  THexRecord r = ParseHexRecord(":024000000102FF");  // wrong checksum, used as it reads
  EXPECT_EQ(r.Data, std::string("\x01\x02", 2));
}

TEST(HexRecord, LowerCaseDigitsReadAsZero) {
  THexRecord r = ParseHexRecord(":02400000ab1c00");
  EXPECT_EQ(r.Data, std::string("\x00\x10", 2));
}

TEST(HexRecord, ShortLinesKeepTheDeclaredCountButOnlyThePresentBytes) {
  struct {
    std::string line;
    uint8_t count;
    uint16_t address;
    std::string data;
  } const cases[] = {
      {":04400000AABB", 4, 0x4000, "\xAA\xBB"},
      {":04400000AAB", 4, 0x4000, "\xAA"},  // half a byte is no byte
      {":0440", 4, 0x4000, ""},             // address completed with 0 digits
      {":FF", 0xFF, 0x0000, ""},
      {":", 0, 0x0000, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    THexRecord r = ParseHexRecord(c.line);
    EXPECT_EQ(r.ByteCount, c.count);
    EXPECT_EQ(r.Address, c.address);
    EXPECT_EQ(r.Data, c.data);
  }
}

TEST(HexRecord, BuildAppendsTheTwosComplementChecksum) {
  EXPECT_EQ(BuildHexRecord(0x0C, 0, "1234"), ":0200000C1234AC");
  EXPECT_EQ(BuildHexRecord(0x01, 0, ""), ":00000001FF");
  EXPECT_EQ(BuildHexRecord(0x0C, 0, "E000"), ":0200000CE00012");
  EXPECT_EQ(BuildHexRecord(0x00, 0x4000, "AABB"), ":02400000AABB59");
  EXPECT_EQ(BuildHexRecord(0x00, 0, "00"), ":0100000000FF");
  EXPECT_EQ(BuildHexRecord(0x00, 0, "01"), ":0100000001FE");
}

TEST(HexRecord, BuiltRecordReadsBack) {
  const std::string line = BuildHexRecord(0x37, 0xBEEF, "00FF7F80");
  THexRecord r = ParseHexRecord(line);
  EXPECT_EQ(r.RecordType, 0x37);
  EXPECT_EQ(r.Address, 0xBEEF);
  EXPECT_EQ(r.Data, std::string("\x00\xFF\x7F\x80", 4));
}

// ---------------------------------------------------------------------------
// Image sum.

TEST(HexImageSum, EmptyImageOfTheBootAreaSumsToE000) {
  EXPECT_EQ(HexImageSum({}, 0x4000, 0x5FFF), 0xE000);
}

TEST(HexImageSum, EndRecordAloneLeavesAnErasedImage) {
  const std::vector<std::string> lines = {":00000001FF"};
  EXPECT_EQ(HexImageSum(lines, 0x10, 0x1F), ErasedSum(16));
  EXPECT_EQ(HexImageSum(lines, 0x0000, 0xFFFF), ErasedSum(0x10000));
  EXPECT_EQ(HexImageSum(lines, 0x8000, 0xFFFF), ErasedSum(0x8000));
}

TEST(HexImageSum, DataRecordsReplaceErasedBytes) {
  const std::vector<std::string> lines = {":024000000102BB", ":025FFE00102071", ":00000001FF"};
  EXPECT_EQ(HexImageSum(lines, 0x4000, 0x5FFF), 0xDC37);
  EXPECT_EQ(HexImageSum(lines, 0x4000, 0x4000), 0x01);
  EXPECT_EQ(HexImageSum(lines, 0x4001, 0x4001), 0x02);
}

TEST(HexImageSum, TheEndRecordStopsTheWalk) {
  const std::vector<std::string> lines = {":00000001FF", ":024000000102BB"};
  EXPECT_EQ(HexImageSum(lines, 0x4000, 0x5FFF), 0xE000);
}

TEST(HexImageSum, AddressExtensionRecordsAreIgnored) {
  const std::vector<std::string> lines = {":020000040001F9", ":024000000102BB", ":020000021000EC",
                                          ":00000001FF"};
  EXPECT_EQ(HexImageSum(lines, 0x4000, 0x5FFF), 0xE000 - 2 * 0xFF + 0x01 + 0x02);
}

TEST(HexImageSum, LinesWithoutColonAndEmptyLinesAreSkipped) {
  const std::vector<std::string> lines = {"", "024000000102BB", " :024000000102BB", "rem"};
  EXPECT_EQ(HexImageSum(lines, 0x4000, 0x5FFF), 0xE000);
}

TEST(HexImageSum, LowerCaseDataDigitsWriteZeroBytes) {
  const std::vector<std::string> lines = {":02400000abcd00"};
  EXPECT_EQ(HexImageSum(lines, 0x4000, 0x4001), 0);
}

TEST(HexImageSum, LaterRecordsOverwriteEarlierOnes) {
  const std::vector<std::string> lines = {":0140000011AE", ":01400000229D"};
  EXPECT_EQ(HexImageSum(lines, 0x4000, 0x4000), 0x22);
}

TEST(HexImageSum, HighBelowLowSumsToZero) {
  EXPECT_EQ(HexImageSum({}, 0x5FFF, 0x4000), 0);
  EXPECT_EQ(HexImageSum({}, 0x4000, 0x4000), 0xFF);
}

TEST(HexImageSum, DataRunningPastFFFFWrapsToZero) {
  const std::vector<std::string> lines = {":03FFFF00112233"};
  EXPECT_EQ(HexImageSum(lines, 0xFFFF, 0xFFFF), 0x11);
  EXPECT_EQ(HexImageSum(lines, 0x0000, 0x0000), 0x22);
  EXPECT_EQ(HexImageSum(lines, 0x0001, 0x0001), 0x33);
  EXPECT_EQ(HexImageSum(lines, 0x0002, 0x0002), 0xFF);
}

TEST(HexImageSum, ShortRecordWritesOnlyThePresentBytes) {
  const std::vector<std::string> lines = {":0440000011223"};  // 11 22, then half a byte
  EXPECT_EQ(HexImageSum(lines, 0x4000, 0x4003), 0x11 + 0x22 + 2 * 0xFF);
}

TEST(HexImageSum, LongestRecordAtTheTopOfMemoryStaysInBounds) {
  // 255 bytes of 0x00 from 0xFF80: 128 land at the top, 127 wrap to 0x0000.
  const std::string line = ":FFFF8000" + std::string(255 * 2, '0') + "00";
  EXPECT_EQ(HexImageSum({line}, 0x0000, 0xFFFF), ErasedSum(0x10000 - 255));
}

// ---------------------------------------------------------------------------
// Checking a file before it is sent.

TEST(HexRecordCheck, NamesWhatIsWrongWithALine) {
  const THexImageRules bank1 = BankImageRules(1);
  const std::pair<std::string, std::string> cases[] = {
      {":0280000001027B", ""},
      {":00000001FF", ""},
      {"", "blank line"},
      {"   \t", "blank line"},
      {"0280000001027B", "not a record: a line of an Intel HEX file begins with ':'"},
      {":02800000010G7B", "'G' is not a hex digit"},
      {std::string(":02\x01"
                   "80000001027B",
                   15),
       "character 01 is not a hex digit"},
      {":0280000001027B ", "blank characters after the record"},
      {":0280000001027", "odd number of hex digits"},
      {":02800000", "record too short: a record needs at least 10 hex digits"},
      {":028000000102037B", "byte count 02 says 2 data bytes, the line holds 3"},
      {":02800000017B", "byte count 02 says 2 data bytes, the line holds 1"},
      {":0280000001027C", "record checksum is 7C, the record's bytes need 7B"},
      {":0200000C1234AC",
       "record type 0C is not one a HEX image may hold (00 data, 01 end, 02 to 05 address "
       "records)"},
      {":020000040000FA", ""},
      {":020000021000EC",
       "address record 02 with a base other than 0: the updater places every byte at its "
       "record's 16-bit address, so the data would not land where the file means it"},
      {":040000050000800077", ""},
      {":027FFF0001027D", "data at 7FFF-8000 lies outside bank 1 (8000-FFFF)"},
      {":03FFFF00010203F9", "data runs past address FFFF"},
      {":02800000ab0253",
       "lower-case hex digit 'a': the updater reads only upper-case digits when it sums "
       "the image for the device's verify (a lower-case one counts as 0), so the device "
       "would answer \"Checksum Error\" after the memory was erased and written; write "
       "the file in upper case"},
  };
  for (const auto& [line, reason] : cases) EXPECT_EQ(CheckHexRecord(line, bank1), reason) << line;
}

TEST(HexRecordCheck, EachMemoryHasItsRangeAndItsRuleOnLowerCase) {
  const std::string low = ":0100000011EE";    // 0000
  const std::string boot = ":0140000011AE";   // 4000
  const std::string past = ":01600000118E";   // 6000
  const std::string high = ":01800000116E";   // 8000
  const std::string lower = ":0140000011ae";  // 4000, lower-case checksum
  EXPECT_EQ(CheckHexRecord(boot, BootImageRules(false)), "");
  EXPECT_EQ(CheckHexRecord(low, BootImageRules(false)),
            "data at 0000-0000 lies outside the boot area (4000-5FFF)");
  EXPECT_EQ(CheckHexRecord(past, BootImageRules(true)),
            "data at 6000-6000 lies outside the boot area (4000-5FFF)");
  EXPECT_EQ(CheckHexRecord(low, BankImageRules(0)), "");
  EXPECT_EQ(CheckHexRecord(high, BankImageRules(0)),
            "data at 8000-8000 lies outside bank 0 (0000-7FFF)");
  EXPECT_EQ(CheckHexRecord(high, BankImageRules(7)), "");
  EXPECT_EQ(CheckHexRecord(low, BankImageRules(7)),
            "data at 0000-0000 lies outside bank 7 (8000-FFFF)");
  for (const std::string& line : {low, boot, past, high}) {
    EXPECT_EQ(CheckHexRecord(line, EImageRules()), "") << line;
  }
  // Lower case is refused where the updater sums the image, accepted where it does not.
  EXPECT_NE(CheckHexRecord(lower, BootImageRules(false)), "");
  EXPECT_EQ(CheckHexRecord(lower, BootImageRules(true)), "");
  EXPECT_NE(CheckHexRecord(lower, BankImageRules(3)), "");
  EXPECT_EQ(CheckHexRecord(lower, EImageRules()), "");
}

TEST(HexImageCheck, AFileNeedsLinesAnEndRecordAndNothingAfterIt) {
  const THexImageRules bank0 = BankImageRules(0);
  using Faults = std::vector<std::pair<int32_t, std::string>>;
  auto check = [&](const std::vector<std::string>& lines, size_t max) {
    Faults out;
    for (const THexFault& f : CheckHexImage(lines, bank0, max)) out.emplace_back(f.Line, f.Reason);
    return out;
  };
  EXPECT_EQ(check({":0100000011EE", ":00000001FF"}, 5), Faults{});
  EXPECT_EQ(check({}, 5), (Faults{{0, "empty file"}}));
  EXPECT_EQ(check({":0100000011EE"}, 5), (Faults{{0, "no end record (:00000001FF)"}}));
  EXPECT_EQ(check({":0100000011EE", ":00000001FF", ""}, 5),
            (Faults{{3, "line after the end record"}}));
  EXPECT_EQ(check({":0100000011EE", ":00000001FF", ":0100000011EE", ":00000001FF"}, 5),
            (Faults{{3, "line after the end record"}}));
  // Every damaged line is named, up to the limit.
  const std::vector<std::string> damaged = {"", ":0100000011EF", ":0100000011EE", "x",
                                            ":00000001FF"};
  EXPECT_EQ(check(damaged, 5), (Faults{{1, "blank line"},
                                       {2, "record checksum is EF, the record's bytes need EE"},
                                       {4,
                                        "not a record: a line of an Intel HEX file begins "
                                        "with ':'"}}));
  EXPECT_EQ(check(damaged, 1), (Faults{{1, "blank line"}}));
  EXPECT_EQ(check(damaged, 0), Faults{});
}

}  // namespace
