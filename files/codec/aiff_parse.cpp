#include "files/codec/aiff_parse.h"

#include <algorithm>
#include <cstring>

#include "files/codec/sound_samples.h"

namespace {

constexpr unsigned kMaxChannels = 8;
constexpr size_t kHeaderSize = 12;       // "FORM", size, form type
constexpr size_t kChunkHeaderSize = 8;   // name, size
constexpr size_t kCommonSize = 18;       // channels, frames, sample size, rate
constexpr size_t kSoundHeaderSize = 8;   // offset, block size

uint32_t Be16(const uint8_t* p) { return ReadUnsigned(p, 2, ByteOrder::kBig); }
uint32_t Be32(const uint8_t* p) { return ReadUnsigned(p, 4, ByteOrder::kBig); }

// ---------------------------------------------------------------------------
// Encodings: one row per compression type read.
// ---------------------------------------------------------------------------
struct AiffEncoding {
  char compression[4];
  // Whether a frame of samples of this size can be decoded.
  bool (*fits)(const WavFormat& format);
  FrameDecoder decode;
};

bool IntegerFits(const WavFormat& f) { return f.validBits >= 1 && f.validBits <= 32; }
bool Float32Fits(const WavFormat& f) { return f.validBits == 32; }
bool Float64Fits(const WavFormat& f) { return f.validBits == 64; }

// Integers fill their whole bytes from the top; 1-byte ones are two's
// complement, as every width is.
void DecodeBigEndianFrames(const uint8_t* frames, size_t count, const WavFormat& f, int32_t* samples) {
  DecodeIntegerFrames(frames, count, f, ByteOrder::kBig, false, samples);
}
void DecodeLittleEndianFrames(const uint8_t* frames, size_t count, const WavFormat& f, int32_t* samples) {
  DecodeIntegerFrames(frames, count, f, ByteOrder::kLittle, false, samples);
}
void DecodeBigEndianFloatFrames(const uint8_t* frames, size_t count, const WavFormat& f, int32_t* samples) {
  DecodeFloatFrames(frames, count, f, ByteOrder::kBig, samples);
}

constexpr AiffEncoding kAiffEncodings[] = {
    {{'N', 'O', 'N', 'E'}, IntegerFits, DecodeBigEndianFrames},
    {{'s', 'o', 'w', 't'}, IntegerFits, DecodeLittleEndianFrames},
    {{'f', 'l', '3', '2'}, Float32Fits, DecodeBigEndianFloatFrames},
    {{'F', 'L', '3', '2'}, Float32Fits, DecodeBigEndianFloatFrames},
    {{'f', 'l', '6', '4'}, Float64Fits, DecodeBigEndianFloatFrames},
    {{'F', 'L', '6', '4'}, Float64Fits, DecodeBigEndianFloatFrames},
};

const AiffEncoding* EncodingTaking(const WavFormat& f) {
  if (f.channels < 1 || f.channels > kMaxChannels) return nullptr;
  for (const AiffEncoding& e : kAiffEncodings)
    if (std::memcmp(e.compression, f.compression, sizeof e.compression) == 0) return &e;
  return nullptr;
}

// ---------------------------------------------------------------------------
// The chunk walk
// ---------------------------------------------------------------------------
struct AiffWalk : SoundWalk {
  using SoundWalk::SoundWalk;
  bool compressed = false;  // AIFF-C: the common chunk names its compression
  uint32_t frames = 0;      // as the common chunk announces them
};

bool ReadFormHeader(AiffWalk& w) {
  uint8_t header[kHeaderSize];
  if (!w.ReadExact(header, sizeof header)) return w.Fail(WavError::kShortRiffHeader, 0);
  std::memcpy(w.wav.riffType, header + 8, sizeof w.wav.riffType);
  if (std::memcmp(header, "FORM", 4) != 0) return w.Fail(WavError::kNotForm, 0);
  w.compressed = std::memcmp(w.wav.riffType, "AIFC", 4) == 0;
  if (!w.compressed && std::memcmp(w.wav.riffType, "AIFF", 4) != 0) return w.Fail(WavError::kNotAiff, 8);
  return true;
}

// The chunk is read as at least its 18 bytes of fields (an AIFF-C one with
// its compression type when its size allows it), whatever its size says;
// a later one replaces an earlier one.
bool ReadCommonChunk(AiffWalk& w, uint32_t size) {
  const uint64_t start = w.offset;
  uint8_t fields[kCommonSize];
  if (!w.ReadExact(fields, sizeof fields)) return w.Fail(WavError::kShortFormat, start);
  WavFormat& f = w.wav.format;
  f = WavFormat{};
  f.channels = static_cast<uint16_t>(Be16(fields));
  w.frames = Be32(fields + 2);
  f.validBits = static_cast<uint16_t>(Be16(fields + 6));
  f.sampleRate = ExtendedToRate(fields + 8);
  std::memcpy(f.compression, "NONE", sizeof f.compression);
  size_t read = sizeof fields;
  if (w.compressed && size >= sizeof fields + sizeof f.compression) {
    const uint64_t compressionAt = w.offset;
    if (!w.ReadExact(f.compression, sizeof f.compression)) return w.Fail(WavError::kShortBits, compressionAt);
    read += sizeof f.compression;
  }
  const AiffEncoding* encoding = EncodingTaking(f);
  if (encoding == nullptr) return w.Fail(WavError::kUnknownCompression, start);
  if (!encoding->fits(f)) return w.Fail(WavError::kUnsupportedSampleSize, start);
  f.bits = static_cast<uint16_t>((f.validBits + 7) / 8 * 8);
  f.blockAlign = static_cast<uint16_t>(f.channels * f.bits / 8);
  w.SkipChunk(static_cast<int64_t>(size) - static_cast<int64_t>(read));
  w.decode = encoding->decode;
  return true;
}

// The frames start `offset` bytes into the sound data; no more are read
// than the chunk holds whole or the common chunk announces.
bool ReadSoundChunk(AiffWalk& w, uint32_t size) {
  if (!w.StartData(w.wav.format.sampleRate, w.offset - kChunkHeaderSize)) return false;
  if (size < kSoundHeaderSize) {
    w.SkipChunk(size);
    return true;
  }
  const uint64_t start = w.offset;
  uint8_t header[kSoundHeaderSize];
  if (!w.ReadExact(header, sizeof header)) return w.Fail(WavError::kShortData, start);
  const uint64_t dataBytes = size - kSoundHeaderSize;
  const uint64_t skipped = std::min<uint64_t>(Be32(header), dataBytes);
  w.Skip(skipped);
  const uint64_t frames = std::min<uint64_t>(w.frames, (dataBytes - skipped) / w.wav.format.blockAlign);
  FrameRun run;
  if (!w.ReadFrames(frames, run)) return false;
  w.Skip(dataBytes - skipped - run.bytes + (size & 1));
  return true;
}

void WalkChunks(AiffWalk& w) {
  uint8_t header[kChunkHeaderSize];
  while (w.ReadExact(header, sizeof header)) {
    const uint32_t size = Be32(header + 4);
    if (std::memcmp(header, "COMM", 4) == 0) {
      if (!ReadCommonChunk(w, size)) return;
    } else if (std::memcmp(header, "SSND", 4) == 0 && w.decode == nullptr) {
      w.wav.dataBeforeFormat = true;
      w.SkipChunk(size);
    } else if (std::memcmp(header, "SSND", 4) == 0) {
      if (!ReadSoundChunk(w, size)) return;
    } else {
      w.SkipChunk(size);
    }
  }
}

}  // namespace

uint32_t ExtendedToRate(const uint8_t* bytes) {
  const bool negative = bytes[0] & 0x80;
  const int exponent = static_cast<int>(Be16(bytes) & 0x7FFF);
  const uint64_t mantissa = uint64_t{Be32(bytes + 2)} << 32 | Be32(bytes + 6);
  if (negative || exponent == 0x7FFF || mantissa == 0) return 0;
  // The value is mantissa / 2^shift.
  const int shift = 16383 + 63 - exponent;
  if (shift <= 0) return UINT32_MAX;
  if (shift > 64) return 0;
  const uint64_t whole = shift == 64 ? 0 : mantissa >> shift;
  const uint64_t rounded = whole + ((mantissa >> (shift - 1)) & 1);
  return static_cast<uint32_t>(std::min<uint64_t>(rounded, UINT32_MAX));
}

WavParse ParseAiff(ByteReader& in, const WavOptions& options) {
  WavParse wav;
  AiffWalk walk(in, options, wav);
  if (ReadFormHeader(walk)) WalkChunks(walk);
  walk.taker.Finish(wav);
  return wav;
}
