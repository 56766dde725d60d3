// WAV files in: every PCM width sox writes, the chunk walk, and the files
// that must be refused without touching anything outside the section.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

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
using filestest::Wav16;

class WavRead : public testsupport::CoreTest {
 protected:
  // Loads `file` into the section at `offset` and returns the section.
  Bytes Load(const Bytes& file, UINT size, UINT offset = 0) {
    std::memset(imgMemory, 0xA5, IMAGE_SIZE);  // what lies outside the section
    testsupport::WriteBytes(Path("in.wav"), file);
    Show(LoadWavFile(Path("in.wav").c_str(), offset, size));
    EXPECT_EQ(imgMemory[offset + size], offset + size < IMAGE_SIZE ? 0xA5 : imgMemory[offset + size]);
    if (offset > 0) EXPECT_EQ(imgMemory[offset - 1], 0xA5);
    return Bytes(imgMemory + offset, imgMemory + offset + size);
  }
  std::string Status() { return P().StatusText(1); }
  static uint8_t Code(int32_t v) { return static_cast<uint8_t>(LinearTou255law(v, 32768)); }

  // Known samples through sox into a WAV of the given width and channels.
  void SoxWav(const Bytes& raw, int bits, int channels, const char* encoding) {
    testsupport::WriteBytes(Path("in.raw"), raw);
    const std::string cmd = "sox -t raw -r 24000 -e " + std::string(encoding) + " -b " + std::to_string(bits) +
                            " -c " + std::to_string(channels) + " '" + Path("in.raw") + "' -t wavpcm '" +
                            Path("sox.wav") + "'";
    ASSERT_EQ(testsupport::Run(cmd), 0) << cmd;
  }
  Bytes LoadSox(UINT size) {
    Show(LoadWavFile(Path("sox.wav").c_str(), 0, size));
    return Bytes(imgMemory, imgMemory + size);
  }
};

// --- widths and channels, with sox as the writer ---------------------------

class WavReadSox : public WavRead {
 protected:
  void SetUp() override {
    WavRead::SetUp();
    if (!testsupport::HaveTool("sox")) GTEST_SKIP() << "sox not installed";
  }
};

TEST_F(WavReadSox, SixteenBitMonoAndStereo) {
  Bytes raw;
  std::vector<int> mono;
  for (int i = 0; i < 3000; ++i) mono.push_back((i * 37) % 65536 - 32768);
  for (int v : mono) filestest::Put16(raw, static_cast<uint16_t>(v));
  SoxWav(raw, 16, 1, "signed");
  Bytes want;
  for (int v : mono) want.push_back(Code(v));
  EXPECT_EQ(LoadSox(3000), want);

  SoxWav(raw, 16, 2, "signed");  // the same words as left/right pairs
  want.clear();
  for (size_t i = 0; i + 1 < mono.size(); i += 2) want.push_back(Code((mono[i] + mono[i + 1]) / 2));
  EXPECT_EQ(LoadSox(1500), want);
  EXPECT_EQ(Status(), "");
}

TEST_F(WavReadSox, EightBitIsOffsetBinary) {
  Bytes raw;
  for (int i = 0; i < 512; ++i) raw.push_back(static_cast<uint8_t>(i * 13));
  SoxWav(raw, 8, 1, "unsigned");
  Bytes want;
  for (uint8_t b : raw) want.push_back(Code((b - 128) * 256));
  EXPECT_EQ(LoadSox(512), want);

  SoxWav(raw, 8, 2, "unsigned");
  want.clear();
  for (size_t i = 0; i < raw.size(); i += 2) want.push_back(Code(((raw[i] - 128) * 256 + (raw[i + 1] - 128) * 256) / 2));
  EXPECT_EQ(LoadSox(256), want);
}

TEST_F(WavReadSox, TwentyFourAndThirtyTwoBitComeToTheSixteenBitScale) {
  Bytes raw24, raw32;
  std::vector<int32_t> v24, v32;
  for (int i = 0; i < 600; ++i) {
    const int32_t a = (i * 27961) % (1 << 24) - (1 << 23);
    const int32_t b = static_cast<int32_t>(static_cast<uint32_t>(i) * 2654435761u);
    v24.push_back(a);
    v32.push_back(b);
    raw24.insert(raw24.end(), {static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a >> 16)});
    filestest::Put32(raw32, static_cast<uint32_t>(b));
  }
  SoxWav(raw24, 24, 1, "signed");
  Bytes want;
  for (int32_t a : v24) want.push_back(Code(a >> 8));
  EXPECT_EQ(LoadSox(600), want);

  SoxWav(raw32, 32, 2, "signed");
  want.clear();
  for (size_t i = 0; i < v32.size(); i += 2) want.push_back(Code(((v32[i] >> 16) + (v32[i + 1] >> 16)) / 2));
  EXPECT_EQ(LoadSox(300), want);
}

