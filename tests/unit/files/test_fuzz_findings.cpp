// What the fuzz harnesses found, each kept as a focused test beside its
// input in tests/fuzz/corpus (the files named finding-*).
#include <gtest/gtest.h>

#include <cstring>

#include "files/file_load.h"
#include "files/file_settings.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/unit/files/files_test_support.h"

namespace {

using filestest::Show;

class FuzzFindings : public testsupport::CoreTest {};

// The header clean-up zeroed image bytes 0 and 1 after a load into a section
// of fewer than two bytes at the image's start: bytes the load didn't own.
// (hex/finding-cleanup-outside-short-section)
TEST_F(FuzzFindings, HeaderFixUpsStayInsideASectionShorterThanTwoBytes) {
  Settings().AutoCleanup = 1;
  Settings().AutoDetectSampleRate = 1;
  testsupport::WriteText(Path("one.hex"), ":0100000009F6\n");
  testsupport::WriteBytes(Path("one.bin"), {0x09});
  for (const char* file : {"one.hex", "one.bin"}) {
    std::memset(ImageBytes(), 0x07, IMAGE_SIZE);
    Show(tvOpenFileName(Model(), Settings(), Path(file).c_str(), 0, 1, 1));
    EXPECT_EQ(ImageBytes()[0], 0x09) << file;
    EXPECT_EQ(ImageBytes()[1], 0x07) << file;
    std::memset(ImageBytes(), 0x02, IMAGE_SIZE);
    Show(LoadBinaryFile(Model(), Settings(), Path(file).c_str(), 0, 0));
    EXPECT_EQ(ImageBytes()[0], 0x02) << file;
    EXPECT_EQ(Settings().sample_rate, 24000u) << file;
  }
  // A two-byte section holds both: the clean-up runs as always.
  std::memset(ImageBytes(), 0x07, IMAGE_SIZE);
  testsupport::WriteBytes(Path("two.bin"), {0x09, 0x01});
  Show(LoadBinaryFile(Model(), Settings(), Path("two.bin").c_str(), 0, 2));
  EXPECT_EQ(ImageBytes()[0], 0x00);
  EXPECT_EQ(ImageBytes()[1], 0x00);
}

}  // namespace
