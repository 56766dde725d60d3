// What the sound file parsers share: sample values brought from their
// containers to the 16-bit scale, frames read in blocks and mixed to mono,
// and the mono sound taken into a section of codes, resampled to the
// playback rate when that is asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "files/codec/byte_reader.h"
#include "files/codec/sound_parse.h"
#include "files/codec/u255.h"

enum class ByteOrder { kLittle, kBig };

// The unsigned value of the `bytes` (1 to 4) bytes at `p`.
inline uint32_t ReadUnsigned(const uint8_t* p, unsigned bytes, ByteOrder order) {
  uint32_t value = 0;
  for (unsigned i = 0; i < bytes; ++i) value = value << 8 | p[order == ByteOrder::kBig ? i : bytes - 1 - i];
  return value;
}

// `count` frames of format.blockAlign bytes each to as many mono samples
// on the 16-bit scale. A decoder works a block at a time so that the
// format's branches stay out of the loop over its frames.
using FrameDecoder = void (*)(const uint8_t* frames, size_t count, const WavFormat& format, int32_t* samples);

// Each of `count` frames through `decodeFrame`, which the compiler inlines.
template <typename DecodeOneFrame>
void DecodeEachFrame(const uint8_t* frames, size_t count, unsigned frameBytes, int32_t* samples,
                     DecodeOneFrame decodeFrame) {
  for (size_t i = 0; i < count; ++i) samples[i] = decodeFrame(frames + i * frameBytes);
}

// Every channel counts alike: the sum of their values over their count,
// truncated toward zero (for stereo the (L + R) / 2 of old).
inline int32_t Mix(int32_t sum, unsigned channels) {
  // The usual counts spelled out: a division by a constant is a shift.
  switch (channels) {
    case 1: return sum;
    case 2: return sum / 2;
    default: return sum / static_cast<int32_t>(channels);
  }
}
// Frames of format.channels two's complement integers of format.bits / 8
// bytes each, of which the top format.validBits count (the rest are
// cleared); `offsetBinary8`: 1-byte values count from 128 rather than 0.
void DecodeIntegerFrames(const uint8_t* frames, size_t count, const WavFormat& format, ByteOrder order,
                         bool offsetBinary8, int32_t* samples);
// Frames of format.channels IEEE floats of format.bits (32 or 64) each,
// +-1.0 the full scale: rounded down, clipped to -32768 .. 32767; NaN is
// silence.
void DecodeFloatFrames(const uint8_t* frames, size_t count, const WavFormat& format, ByteOrder order,
                       int32_t* samples);

// The mono samples of one sound, as many as its section needs, and their
// encoding into codes.
class SampleTaker {
 public:
  explicit SampleTaker(const WavOptions& options);

  // Sound data at `rate` Hz follows: the peak starts again from 0. The
  // first data's rate is the sound's. When resampling, anything but rsOk
  // means the sound can't be resampled; nothing is taken then.
  rsEnum StartData(uint32_t rate);
  // Takes samples in order until the sound holds all it needs and returns
  // how many it took; the first sample refused still counts toward the
  // peak, those after it don't.
  size_t Take(const int32_t* samples, size_t count);
  // The codes, peak and scale of the sound into `wav`, whose error says
  // whether the file was read to its end.
  void Finish(WavParse& wav);

 private:
  bool Resampling() const { return options_.resampleTo != 0; }
  void Reserve();

  const WavOptions& options_;
  size_t limit_;
  uint32_t rate_ = 0;  // 0 until data started
  int32_t peak_ = 0;
  // Without resampling or auto-scaling the codes' full scale is known
  // before the first sample: each is encoded as it comes, and the sound
  // itself isn't kept.
  std::optional<U255Encoder> encode_;
  std::vector<uint8_t> codes_;
  // Otherwise the sound, on the 16-bit scale, as the resampler takes it.
  // Every decoder's values lie within +-2^24, where a float holds an
  // integer exactly.
  std::vector<float> samples_;
};

// How far a run of frames got.
struct FrameRun {
  uint64_t bytes = 0;  // read: whole frames and any part of the one cut short
  bool full = false;   // the taker refused a frame: the sound holds all it needs
  bool cut = false;    // the bytes ended before a frame was whole
};

// Reads up to `count` frames of format.blockAlign bytes (1 to
// WAV_FRAME_BUFFER) and hands each to `taker`, decoded, until it is full.
FrameRun ReadFrames(ByteReader& in, const WavFormat& format, FrameDecoder decode, uint64_t count,
                    SampleTaker& taker);

// One parse: the reader with the count of bytes consumed, the decoder of
// the format in force and the sound taken so far.
struct SoundWalk {
  SoundWalk(ByteReader& reader, const WavOptions& options, WavParse& result)
      : in(reader), wav(result), taker(options) {}
  ByteReader& in;
  WavParse& wav;
  uint64_t offset = 0;
  FrameDecoder decode = nullptr;  // set by an accepted format
  SampleTaker taker;

  bool ReadExact(void* buffer, size_t size) {
    const size_t got = in.Read(buffer, size);
    offset += got;
    return got == size;
  }
  void Skip(uint64_t size) { offset += in.Skip(size); }
  // A chunk's `size` bytes and the pad byte after an odd size; nothing for
  // a size of 0 or less.
  void SkipChunk(int64_t size) {
    if (size > 0) Skip(static_cast<uint64_t>(size + (size & 1)));
  }
  bool Fail(WavError error, uint64_t at) {
    wav.error = error;
    wav.errorOffset = at;
    return false;
  }
  // Data at `rate` Hz begins in the chunk whose header starts at `chunkAt`;
  // false when it can't be resampled.
  bool StartData(uint32_t rate, uint64_t chunkAt) {
    const rsEnum refused = taker.StartData(rate);
    if (refused == rsOk) return true;
    wav.resampleResult = refused;
    return Fail(WavError::kCannotResample, chunkAt);
  }
  // Reads up to `count` frames; false, with the error, when the file ends
  // inside one.
  bool ReadFrames(uint64_t count, FrameRun& run);
};

