// Intel HEX: what we write must read back everywhere, and what others write
// (srec_cat, objcopy) must load; broken records stop the load cleanly.
#include <gtest/gtest.h>

#include <cstring>

#include "files/codec/hex_parse.h"
#include "files/file_load.h"
#include "files/file_save.h"
#include "files/file_settings.h"
#include "shell/image_model.h"
#include "tests/unit/files/files_test_support.h"

namespace {

using filestest::Bytes;
using filestest::Show;

class HexFile : public testsupport::CoreTest {
 protected:
  std::string Text(const std::string& path) {
    const Bytes b = testsupport::ReadBytes(path);
    return std::string(b.begin(), b.end());
  }
  void Fill(UINT offset, UINT size, uint32_t seed) {
    for (UINT i = 0; i < size; ++i) ImageBytes()[offset + i] = static_cast<BYTE>((i * 2654435761u + seed) >> 13);
  }
  Bytes Section(UINT offset, UINT size) { return Bytes(ImageBytes() + offset, ImageBytes() + offset + size); }
  // Loads `text` and shows the report, which it returns.
  FileReport LoadText(const std::string& text, UINT offset, UINT size) {
    testsupport::WriteText(Path("in.hex"), text);
    const FileReport report = LoadHexFile(Model(), Settings(), Path("in.hex").c_str(), offset, size);
    Show(report);
    return report;
  }
};

TEST_F(HexFile, DigitValues) {
  EXPECT_EQ(CharHex('0'), 0);
  EXPECT_EQ(CharHex('9'), 9);
  EXPECT_EQ(CharHex('A'), 10);
  EXPECT_EQ(CharHex('f'), 15);
  EXPECT_EQ(CharHex('G'), 15);
  EXPECT_EQ(CharHex('\n'), 15);
  EXPECT_EQ(StrHex("7e"), 0x7E);
  EXPECT_EQ(StrHex("zz"), 0xFF);
}

TEST_F(HexFile, WorkedRecordsWithWindowsLineEnds) {
  std::memset(ImageBytes(), 0x80, 16);
  Show(SaveHexFile(Model(), Path("a.hex").c_str(), 0, 16));
  EXPECT_EQ(Text(Path("a.hex")), ":1000000080808080808080808080808080808080F0\r\n:00000001FF\r\n");

  for (BYTE i = 0; i < 16; ++i) ImageBytes()[0x1230 + i] = i;
  Show(SaveHexFile(Model(), Path("b.hex").c_str(), 0, 0x1240));
  const std::string text = Text(Path("b.hex"));
  EXPECT_NE(text.find("\r\n:10123000000102030405060708090A0B0C0D0E0F36\r\n:00000001FF\r\n"), std::string::npos);
  EXPECT_EQ(text.size(), 0x124u * 45 + 13);

  Show(SaveHexFile(Model(), Path("empty.hex").c_str(), 0, 0));
  EXPECT_EQ(Text(Path("empty.hex")), ":00000001FF\r\n");
}

TEST_F(HexFile, RoundTripIntoASectionElsewhere) {
  Fill(8192, 8192, 7);
  const Bytes original = Section(8192, 8192);
  Show(SaveHexFile(Model(), Path("s.hex").c_str(), 8192, 8192));
  std::memset(ImageBytes(), 0x11, IMAGE_SIZE);
  Show(LoadHexFile(Model(), Settings(), Path("s.hex").c_str(), 40960, 8192));  // addresses are section offsets
  EXPECT_EQ(Section(40960, 8192), original);
  EXPECT_EQ(ImageBytes()[40959], 0x11);
  EXPECT_EQ(ImageBytes()[49152], 0x11);
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(HexFile, SrecCatAndObjcopyAgreeBothWays) {
  if (!testsupport::HaveTool("srec_cat") || !testsupport::HaveTool("objcopy")) GTEST_SKIP() << "srecord/binutils missing";
  Fill(0, 32768, 99);
  const Bytes original = Section(0, 32768);
  Show(SaveHexFile(Model(), Path("ours.hex").c_str(), 0, 32768));
  ASSERT_EQ(testsupport::Run("srec_cat '" + Path("ours.hex") + "' -Intel -o '" + Path("srec.bin") + "' -Binary"), 0);
  EXPECT_EQ(testsupport::ReadBytes(Path("srec.bin")), original);
  ASSERT_EQ(testsupport::Run("objcopy -I ihex -O binary '" + Path("ours.hex") + "' '" + Path("objcopy.bin") + "'"), 0);
  EXPECT_EQ(testsupport::ReadBytes(Path("objcopy.bin")), original);

  testsupport::WriteBytes(Path("theirs.bin"), original);
  ASSERT_EQ(testsupport::Run("srec_cat '" + Path("theirs.bin") + "' -Binary -o '" + Path("srec.hex") +
                             "' -Intel -Output_Block_Size=32"),
            0);
  ASSERT_EQ(testsupport::Run("objcopy -I binary -O ihex '" + Path("theirs.bin") + "' '" + Path("objcopy.hex") + "'"), 0);
  for (const char* name : {"srec.hex", "objcopy.hex"}) {
    std::memset(ImageBytes(), 0, IMAGE_SIZE);
    Show(LoadHexFile(Model(), Settings(), Path(name).c_str(), 0, 32768));
    EXPECT_EQ(Section(0, 32768), original) << name;
  }
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(HexFile, RecordsOutsideTheSectionAreDroppedAndGapsKeepTheFill) {
  Model().cMemoryFillValue = 0xFF;
  std::memset(ImageBytes(), 0x11, IMAGE_SIZE);
  // A 16 KB EPROM's records loaded as Sound 1 of 2 (8192 bytes): the upper
  // half's records fall beyond the section and the second sound stays.
  LoadText(":020000000102FB\n:021FFF00AABB7B\n:02200000CCDD35\n", 0, 8192);
  EXPECT_EQ(ImageBytes()[0], 0x01);
  EXPECT_EQ(ImageBytes()[1], 0x02);
  EXPECT_EQ(ImageBytes()[2], 0xFF);
  EXPECT_EQ(ImageBytes()[8191], 0xAA);
  EXPECT_EQ(ImageBytes()[8192], 0x11);
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(HexFile, OtherRecordsAreIgnoredAndTheEndRecordDoesNotEndReading) {
  LoadText("garbage line\n:020000040000FA\n:00000001FF\n:0000000000\n:0100050042B8\r\n:00000001FF\n", 0, 16);
  EXPECT_EQ(ImageBytes()[5], 0x42);
  EXPECT_TRUE(P().messageBoxes.empty());
  LoadText(":0100050042b8\n", 0, 16);  // lower-case digits
  EXPECT_EQ(ImageBytes()[5], 0x42);
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(HexFile, ChecksumErrorNamesTheLineAndStops) {
  // Line 3 (a blank line counts) carries D5 where D4 is due; line 4 is
  // never read.
  const FileReport report = LoadText(":0100000011EE\n\n:0C001000000000000000000000000010D5\n:010020007768\n", 0, 64);
  EXPECT_EQ(report.error, FileError::kHexRecord);
  EXPECT_EQ(report.hexError, HexError::kChecksum);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"CRC error at line 3: D4 vs D5"});
  EXPECT_EQ(ImageBytes()[0], 0x11);
  EXPECT_EQ(ImageBytes()[0x1B], 0x10);  // the failing record's data is kept
  EXPECT_EQ(ImageBytes()[0x20], 0x00);
  EXPECT_TRUE(P().messageBoxes[0].owner == nullptr && P().messageBoxes[0].defaultCaption);
}

TEST_F(HexFile, ShortRecordsStopWithoutReadingPastTheLine) {
  Settings().AutoCleanup = 1;  // the fix-ups still run
  LoadText(":0100000011EE\n:02000100AABB\n:0100030033C9\n", 0, 16);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Record too short at line 2"});
  EXPECT_EQ(ImageBytes()[0], 0x00);  // 0x11 cleared by the header clean-up
  EXPECT_EQ(ImageBytes()[1], 0x00);
  EXPECT_EQ(ImageBytes()[3], 0x00);

  P().messageBoxes.clear();
  LoadText(":0100\n", 0, 16);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Record too short at line 1"});

  // 128 data bytes need 267 characters: the 254-character first piece is
  // too short, whatever follows in the next piece.
  P().messageBoxes.clear();
  std::string longRecord = ":80000000";
  for (int i = 0; i < 128; ++i) longRecord += "55";
  longRecord += "00\n";
  LoadText(":0100000011EE\n" + longRecord, 0, 256);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Record too short at line 2"});
  EXPECT_EQ(ImageBytes()[0x10], 0x00);
}

TEST_F(HexFile, SampleRateDetectionAfterAHexLoad) {
  Settings().AutoDetectSampleRate = 1;
  LoadText(":020000000303F8\n", 0, 16);
  EXPECT_EQ(Settings().sample_rate, 12000u);
}

TEST_F(HexFile, FailuresToOpen) {
  Show(LoadHexFile(Model(), Settings(), Path("missing.hex").c_str(), 0, 16));
  Show(SaveHexFile(Model(), Path("no/folder/x.hex").c_str(), 0, 16));
  Show(LoadHexFile(Model(), Settings(), Path("x.hex").c_str(), 65000, 1024));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Unable to open input file " + Path("missing.hex"),
                                                  "Unable to open output file " + Path("no/folder/x.hex"),
                                                  "Section outside the image"}));
}

