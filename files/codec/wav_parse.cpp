#include "files/codec/wav_parse.h"

#include <cstring>

#include "files/codec/sound_samples.h"
#include "files/codec/wav_format.h"

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr unsigned kMaxChannels = 8;

// The extensible format's fields after the 16 bytes of every format:
// cbSize, valid bits, channel mask, and the sub-format's GUID, whose first
// two bytes are the format tag it stands for and the rest fixed.
constexpr uint32_t kExtensibleFormatSize = 40;
constexpr uint16_t kExtensionSize = 22;
constexpr uint8_t kSubFormatGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

// ---------------------------------------------------------------------------
// Sample encodings: one row each, with its own checks and frame decoder.
// ---------------------------------------------------------------------------
struct SampleEncoding {
  // Whether the encoding takes a format of this tag (or sub-format) and
  // channel count; asked before the sample width is read, except for the
  // extensible format, whose sub-format comes after it.
  bool (*takes)(const WavFormat& format);
  // Whether a frame of the whole format can be decoded from the frame buffer.
  bool (*fits)(const WavFormat& format);
  FrameDecoder decode;
};

bool TakesChannels(const WavFormat& f) { return f.channels >= 1 && f.channels <= kMaxChannels; }
bool TakesPcm(const WavFormat& f) { return f.tag == kFormatPcm && TakesChannels(f); }
bool TakesExtensiblePcm(const WavFormat& f) {
  return f.tag == kFormatExtensible && f.subFormat == kFormatPcm && TakesChannels(f);
}
bool TakesFloat(const WavFormat& f) { return f.subFormat == kFormatFloat && TakesChannels(f); }

// Bytes of the container one channel value is read from.
unsigned ContainerBytes(unsigned bits) {
  if (bits <= 8) return 1;
  if (bits <= 16) return 2;
  if (bits <= 24) return 3;
  return 4;
}

// The decoder reads every channel's container from the frame buffer: a
// layout that doesn't fit is refused before any data.
bool FrameFits(const WavFormat& f, unsigned containerBytes) {
  if (f.blockAlign > WAV_FRAME_BUFFER) return false;
  return f.blockAlign == 0 || f.blockAlign >= f.channels * containerBytes;
}
bool PcmFits(const WavFormat& f) { return f.bits <= 32 && FrameFits(f, ContainerBytes(f.bits)); }
// Whole bytes per sample, of which the valid bits may be fewer.
bool ExtensiblePcmFits(const WavFormat& f) {
  return f.bits >= 8 && f.bits <= 32 && f.bits % 8 == 0 && f.validBits <= f.bits && FrameFits(f, f.bits / 8);
}
bool FloatFits(const WavFormat& f) {
  return (f.bits == 32 || f.bits == 64) && f.validBits <= f.bits && FrameFits(f, f.bits / 8);
}

// One channel value from its container of kBytes (ContainerBytes(bits)),
// on the 16-bit scale.
template <unsigned kBytes>
int32_t DecodePcmChannel(const uint8_t* p, unsigned bits, bool masked) {
  if constexpr (kBytes == 1) {
    if (bits == 0) return 0;
    const int32_t half = 1 << (bits - 1);
    const int32_t raw = masked ? (p[0] & ((1 << bits) - 1)) : p[0];
    return (raw - half) * (1 << (16 - bits));
  } else if constexpr (kBytes == 2) {
    return static_cast<int16_t>(Le16(p)) * (1 << (16 - bits));
  } else if constexpr (kBytes == 3) {
    int32_t v = static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    if (v & 0x800000) v -= 0x1000000;
    return static_cast<int16_t>(v >> (bits - 16));
  } else {
    return static_cast<int32_t>(Le32(p)) >> (bits - 16);
  }
}

