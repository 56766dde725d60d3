// Codes out as 16-bit WAV: the files users keep and the images the player
// reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "files/codec/u255.h"
#include "files/codec/wav_image.h"
#include "files/file_save.h"
#include "files/file_settings.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "shell/playback.h"
#include "tests/unit/files/files_test_support.h"

namespace {

using filestest::Bytes;
using filestest::Show;
using testsupport::ReadBytes;

class WavWrite : public testsupport::CoreTest {
 protected:
  // The WAV image of `codes` at the playback rate, built into a buffer
  // that holds it exactly.
  Bytes Memory(const Bytes& codes) {
    Bytes out(WavImageSize(codes.size()) + 8, 0xEE);
    EXPECT_TRUE(BuildWavImage(codes.data(), codes.size(), Settings().sample_rate, out.data(), out.size() - 8));
    EXPECT_EQ(out[out.size() - 8], 0xEE) << "wrote past the image";
    out.resize(out.size() - 8);
    return out;
  }
  static uint32_t Le32(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24; }
};

TEST_F(WavWrite, WorkedHeaderAndSampleBytes) {
  const Bytes wav = Memory({0x80, 0x00, 0xFF, 0x7F});
  const Bytes header = {0x52, 0x49, 0x46, 0x46, 0x2C, 0, 0, 0, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
                        0x20, 0x10, 0,    0,    0,    1, 0, 1, 0, 0xC0, 0x5D, 0,    0,    0x80, 0xBB,
                        0,    0,    2,    0,    0x10, 0, 0x64, 0x61, 0x74, 0x61, 8, 0, 0, 0};
  EXPECT_EQ(Bytes(wav.begin(), wav.begin() + 44), header);
  EXPECT_EQ(Bytes(wav.begin() + 44, wav.end()), (Bytes{0x80, 0x00, 0x80, 0xFF, 0x24, 0x7B, 0xDC, 0x84}));
}

TEST_F(WavWrite, SizesFollowTheSampleCountAndRate) {
  const Bytes empty = Memory({});
  EXPECT_EQ(empty.size(), 44u);
  EXPECT_EQ(Le32(empty, 4), 36u);
  EXPECT_EQ(Le32(empty, 40), 0u);

  Settings().sample_rate = 32000;
  const Bytes big = Memory(Bytes(16384, 0x90));
  EXPECT_EQ(big.size(), 32812u);
  EXPECT_EQ(Le32(big, 4), 32804u);
  EXPECT_EQ(Le32(big, 24), 32000u);
  EXPECT_EQ(Le32(big, 28), 64000u);
  EXPECT_EQ(Le32(big, 40), 32768u);
}

TEST_F(WavWrite, FileAndMemoryImagesAgreeByteForByte) {
  Bytes codes(4096);
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint8_t>(i * 7);
  std::copy(codes.begin(), codes.end(), ImageBytes() + 100);
  const std::string path = Path("same.wav");
  const FileReport report = SaveWavFile(Model(), Settings(), path.c_str(), 100, 4096);
  EXPECT_FALSE(report.failed());
  EXPECT_TRUE(report.texts.empty());
  EXPECT_EQ(ReadBytes(path), Memory(codes));
  EXPECT_FALSE(testsupport::FileExists(path + ".tvpart"));
}

TEST_F(WavWrite, SoxReadsWhatWeWrite) {
  if (!testsupport::HaveTool("soxi") || !testsupport::HaveTool("sox")) GTEST_SKIP() << "sox not installed";
  Settings().sample_rate = 16000;
  for (UINT i = 0; i < 1000; ++i) ImageBytes()[i] = static_cast<BYTE>(i);
  Show(SaveWavFile(Model(), Settings(), Path("s.wav").c_str(), 0, 1000));
  const std::string out = Path("out.txt");
  const std::string file = "'" + Path("s.wav") + "'";
  EXPECT_EQ(filestest::RunOutput("soxi -r " + file, out), "16000");
  EXPECT_EQ(filestest::RunOutput("soxi -c " + file, out), "1");
  EXPECT_EQ(filestest::RunOutput("soxi -b " + file, out), "16");
  EXPECT_EQ(filestest::RunOutput("soxi -s " + file, out), "1000");
  EXPECT_EQ(filestest::RunOutput("soxi -e " + file, out), "Signed Integer PCM");
  // sox's own reading of the samples, as raw little-endian words.
  ASSERT_EQ(testsupport::Run("sox " + file + " -t raw -e signed -b 16 -L '" + Path("s.raw") + "'"), 0);
  const Bytes raw = ReadBytes(Path("s.raw"));
  ASSERT_EQ(raw.size(), 2000u);
  for (UINT i = 0; i < 1000; ++i)
    ASSERT_EQ(static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8), u255lawToLinear(static_cast<int>(i), 32767)) << i;
}