TEST_F(HexFile, RecordsAnywhereInTheAddressSpaceStayInsideTheSection) {
  // Valid records of every length a line can hold, at addresses all over
  // the 16-bit space, overlapping; later ones win.
  std::string text;
  Bytes model(4096, 0x3C);
  for (unsigned n = 0; n < 3000; ++n) {
    const unsigned count = 1 + (n * 37) % 121, address = (n * 7919) % 65536;
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X00", count, address);
    text += field;
    unsigned sum = count + (address >> 8) + (address & 0xFF);
    for (unsigned i = 0; i < count; ++i) {
      const unsigned value = (n + i * 13) & 0xFF;
      std::snprintf(field, sizeof field, "%02X", value);
      text += field;
      sum += value;
      if (address + i < model.size()) model[address + i] = static_cast<uint8_t>(value);
    }
    std::snprintf(field, sizeof field, "%02X%s", (256 - (sum & 0xFF)) & 0xFF, n % 2 ? "\n" : "\r\n");
    text += field;
  }
  testsupport::WriteText(Path("many.hex"), text);
  Model().cMemoryFillValue = 0x3C;
  std::memset(ImageBytes(), 0xC3, IMAGE_SIZE);
  Show(LoadHexFile(Model(), Settings(), Path("many.hex").c_str(), 61440, 4096));
  EXPECT_TRUE(P().messageBoxes.empty());
  EXPECT_EQ(Section(61440, 4096), model);
  EXPECT_EQ(Section(0, 61440), Bytes(61440, 0xC3));
}

