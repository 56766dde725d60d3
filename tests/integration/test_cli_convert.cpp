// talverine-cli as a user runs it: files made by other tools in, the bytes
// the program prescribes out, and exit codes a script can rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "files/codec/u255.h"
#include "tests/support/core_fixture.h"

namespace {

using testsupport::ReadBytes;

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::HaveTool("sox") || !testsupport::HaveTool("srec_cat")) GTEST_SKIP() << "sox or srec_cat missing";
  }
  std::string Path(const std::string& name) const { return temp_.File(name); }
  // Runs talverine-cli with `args` (after `environment`, "NAME=value ...");
  // stderr goes to err.txt.
  int RunCli(const std::string& args, const std::string& environment = "") {
    return testsupport::Run(environment + " " + TALVERINE_CLI + " " + args + " >" + Path("out.txt") + " 2>" +
                            Path("err.txt"));
  }
  std::string Err() const {
    const auto bytes = ReadBytes(Path("err.txt"));
    return std::string(bytes.begin(), bytes.end());
  }
  // A 16-bit mono WAV made by sox from raw samples.
  void SoxWav(const std::string& name, const std::vector<int16_t>& samples, const std::string& format = "") {
    std::vector<uint8_t> raw;
    for (int16_t s : samples) {
      raw.push_back(static_cast<uint8_t>(s & 0xFF));
      raw.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
    testsupport::WriteBytes(Path("in.raw"), raw);
    ASSERT_EQ(testsupport::Run("sox -t raw -r 24000 -e signed -b 16 -c 1 " + Path("in.raw") + " " + format + " " + Path(name)), 0);
  }
  testsupport::TempDir temp_;
};

TEST_F(Cli, WavFromSoxBecomesA2764ImageAndComesBackAsTheCodesDecode) {
  const std::vector<int16_t> samples = {0, 1000, -129, 32767, -32768, 8192, 129, -1};
  SoxWav("sound.wav", samples);
  ASSERT_EQ(RunCli("convert " + Path("sound.wav") + " " + Path("sound.bin")), 0) << Err();
  const auto image = ReadBytes(Path("sound.bin"));
  ASSERT_EQ(image.size(), 8192u);
  const std::vector<uint8_t> expected = {0x80, 0xB2, 0x10, 0xFF, 0x7F, 0xE0, 0x90, 0x00};
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 8), expected);
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + 8, image.end()), std::vector<uint8_t>(8184, 0));

  // Back to WAV: 16-bit mono at 24000 Hz, each code decoded.
  ASSERT_EQ(RunCli("convert " + Path("sound.bin") + " " + Path("back.wav")), 0) << Err();
  ASSERT_EQ(testsupport::Run("sox " + Path("back.wav") + " -t raw " + Path("back.raw")), 0);
  const auto raw = ReadBytes(Path("back.raw"));
  ASSERT_EQ(raw.size(), 8192u * 2);
  for (size_t i = 0; i < 8; ++i) {
    const int16_t value = static_cast<int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    EXPECT_EQ(value, u255lawToLinear(expected[i], 32767)) << i;
  }
}

TEST_F(Cli, StereoAndWiderSamplesAreMixedAndScaled) {
  // 24-bit stereo (plain PCM, as wavpcm writes it): left 1001 << 8, right
  // -2 << 8 mixes to 499 on the 16-bit scale.
  std::vector<int16_t> interleaved = {1001, -2};
  std::vector<uint8_t> raw;
  for (int16_t s : interleaved) {
    const int32_t v = s * 256;
    raw.push_back(static_cast<uint8_t>(v & 0xFF));
    raw.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    raw.push_back(static_cast<uint8_t>((v >> 16) & 0xFF));
  }
  testsupport::WriteBytes(Path("in24.raw"), raw);
  ASSERT_EQ(testsupport::Run("sox -t raw -r 24000 -e signed -b 24 -c 2 " + Path("in24.raw") + " -t wavpcm " + Path("s24.wav")), 0);
  ASSERT_EQ(RunCli("convert --fill data " + Path("s24.wav") + " " + Path("s24.bin")), 0) << Err();
  const auto image = ReadBytes(Path("s24.bin"));
  ASSERT_EQ(image.size(), 8192u);
  EXPECT_EQ(image[0], LinearTou255law(499, 32768));
  EXPECT_EQ(image[1], 0xFF);  // the data fill

  // sox's own header for 24 bits, the extensible format, and an AIFF file;
  // resampled from 48 kHz, the 2 frames become 1 sample.
  for (const char* name : {"x24.wav", "x24.aiff"}) {
    ASSERT_EQ(testsupport::Run("sox -t raw -r 48000 -e signed -b 24 -c 2 " + Path("in24.raw") + " " + Path(name)), 0);
    ASSERT_EQ(RunCli("convert --fill data " + Path(name) + " " + Path("x.bin")), 0) << Err();
    EXPECT_EQ(ReadBytes(Path("x.bin"))[0], LinearTou255law(499, 32768)) << name;
    ASSERT_EQ(RunCli("convert --fill data --resample --sample-rate 24000 " + Path(name) + " " + Path("x.bin")), 0)
        << Err();
    EXPECT_NE(ReadBytes(Path("x.bin"))[0], 0xFF) << name;
    EXPECT_EQ(ReadBytes(Path("x.bin"))[1], 0xFF) << name;
  }
}

