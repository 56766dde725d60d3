// Malformed WAV and AIFF files the readers must end cleanly: a known status
// text, the section's bytes only, nothing read or written outside the file
// and the output. The rest of the bad-input list (block align 0 or too
// small, widths above 32, sizes near 2^32 on data and LIST chunks, data
// before any format) is in test_wav_read.cpp; the fuzz corpora hold every
// kind as a file too.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "files/codec/u255.h"
#include "files/codec/wav_parse.h"
#include "files/file_load.h"
#include "files/file_settings.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/unit/files/files_test_support.h"

namespace {

using filestest::Bytes;
using filestest::Show;
using filestest::Chunk;
using filestest::FmtChunk;
using filestest::Pcm16;
using filestest::Riff;

class WavBadInput : public testsupport::CoreTest {
 protected:
  static constexpr UINT kOffset = 1024;
  using Loader = FileReport (*)(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                                UINT lSize);
  // Loads `file` into a section of `size` bytes (fill byte 0xFF) between
  // marked neighbours, and returns the section.
  Bytes Load(const Bytes& file, UINT size, Loader loader = LoadWavFile) {
    Model().cMemoryFillValue = 0xFF;
    std::memset(ImageBytes(), 0xA5, IMAGE_SIZE);
    P().statusLog.clear();
    plat::StatusSetText(App().hWndStatus, 1, "");
    testsupport::WriteBytes(Path("bad.wav"), file);
    report_ = loader(Model(), Settings(), Path("bad.wav").c_str(), kOffset, size);
    Show(report_);
    EXPECT_EQ(ImageBytes()[kOffset - 1], 0xA5);
    EXPECT_EQ(ImageBytes()[kOffset + size], 0xA5);
    EXPECT_TRUE(P().messageBoxes.empty());
    return Bytes(ImageBytes() + kOffset, ImageBytes() + kOffset + size);
  }
  std::string Status() { return P().StatusText(1); }
  static uint8_t Code(int32_t v) { return static_cast<uint8_t>(LinearTou255law(v, WAV_FULL_SCALE)); }

  // A file, whether it is resampled, the 4-byte section it leaves and the status text.
  struct LoadCase {
    const char* what;
    Bytes file;
    bool resample;
    Bytes section;
    const char* status;
  };
  template <size_t N>
  void ExpectLoads(const LoadCase (&cases)[N], Loader loader) {
    for (const LoadCase& c : cases) {
      Settings().ResampleToPlaybackRate = c.resample;
      EXPECT_EQ(Load(c.file, 4, loader), c.section) << c.what;
      EXPECT_EQ(Status(), c.status) << c.what;
    }
  }

