// Builders and oracles shared by the file-format tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "files/file_report.h"
#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/core_session.h"
#include "shell/file_outcome.h"
#include "tests/support/core_fixture.h"
#include "tests/support/sound_bytes.h"

namespace filestest {

using namespace soundbytes;

// A file command's report applied to the session that runs as the program
// applies it: its boxes and status texts shown, a detected rate taken.
// `window` owns the boxes the report gives to the main window.
inline void Show(const FileReport& report, HWND window = nullptr) {
  ApplyFileReport(CoreSession::Current(), report, window);
}
// The same for the Load File and Save File commands, which also have a
// remembered folder written to the configuration.
inline void ShowCommand(const FileReport& report, HWND window = nullptr) {
  Show(report, window);
  const CoreSession& session = CoreSession::Current();
  if (report.settingsChanged) SaveConfig(szCfgName, session.image, session.fileSettings);
}

inline Bytes FmtChunk(uint32_t tag, uint32_t channels, uint32_t blockAlign, uint32_t bits, uint32_t rate = 24000,
                      const std::string& name = "fmt ") {
  Bytes c;
  Put16(c, tag);
  Put16(c, channels);
  Put32(c, rate);
  Put32(c, rate * blockAlign);
  Put16(c, blockAlign);
  Put16(c, bits);
  return Chunk(name, c);
}

// The extensible format: the sub-format's tag and the valid bits follow
// the 16 bytes of every format.
inline Bytes ExtensibleFmtChunk(uint32_t subFormat, uint32_t channels, uint32_t blockAlign, uint32_t bits,
                                uint32_t validBits, uint32_t rate = 24000) {
  Bytes c;
  for (uint32_t v : {0xFFFEu, channels}) Put16(c, v);
  Put32(c, rate);
  Put32(c, rate * blockAlign);
  for (uint32_t v : {blockAlign, bits, 22u, validBits}) Put16(c, v);
  Put32(c, 0);  // channel mask
  Put16(c, subFormat);
  c.insert(c.end(), {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  return Chunk("fmt ", c);
}

// A 16-bit mono PCM WAV of the samples.
inline Bytes Wav16(std::initializer_list<int> samples) { return Riff({FmtChunk(1, 1, 2, 16), Chunk("data", Pcm16(samples))}); }

// --- AIFF: big-endian sizes and fields ---------------------------------------

// A whole sample rate as an 80-bit IEEE extended value.
inline Bytes Extended(uint32_t rate) {
  if (rate == 0) return Bytes(10, 0);
  int exponent = 31;
  for (; !(rate & 0x80000000u); --exponent) rate <<= 1;
  Bytes b;
  PutBe16(b, static_cast<uint32_t>(16383 + exponent));
  PutBe32(b, rate);
  PutBe32(b, 0);
  return b;
}

// A "COMM" chunk; a compression type makes it AIFF-C's.
inline Bytes CommChunk(uint32_t channels, uint32_t frames, uint32_t bits, uint32_t rate = 24000,
                       const std::string& compression = "") {
  Bytes c;
  PutBe16(c, channels);
  PutBe32(c, frames);
  PutBe16(c, bits);
  const Bytes extended = Extended(rate);
  c.insert(c.end(), extended.begin(), extended.end());
  c.insert(c.end(), compression.begin(), compression.end());
  return BeChunk("COMM", c);
}

// Runs a shell command and returns what it printed on standard output.
inline std::string RunOutput(const std::string& command, const std::string& scratchFile) {
  if (testsupport::Run(command + " > '" + scratchFile + "' 2>/dev/null") != 0) return "<failed>";
  std::ifstream in(scratchFile);
  std::stringstream s;
  s << in.rdbuf();
  std::string text = s.str();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace filestest
