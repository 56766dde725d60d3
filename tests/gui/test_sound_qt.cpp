// The Qt sound player: the playback image's header checked before anything
// is played, copies taken, and a new sound or a null one stopping the last.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "files/codec/wav_image.h"
#include "platform/qt/sound_qt.h"
#include "tests/support/core_fixture.h"

namespace {

struct OutputLog {
  int starts = 0;
  int stops = 0;
  bool refuse = false;
  std::vector<PlaybackSound> played;
};

class FakeOutput : public SoundOutput {
 public:
  explicit FakeOutput(OutputLog& log) : log_(log) {}
  bool Start(const PlaybackSound& sound) override {
    ++log_.starts;
    if (log_.refuse) return false;
    log_.played.push_back(sound);
    return true;
  }
  void Stop() override { ++log_.stops; }

 private:
  OutputLog& log_;
};

constexpr UINT kClickFlags = SND_ASYNC | SND_NODEFAULT | SND_MEMORY;

class SoundPlayerTest : public testsupport::CoreTest {
 protected:
  // The image the program plays: `codes` through its own WAV writer.
  std::vector<uint8_t> PlaybackImage(const std::vector<uint8_t>& codes, UINT rate = 24000) {
    std::vector<uint8_t> image(kPlaybackHeaderBytes + 2 * codes.size() + 16, 0);
    EXPECT_TRUE(BuildWavImage(codes.data(), codes.size(), rate, image.data(), image.size()));
    return image;
  }
  static void Put32(std::vector<uint8_t>& image, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  static void Put16(std::vector<uint8_t>& image, size_t at, uint16_t v) {
    image[at] = static_cast<uint8_t>(v);
    image[at + 1] = static_cast<uint8_t>(v >> 8);
  }

  OutputLog log_;
  QtSoundPlayer player_{std::make_unique<FakeOutput>(log_)};
};

TEST_F(SoundPlayerTest, PlaysACopyOfTheImagesSamplesAtItsRate) {
  std::vector<uint8_t> image = PlaybackImage({0x80, 0x00, 0xFF, 0x7F}, 32000);
  ASSERT_TRUE(player_.Play(image.data(), kClickFlags));
  std::fill(image.begin() + kPlaybackHeaderBytes, image.end(), 0x55);  // the core rebuilds its buffer
  ASSERT_EQ(log_.played.size(), 1u);
  EXPECT_EQ(log_.played[0].sampleRate, 32000u);
  const QByteArray& s = log_.played[0].samples;
  ASSERT_EQ(s.size(), 8);
  // 128, -128, 31524, -31524 as little-endian 16-bit values.
  const uint8_t expected[] = {0x80, 0x00, 0x80, 0xFF, 0x24, 0x7B, 0xDC, 0x84};
  EXPECT_EQ(std::memcmp(s.constData(), expected, sizeof expected), 0);
}

TEST_F(SoundPlayerTest, ANewSoundStopsTheLastAndANullOneOnlyStops) {
  const std::vector<uint8_t> image = PlaybackImage(std::vector<uint8_t>(1000, 0xC0));
  EXPECT_TRUE(player_.Play(image.data(), kClickFlags));
  EXPECT_TRUE(player_.Play(image.data(), kClickFlags));
  EXPECT_EQ(log_.stops, 2);
  EXPECT_EQ(log_.starts, 2);
  EXPECT_TRUE(player_.Play(nullptr, 0));
  EXPECT_EQ(log_.stops, 3);
  EXPECT_EQ(log_.starts, 2);
}

TEST_F(SoundPlayerTest, TheLargestSoundPlaysAndAnEmptyOneIsSilent) {
  const std::vector<uint8_t> largest = PlaybackImage(std::vector<uint8_t>(65536, 0x90));
  EXPECT_TRUE(player_.Play(largest.data(), kClickFlags));
  ASSERT_EQ(log_.played.size(), 1u);
  EXPECT_EQ(log_.played[0].samples.size(), 131072);
  const std::vector<uint8_t> empty = PlaybackImage({});
  EXPECT_TRUE(player_.Play(empty.data(), kClickFlags));
  EXPECT_EQ(log_.starts, 1);
}

TEST_F(SoundPlayerTest, DamagedHeadersAreRefusedUnplayed) {
  const std::vector<uint8_t> good = PlaybackImage(std::vector<uint8_t>(100, 0xA0));
  struct Damage {
    const char* what;
    size_t at;
    uint32_t value;
    int width;
  };
  const Damage damages[] = {
      {"not RIFF", 0, 0x46464952 + 1, 4},
      {"RIFF size short of the header", 4, 20, 4},
      {"RIFF size beyond the data", 4, 36 + 200 + 2, 4},
      {"not WAVE", 8, 0, 4},
      {"fmt chunk of another size", 16, 18, 4},
      {"not PCM", 20, 3, 2},
      {"stereo", 22, 2, 2},
      {"rate zero", 24, 0, 4},
      {"bytes per second off", 28, 24000 * 4, 4},
      {"block align off", 32, 4, 2},
      {"8-bit", 34, 8, 2},
      {"no data chunk", 36, 0x74736166, 4},
      {"odd data size", 40, 199, 4},
      {"data beyond the RIFF size", 40, 202, 4},
      {"data size past the largest sound", 40, 0x7FFFFFFE, 4},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    std::vector<uint8_t> image = good;
    if (d.width == 4)
      Put32(image, d.at, d.value);
    else
      Put16(image, d.at, static_cast<uint16_t>(d.value));
    EXPECT_FALSE(ParsePlaybackImage(image.data()).has_value());
    EXPECT_FALSE(player_.Play(image.data(), kClickFlags));
  }
  EXPECT_EQ(log_.starts, 0);
  // Both sizes raised together still may not pass the largest sound.
  std::vector<uint8_t> huge = good;
  Put32(huge, 4, 36 + 131074);
  Put32(huge, 40, 131074);
  EXPECT_FALSE(ParsePlaybackImage(huge.data()).has_value());
}

TEST_F(SoundPlayerTest, OnlyMemoryImagesAreTakenAndARefusingDeviceIsSilent) {
  const std::vector<uint8_t> image = PlaybackImage(std::vector<uint8_t>(10, 0xA0));
  EXPECT_FALSE(player_.Play(image.data(), SND_ASYNC | SND_NODEFAULT));
  EXPECT_EQ(log_.starts, 0);
  log_.refuse = true;
  EXPECT_FALSE(player_.Play(image.data(), kClickFlags));
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(SoundPlayerTest, TheSystemOutputPlaysOrStaysSilentWithoutAMessage) {
  // Whether this machine has a sound device or not, the call returns and
  // shows nothing; a stop afterwards is always fine.
  QtSoundPlayer system;
  const std::vector<uint8_t> image = PlaybackImage(std::vector<uint8_t>(2400, 0xE0));
  system.Play(image.data(), kClickFlags);
  EXPECT_TRUE(system.Play(nullptr, 0));
  EXPECT_TRUE(P().messageBoxes.empty());
}

}  // namespace