// --- worked values ------------------------------------------------------------

TEST_F(WavRead, WorkedSampleValues) {
  EXPECT_EQ(Load(Wav16({1000}), 1), Bytes{0xB2});
  EXPECT_EQ(Load(Riff({FmtChunk(1, 1, 1, 8), Chunk("data", {0x90, 0x70})}), 2), (Bytes{0xD0, 0x50}));
  EXPECT_EQ(Load(Riff({FmtChunk(1, 2, 2, 8), Chunk("data", {0x90, 0x70})}), 1), Bytes{0x80});
  EXPECT_EQ(Load(Riff({FmtChunk(1, 1, 3, 24), Chunk("data", {0x00, 0x10, 0x00, 0xFF, 0xFF, 0x7F})}), 2),
            (Bytes{0x82, Code(32767)}));
  // Stereo mixes truncate toward zero: (1001 + -2) / 2 = 499.
  EXPECT_EQ(Load(Riff({FmtChunk(1, 2, 4, 16), Chunk("data", Pcm16({1001, -2, -1001, 2}))}), 2),
            (Bytes{Code(499), Code(-499)}));
  // A width below 8 is right-aligned in its byte.
  EXPECT_EQ(Load(Riff({FmtChunk(1, 1, 1, 4), Chunk("data", {0xFC})}), 1), Bytes{Code((0xC - 8) << 12)});
}

TEST_F(WavRead, SectionLengthBoundsTheCodes) {
  cMemoryFillValue = 0xFF;
  std::vector<int> many(10000, 1000);
  Bytes data;
  for (int v : many) filestest::Put16(data, static_cast<uint16_t>(v));
  const Bytes stored = Load(Riff({FmtChunk(1, 1, 2, 16), Chunk("data", data)}), 8192, 16384);
  EXPECT_EQ(stored, Bytes(8192, 0xB2));
  EXPECT_EQ(Status(), "");

  const Bytes shortOne = Load(Riff({FmtChunk(1, 1, 2, 16), Chunk("data", Bytes(200, 0))}), 8192, 16384);
  EXPECT_EQ(Bytes(shortOne.begin(), shortOne.begin() + 100), Bytes(100, 0x80));
  EXPECT_EQ(Bytes(shortOne.begin() + 100, shortOne.end()), Bytes(8092, 0xFF));
}

// --- the chunk walk -------------------------------------------------------------

TEST_F(WavRead, ChunksAroundTheFormatAndData) {
  const Bytes list = Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 3, 0, 0, 0, 'h', 'i', 0});  // odd: padded
  EXPECT_EQ(Load(Riff({list, FmtChunk(1, 1, 2, 16), list, Chunk("data", Pcm16({1000, 1000})), list}), 2),
            (Bytes{0xB2, 0xB2}));
  EXPECT_EQ(Load(Riff({FmtChunk(1, 1, 2, 16, 24000, "FMT "), Chunk("Data", Pcm16({1000}))}), 1), Bytes{0xB2});
  // A format chunk longer than 16 bytes (an extension size field) is skipped
  // past correctly.
  Bytes fmt18 = FmtChunk(1, 1, 2, 16);
  fmt18[4] = 18;
  fmt18.insert(fmt18.end(), {0, 0});
  EXPECT_EQ(Load(Riff({fmt18, Chunk("data", Pcm16({1000}))}), 1), Bytes{0xB2});
  EXPECT_EQ(Status(), "");
}

TEST_F(WavRead, OddDataChunksSkipTheirPadByte) {
  // Five 8-bit frames and their pad byte, then a second data chunk: its
  // frames follow the first chunk's codes.
  const Bytes file = Riff({FmtChunk(1, 1, 1, 8), Chunk("data", {0x90, 0x90, 0x90, 0x90, 0x90}),
                           Chunk("data", {0x70, 0x70, 0x70})});
  EXPECT_EQ(Load(file, 8), (Bytes{0xD0, 0xD0, 0xD0, 0xD0, 0xD0, 0x50, 0x50, 0x50}));
  EXPECT_EQ(Status(), "");
}