TEST_F(Cli, IntelHexFromSrecCatLoadsIntoTheSecondSoundOfA27128) {
  std::vector<uint8_t> data(8192);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13);
  testsupport::WriteBytes(Path("data.bin"), data);
  ASSERT_EQ(testsupport::Run("srec_cat " + Path("data.bin") + " -Binary -o " + Path("data.hex") + " -Intel"), 0);
  ASSERT_EQ(RunCli("convert --type 27128 --arrangement 1 --sound 2 " + Path("data.hex") + " " + Path("half.bin")), 0)
      << Err();
  EXPECT_EQ(ReadBytes(Path("half.bin")), data);

  // And our HEX reads back in srec_cat byte for byte.
  ASSERT_EQ(RunCli("convert " + Path("half.bin") + " " + Path("ours.hex")), 0) << Err();
  ASSERT_EQ(testsupport::Run("srec_cat " + Path("ours.hex") + " -Intel -o " + Path("ours.bin") + " -Binary"), 0);
  EXPECT_EQ(ReadBytes(Path("ours.bin")), std::vector<uint8_t>(data.begin(), data.end()));
}

TEST_F(Cli, ProblemsGoToStderrWithExitCodesAndLeaveTheOutputAlone) {
  testsupport::WriteText(Path("keep.bin"), "precious");
  testsupport::WriteText(Path("bad.wav"), "RIFX0000WAVE");
  EXPECT_EQ(RunCli("convert " + Path("bad.wav") + " " + Path("keep.bin")), 1);
  EXPECT_NE(Err().find("Not a RIFF file"), std::string::npos) << Err();
  EXPECT_EQ(ReadBytes(Path("keep.bin")), std::vector<uint8_t>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));

  // A rate of 0 can't be resampled.
  SoxWav("rate0.wav", {1000, 1000});
  std::vector<uint8_t> rate0 = ReadBytes(Path("rate0.wav"));
  std::fill(rate0.begin() + 24, rate0.begin() + 28, 0);
  testsupport::WriteBytes(Path("rate0.wav"), rate0);
  EXPECT_EQ(RunCli("convert --resample " + Path("rate0.wav") + " " + Path("keep.bin")), 1);
  EXPECT_NE(Err().find("sample rate is 0"), std::string::npos) << Err();
  EXPECT_EQ(ReadBytes(Path("keep.bin")).size(), 8u);
  EXPECT_EQ(RunCli("convert " + Path("rate0.wav") + " " + Path("rate0.bin")), 0) << Err();

  EXPECT_EQ(RunCli("convert " + Path("missing.wav") + " " + Path("keep.bin")), 1);
  EXPECT_EQ(RunCli("convert --type 9999 a b"), 2);
  EXPECT_NE(Err().find("unknown EPROM type"), std::string::npos);
  EXPECT_EQ(RunCli("convert --type 27256 --arrangement 3 a b"), 2);
  EXPECT_EQ(RunCli("convert --both a b"), 2);
  EXPECT_EQ(RunCli("convert --sample-rate 5 a b"), 2);
  EXPECT_EQ(RunCli("convert onlyone"), 2);
  EXPECT_EQ(RunCli("frobnicate"), 2);
  EXPECT_EQ(RunCli("--version"), 0);
  EXPECT_EQ(RunCli("convert --help"), 0);
}

TEST_F(Cli, HashPrintsTheHelpChecksDigest) {
  std::string text = "line one\r\nline\ttwo\n";
  testsupport::WriteText(Path("page.htm"), text);
  testsupport::WriteText(Path("plain.txt"), "line onelinetwo");
  ASSERT_EQ(testsupport::Run("sha1sum " + Path("plain.txt") + " | cut -c1-40 > " + Path("want.txt")), 0);
  ASSERT_EQ(RunCli("hash --text " + Path("page.htm")), 0) << Err();
  const auto out = ReadBytes(Path("out.txt"));
  const auto want = ReadBytes(Path("want.txt"));
  EXPECT_EQ(std::string(out.begin(), out.begin() + 40), std::string(want.begin(), want.begin() + 40));
  EXPECT_EQ(RunCli("hash " + Path("nothing-here")), 1);
}

// RtMidi's module, and ALSA and JACK behind it, wait for a command that
// lists or opens the system's ports.
TEST_F(Cli, ConvertAndHashLoadNoMidiOrSoundLibrary) {
  SoxWav("sound.wav", {0, 1000, -1000});
  testsupport::WriteText(Path("page.htm"), "text\n");
  for (const std::string& args :
       {"convert " + Path("sound.wav") + " " + Path("sound.bin"), "hash --text " + Path("page.htm")}) {
    ASSERT_EQ(RunCli(args, "LD_DEBUG=libs"), 0) << Err();
    const std::string loaded = Err();
    if (loaded.find("calling init") == std::string::npos) GTEST_SKIP() << "the loader here does not say what it loads";
    for (const char* library : {"talverine-rtmidi", "librtmidi", "libasound", "libjack"})
      EXPECT_EQ(loaded.find(library), std::string::npos) << args << " loads " << library;
  }
}

}  // namespace