// What the records stored, and where the text went wrong.
TEST(HexParse, StoredBytesAndErrorsAreTyped) {
  const std::string longLine = ":" + std::string(300, '0') + "\n";  // read as two lines
  const struct {
    const char* what;
    std::string text;
    HexError error;
    long line;
    size_t count;
    size_t first, last;
  } cases[] = {
      {"cropped to the section", ":04000E00AABBCCDDE0\n", HexError::kNone, 0, 2, 14, 15},
      {"gaps stay unstored", ":0100000011EE\n:0100030033C9\n", HexError::kNone, 0, 2, 0, 3},
      {"a bad checksum keeps its record", ":0100000011EE\n:0100050022EF\n", HexError::kChecksum, 2, 2, 0, 5},
      {"too short", ":0100000011EE\n:0200\n:0100030033C9\n", HexError::kRecordTooShort, 2, 1, 0, 0},
      {"a long line counts twice", longLine + ":0100000011EF\n", HexError::kChecksum, 3, 1, 0, 0},
  };
  for (const auto& c : cases) {
    const HexParse hex = ParseHex(reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size(), {16});
    EXPECT_EQ(hex.error, c.error) << c.what;
    EXPECT_EQ(hex.line, c.line) << c.what;
    std::vector<size_t> at;
    for (size_t i = 0; i < hex.stored.size(); ++i)
      if (hex.stored[i]) at.push_back(i);
    ASSERT_EQ(at.size(), c.count) << c.what;
    EXPECT_EQ(at.front(), c.first) << c.what;
    EXPECT_EQ(at.back(), c.last) << c.what;
  }
  const std::string bad = ":0100000011EF\n";
  const HexParse hex = ParseHex(reinterpret_cast<const uint8_t*>(bad.data()), bad.size(), {16});
  EXPECT_EQ(hex.expected, 0xEE);
  EXPECT_EQ(hex.found, 0xEF);
  EXPECT_EQ(hex.bytes[0], 0x11);
}

}  // namespace
