// Sound files as editors write them, with sox as the writer: WAV of every
// integer and float width (sox's extensible header included) and AIFF and
// AIFF-C, mono to six channels, load as their samples predict; a tone
// resampled to the playback rate keeps its pitch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "files/codec/aiff_parse.h"
#include "files/codec/u255.h"
#include "files/file_load.h"
#include "files/file_save.h"
#include "files/file_settings.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/unit/files/files_test_support.h"

namespace {

using filestest::Bytes;
using filestest::Show;

uint8_t Code(int32_t v) { return static_cast<uint8_t>(LinearTou255law(v, 32768)); }

class SoundFormats : public testsupport::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    if (!testsupport::HaveTool("sox")) GTEST_SKIP() << "sox not installed";
  }
  // Loads `name` as a drop would into the first `size` bytes.
  Bytes Load(const std::string& name, UINT size) {
    std::memset(ImageBytes(), 0xA5, IMAGE_SIZE);
    Show(tvOpenFileName(Model(), Settings(), Path(name).c_str(), 0, static_cast<int>(size), static_cast<int>(size)));
    EXPECT_EQ(ImageBytes()[size], 0xA5) << name;
    return Bytes(ImageBytes(), ImageBytes() + size);
  }
  std::string Status() { return P().StatusText(1); }
};

// --- every layout -------------------------------------------------------------------

struct Layout {
  const char* type;      // sox's file type; "sowt": an AIFF-C "NONE" file turned little-endian
  const char* encoding;  // signed, unsigned or floating-point
  int bits;
  int channels;
  const char* name;        // the file loaded: its extension, or none, picks the reader
  uint16_t wavTag;         // the format tag sox writes, checked when not 0
};

// Known samples of the layout's width, and each on the 16-bit scale.
struct Samples {
  Bytes raw;  // little-endian, interleaved
  std::vector<int32_t> scaled;
};

Samples MakeSamples(const Layout& l, size_t count) {
  Samples s;
  std::mt19937 random(static_cast<unsigned>(l.bits * 16 + l.channels));
  const bool floating = std::strcmp(l.encoding, "floating-point") == 0;
  const double extremes[] = {1.0, -1.0, 0.0, 1.5, -2.0};  // beyond full scale: clipped
  for (size_t i = 0; i < count; ++i) {
    if (floating) {
      // Multiples of 2^-18, which sox's 32-bit path carries exactly.
      const double v = i < std::size(extremes) ? extremes[i]
                                               : static_cast<int>(random() % 160001) / 65536.0 - 80000 / 65536.0 +
                                                     1.0 / (1 << 18);
      const double scaled = std::floor(std::clamp(v, -1.0, 1.0) * 32768);
      s.scaled.push_back(static_cast<int32_t>(std::min(scaled, 32767.0)));
      uint64_t bits = 0;
      if (l.bits == 32) {
        const float f = static_cast<float>(v);
        std::memcpy(&bits, &f, 4);
      } else {
        std::memcpy(&bits, &v, 8);
      }
      for (int b = 0; b < l.bits / 8; ++b) s.raw.push_back(static_cast<uint8_t>(bits >> (8 * b)));
      continue;
    }
    const uint32_t word = static_cast<uint32_t>(i < 2 ? (i == 0 ? 0x7FFFFFFF : 0x80000000) : random());
    const uint32_t top = l.bits == 32 ? word : word & ~(UINT32_MAX >> l.bits);  // the value in the top bits
    const bool offset = std::strcmp(l.encoding, "unsigned") == 0;
    const uint32_t stored = (top >> (32 - l.bits)) ^ (offset ? 0x80u : 0u);
    for (int b = 0; b < l.bits / 8; ++b) s.raw.push_back(static_cast<uint8_t>(stored >> (8 * b)));
    s.scaled.push_back(static_cast<int32_t>(top) >> 16);
  }
  return s;
}