TEST_F(WavWrite, RefusalsAndFailuresAreReported) {
  const BYTE codes[4] = {};
  Bytes tooSmall(WavImageSize(4) - 1, 0xEE);
  EXPECT_FALSE(BuildWavImage(codes, 4, 24000, tooSmall.data(), tooSmall.size()));
  EXPECT_EQ(tooSmall, Bytes(WavImageSize(4) - 1, 0xEE));

  const std::string missingFolder = Path("no/such/folder.wav");
  const FileReport report = SaveWavFile(Model(), Settings(), missingFolder.c_str(), 0, 4);
  EXPECT_EQ(report.error, FileError::kCannotOpen);
  Show(report);
  Show(SaveWavFile(Model(), Settings(), "", 0, 4));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Unable to open WAV output file: " + missingFolder,
                                                  "Unable to open WAV output file: "}));
  for (const auto& box : P().messageBoxes) EXPECT_TRUE(box.owner == nullptr && box.defaultCaption);
}

TEST_F(WavWrite, SaveChecksTheImageAndTheSection) {
  Show(SaveWavFile(Model(), Settings(), Path("a.wav").c_str(), 65536 - 100, 101));
  EXPECT_FALSE(testsupport::FileExists(Path("a.wav")));
  Session().FreeBuffers();
  Show(SaveWavFile(Model(), Settings(), Path("a.wav").c_str(), 0, 100));
  EXPECT_FALSE(testsupport::FileExists(Path("a.wav")));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Section outside the image", "Unable to allocate image memory"}));
}

// --- the playback images ---------------------------------------------------

class PlaybackImages : public WavWrite {
 protected:
  Bytes Image(int i, size_t samples) {
    const BYTE* wav = App().wavbuffer[i].get();
    return Bytes(wav, wav + WavImageSize(samples));
  }
};

TEST_F(PlaybackImages, TwoSoundsGetOneImageEachAfterPlaybackStops) {
  Model().EPROM_type = et27128;
  Model().EPROM_Arrangement = eaOneEpromTwoSounds;
  std::memset(ImageBytes(), 0x90, 8192);
  std::memset(ImageBytes() + 8192, 0x10, 8192);
  ComputeWAVfromBuffer(Session());
  ASSERT_FALSE(P().soundsPlayed.empty());
  EXPECT_EQ(P().soundsPlayed.front(), nullptr);
  EXPECT_EQ(Image(0, 8192), Memory(Bytes(8192, 0x90)));
  EXPECT_EQ(Image(1, 8192), Memory(Bytes(8192, 0x10)));
}

TEST_F(PlaybackImages, OneSoundLeavesTheSecondBufferAlone) {
  std::memset(App().wavbuffer[1].get(), 0x5A, BUFFER_SIZE);
  Model().EPROM_type = et2764;
  Model().EPROM_Arrangement = eaTwoEpromsOneSound;
  ComputeWAVfromBuffer(Session());
  EXPECT_EQ(Image(0, 16384), Memory(Bytes(ImageBytes(), ImageBytes() + 16384)));
  EXPECT_EQ(App().wavbuffer[1][0], 0x5A);
}

TEST_F(PlaybackImages, ALayoutBeyondTheImageIsCutAtItsEnd) {
  // Only a hand-edited configuration gets here: four 64 KB EPROMs.
  Model().EPROM_type = et27512;
  Model().EPROM_Arrangement = eaFourEpromsOneSound;
  std::memset(App().wavbuffer[0].get(), 0x5A, BUFFER_SIZE);
  ComputeWAVfromBuffer(Session());
  EXPECT_EQ(Le32(Image(0, 0), 40), 2 * 65536u);
  EXPECT_EQ(App().wavbuffer[0][WavImageSize(IMAGE_SIZE)], 0x5A);
  EXPECT_EQ(App().wavbuffer[0][BUFFER_SIZE - 1], 0x5A);
}

TEST_F(PlaybackImages, NothingHappensWithoutImageOrBuffers) {
  PlatformBytes saved = std::move(App().wavbuffer[0]);
  ComputeWAVfromBuffer(Session());  // no buffer to write: skipped
  App().wavbuffer[0] = std::move(saved);
  Session().FreeBuffers();
  ComputeWAVfromBuffer(Session());
  EXPECT_EQ(P().soundsPlayed.size(), 1u);
  EXPECT_TRUE(P().messageBoxes.empty());
}

}  // namespace