// Widths that aren't a multiple of 8 are right-aligned in their container.
// Only the first value of a 1-byte container is masked to its width, as
// the format has always been read.
template <unsigned kBytes>
void DecodePcmFrames(const uint8_t* frames, size_t count, const WavFormat& f, int32_t* samples) {
  if (f.channels == 1) {
    DecodeEachFrame(frames, count, f.blockAlign, samples,
                    [&](const uint8_t* frame) { return DecodePcmChannel<kBytes>(frame, f.bits, true); });
    return;
  }
  DecodeEachFrame(frames, count, f.blockAlign, samples, [&](const uint8_t* frame) {
    int32_t sum = DecodePcmChannel<kBytes>(frame, f.bits, true);
    for (unsigned c = 1; c < f.channels; ++c) sum += DecodePcmChannel<kBytes>(frame + c * kBytes, f.bits, false);
    return Mix(sum, f.channels);
  });
}

void DecodePcmFrames(const uint8_t* frames, size_t count, const WavFormat& f, int32_t* samples) {
  switch (ContainerBytes(f.bits)) {
    case 1: return DecodePcmFrames<1>(frames, count, f, samples);
    case 2: return DecodePcmFrames<2>(frames, count, f, samples);
    case 3: return DecodePcmFrames<3>(frames, count, f, samples);
    default: return DecodePcmFrames<4>(frames, count, f, samples);
  }
}

// The extensible format's samples fill their containers from the top;
// 1-byte samples are offset binary, 128 the zero.
void DecodeExtensiblePcmFrames(const uint8_t* frames, size_t count, const WavFormat& f, int32_t* samples) {
  DecodeIntegerFrames(frames, count, f, ByteOrder::kLittle, true, samples);
}

void DecodeLittleEndianFloatFrames(const uint8_t* frames, size_t count, const WavFormat& f, int32_t* samples) {
  DecodeFloatFrames(frames, count, f, ByteOrder::kLittle, samples);
}

constexpr SampleEncoding kEncodings[] = {
    {TakesPcm, PcmFits, DecodePcmFrames},
    {TakesExtensiblePcm, ExtensiblePcmFits, DecodeExtensiblePcmFrames},
    {TakesFloat, FloatFits, DecodeLittleEndianFloatFrames},
};

const SampleEncoding* EncodingTaking(const WavFormat& format) {
  for (const SampleEncoding& e : kEncodings)
    if (e.takes(format)) return &e;
  return nullptr;
}

// ---------------------------------------------------------------------------
// The chunk walk
// ---------------------------------------------------------------------------
bool SameChunkName(const uint8_t* name, const char* wanted) {
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>(name[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != wanted[i]) return false;
  }
  return true;
}

bool ReadRiffHeader(SoundWalk& w) {
  uint8_t riff[sizeof(RIFFhdr)];
  if (!w.ReadExact(riff, sizeof riff)) return w.Fail(WavError::kShortRiffHeader, 0);
  std::memcpy(w.wav.riffType, riff + offsetof(RIFFhdr, TypeStr), sizeof w.wav.riffType);
  if (std::memcmp(riff, "RIFF", 4) != 0) return w.Fail(WavError::kNotRiff, 0);
  if (std::memcmp(w.wav.riffType, "WAVE", 4) != 0) return w.Fail(WavError::kNotWave, offsetof(RIFFhdr, TypeStr));
  return true;
}

// The extension of an extensible format (cbSize onwards): the valid bits,
// and the sub-format when its GUID is one of the standard family.
void ReadExtension(const uint8_t* p, WavFormat& f) {
  const uint8_t* guid = p + 8;
  const bool known = Le16(p) >= kExtensionSize && std::memcmp(guid + 2, kSubFormatGuidTail, 14) == 0;
  f.subFormat = known ? static_cast<uint16_t>(Le16(guid)) : 0;
  // Writers that leave the valid bits at 0 mean the whole container.
  if (const uint16_t valid = static_cast<uint16_t>(Le16(p + 2)); valid != 0) f.validBits = valid;
}