// An AIFF-C "NONE" file with every sample's bytes reversed and "sowt" as
// its compression type.
void MakeSowt(const std::string& path, int bits) {
  Bytes file = testsupport::ReadBytes(path);
  const auto at = [&](const char* tag) {
    return static_cast<size_t>(std::search(file.begin(), file.end(), tag, tag + 4) - file.begin());
  };
  std::memcpy(&file[at("NONE")], "sowt", 4);
  const size_t ssnd = at("SSND");
  const size_t size = (file[ssnd + 4] << 24 | file[ssnd + 5] << 16 | file[ssnd + 6] << 8 | file[ssnd + 7]) - 8u;
  const size_t bytes = static_cast<size_t>(bits / 8);
  for (size_t i = ssnd + 16; i + bytes <= ssnd + 16 + size; i += bytes)
    std::reverse(file.begin() + static_cast<long>(i), file.begin() + static_cast<long>(i + bytes));
  testsupport::WriteBytes(path, file);
}

TEST_F(SoundFormats, EveryLayoutLoadsAsItsSamplesPredict) {
  const Layout layouts[] = {
      {"wav", "signed", 24, 1, "a.wav", 0xFFFE},  // sox's default header for 24 bits
      {"wav", "signed", 24, 2, "b.wav", 0xFFFE},
      {"wav", "signed", 32, 6, "c.wav", 0xFFFE},
      {"wav", "signed", 16, 6, "d.WAV", 0xFFFE},
      {"wav", "unsigned", 8, 3, "e.wav", 0xFFFE},
      {"wav", "floating-point", 32, 1, "f.wav", 3},
      {"wav", "floating-point", 64, 2, "g.wav", 3},
      {"wav", "floating-point", 32, 5, "h.wav", 3},
      {"aiff", "signed", 8, 1, "i.aif", 0},
      {"aiff", "signed", 16, 2, "j.aiff", 0},
      {"aiff", "signed", 24, 4, "k.AIFF", 0},
      {"aiff", "signed", 32, 1, "l", 0},  // no extension: known by its content
      {"aifc", "signed", 16, 6, "m.aifc", 0},
      {"aifc", "floating-point", 32, 2, "n.aifc", 0},
      {"aifc", "floating-point", 64, 1, "o.aifc", 0},
      {"sowt", "signed", 16, 2, "p.aifc", 0},
      {"sowt", "signed", 24, 1, "q.aif", 0},
  };
  constexpr size_t kFrames = 400;
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    const Samples s = MakeSamples(l, kFrames * static_cast<size_t>(l.channels));
    testsupport::WriteBytes(Path("in.raw"), s.raw);
    const bool sowt = std::strcmp(l.type, "sowt") == 0;
    const std::string command = "sox -D -t raw -r 44100 -L -e " + std::string(l.encoding) + " -b " +
                                std::to_string(l.bits) + " -c " + std::to_string(l.channels) + " '" +
                                Path("in.raw") + "' -t " + (sowt ? "aifc" : l.type) + " '" + Path(l.name) + "'";
    ASSERT_EQ(testsupport::Run(command + " 2>/dev/null"), 0) << command;
    if (sowt) MakeSowt(Path(l.name), l.bits);
    if (l.wavTag != 0) {
      const Bytes file = testsupport::ReadBytes(Path(l.name));
      ASSERT_EQ(file[20] | file[21] << 8, l.wavTag);
    }
    Bytes want;
    for (size_t f = 0; f < kFrames; ++f) {
      int32_t sum = 0;
      for (size_t c = 0; c < static_cast<size_t>(l.channels); ++c) sum += s.scaled[f * l.channels + c];
      want.push_back(Code(sum / l.channels));
    }
    EXPECT_EQ(Load(l.name, kFrames), want);
    EXPECT_EQ(Status(), "");
  }
}

// --- resampling to the playback rate --------------------------------------------------

// The frequency of the sound in a 16-bit mono WAV, from its zero crossings
// over the whole sound.
double MeasuredHz(const Bytes& wav) {
  const uint32_t rate = wav[24] | wav[25] << 8 | wav[26] << 16 | static_cast<uint32_t>(wav[27]) << 24;
  std::vector<int16_t> samples;
  for (size_t i = 44; i + 1 < wav.size(); i += 2) samples.push_back(static_cast<int16_t>(wav[i] | wav[i + 1] << 8));
  int crossings = 0;
  for (size_t i = 1; i < samples.size(); ++i) crossings += (samples[i - 1] < 0) != (samples[i] < 0);
  return crossings / 2.0 * rate / static_cast<double>(samples.size());
}

