// Writes the generated part of the seed corpora: configurations written by
// SaveConfig, replies built by the SysEx builders, framer streams, and the
// bad WAV and HEX inputs every loader must refuse cleanly. The WAV and HEX
// files of other programs come from make_seeds.sh (sox, srec_cat).
//
//   fuzz_seeds CORPUS_FOLDER
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "device/midi.h"
#include "device/sysex.h"
#include "files/file_settings.h"
#include "platform/headless/platform_headless.h"
#include "platform/midi/memory_port.h"
#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "shell/core_session.h"
#include "tests/support/sound_bytes.h"

namespace fs = std::filesystem;

namespace {

using namespace soundbytes;

fs::path g_root;

void Write(const std::string& harness, const std::string& name, const Bytes& bytes) {
  fs::create_directories(g_root / harness);
  std::ofstream out(g_root / harness / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Cat(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// --- WAV ------------------------------------------------------------------
Bytes Fmt(uint32_t tag, uint32_t channels, uint32_t blockAlign, uint32_t bits, int64_t sizeField = -1) {
  Bytes c;
  Put16(c, tag);
  Put16(c, channels);
  Put32(c, 24000);
  Put32(c, 24000 * blockAlign);
  Put16(c, blockAlign);
  Put16(c, bits);
  return Chunk("fmt ", c, sizeField);
}

// flags, section size, position, fill: see harness_wav.cpp.
Bytes WavControl(uint8_t flags, uint16_t size, uint8_t position = 0, uint8_t fill = 0) {
  Bytes b{flags};
  Put16(b, size);
  b.push_back(position);
  b.push_back(fill);
  return b;
}

// The extensible format: sub-format tag and valid bits after the 16 bytes
// of every format; `cbSize` 22 unless given.
Bytes Extensible(uint32_t subFormat, uint32_t channels, uint32_t blockAlign, uint32_t bits, uint32_t validBits,
                 uint32_t cbSize = 22) {
  Bytes c;
  for (uint32_t v : {0xFFFEu, channels}) Put16(c, v);
  Put32(c, 24000);
  Put32(c, 24000 * blockAlign);
  for (uint32_t v : {blockAlign, bits, cbSize, validBits}) Put16(c, v);
  Put32(c, 3);  // channel mask
  Put16(c, subFormat);
  c.insert(c.end(), {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  return Chunk("fmt ", c);
}

Bytes FmtAt(uint32_t rate, uint32_t tag, uint32_t channels, uint32_t blockAlign, uint32_t bits) {
  Bytes fmt = Fmt(tag, channels, blockAlign, bits);
  for (int i = 0; i < 4; ++i) fmt[12 + i] = static_cast<uint8_t>(rate >> (8 * i));
  return fmt;
}

// Flags 4 and 8 resample to twice and half the file's rate.
void WavNewerSeeds(const Bytes& data) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const Bytes floats = Chunk("data", Ieee<float>({0.5f, -1.0f, 1.0f, 2.5f, static_cast<float>(nan), -0.0f}));
  Write("wav", "float-32", Cat(WavControl(1, 16), Riff({Fmt(3, 1, 4, 32), floats})));
  Write("wav", "float-64-nan-inf",
        Cat(WavControl(0, 16),
            Riff({Fmt(3, 2, 16, 64), Chunk("data", Ieee<double>({nan, inf, -inf, 1e300, 0.25, 0}))})));
  Write("wav", "float-16-bad", Cat(WavControl(0, 16), Riff({Fmt(3, 1, 2, 16), data})));
  Write("wav", "extensible-24-in-32",
        Cat(WavControl(0, 16),
            Riff({Extensible(1, 2, 8, 32, 24), Chunk("data", Pcm16({1, 2, 3, 4, 5, 6, 7, 8}))})));
  Write("wav", "extensible-12-in-16", Cat(WavControl(1, 16), Riff({Extensible(1, 1, 2, 16, 12), data})));
  Write("wav", "extensible-valid-0", Cat(WavControl(0, 16), Riff({Extensible(1, 1, 2, 16, 0), data})));
  Write("wav", "extensible-float", Cat(WavControl(0, 16), Riff({Extensible(3, 1, 4, 32, 32), floats})));
  Write("wav", "extensible-8-bit-3-ch",
        Cat(WavControl(0, 16), Riff({Extensible(1, 3, 3, 8, 8), Chunk("data", {0x80, 0x90, 0x70, 0xFF, 0, 1})})));
  Write("wav", "bad-extensible-valid-above", Cat(WavControl(0, 16), Riff({Extensible(1, 2, 6, 24, 32), data})));
  Write("wav", "bad-extensible-adpcm", Cat(WavControl(0, 16), Riff({Extensible(2, 1, 2, 16, 16), data})));
  Write("wav", "bad-extensible-cbsize", Cat(WavControl(0, 16), Riff({Extensible(1, 1, 2, 16, 16, 2), data})));
  const Bytes cut = Riff({Extensible(1, 1, 2, 16, 16)});
  Write("wav", "bad-extensible-cut", Cat(WavControl(0, 16), Bytes(cut.begin(), cut.begin() + 12 + 8 + 30)));
  Write("wav", "eight-channels", Cat(WavControl(0, 16), Riff({Fmt(1, 8, 16, 16), data})));
  Write("wav", "bad-nine-channels", Cat(WavControl(0, 16), Riff({Fmt(1, 9, 18, 16), data})));
  Write("wav", "bad-mu-law", Cat(WavControl(0, 16), Riff({Fmt(7, 1, 1, 8), data})));
  Write("wav", "resample-twice", Cat(WavControl(4, 64), Riff({FmtAt(12000, 1, 1, 2, 16), data})));
  Write("wav", "resample-half-autoscale", Cat(WavControl(9, 8), Riff({FmtAt(48000, 1, 2, 4, 16), data})));
  Write("wav", "resample-rate-0", Cat(WavControl(4, 16), Riff({FmtAt(0, 1, 1, 2, 16), data})));
  Write("wav", "resample-rate-1", Cat(WavControl(8, 16), Riff({FmtAt(1, 1, 1, 2, 16), data})));
  Write("wav", "resample-rate-huge", Cat(WavControl(4, 16), Riff({FmtAt(0xFFFFFFFF, 1, 1, 2, 16), data})));
  Write("wav", "resample-two-rates",
        Cat(WavControl(4, 64), Riff({FmtAt(8000, 1, 1, 2, 16), data, FmtAt(44100, 1, 1, 2, 16), data})));
}

// --- AIFF -----------------------------------------------------------------
// `exponent` and the top 32 bits of the mantissa of an 80-bit rate.
Bytes Comm(uint32_t channels, uint32_t frames, uint32_t bits, const std::string& compression = "",
           uint32_t exponent = 0x400D, uint32_t mantissa = 0xBB800000) {
  Bytes c;
  PutBe16(c, channels);
  PutBe32(c, frames);
  PutBe16(c, bits);
  PutBe16(c, exponent);
  PutBe32(c, mantissa);
  PutBe32(c, 0);
  c.insert(c.end(), compression.begin(), compression.end());
  return BeChunk("COMM", c);
}

void AiffSeeds() {
  const Bytes be16 = Be16({1000, -1000, 32767, -32768, 0, 5});
  const Bytes good = Form({Comm(1, 6, 16), SsndChunk(be16)});
  Write("aiff", "good-16-mono", Cat(WavControl(0, 64), good));
  Write("aiff", "good-16-mono-autoscale", Cat(WavControl(1, 4), good));
  Write("aiff", "aifc-none-stereo", Cat(WavControl(0, 16), Form({Comm(2, 3, 16, "NONE"), SsndChunk(be16)}, "AIFC")));
  Write("aiff", "aifc-sowt",
        Cat(WavControl(0, 16), Form({Comm(1, 6, 16, "sowt"), SsndChunk(Pcm16({1, 2, 3}))}, "AIFC")));
  Write("aiff", "aifc-fl32",
        Cat(WavControl(0, 16), Form({Comm(1, 3, 32, "fl32"), SsndChunk(Ieee<float>({0.5f, -2.0f, 1.0f}, true))}, "AIFC")));
  Write("aiff", "aifc-fl64-nan",
        Cat(WavControl(0, 16),
            Form({Comm(2, 2, 64, "FL64"),
                  SsndChunk(Ieee<double>({std::numeric_limits<double>::quiet_NaN(), 0.5, -1e300, 1.0}, true))},
                 "AIFC")));
  Write("aiff", "eight-bit", Cat(WavControl(0, 16), Form({Comm(1, 4, 8), SsndChunk({0x10, 0xF0, 0x80, 0x7F})})));
  Write("aiff", "twelve-bit", Cat(WavControl(0, 16), Form({Comm(1, 3, 12), SsndChunk(be16)})));
  Write("aiff", "twenty-four-bit-3-ch", Cat(WavControl(0, 16), Form({Comm(3, 2, 24), SsndChunk(Bytes(18, 0x42))})));
  Write("aiff", "offset-and-fewer-frames", Cat(WavControl(0, 16), Form({Comm(1, 2, 16), SsndChunk(be16, 3)})));
  Write("aiff", "comm-after-fver",
        Cat(WavControl(0, 16), Form({BeChunk("FVER", {0xA2, 0x80, 0x51, 0x40}), Comm(1, 6, 16, "NONE"), SsndChunk(be16)},
                                    "AIFC")));
  Write("aiff", "bad-ssnd-before-comm", Cat(WavControl(0, 16), Form({SsndChunk(be16), Comm(1, 6, 16)})));
  Write("aiff", "bad-compression-ima4", Cat(WavControl(0, 16), Form({Comm(1, 6, 16, "ima4"), SsndChunk(be16)}, "AIFC")));
  Write("aiff", "bad-nine-channels", Cat(WavControl(0, 16), Form({Comm(9, 1, 16), SsndChunk(Bytes(18, 0))})));
  Write("aiff", "bad-zero-channels", Cat(WavControl(0, 16), Form({Comm(0, 1, 16), SsndChunk(be16)})));
  Write("aiff", "bad-bits-33", Cat(WavControl(0, 16), Form({Comm(1, 1, 33), SsndChunk(be16)})));
  Write("aiff", "bad-bits-zero", Cat(WavControl(0, 16), Form({Comm(1, 1, 0), SsndChunk(be16)})));
  Write("aiff", "bad-frames-2e32", Cat(WavControl(0, 16), Form({Comm(1, 0xFFFFFFFF, 16), SsndChunk(be16)})));
  Write("aiff", "bad-ssnd-size-2e32",
        Cat(WavControl(0, 16), Form({Comm(1, 6, 16), BeChunk("SSND", Cat(Bytes(8, 0), be16), 0xFFFFFFFF)})));
  Write("aiff", "bad-ssnd-offset-2e32",
        Cat(WavControl(0, 16),
            Form({Comm(1, 6, 16), BeChunk("SSND", Cat({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, be16))})));
  Write("aiff", "bad-comm-size-zero", Cat(WavControl(0, 16), Form({BeChunk("COMM", {}, 0), SsndChunk(be16)})));
  Write("aiff", "bad-8svx", Cat(WavControl(0, 16), Form({Comm(1, 6, 16), SsndChunk(be16)}, "8SVX")));
  Write("aiff", "bad-riff", Cat(WavControl(0, 16), Riff({Fmt(1, 1, 2, 16), Chunk("data", Pcm16({1}))})));
  Write("aiff", "resample-twice", Cat(WavControl(4, 64), good));
  Write("aiff", "resample-half", Cat(WavControl(8, 64), good));
  Write("aiff", "resample-rate-0", Cat(WavControl(4, 16), Form({Comm(1, 6, 16, "", 0, 0), SsndChunk(be16)})));
  Write("aiff", "resample-rate-huge", Cat(WavControl(4, 16), Form({Comm(1, 6, 16, "", 0x7FFE), SsndChunk(be16)})));
  Write("aiff", "rate-nan", Cat(WavControl(8, 16), Form({Comm(1, 6, 16, "", 0x7FFF, 0xC0000000), SsndChunk(be16)})));
  Write("aiff", "rate-negative", Cat(WavControl(4, 16), Form({Comm(1, 6, 16, "", 0xC00D), SsndChunk(be16)})));
  for (size_t cut : {3, 11, 15, 25, 35, 41, 47, 51, 55}) {
    char name[32];
    std::snprintf(name, sizeof name, "cut-at-%02zu", cut);
    Write("aiff", name, Cat(WavControl(1, 8), Bytes(good.begin(), good.begin() + static_cast<long>(cut))));
  }
}

void WavSeeds() {
  const Bytes data = Chunk("data", Pcm16({1000, -1000, 32767, -32768, 0, 5}));
  const Bytes good = Riff({Fmt(1, 1, 2, 16), data});
  Write("wav", "good-16-mono", Cat(WavControl(0, 64), good));
  Write("wav", "good-16-mono-autoscale", Cat(WavControl(1, 4, 3, 0x80), good));
  Write("wav", "bad-zero-channels", Cat(WavControl(0, 16), Riff({Fmt(1, 0, 2, 16), data})));
  Write("wav", "bad-block-align-zero", Cat(WavControl(0, 16), Riff({Fmt(1, 1, 0, 16), data})));
  Write("wav", "bad-block-align-small", Cat(WavControl(0, 16), Riff({Fmt(1, 2, 2, 16), data})));
  Write("wav", "bad-block-align-large", Cat(WavControl(0, 16), Riff({Fmt(1, 1, 65, 16), data})));
  Write("wav", "bad-bits-zero", Cat(WavControl(0, 16), Riff({Fmt(1, 1, 1, 0), data})));
  Write("wav", "bad-bits-33", Cat(WavControl(0, 16), Riff({Fmt(1, 1, 8, 33), data})));
  Write("wav", "bad-bits-65535", Cat(WavControl(0, 16), Riff({Fmt(1, 2, 64, 65535), data})));
  Write("wav", "bad-data-size-2e32",
        Cat(WavControl(0, 16), Riff({Fmt(1, 1, 2, 16), Chunk("data", Pcm16({1, 2}), 0xFFFFFFFF)})));
  Write("wav", "bad-data-size-2e31",
        Cat(WavControl(0, 16), Riff({Fmt(1, 1, 2, 16), Chunk("data", Pcm16({1, 2}), 0x80000000)})));
  Write("wav", "bad-list-size-2e32",
        Cat(WavControl(0, 16), Riff({Fmt(1, 1, 2, 16), Chunk("LIST", {1, 2, 3}, 0xFFFFFFFE), data})));
  Write("wav", "bad-fmt-size-2e32", Cat(WavControl(0, 16), Riff({Fmt(1, 1, 2, 16, 0xFFFFFFF0), data})));
  Write("wav", "bad-odd-chunk-no-pad",
        Cat(WavControl(0, 16),
            Riff({Fmt(1, 1, 1, 8), Chunk("data", {0x90, 0x80, 0x70}, -1, false), Chunk("data", {0x90})})));
  Write("wav", "bad-odd-list-no-pad",
        Cat(WavControl(0, 16), Riff({Chunk("LIST", {'a', 'b', 'c'}, -1, false), Fmt(1, 1, 2, 16), data})));
  Write("wav", "bad-fmt-size-smaller-than-header", Cat(WavControl(0, 16), Riff({Fmt(1, 1, 2, 16, 4), data})));
  Write("wav", "bad-fmt-size-zero", Cat(WavControl(0, 16), Riff({Fmt(1, 1, 2, 16, 0), data})));
  Write("wav", "bad-fmt-empty-chunk", Cat(WavControl(0, 16), Riff({Chunk("fmt ", {}), data})));
  Write("wav", "bad-two-fmt-disagree",
        Cat(WavControl(0, 16), Riff({Fmt(1, 1, 2, 16), Fmt(1, 2, 6, 24), data, Fmt(1, 1, 1, 8), data})));
  Write("wav", "bad-data-without-fmt", Cat(WavControl(0, 16), Riff({data})));
  Write("wav", "bad-rifx", Cat(WavControl(0, 16, 0, 0xFF), Bytes{'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}));
  Write("wav", "bad-not-wave", Cat(WavControl(0, 16), Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}));
  Write("wav", "bad-extensible", Cat(WavControl(0, 16), Riff({Fmt(0xFFFE, 2, 4, 16), data})));
  WavNewerSeeds(data);
  Write("wav", "section-outside-image", Cat(WavControl(4, 4096, 255), good));
  Write("wav", "section-whole-image", Cat(WavControl(2, 0, 0, 0), good));
  // A file cut inside every field of the header and the format chunk, and
  // inside a frame.
  for (size_t cut : {1, 5, 9, 13, 17, 21, 23, 25, 29, 33, 35, 37, 41, 45}) {
    char name[32];
    std::snprintf(name, sizeof name, "cut-at-%02zu", cut);
    Write("wav", name, Cat(WavControl(1, 8), Bytes(good.begin(), good.begin() + static_cast<long>(cut))));
  }
}

// --- HEX ------------------------------------------------------------------
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void HexSeeds() {
  const Bytes control = WavControl(0, 256);
  Write("hex", "worked-records",
        Cat(control, Text(":1000000080808080808080808080808080808080F0\r\n"
                          ":10123000000102030405060708090A0B0C0D0E0F36\r\n:00000001FF\r\n")));
  Write("hex", "eof-in-the-middle", Cat(control, Text(":00000001FF\n:0100000041BE\n")));
  Write("hex", "bad-crc-line-3", Cat(control, Text(":0100000041BE\n\n:01000100422C\n:0100020043BA\n")));
  Write("hex", "bad-short-record", Cat(control, Text(":10000000808080\n")));
  Write("hex", "bad-short-header", Cat(control, Text(":1000\n")));
  Write("hex", "bad-count-ff", Cat(control, Text(":FF000000" + std::string(2 * 255, '0') + "01\n")));
  Write("hex", "bad-long-line", Cat(control, Text(":" + std::string(600, '1') + "\n")));
  Write("hex", "bad-not-hex-digits", Cat(control, Text(":0G00000041BE\n:01zz0000xxyy\n")));
  Write("hex", "address-beyond-section", Cat(WavControl(0, 16, 0), Text(":04FFFE0001020304F9\n:0400100001020304E2\n")));
  Write("hex", "extended-address-records",
        Cat(control, Text(":020000040001F9\n:020000021000EC\n:0400000300001234B3\n:0100000041BE\n")));
  Write("hex", "section-outside-image", Cat(WavControl(2, 512, 255), Text(":0100000041BE\n")));
  Write("hex", "no-line-end", Cat(control, Text(":0100000041BE")));
  Write("hex", "nul-bytes", Cat(control, Bytes{':', '0', '1', 0, '0', '0', '0', '0', '4', '1', 'B', 'E', '\n'}));
}

// --- configuration --------------------------------------------------------
void ConfigSeeds(headless::HeadlessPlatform& p, CoreSession& core, const fs::path& scratch) {
  p.SetConfigDirectory(scratch.string());
  ImageModel& image = core.image;
  FileSettings& files = core.fileSettings;
  auto saved = [&]() {
    SaveConfig(szCfgName, image, files);
    std::ifstream in(scratch / szCfgName, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  image = ImageModel{};
  files = FileSettings{};
  TheConfigState() = ConfigState{};
  Write("config", "saved-defaults", saved());
  TheConfigState().cMidiInDevice = 0xFFFFFFFF;
  TheConfigState().cMidiOutDevice = 3;
  image.EPROM_type = et27128;
  image.EPROM_Arrangement = eaFourEpromsOneSound;
  image.cMemoryFillValue = 255;
  files.sample_rate = 32000;
  files.AutoScale = files.AutoDetectSampleRate = files.AutoCleanup = 1;
  files.DefaultFileFormat = 2;
  files.RecentLoadPath = "/home/user/drums/kicks";
  files.RecentSavePath = "/tmp/out \xc3\xa9t\xc3\xa9";
  Write("config", "saved-everything-set", saved());
  Write("config", "hand-edited",
        Text("  EPROM_type=5\n# EPROM_type = 7\n\txEPROM_Arrangement = 3\n"
             "RecentLoadPath = \"/quoted/path\"\nAutoScale = yes\nsample_rate = 0\n"));
  Write("config", "out-of-range",
        Text("EPROM_type = 11\nEPROM_Arrangement = -1\nsample_rate = 4294967295\n"
             "DefaultFileFormat = 99\ncMemoryFillValue = -7\n"));
  Write("config", "too-big-for-image", Text("EPROM_type = 8\nEPROM_Arrangement = 3\n"));
  Write("config", "long-line", Text("RecentSavePath = " + std::string(400, 'x') + "\nEPROM_type = 4\n"));
  Write("config", "crlf-and-nul", Bytes{'E', 'P', 'R', 'O', 'M', '_', 't', 'y', 'p', 'e', '=', '3', '\r', '\n',
                                        0,   'A', 'u', 't', 'o', 'S', 'c', 'a', 'l', 'e', '=', '1', '\r', '\n'});
  Write("config", "huge-numbers", Text("MIDI_in_device = 99999999999999999999\nMIDI_out_device = -2147483648\n"));
  Write("config", "port-names",
        Text("MIDI_in_device = 2\nInPortName = \"USB MIDI Interface\"\nOutPortName = " + std::string(300, 'o') +
             "\nOutPortName = Out 2 = MIDI_in_device\n"));
}

// --- file kinds -----------------------------------------------------------
Bytes KindControl(const std::string& path, uint8_t sound, int32_t stride, int32_t length) {
  Bytes b{static_cast<uint8_t>(path.size())};
  b.insert(b.end(), path.begin(), path.end());
  b.push_back(sound);
  Put32(b, static_cast<uint32_t>(stride));
  Put32(b, static_cast<uint32_t>(length));
  return b;
}

void FileKindSeeds() {
  const Bytes wav = Riff({Fmt(1, 1, 2, 16), Chunk("data", Pcm16({1000, 2000}))});
  const Bytes hex = Text(":0100000041BE\r\n:00000001FF\r\n");
  Write("file_kind", "wav-by-extension", Cat(KindControl("kick.WAV", 1, 8192, 8192), wav));
  Write("file_kind", "wav-by-content", Cat(KindControl("kick", 0, 16384, 16384), wav));
  Write("file_kind", "hex-by-content", Cat(KindControl("percussion", 2, 16384, 16384), hex));
  Write("file_kind", "hex-letters-are-binary", Cat(KindControl("data", 0, 1024, 1024), Text(":0A0")));
  Write("file_kind", "dot-in-folder", Cat(KindControl("C:\\drums.old\\kick", 0, 512, 512), wav));
  Write("file_kind", "wave-is-binary", Cat(KindControl("snare.wave", 3, 16384, 16384), wav));
  const Bytes aiff = Form({Comm(1, 2, 16), SsndChunk({0x03, 0xE8, 0x07, 0xD0})});
  Write("file_kind", "aiff-by-extension", Cat(KindControl("tom.AIFF", 1, 8192, 8192), aiff));
  Write("file_kind", "aiff-by-content", Cat(KindControl("tom", 0, 16384, 16384), aiff));
  Write("file_kind", "aiff-named-wav", Cat(KindControl("tom.wav", 0, 64, 64), aiff));
  Write("file_kind", "extension-with-blank", Cat(KindControl("a.h x", 0, 16, 16), hex));
  Write("file_kind", "extension-high-bytes", Cat(KindControl("a.\xe9wav", 0, 16, 16), wav));
  Write("file_kind", "short-file", Cat(KindControl("tiny", 0, 16, 16), Text("RI")));
  Write("file_kind", "sound-out-of-range", Cat(KindControl("x.bin", 4, 16, 16), Text("abc")));
  Write("file_kind", "negative-stride", Cat(KindControl("x.bin", 1, -16384, 16384), Text("abc")));
  Write("file_kind", "overflowing-section", Cat(KindControl("x.hex", 3, 0x7FFFFFFF, 0x7FFFFFFF), hex));
  Write("file_kind", "section-past-the-end", Cat(KindControl("x.bin", 3, 16384, 16385), Text("abc")));
  Write("file_kind", "empty-path", KindControl("", 0, 16, 16));
}

// --- replies --------------------------------------------------------------
// mode, WhichEPROM, type, arrangement, flags, byte count: see harness_reply.cpp.
// The harness passes over the first four; the seeds keep the operation they
// were made for.
enum ReplyMode : uint8_t { ermRead = 0, ermVerify = 1, ermBlankCheck = 2, ermNothing = 3 };

Bytes ReplyControl(uint8_t mode, uint8_t which, uint8_t type, uint8_t arrangement, uint8_t flags, uint32_t count = 0) {
  Bytes b{mode, which, type, arrangement, flags};
  Put32(b, count);
  return b;
}

// A data-block packet of `length` bytes as the builders lay it out.
Bytes Packet(const Bytes& header, size_t length, uint8_t seed) {
  Bytes b(header.begin(), header.begin() + SYSEX_BLOCK_HEADER);
  b[9] = static_cast<uint8_t>(0x40 | (((length - 1) >> 12) & 0x0F));
  b[10] = static_cast<uint8_t>(((length - 1) >> 8) & 0x0F);
  b[11] = static_cast<uint8_t>(0x40 | (((length - 1) >> 4) & 0x0F));
  b[12] = static_cast<uint8_t>((length - 1) & 0x0F);
  for (size_t i = 0; i < length; ++i) {
    const WORD w = SysexSplitBytes(static_cast<BYTE>(i * 7 + seed));
    b.push_back(static_cast<uint8_t>(w));
    b.push_back(static_cast<uint8_t>(w >> 8));
  }
  b.push_back(0xF7);
  return b;
}

void ReplySeeds(midimem::MemoryOutput& out, CoreSession& core) {
  BYTE* image = core.image.imgMemory.get();
  for (UINT i = 0; i < IMAGE_SIZE; ++i) image[i] = static_cast<BYTE>(i * 13);
  out.ClearMessages();
  const SysexOutput to{&core.app.MidiOutInfo, core.app.MIDIoutBuffer.get(), nullptr};
  SysexSendBlock(to, image, 1, 1, 0);  // 1 KB as block 1
  SysexSendBlock(to, image, 4, 8, 0);  // 8 KB as block 4
  SysexRequestTransfer(to, 16);
  SysexSetBlockSize(to, 3, 16);
  SysexReadEPROM(to, 2);
  const auto& sent = out.Messages();
  if (sent.size() != 5) {
    std::fprintf(stderr, "fuzz_seeds: the builders sent %zu messages, not 5\n", sent.size());
    std::exit(1);
  }
  const Bytes kb1(sent[0].begin(), sent[0].end());
  const Bytes kb8(sent[1].begin(), sent[1].end());
  Write("reply", "read-1k", Cat(ReplyControl(ermRead, 0, et2732, eaOneEpromOneSound, 0), kb1));
  Write("reply", "verify-8k-eprom-3", Cat(ReplyControl(ermVerify, 2, et2764, eaFourEpromsOneSound, 0), kb8));
  Write("reply", "read-8k-eprom-4-of-27512", Cat(ReplyControl(ermRead, 3, et27512, eaFourEpromsOneSound, 0), kb8));
  Write("reply", "presence-answered", Cat(ReplyControl(ermNothing, 0, et2764, 0, 3), kb1));
  Write("reply", "presence-late", Cat(ReplyControl(ermNothing, 0, et2764, 0, 2), kb1));
  Write("reply", "blank-check-mode", Cat(ReplyControl(ermBlankCheck, 1, et2764, 2, 0), kb1));
  Write("reply", "transfer-request",
        Cat(ReplyControl(ermRead, 0, et2764, 0, 1), Bytes(sent[2].begin(), sent[2].end())));
  Write("reply", "command-packet", Cat(ReplyControl(ermRead, 0, et2764, 0, 1), Bytes(sent[3].begin(), sent[3].end())));
  Write("reply", "short-message", Cat(ReplyControl(ermRead, 0, et2764, 0, 8), Bytes(sent[4].begin(), sent[4].end())));
  for (size_t length : {1u, 2u, 16u, 100u}) {
    Write("reply", "small-read-" + std::to_string(length),
          Cat(ReplyControl(ermRead, 1, et2764, 2, 0), Packet(kb1, length, 3)));
    Write("reply", "small-verify-" + std::to_string(length),
          Cat(ReplyControl(ermVerify, 0, et2764, 0, 0), Packet(kb1, length, 0)));
  }
  Bytes truncated(kb1.begin(), kb1.begin() + 500);
  Write("reply", "bad-truncated", Cat(ReplyControl(ermRead, 0, et2764, 0, 0), truncated));
  Write("reply", "bad-count-beyond-buffer",
        Cat(ReplyControl(ermRead, 0, et2764, 0, 4, 0xFFFFFFFF), Packet(kb1, 16, 1)));
  Write("reply", "bad-count-short", Cat(ReplyControl(ermRead, 0, et2764, 0, 4, 13), Packet(kb1, 16, 1)));
  Bytes longLength = Packet(kb1, 16, 1);
  longLength[9] = 0x4F;
  longLength[10] = 0x0F;  // announces 64 KB, carries 16 bytes
  Write("reply", "bad-announces-64k", Cat(ReplyControl(ermRead, 3, et27512, 0, 0), longLength));
  Write("reply", "bad-eprom-index-200", Cat(ReplyControl(ermRead, 200, et2764, 3, 0), Packet(kb1, 16, 1)));
  Write("reply", "read-past-image-end", Cat(ReplyControl(ermRead, 3, et27256, 3, 0), kb8));
  Bytes badPair = Packet(kb1, 16, 1);
  badPair[45 + 6] = 0x7F;
  Write("reply", "bad-pair-marks", Cat(ReplyControl(ermRead, 0, et2764, 0, 0), badPair));
  Bytes foreign = Packet(kb1, 4, 1);
  foreign[1] = 0x41;
  Write("reply", "bad-foreign-maker", Cat(ReplyControl(ermRead, 0, et2764, 0, 0), foreign));
  Write("reply", "bad-header-only",
        Cat(ReplyControl(ermRead, 0, et2764, 0, 0), Bytes{0xF0, 0x10, 0x05, 0x01, 0x00, 0xF7}));
  Write("reply", "empty", ReplyControl(ermRead, 0, et2764, 0, 0));
}

// --- framer ---------------------------------------------------------------
Bytes Pieces(uint8_t maxSysex, uint8_t armed, const Bytes& stream, size_t piece, uint8_t after = 0) {
  Bytes b{maxSysex, armed};
  for (size_t i = 0; i < stream.size(); i += piece) {
    const size_t n = std::min(piece, stream.size() - i);
    b.push_back(static_cast<uint8_t>(n | (after << 6)));
    b.insert(b.end(), stream.begin() + static_cast<long>(i), stream.begin() + static_cast<long>(i + n));
  }
  return b;
}

void FramerSeeds() {
  const Bytes sysex{0xF0, 0x10, 0x05, 0x00, 0x0F, 0xF7};
  const Bytes block = Packet(Bytes(45, 0x40), 8, 2);
  Write("framer", "sysex-whole", Pieces(0, 255, sysex, 63));
  Write("framer", "sysex-byte-by-byte", Pieces(0, 255, sysex, 1));
  Write("framer", "block-in-pieces", Pieces(0, 200, block, 7));
  Write("framer", "block-too-long-for-buffer", Pieces(0, 20, block, 13));
  Write("framer", "block-over-max", Pieces(40, 255, block, 13));
  Write("framer", "realtime-inside-sysex",
        Pieces(0, 255, Bytes{0xF0, 0x10, 0xF8, 0x05, 0xFE, 0x00, 0xFF, 0x0F, 0xF7}, 3));
  Write("framer", "running-status",
        Pieces(0, 16, Bytes{0x90, 0x40, 0x7F, 0x41, 0x00, 0xF8, 0x42, 0x10, 0xC0, 0x05, 0x06}, 4));
  Write("framer", "sysex-cut-by-status",
        Pieces(0, 255, Bytes{0xF0, 0x10, 0x05, 0x90, 0x40, 0x40, 0xF0, 0x01, 0xF7}, 5));
  Write("framer", "system-common",
        Pieces(0, 16, Bytes{0xF1, 0x10, 0xF2, 0x01, 0x02, 0xF3, 0x04, 0xF6, 0xF4, 0xF5, 0xF7, 0x33}, 2));
  Write("framer", "interrupted", Pieces(0, 255, sysex, 3, 1));
  Write("framer", "reset", Pieces(0, 255, sysex, 2, 2));
  Write("framer", "stray-data", Pieces(0, 255, Bytes{0x01, 0x02, 0xF7, 0x7F}, 1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_FOLDER\n");
    return 2;
  }
  g_root = argv[1];
  headless::ScopedHeadless platform;
  CoreSession core(CoreSession::Setup::WithoutWindow);
  if (!core.ready()) return 1;
  const midimem::MemoryPorts mem = midimem::AddMemoryPorts(platform->Midi());
  MidiInit(&core.app.MidiInInfo, &core.app.MidiOutInfo);
  core.app.MidiOutInfo.uDeviceID = mem.outputId;
  if (MidiActivateDevice(nullptr, &core.app.MidiOutInfo, MIDI_OPEN) != 0) {
    for (const auto& box : platform->messageBoxes) std::fprintf(stderr, "fuzz_seeds: %s\n", box.text.c_str());
    return 1;
  }

  const fs::path scratch = fs::temp_directory_path() / "talverine-fuzz-seeds";
  fs::create_directories(scratch);
  WavSeeds();
  AiffSeeds();
  HexSeeds();
  ReplySeeds(*mem.output, core);  // before ConfigSeeds, which makes the image model new
  ConfigSeeds(*platform, core, scratch);
  FileKindSeeds();
  FramerSeeds();
  fs::remove_all(scratch);
  return 0;
}