TEST_F(WavRead, DataBeforeAnyFormatIsSkippedWithANote) {
  cMemoryFillValue = 0xFF;
  EXPECT_EQ(Load(Riff({Chunk("data", Pcm16({5, 5}))}), 2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(Status(), " No header detected before data!");
  EXPECT_EQ(Load(Riff({Chunk("data", Pcm16({5})), FmtChunk(1, 1, 2, 16), Chunk("data", Pcm16({1000}))}), 2),
            (Bytes{0xB2, 0xFF}));
}

TEST_F(WavRead, HugeChunkSizesAreSkippedToTheEnd) {
  Bytes file = Riff({FmtChunk(1, 1, 2, 16), Chunk("data", Pcm16({1000})), Chunk("LIST", {1, 2, 3, 4}, 0xFFFFFFF0)});
  EXPECT_EQ(Load(file, 2), (Bytes{0xB2, 0x00}));
  // A data size with the top bit set converts nothing.
  file = Riff({FmtChunk(1, 1, 2, 16), Chunk("data", Pcm16({1000, 1000}), 0xFFFFFFFF)});
  EXPECT_EQ(Load(file, 2), (Bytes{0x00, 0x00}));
  EXPECT_EQ(Status(), "");
}

// --- refusals ----------------------------------------------------------------------

TEST_F(WavRead, WrongContainersLeaveTheFillByte) {
  cMemoryFillValue = 0xFF;
  const Bytes good = Wav16({1000});
  Bytes rifx = good;
  std::memcpy(rifx.data(), "RIFX", 4);
  EXPECT_EQ(Load(rifx, 2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(Status(), "Not a RIFF file");
  Bytes avi = good;
  std::memcpy(avi.data() + 8, "AVI ", 4);
  EXPECT_EQ(Load(avi, 2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(Status(), " Unknown RIFF type [AVI ]");
  EXPECT_EQ(Load(Bytes{'R', 'I', 'F', 'F', 0}, 2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(Status(), "Unexpected end of input");
}

TEST_F(WavRead, UnknownFormatsAreNamed) {
  cMemoryFillValue = 0xFF;
  // An extensible format without its extension names no encoding.
  EXPECT_EQ(Load(Riff({FmtChunk(0xFFFE, 2, 4, 16), Chunk("data", Pcm16({1000, 1000}))}), 1), Bytes{0xFF});
  EXPECT_EQ(Status(), "Unknown audio format (FFFE, 2 channels)\n");
  EXPECT_EQ(Load(Riff({FmtChunk(1, 9, 18, 16), Chunk("data", Pcm16({1, 1, 1, 1, 1, 1, 1, 1, 1}))}), 1), Bytes{0xFF});
  EXPECT_EQ(Status(), "Unknown audio format (0001, 9 channels)\n");
  // Compressed formats: ADPCM, mu-law, MPEG layer 3.
  for (const auto& [tag, text] : {std::pair{2u, "Unknown audio format (0002, 1 channels)\n"},
                                  {7u, "Unknown audio format (0007, 1 channels)\n"},
                                  {0x55u, "Unknown audio format (0055, 1 channels)\n"}}) {
    EXPECT_EQ(Load(Riff({FmtChunk(tag, 1, 1, 8), Chunk("data", {1, 2})}), 1), Bytes{0xFF}) << text;
    EXPECT_EQ(Status(), text);
  }
}

TEST_F(WavRead, FrameLayoutsTheReaderCantHoldAreRefused) {
  cMemoryFillValue = 0xFF;
  const struct { unsigned channels, blockAlign, bits; const char* text; } cases[] = {
      {2, 2, 16, "Unsupported WAV frame layout (16 bits, 2 channels, block align 2)"},
      {1, 65, 16, "Unsupported WAV frame layout (16 bits, 1 channels, block align 65)"},
      {1, 4, 33, "Unsupported WAV frame layout (33 bits, 1 channels, block align 4)"},
      {2, 5, 24, "Unsupported WAV frame layout (24 bits, 2 channels, block align 5)"},
  };
  for (const auto& c : cases) {
    const Bytes file = Riff({FmtChunk(1, c.channels, c.blockAlign, c.bits), Chunk("data", Bytes(256, 0x40))});
    EXPECT_EQ(Load(file, 4), Bytes(4, 0xFF)) << c.text;
    EXPECT_EQ(Status(), c.text);
  }
  // Padding inside a frame is allowed: the extra bytes are not read.
  EXPECT_EQ(Load(Riff({FmtChunk(1, 1, 64, 16), Chunk("data", Pcm16({1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                       0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                       0, 0, 0, 0}))}),
                 2),
            (Bytes{0xB2, 0xFF}));
}

TEST_F(WavRead, CutFilesReportTheUnexpectedEnd) {
  cMemoryFillValue = 0xFF;
  const Bytes full = Wav16({1000, 1000, 1000, 1000});
  // Cut inside the fmt chunk's first 14 bytes, before the bits field, and
  // inside the third frame.
  const struct { size_t length; WavError error; } cuts[] = {
      {12 + 8 + 10, WavError::kShortFormat}, {12 + 8 + 15, WavError::kShortBits}, {44 + 5, WavError::kShortData}};
  for (const auto& cut : cuts) {
    testsupport::WriteBytes(Path("cut.wav"), Bytes(full.begin(), full.begin() + static_cast<long>(cut.length)));
    plat::StatusSetText(hWndStatus, 1, "");
    const FileReport report = LoadWavFile(Path("cut.wav").c_str(), 0, 4);
    EXPECT_EQ(report.error, FileError::kSound) << cut.length;
    EXPECT_EQ(report.soundError, cut.error) << cut.length;
    Show(report);
    EXPECT_EQ(Status(), "Unexpected end of input");
  }
  const Bytes cut(full.begin(), full.begin() + 49);
  EXPECT_EQ(Load(cut, 4), (Bytes{0xB2, 0xB2, 0xFF, 0xFF}));
  AutoScale = 1;  // the peak stays at full scale: the same codes again
  EXPECT_EQ(Load(cut, 4), (Bytes{0xB2, 0xB2, 0xFF, 0xFF}));
}

TEST_F(WavRead, ZeroBlockAlignEndsAtTheFirstFrame) {
  EXPECT_EQ(Load(Riff({FmtChunk(1, 1, 0, 16), Chunk("data", Pcm16({1000}))}), 1), Bytes{0x00});
  EXPECT_EQ(Status(), "Unexpected end of input");
}

TEST_F(WavRead, UnopenableFileShowsABoxWithoutPath) {
  Show(LoadWavFile(Path("missing.wav").c_str(), 0, 16));
  Show(LoadWavFile(temp_.path().c_str(), 0, 16));  // a folder
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Unable to open input file", "Unable to open input file"}));
  EXPECT_EQ(imgMemory[0], 0x00);  // not even filled
}

// --- auto-scaling ------------------------------------------------------------------

TEST_F(WavRead, AutoScaleNormalisesToTheMeasuredPeak) {
  const Bytes file = Wav16({16384, 8192, -16384, -8192});
  EXPECT_EQ(Load(file, 4), (Bytes{0xF0, 0xE0, 0x70, 0x60}));
  AutoScale = 1;
  EXPECT_EQ(Load(file, 4), (Bytes{0xFF, 0xF0, 0x7F, 0x70}));
}

TEST_F(WavRead, AutoScaleOfSilenceKeepsSilence) {
  AutoScale = 1;
  EXPECT_EQ(Load(Wav16({0, 0, 0}), 3), Bytes(3, 0x80));
  EXPECT_EQ(Load(Riff({FmtChunk(1, 1, 2, 16)}), 3), Bytes(3, 0x00));  // no data at all
}

TEST_F(WavRead, HeaderCleanupRunsButNotRateDetection) {
  AutoCleanup = 1;
  AutoDetectSampleRate = 1;
  EXPECT_EQ(Load(Wav16({1000, 1000, 1000}), 3), (Bytes{0x00, 0x00, 0xB2}));
  const Bytes rateCodes = Load(Riff({FmtChunk(1, 1, 1, 8), Chunk("data", {0x00, 0x00})}), 2);
  EXPECT_EQ(rateCodes[0], rateCodes[1]);
  EXPECT_EQ(sample_rate, 24000u);
}

// --- the parser's result ----------------------------------------------------------------

TEST(WavParse, ResultsSayWhatWhereAndHowLoud) {
  // RIFF header 0..11, fmt header 12..19, format fields 20..33, bits 34..35,
  // data header 36..43, frames from 44 on.
  const Bytes four = Wav16({1000, -3000, 2000, 500});
  const auto cut = [&](size_t n) { return Bytes(four.begin(), four.begin() + static_cast<long>(n)); };
  const Bytes list = Chunk("LIST", {'I', 'N', 'F', 'O', 'x'});  // odd: padded
  const struct {
    const char* what;
    Bytes file;
    uint32_t section;
    bool autoScale;
    WavError error;
    uint64_t offset;
    size_t codes;
    int32_t peak, scale;
  } cases[] = {
      {"whole", four, 8, false, WavError::kNone, 0, 4, 3000, 32768},
      {"auto-scaled", four, 8, true, WavError::kNone, 0, 4, 3000, 3000},
      {"the frame finding the section full counts", Wav16({1000, 5000, 9000}), 1, false, WavError::kNone, 0, 1, 5000,
       32768},
      {"the frame finding the section full counts, auto-scaled", Wav16({1000, 5000, 9000}), 1, true, WavError::kNone,
       0, 1, 5000, 5000},
      {"the last data chunk's peak", Riff({FmtChunk(1, 1, 2, 16), Chunk("data", Pcm16({8000})),
                                           Chunk("data", Pcm16({-700, 300}))}),
       8, true, WavError::kNone, 0, 3, 700, 700},
      {"silence keeps the full scale", Wav16({0, 0}), 8, true, WavError::kNone, 0, 2, 0, 32768},
      {"cut inside the third frame", cut(49), 8, true, WavError::kShortData, 48, 2, 3000, 32768},
      {"cut before the bits", cut(35), 8, false, WavError::kShortBits, 34, 0, 0, 32768},
      {"cut inside the format", cut(25), 8, false, WavError::kShortFormat, 20, 0, 0, 32768},
      {"cut inside the RIFF header", cut(11), 8, false, WavError::kShortRiffHeader, 0, 0, 0, 32768},
      {"mu-law", Riff({FmtChunk(7, 1, 1, 8), Chunk("data", Bytes(8, 0))}), 8, false, WavError::kUnknownFormat,
       20, 0, 0, 32768},
      {"a format after a padded chunk", Riff({list, FmtChunk(0xFFFE, 2, 4, 16)}), 8, false,
       WavError::kUnknownFormat, 34, 0, 0, 32768},
      {"a frame too wide", Riff({FmtChunk(1, 1, 65, 16)}), 8, false, WavError::kUnsupportedLayout, 20, 0, 0, 32768},
      {"RIFX", Riff({}, "RIFX"), 8, false, WavError::kNotRiff, 0, 0, 0, 32768},
      {"AVI", Riff({}, "RIFF", "AVI "), 8, false, WavError::kNotWave, 8, 0, 0, 32768},
  };
  for (const auto& c : cases) {
    const WavParse wav = ParseWav(c.file.data(), c.file.size(), {c.section, c.autoScale});
    EXPECT_EQ(wav.error, c.error) << c.what;
    EXPECT_EQ(wav.errorOffset, c.offset) << c.what;
    EXPECT_EQ(wav.codes.size(), c.codes) << c.what;
    EXPECT_EQ(wav.peak, c.peak) << c.what;
    EXPECT_EQ(wav.scale, c.scale) << c.what;
  }
  const Bytes rate = Riff({FmtChunk(1, 1, 2, 16, 22050), Chunk("data", Pcm16({1}))});
  EXPECT_EQ(ParseWav(rate.data(), rate.size(), {8, false}).format.sampleRate, 22050u);
}

// --- no file reaches outside its output ----------------------------------------------

TEST_F(WavRead, MutatedFilesStayInsideTheOutput) {
  const Bytes list = Chunk("LIST", {'I', 'N', 'F', 'O', 'x'});
  const Bytes seed = Riff({list, FmtChunk(1, 2, 4, 16), Chunk("data", Pcm16({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})),
                           FmtChunk(1, 1, 3, 24), Chunk("data", Bytes(31, 0x7F))});
  std::mt19937 random(12345);
  constexpr UINT kGuard = 64, kOut = 12;
  for (int round = 0; round < 3000; ++round) {
    Bytes file = seed;
    const int edits = 1 + static_cast<int>(random() % 6);
    for (int e = 0; e < edits; ++e) file[random() % file.size()] = static_cast<uint8_t>(random());
    if (random() % 4 == 0) file.resize(random() % file.size());
    testsupport::WriteBytes(Path("mutated.wav"), file);
    std::memset(imgMemory, 0xA5, kGuard + kOut + kGuard);
    const FileReport report = LoadWavFile(Path("mutated.wav").c_str(), kGuard, kOut);
    EXPECT_TRUE(report.error == FileError::kNone || report.error == FileError::kSound) << round;
    for (UINT i = 0; i < kGuard; ++i) {
      ASSERT_EQ(imgMemory[i], 0xA5) << "round " << round;
      ASSERT_EQ(imgMemory[kGuard + kOut + i], 0xA5) << "round " << round;
    }
  }
}

}  // namespace