  FileReport report_;  // the last load's
};

TEST_F(WavBadInput, ZeroChannelsIsAnUnknownFormat) {
  EXPECT_EQ(Load(Riff({FmtChunk(1, 0, 2, 16), Chunk("data", Pcm16({1000, 1000}))}), 2), Bytes(2, 0xFF));
  EXPECT_EQ(Status(), "Unknown audio format (0001, 0 channels)\n");
}

TEST_F(WavBadInput, ZeroBitsGiveSilenceAndNoWidthAbove32IsRead) {
  // A width of 0 reads every value as 0: silence, without a complaint.
  EXPECT_EQ(Load(Riff({FmtChunk(1, 1, 1, 0), Chunk("data", {0x12, 0xFF})}), 3), (Bytes{0x80, 0x80, 0xFF}));
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(Load(Riff({FmtChunk(1, 2, 64, 65535), Chunk("data", Bytes(128, 0x7F))}), 2), Bytes(2, 0xFF));
  EXPECT_EQ(Status(), "Unsupported WAV frame layout (65535 bits, 2 channels, block align 64)");
}

TEST_F(WavBadInput, FormatChunkShorterThanItsFieldsIsStillReadWhole) {
  // A size of 0 or 4 on the "fmt " chunk: the 16 bytes of the format are
  // read all the same and the data that follows them loads.
  for (uint32_t size : {0u, 4u, 15u}) {
    Bytes fmt = FmtChunk(1, 1, 2, 16);
    fmt[4] = static_cast<uint8_t>(size);
    EXPECT_EQ(Load(Riff({fmt, Chunk("data", Pcm16({1000}))}), 2), (Bytes{0xB2, 0xFF})) << size;
    EXPECT_EQ(Status(), "") << size;
  }
  // A format chunk with no content at all: its "fields" are the next
  // chunk's header and data, here an unknown format, there too short.
  EXPECT_EQ(Load(Riff({Chunk("fmt ", {}), Chunk("data", Pcm16({1000, 1000, 1000}))}), 2), Bytes(2, 0xFF));
  EXPECT_EQ(Status(), "Unknown audio format (6164, 24948 channels)\n");
  EXPECT_EQ(Load(Riff({Chunk("fmt ", {}), Chunk("data", Pcm16({1000}))}), 2), Bytes(2, 0xFF));
  EXPECT_EQ(Status(), "Unexpected end of input");
}

TEST_F(WavBadInput, FormatChunkSizeNear2To32SwallowsTheRestOfTheFile) {
  Bytes fmt = FmtChunk(1, 1, 2, 16);
  fmt[4] = 0xF0, fmt[5] = 0xFF, fmt[6] = 0xFF, fmt[7] = 0xFF;
  EXPECT_EQ(Load(Riff({fmt, Chunk("data", Pcm16({1000, 1000}))}), 2), Bytes(2, 0xFF));
  EXPECT_EQ(Status(), "");
}

TEST_F(WavBadInput, OddChunkWithoutItsPadByteMisreadsOnlyWhatFollows) {
  // Three 8-bit frames and no pad byte: the frames load; the next header
  // is read one byte early, names no known chunk, and is skipped.
  Bytes file = Riff({FmtChunk(1, 1, 1, 8)});
  const Bytes data{'d', 'a', 't', 'a', 3, 0, 0, 0, 0x90, 0x90, 0x90};
  file.insert(file.end(), data.begin(), data.end());
  const Bytes second = Chunk("data", {0x70, 0x70});
  file.insert(file.end(), second.begin(), second.end());
  EXPECT_EQ(Load(file, 6), (Bytes{0xD0, 0xD0, 0xD0, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Status(), "");
}

TEST_F(WavBadInput, TwoFormatChunksThatDisagreeEachGovernTheDataAfterThem) {
  const Bytes file = Riff({FmtChunk(1, 1, 2, 16), Chunk("data", Pcm16({1000})), FmtChunk(1, 2, 2, 8),
                           Chunk("data", {0x90, 0x70, 0x90, 0x90})});
  EXPECT_EQ(Load(file, 4), (Bytes{0xB2, Code(0), Code(4096), 0xFF}));
  EXPECT_EQ(Status(), "");
  // A later format the reader refuses ends the walk; what came before stays.
  const Bytes refused =
      Riff({FmtChunk(1, 1, 2, 16), Chunk("data", Pcm16({1000})), FmtChunk(1, 2, 2, 16), Chunk("data", Pcm16({5, 5}))});
  EXPECT_EQ(Load(refused, 2), (Bytes{0xB2, 0xFF}));
  EXPECT_EQ(Status(), "Unsupported WAV frame layout (16 bits, 2 channels, block align 2)");
}

TEST_F(WavBadInput, AFileCutInsideEveryFieldEndsWithItsError) {
  // RIFF header 0..11, fmt header 12..19, format fields 20..33, bits 34..35,
  // data header 36..43, two 16-bit frames 44..47.
  const Bytes full = Riff({FmtChunk(1, 1, 2, 16), Chunk("data", Pcm16({1000, 1000}))});
  ASSERT_EQ(full.size(), 48u);
  for (size_t cut = 0; cut < full.size(); ++cut) {
    const Bytes out = Load(Bytes(full.begin(), full.begin() + static_cast<long>(cut)), 4);
    WavError expected = WavError::kNone;
    std::string status = "";
    if (cut < 12) expected = WavError::kShortRiffHeader, status = "Unexpected end of input";
    if (cut >= 20 && cut < 34) expected = WavError::kShortFormat, status = "Unexpected end of input";
    if (cut >= 34 && cut < 36) expected = WavError::kShortBits, status = "Unexpected end of input";
    if (cut >= 44) expected = WavError::kShortData, status = "Unexpected end of input";  // the data announced is missing
    EXPECT_EQ(report_.soundError, expected) << "cut at " << cut;
    const FileError error = expected == WavError::kNone ? FileError::kNone : FileError::kSound;
    EXPECT_EQ(report_.error, error) << "cut at " << cut;
    EXPECT_EQ(Status(), status) << "cut at " << cut;
    const size_t frames = cut > 44 ? (cut - 44) / 2 : 0;
    EXPECT_EQ(out, (Bytes{frames > 0 ? uint8_t{0xB2} : uint8_t{0xFF}, frames > 1 ? uint8_t{0xB2} : uint8_t{0xFF}, 0xFF,
                          0xFF}))
        << "cut at " << cut;
  }
}

// --- the newer formats -------------------------------------------------------------

TEST_F(WavBadInput, NewerWavFormatsReadWhatTheyCanAndNameWhatTheyCant) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const Bytes four = Pcm16({1000, 1000, 1000, 1000});
  const Bytes extensible = Riff({filestest::ExtensibleFmtChunk(1, 1, 2, 16, 16)});
  const LoadCase cases[] = {
      {"valid bits above the container", Riff({filestest::ExtensibleFmtChunk(1, 2, 6, 24, 32), Chunk("data", four)}),
       false, Bytes(4, 0xFF), "Unsupported WAV frame layout (24 bits, 32 valid bits, 2 channels, block align 6)"},
      {"valid bits below the container clear the bits under them",
       Riff({filestest::ExtensibleFmtChunk(1, 1, 2, 16, 12), Chunk("data", Pcm16({0x000F, 0x0010, -1}))}), false,
       {Code(0), Code(0x10), Code(-16), 0xFF}, ""},
      {"an extensible format of no known sub-format",
       Riff({filestest::ExtensibleFmtChunk(2, 1, 2, 16, 16), Chunk("data", four)}), false, Bytes(4, 0xFF),
       "Unknown audio format (FFFE, 1 channels)\n"},
      {"an extensible format cut inside its extension", Bytes(extensible.begin(), extensible.begin() + 12 + 8 + 30),
       false, Bytes(4, 0xFF), "Unexpected end of input"},
      {"extensible floats", Riff({filestest::ExtensibleFmtChunk(3, 1, 4, 32, 32),
                                  Chunk("data", filestest::Ieee<float>({0.5f, -0.25f}))}),
       false, {Code(16384), Code(-8192), 0xFF, 0xFF}, ""},
      {"NaN is silence, infinities and beyond full scale clip",
       Riff({FmtChunk(3, 1, 8, 64), Chunk("data", filestest::Ieee<double>({nan, inf, -inf, -1e300}))}), false,
       {Code(0), Code(32767), Code(-32768), Code(-32768)}, ""},
      {"floats of 16 bits", Riff({FmtChunk(3, 1, 2, 16), Chunk("data", four)}), false, Bytes(4, 0xFF),
       "Unsupported WAV frame layout (16 bits, 1 channels, block align 2)"},
      {"eight channels mix to their average",
       Riff({FmtChunk(1, 8, 16, 16), Chunk("data", Pcm16({800, 800, 800, 800, 800, 800, 800, -1}))}), false,
       {Code(5599 / 8), 0xFF, 0xFF, 0xFF}, ""},
      {"a rate of 0, resampled", Riff({FmtChunk(1, 1, 2, 16, 0), Chunk("data", four)}), true, Bytes(4, 0xFF),
       "ResampleSound: a sample rate is 0 or above 1536000 Hz (0 Hz to 24000 Hz)"},
      {"a rate of 0, not resampled", Riff({FmtChunk(1, 1, 2, 16, 0), Chunk("data", four)}), false,
       Bytes(4, 0xB2), ""},
      {"a rate too far from the playback rate", Riff({FmtChunk(1, 1, 2, 16, 93), Chunk("data", four)}), true,
       Bytes(4, 0xFF), "ResampleSound: the two sample rates differ by more than a factor of 256 (93 Hz to 24000 Hz)"},
  };
  ExpectLoads(cases, LoadWavFile);
}

TEST_F(WavBadInput, AiffFilesReadWhatTheyCanAndNameWhatTheyCant) {
  using filestest::Be16;
  using filestest::CommChunk;
  using filestest::Form;
  using filestest::SsndChunk;
  const Bytes one = Be16({1000});
  const Bytes cutSound = Form({CommChunk(1, 8, 16), filestest::BeChunk("SSND", Bytes(8 + 16, 0), 8 + 16)});
  Bytes huge = CommChunk(1, 1, 16);
  huge[8 + 8] = 0x7F;  // the rate's exponent far beyond 32 bits
  const LoadCase cases[] = {
      {"not a FORM", filestest::Wav16({1000}), false, Bytes(4, 0xFF), "Not an AIFF file"},
      {"another FORM", Form({}, "8SVX"), false, Bytes(4, 0xFF), "Unknown FORM type [8SVX]"},
      {"a compression no reader knows", Form({CommChunk(2, 1, 16, 24000, "ima4"), SsndChunk(one)}, "AIFC"), false,
       Bytes(4, 0xFF), "Unknown audio format (ima4, 2 channels)"},
      {"nine channels", Form({CommChunk(9, 1, 16), SsndChunk(one)}), false, Bytes(4, 0xFF),
       "Unknown audio format (NONE, 9 channels)"},
      {"no channels", Form({CommChunk(0, 1, 16), SsndChunk(one)}), false, Bytes(4, 0xFF),
       "Unknown audio format (NONE, 0 channels)"},
      {"samples of 33 bits", Form({CommChunk(1, 1, 33), SsndChunk(one)}), false, Bytes(4, 0xFF),
       "Unsupported AIFF sample size (33 bits)"},
      {"floats of 16 bits", Form({CommChunk(1, 1, 16, 24000, "fl32"), SsndChunk(one)}, "AIFC"), false,
       Bytes(4, 0xFF), "Unsupported AIFF sample size (16 bits)"},
      {"sound before the common chunk", Form({SsndChunk(one), CommChunk(1, 1, 16)}), false, Bytes(4, 0xFF),
       " No header detected before data!"},
      {"fewer frames announced than the sound holds", Form({CommChunk(1, 2, 16), SsndChunk(Be16({1000, 1000, 1000}))}),
       false, {0xB2, 0xB2, 0xFF, 0xFF}, ""},
      {"frames after an offset", Form({CommChunk(1, 9, 16), SsndChunk(Be16({1000, -1000}), 5)}), false,
       {0xB2, Code(-1000), 0xFF, 0xFF}, ""},
      {"a file cut inside its sound", Bytes(cutSound.begin(), cutSound.end() - 11), false, {0x80, 0x80, 0xFF, 0xFF},
       "Unexpected end of input"},
      {"12-bit samples fill their 16 from the top", Form({CommChunk(1, 1, 12), SsndChunk(Be16({0x123F}))}), false,
       {Code(0x1230), 0xFF, 0xFF, 0xFF}, ""},
      {"8-bit samples are two's complement", Form({CommChunk(1, 2, 8), SsndChunk({0x10, 0xF0})}), false,
       {Code(0x1000), Code(-0x1000), 0xFF, 0xFF}, ""},
      {"big-endian floats",
       Form({CommChunk(2, 1, 64, 24000, "fl64"), SsndChunk(filestest::Ieee<double>({0.5, 0.0}, true))}, "AIFC"),
       false, {Code(8192), 0xFF, 0xFF, 0xFF}, ""},
      {"a rate beyond 32 bits, resampled", Form({huge, SsndChunk(one)}), true, Bytes(4, 0xFF),
       "ResampleSound: a sample rate is 0 or above 1536000 Hz (4294967295 Hz to 24000 Hz)"},
  };
  ExpectLoads(cases, LoadAiffFile);
}

}  // namespace