// The chunk is read as at least its 16 bytes of fields, whatever its size
// says (an extensible format as its 40 bytes when its size allows them);
// a later format replaces an earlier one.
bool ReadFormatChunk(SoundWalk& w, uint32_t size) {
  const uint64_t start = w.offset;
  uint8_t fields[sizeof(WAVEfmt)];
  if (!w.ReadExact(fields, sizeof fields)) return w.Fail(WavError::kShortFormat, start);
  WavFormat& f = w.wav.format;
  f = WavFormat{};
  f.tag = static_cast<uint16_t>(Le16(fields + offsetof(WAVEfmt, wFormatTag)));
  f.channels = static_cast<uint16_t>(Le16(fields + offsetof(WAVEfmt, wChannels)));
  f.sampleRate = Le32(fields + offsetof(WAVEfmt, wSamplesPerSec));
  f.blockAlign = static_cast<uint16_t>(Le16(fields + offsetof(WAVEfmt, wBlockAlign)));
  f.subFormat = f.tag;
  // An extensible format names its encoding only after the sample width.
  const bool extensible = f.tag == kFormatExtensible && size >= kExtensibleFormatSize && TakesChannels(f);
  if (!extensible && EncodingTaking(f) == nullptr) return w.Fail(WavError::kUnknownFormat, start);
  const uint64_t bitsAt = w.offset;
  uint8_t rest[kExtensibleFormatSize - sizeof fields];
  const size_t restSize = extensible ? sizeof rest : sizeof(PCMfmt);
  if (!w.ReadExact(rest, restSize)) return w.Fail(WavError::kShortBits, bitsAt);
  f.bits = static_cast<uint16_t>(Le16(rest));
  f.validBits = f.bits;
  if (extensible) ReadExtension(rest + sizeof(PCMfmt), f);
  const SampleEncoding* encoding = EncodingTaking(f);
  if (encoding == nullptr) return w.Fail(WavError::kUnknownFormat, start);
  if (!encoding->fits(f)) return w.Fail(WavError::kUnsupportedLayout, start);
  w.SkipChunk(static_cast<int64_t>(size) - static_cast<int64_t>(sizeof fields + restSize));
  w.decode = encoding->decode;
  return true;
}

// The peak counts every frame read, also the first that finds the section
// full; the frames after it are passed over.
bool ReadDataChunk(SoundWalk& w, uint32_t size) {
  const WavFormat& f = w.wav.format;
  if (!w.StartData(f.sampleRate, w.offset - sizeof(CHUNKhdr))) return false;
  // A size with the top bit set converts nothing; its content is skipped.
  if (size > 0x7FFFFFFFu) {
    w.Skip(size);
    return true;
  }
  if (size == 0) return true;
  if (f.blockAlign == 0) return w.Fail(WavError::kShortData, w.offset);
  FrameRun run;
  if (!w.ReadFrames(size / f.blockAlign, run)) return false;
  // The last frame is read whole even where the chunk ends inside it.
  if (!run.full && size % f.blockAlign != 0) {
    FrameRun last;
    if (!w.ReadFrames(1, last)) return false;
    run = {run.bytes + last.bytes, last.full, false};
  }
  if (run.full && size > run.bytes) w.Skip(size - run.bytes);
  // The pad byte after an odd size, when the frames ended exactly at the
  // chunk's end or the section was full.
  if ((run.full || run.bytes == size) && (size & 1)) w.Skip(1);
  return true;
}

void WalkChunks(SoundWalk& w) {
  uint8_t header[sizeof(CHUNKhdr)];
  while (w.ReadExact(header, sizeof header)) {
    const uint32_t size = Le32(header + offsetof(CHUNKhdr, Csize));
    if (SameChunkName(header, "fmt ")) {
      if (!ReadFormatChunk(w, size)) return;
    } else if (SameChunkName(header, "data") && w.decode == nullptr) {
      w.wav.dataBeforeFormat = true;
      w.SkipChunk(size);
    } else if (SameChunkName(header, "data")) {
      if (!ReadDataChunk(w, size)) return;
    } else {
      w.SkipChunk(size);
    }
  }
}

}  // namespace

WavParse ParseWav(ByteReader& in, const WavOptions& options) {
  WavParse wav;
  SoundWalk walk(in, options, wav);
  if (ReadRiffHeader(walk)) WalkChunks(walk);
  walk.taker.Finish(wav);
  return wav;
}

WavParse ParseWav(const uint8_t* data, size_t size, const WavOptions& options) {
  MemoryReader in(data, size);
  return ParseWav(in, options);
}