TEST_F(SoundFormats, AToneResampledToThePlaybackRateKeepsItsPitch) {
  // One second of 1 kHz at 44.1 kHz, 24-bit stereo, as sox writes it.
  ASSERT_EQ(testsupport::Run("sox -n -r 44100 -b 24 -c 2 '" + Path("tone.wav") + "' synth 1 sine 1000 gain -3"), 0);
  const struct { bool resample; UINT rate; double hz; } cases[] = {
      {false, 24000, 1000.0 * 24000 / 44100},  // one frame per sample: too low
      {true, 24000, 1000.0},
      {true, 32000, 1000.0},
      {true, 12000, 1000.0},
  };
  constexpr UINT kSection = 8192;  // 2764: the tone fills it at every rate
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + (c.resample ? " resampled" : ""));
    Settings().ResampleToPlaybackRate = c.resample;
    Settings().sample_rate = c.rate;
    Load("tone.wav", kSection);
    EXPECT_EQ(Status(), "");
    Show(SaveWavFile(Model(), Settings(), Path("played.wav").c_str(), 0, kSection));
    const Bytes played = testsupport::ReadBytes(Path("played.wav"));
    ASSERT_EQ(played.size(), 44 + 2 * kSection);
    EXPECT_NEAR(MeasuredHz(played), c.hz, c.hz * 0.005);
  }

  // One second becomes 24000 samples, the rest of the section keeps the fill.
  Model().cMemoryFillValue = 0xFF;
  Settings().sample_rate = 24000;
  const Bytes section = Load("tone.wav", 32768);
  EXPECT_EQ(std::count(section.begin(), section.begin() + 24000, 0xFF), 0);  // -3 dB: never full scale
  EXPECT_EQ(Bytes(section.begin() + 24000, section.end()), Bytes(32768 - 24000, 0xFF));
  // Auto-scaling measures the resampled sound.
  Settings().AutoScale = 1;
  const Bytes scaled = Load("tone.wav", 32768);
  EXPECT_EQ(*std::max_element(scaled.begin(), scaled.begin() + 24000), 0xFF);
}

TEST_F(SoundFormats, AFileAtThePlaybackRateIsTheSameResampledOrNot) {
  ASSERT_EQ(testsupport::Run("sox -n -r 24000 -b 16 -c 2 '" + Path("same.wav") + "' synth 0.5 sine 300 sine 4321"), 0);
  const Bytes plain = Load("same.wav", 16384);
  Settings().AutoScale = 1;
  const Bytes scaled = Load("same.wav", 16384);
  Settings().ResampleToPlaybackRate = 1;
  EXPECT_EQ(Load("same.wav", 16384), scaled);
  Settings().AutoScale = 0;
  EXPECT_EQ(Load("same.wav", 16384), plain);
}

// --- the AIFF sample rate -------------------------------------------------------------

// The 80-bit value of `rate` in the byte order of an AIFF file, from the
// platform's own extended type.
Bytes ExtendedBytes(long double rate) {
  uint8_t little[sizeof(long double)] = {};
  std::memcpy(little, &rate, sizeof rate);
  return Bytes(std::rbegin(little) + (sizeof little - 10), std::rend(little));
}

TEST(AiffRate, EightyBitValuesRoundToAWholeRateOrStayOutOfTheWay) {
  if (std::numeric_limits<long double>::digits != 64) GTEST_SKIP() << "long double is not the 80-bit format";
  const struct { long double value; uint32_t rate; } cases[] = {
      {44100.0L, 44100},
      {22254.5454545L, 22255},  // the classic Macintosh rate
      {0.5L, 1},
      {0.49L, 0},
      {4294967294.5L, 4294967295u},
      {4294967295.5L, UINT32_MAX},  // would round beyond 32 bits
      {1e30L, UINT32_MAX},
      {-44100.0L, 0},
      {0.0L, 0},
      {LDBL_TRUE_MIN, 0},
      {std::numeric_limits<long double>::infinity(), 0},
      {std::numeric_limits<long double>::quiet_NaN(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtendedToRate(ExtendedBytes(c.value).data()), c.rate) << double(c.value);
  EXPECT_EQ(ExtendedBytes(44100.0L), filestest::Extended(44100));
}

}  // namespace
