// Builders and oracles shared by the file-format tests.
#pragma once

#include <cstdint>
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
