#include "files/wav_parse.h"

#include <cstdlib>
#include <cstring>

#include "files/u255.h"
#include "files/wav_format.h"

namespace {

constexpr uint16_t kFormatPcm = 1;

uint32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

// ---------------------------------------------------------------------------
// Sample encodings: one row each. Another encoding (IEEE float, the
// extensible format, more channels) is another row, with its own checks
// and frame decoder.
// ---------------------------------------------------------------------------
struct SampleEncoding {
  // Whether the encoding takes a format of this tag and channel count;
  // asked before the sample width is read.
  bool (*takes)(const WavFormat& format);
  // Whether a frame of the whole format can be decoded from the frame buffer.
  bool (*fits)(const WavFormat& format);
  // One frame to one mono sample on the 16-bit scale.
  int32_t (*decode)(const uint8_t* frame, const WavFormat& format);
};

bool TakesPcm(const WavFormat& f) { return f.tag == kFormatPcm && f.channels >= 1 && f.channels <= 2; }

// Bytes of the container one channel value is read from.
unsigned ContainerBytes(unsigned bits) {
  if (bits <= 8) return 1;
  if (bits <= 16) return 2;
  if (bits <= 24) return 3;
  return 4;
}

// The decoder reads every channel's container from the frame buffer: a
// layout that doesn't fit is refused before any data.
bool PcmFits(const WavFormat& f) {
  if (f.bits > 32 || f.blockAlign > WAV_FRAME_BUFFER) return false;
  return f.blockAlign == 0 || f.blockAlign >= f.channels * ContainerBytes(f.bits);
}

// One channel value from its container, on the 16-bit scale.
int32_t DecodePcmChannel(const uint8_t* p, unsigned bits, bool masked) {
  if (bits == 0) return 0;
  if (bits <= 8) {
    const int32_t half = 1 << (bits - 1);
    const int32_t raw = masked ? (p[0] & ((1 << bits) - 1)) : p[0];
    return (raw - half) * (1 << (16 - bits));
  }
  if (bits <= 16) return static_cast<int16_t>(Le16(p)) * (1 << (16 - bits));
  if (bits <= 24) {
    int32_t v = static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    if (v & 0x800000) v -= 0x1000000;
    return static_cast<int16_t>(v >> (bits - 16));
  }
  return static_cast<int32_t>(Le32(p)) >> (bits - 16);
}

// Stereo is mixed to mono. Only the left value of a 1-byte container is
// masked to its width, as the format has always been read.
int32_t DecodePcmFrame(const uint8_t* frame, const WavFormat& f) {
  const int32_t left = DecodePcmChannel(frame, f.bits, true);
  if (f.channels == 1) return left;
  const int32_t right = DecodePcmChannel(frame + ContainerBytes(f.bits), f.bits, false);
  return (left + right) / 2;
}

constexpr SampleEncoding kEncodings[] = {
    {TakesPcm, PcmFits, DecodePcmFrame},
};

const SampleEncoding* EncodingTaking(const WavFormat& format) {
  for (const SampleEncoding& e : kEncodings)
    if (e.takes(format)) return &e;
  return nullptr;
}

// ---------------------------------------------------------------------------
// The chunk walk
// ---------------------------------------------------------------------------
// One parse: the reader with the count of bytes consumed, the format in
// force and the samples taken so far.
struct Walk {
  Walk(ByteReader& reader, const WavOptions& o, WavParse& result) : in(reader), options(o), wav(result) {}
  ByteReader& in;
  const WavOptions& options;
  WavParse& wav;
  uint64_t offset = 0;
  const SampleEncoding* encoding = nullptr;  // set by an accepted format
  std::vector<int32_t> samples;

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
};

bool SameChunkName(const uint8_t* name, const char* wanted) {
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>(name[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != wanted[i]) return false;
  }
  return true;
}

bool ReadRiffHeader(Walk& w) {
  uint8_t riff[sizeof(RIFFhdr)];
  if (!w.ReadExact(riff, sizeof riff)) return w.Fail(WavError::kShortRiffHeader, 0);
  std::memcpy(w.wav.riffType, riff + offsetof(RIFFhdr, TypeStr), sizeof w.wav.riffType);
  if (std::memcmp(riff, "RIFF", 4) != 0) return w.Fail(WavError::kNotRiff, 0);
  if (std::memcmp(w.wav.riffType, "WAVE", 4) != 0) return w.Fail(WavError::kNotWave, offsetof(RIFFhdr, TypeStr));
  return true;
}

// The chunk is read as at least its 16 bytes of fields, whatever its size
// says; a later format replaces an earlier one.
bool ReadFormatChunk(Walk& w, uint32_t size) {
  const uint64_t start = w.offset;
  uint8_t fields[sizeof(WAVEfmt)];
  if (!w.ReadExact(fields, sizeof fields)) return w.Fail(WavError::kShortFormat, start);
  WavFormat& f = w.wav.format;
  f = WavFormat{};
  f.tag = static_cast<uint16_t>(Le16(fields + offsetof(WAVEfmt, wFormatTag)));
  f.channels = static_cast<uint16_t>(Le16(fields + offsetof(WAVEfmt, wChannels)));
  f.sampleRate = Le32(fields + offsetof(WAVEfmt, wSamplesPerSec));
  f.bytesPerSecond = Le32(fields + offsetof(WAVEfmt, wAvgBytesPerSec));
  f.blockAlign = static_cast<uint16_t>(Le16(fields + offsetof(WAVEfmt, wBlockAlign)));
  const SampleEncoding* encoding = EncodingTaking(f);
  if (encoding == nullptr) return w.Fail(WavError::kUnknownFormat, start);
  const uint64_t bitsAt = w.offset;
  uint8_t bits[sizeof(PCMfmt)];
  if (!w.ReadExact(bits, sizeof bits)) return w.Fail(WavError::kShortBits, bitsAt);
  f.bits = static_cast<uint16_t>(Le16(bits));
  if (!encoding->fits(f)) return w.Fail(WavError::kUnsupportedLayout, start);
  w.SkipChunk(static_cast<int64_t>(size) - static_cast<int64_t>(sizeof fields + sizeof bits));
  w.encoding = encoding;
  return true;
}

// The peak counts every frame read, also the first that finds the section
// full; the frames after it are passed over.
bool ReadDataChunk(Walk& w, uint32_t size) {
  w.wav.peak = 0;
  // A size with the top bit set converts nothing; its content is skipped.
  if (size > 0x7FFFFFFFu) {
    w.Skip(size);
    return true;
  }
  const WavFormat& f = w.wav.format;
  const int64_t step = f.blockAlign ? f.blockAlign : 1;
  uint8_t frame[WAV_FRAME_BUFFER];
  int64_t left = size;
  while (left > 0) {
    const uint64_t frameAt = w.offset;
    if (f.blockAlign == 0 || !w.ReadExact(frame, f.blockAlign)) return w.Fail(WavError::kShortData, frameAt);
    left -= step;
    const int32_t sample = w.encoding->decode(frame, f);
    if (std::abs(sample) > w.wav.peak) w.wav.peak = std::abs(sample);
    if (w.samples.size() >= w.options.sectionSize) {
      if (left > 0) w.Skip(static_cast<uint64_t>(left));
      left = 0;
      break;
    }
    w.samples.push_back(sample);
  }
  // The pad byte after an odd size, when the frames ended exactly at the
  // chunk's end.
  if (left == 0 && (size & 1)) w.Skip(1);
  return true;
}

void WalkChunks(Walk& w) {
  uint8_t header[sizeof(CHUNKhdr)];
  while (w.ReadExact(header, sizeof header)) {
    const uint32_t size = Le32(header + offsetof(CHUNKhdr, Csize));
    if (SameChunkName(header, "fmt ")) {
      if (!ReadFormatChunk(w, size)) return;
    } else if (SameChunkName(header, "data") && w.encoding == nullptr) {
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
  Walk walk(in, options, wav);
  if (ReadRiffHeader(walk)) WalkChunks(walk);
  // A silent file measures a peak of 0 and a cut one an unreliable peak:
  // both keep the full scale.
  const bool scaleToPeak = options.autoScale && wav.error == WavError::kNone && wav.peak != 0;
  wav.scale = scaleToPeak ? wav.peak : options.fullScale;
  wav.codes.reserve(walk.samples.size());
  for (int32_t sample : walk.samples) wav.codes.push_back(static_cast<uint8_t>(LinearTou255law(sample, wav.scale)));
  return wav;
}

WavParse ParseWav(const uint8_t* data, size_t size, const WavOptions& options) {
  MemoryReader in(data, size);
  return ParseWav(in, options);
}
