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

#include "tests/support/core_fixture.h"

namespace filestest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A chunk: name, size (the content's unless given), content, and the pad
// byte after odd-sized content.
inline Bytes Chunk(const std::string& name, const Bytes& content, int64_t sizeField = -1) {
  Bytes b(name.begin(), name.begin() + 4);
  Put32(b, sizeField < 0 ? static_cast<uint32_t>(content.size()) : static_cast<uint32_t>(sizeField));
  b.insert(b.end(), content.begin(), content.end());
  if (content.size() % 2) b.push_back(0);
  return b;
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

// IEEE values, little-endian (or big-endian), as a float file holds them.
template <typename T>
inline Bytes Ieee(std::initializer_list<T> values, bool bigEndian = false) {
  Bytes b;
  for (T v : values) {
    uint8_t bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    if (bigEndian) std::reverse(std::begin(bytes), std::end(bytes));
    b.insert(b.end(), std::begin(bytes), std::end(bytes));
  }
  return b;
}

inline Bytes Pcm16(std::initializer_list<int> samples) {
  Bytes b;
  for (int s : samples) Put16(b, static_cast<uint16_t>(static_cast<int16_t>(s)));
  return b;
}

// A RIFF file of the chunks given.
inline Bytes Riff(std::initializer_list<Bytes> chunks, const std::string& id = "RIFF",
                  const std::string& type = "WAVE") {
  Bytes body(type.begin(), type.begin() + 4);
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b(id.begin(), id.begin() + 4);
  Put32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// A 16-bit mono PCM WAV of the samples.
inline Bytes Wav16(std::initializer_list<int> samples) { return Riff({FmtChunk(1, 1, 2, 16), Chunk("data", Pcm16(samples))}); }

// --- AIFF: big-endian sizes and fields ---------------------------------------

inline void PutBe16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}

inline void PutBe32(Bytes& b, uint32_t v) {
  PutBe16(b, v >> 16);
  PutBe16(b, v & 0xFFFF);
}

inline Bytes BeChunk(const std::string& name, const Bytes& content, int64_t sizeField = -1) {
  Bytes b(name.begin(), name.begin() + 4);
  PutBe32(b, sizeField < 0 ? static_cast<uint32_t>(content.size()) : static_cast<uint32_t>(sizeField));
  b.insert(b.end(), content.begin(), content.end());
  if (content.size() % 2) b.push_back(0);
  return b;
}

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

// An "SSND" chunk: offset, block size 0, the data after `offset` bytes.
inline Bytes SsndChunk(const Bytes& data, uint32_t offset = 0) {
  Bytes c;
  PutBe32(c, offset);
  PutBe32(c, 0);
  c.insert(c.end(), offset, 0xEE);
  c.insert(c.end(), data.begin(), data.end());
  return BeChunk("SSND", c);
}

inline Bytes Be16(std::initializer_list<int> samples) {
  Bytes b;
  for (int s : samples) PutBe16(b, static_cast<uint16_t>(static_cast<int16_t>(s)));
  return b;
}

inline Bytes Form(std::initializer_list<Bytes> chunks, const std::string& type = "AIFF") {
  Bytes body(type.begin(), type.begin() + 4);
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b{'F', 'O', 'R', 'M'};
  PutBe32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
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
