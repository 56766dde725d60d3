// Byte builders for RIFF/WAV and AIFF files, for tests and seed corpora:
// every field written as given, so that a file may lie in any of them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace soundbytes {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

inline void PutBe16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}

inline void PutBe32(Bytes& b, uint32_t v) {
  PutBe16(b, v >> 16);
  PutBe16(b, v & 0xFFFF);
}

// A chunk: name, size (the content's unless given), content, and the pad
// byte after odd-sized content unless `pad` is false.
inline Bytes Chunk(const std::string& name, const Bytes& content, int64_t sizeField = -1, bool pad = true) {
  Bytes b(name.begin(), name.begin() + 4);
  Put32(b, sizeField < 0 ? static_cast<uint32_t>(content.size()) : static_cast<uint32_t>(sizeField));
  b.insert(b.end(), content.begin(), content.end());
  if (pad && content.size() % 2) b.push_back(0);
  return b;
}

// AIFF's chunk: the same with a big-endian size.
inline Bytes BeChunk(const std::string& name, const Bytes& content, int64_t sizeField = -1) {
  Bytes b(name.begin(), name.begin() + 4);
  PutBe32(b, sizeField < 0 ? static_cast<uint32_t>(content.size()) : static_cast<uint32_t>(sizeField));
  b.insert(b.end(), content.begin(), content.end());
  if (content.size() % 2) b.push_back(0);
  return b;
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

// 16-bit samples, little-endian (WAV) and big-endian (AIFF).
inline Bytes Pcm16(std::initializer_list<int> samples) {
  Bytes b;
  for (int s : samples) Put16(b, static_cast<uint16_t>(static_cast<int16_t>(s)));
  return b;
}

inline Bytes Be16(std::initializer_list<int> samples) {
  Bytes b;
  for (int s : samples) PutBe16(b, static_cast<uint16_t>(static_cast<int16_t>(s)));
  return b;
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

// An AIFF (or AIFF-C) file of the chunks given.
inline Bytes Form(std::initializer_list<Bytes> chunks, const std::string& type = "AIFF") {
  Bytes body(type.begin(), type.begin() + 4);
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b{'F', 'O', 'R', 'M'};
  PutBe32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

}  // namespace soundbytes
