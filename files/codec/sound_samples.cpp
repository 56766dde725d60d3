#include "files/codec/sound_samples.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "files/codec/u255.h"
#include "files/codec/wav_format.h"

namespace {

// A value in the top of its `bytes` bytes, on the 16-bit scale. At the top
// of 32 bits the sign is in place and the shift back down is arithmetic:
// 16-bit values stay, wider ones lose their low bits.
int32_t JustifiedToScale(uint32_t raw, unsigned bytes, unsigned validBits) {
  uint32_t top = raw << (32 - 8 * bytes);
  if (validBits < 32) top &= ~(UINT32_MAX >> validBits);
  return static_cast<int32_t>(top) >> 16;
}

int32_t FloatToScale(double value) {
  if (std::isnan(value)) return 0;
  const double scaled = std::floor(value * WAV_FULL_SCALE);
  if (scaled >= WAV_FULL_SCALE - 1) return WAV_FULL_SCALE - 1;
  if (scaled <= -WAV_FULL_SCALE) return -WAV_FULL_SCALE;
  return static_cast<int32_t>(scaled);
}

double ReadDouble(const uint8_t* p, ByteOrder order) {
  const uint64_t high = ReadUnsigned(p + (order == ByteOrder::kBig ? 0 : 4), 4, order);
  const uint64_t low = ReadUnsigned(p + (order == ByteOrder::kBig ? 4 : 0), 4, order);
  const uint64_t bits = high << 32 | low;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

float ReadFloat(const uint8_t* p, ByteOrder order) {
  const uint32_t bits = ReadUnsigned(p, 4, order);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The frame decoder for one container width and byte order, so that
// reading a value is unrolled: this is the inner loop of a load.
template <unsigned kBytes, ByteOrder kOrder>
void DecodeIntegers(const uint8_t* frames, size_t count, const WavFormat& f, uint32_t zero, int32_t* samples) {
  DecodeEachFrame(frames, count, f.blockAlign, samples, [&](const uint8_t* frame) {
    int32_t sum = 0;
    for (unsigned c = 0; c < f.channels; ++c)
      sum += JustifiedToScale(ReadUnsigned(frame + c * kBytes, kBytes, kOrder) ^ zero, kBytes, f.validBits);
    return Mix(sum, f.channels);
  });
}

template <ByteOrder kOrder>
void DecodeIntegers(const uint8_t* frames, size_t count, const WavFormat& f, bool offsetBinary8, int32_t* samples) {
  switch (f.bits / 8) {
    case 1: return DecodeIntegers<1, kOrder>(frames, count, f, offsetBinary8 ? 0x80 : 0, samples);
    case 2: return DecodeIntegers<2, kOrder>(frames, count, f, 0, samples);
    case 3: return DecodeIntegers<3, kOrder>(frames, count, f, 0, samples);
    default: return DecodeIntegers<4, kOrder>(frames, count, f, 0, samples);
  }
}

}  // namespace

void DecodeIntegerFrames(const uint8_t* frames, size_t count, const WavFormat& f, ByteOrder order,
                         bool offsetBinary8, int32_t* samples) {
  if (order == ByteOrder::kBig) DecodeIntegers<ByteOrder::kBig>(frames, count, f, offsetBinary8, samples);
  else DecodeIntegers<ByteOrder::kLittle>(frames, count, f, offsetBinary8, samples);
}

void DecodeFloatFrames(const uint8_t* frames, size_t count, const WavFormat& f, ByteOrder order,
                       int32_t* samples) {
  DecodeEachFrame(frames, count, f.blockAlign, samples, [&](const uint8_t* frame) {
    int32_t sum = 0;
    for (unsigned c = 0; c < f.channels; ++c)
      sum += FloatToScale(f.bits == 64 ? ReadDouble(frame + 8 * c, order) : ReadFloat(frame + 4 * c, order));
    return Mix(sum, f.channels);
  });
}

// ---------------------------------------------------------------------------
// Taking the sound
// ---------------------------------------------------------------------------
namespace {

// Room made for the samples at once; a longer sound grows the buffer.
constexpr size_t kReservedSamples = size_t{1} << 20;

int32_t Rounded(float sample) { return static_cast<int32_t>(std::lround(sample)); }

}  // namespace

SampleTaker::SampleTaker(const WavOptions& options) : options_(options), limit_(options.sectionSize) {
  if (!Resampling() && !options.autoScale) encode_.emplace(options.fullScale);
}

void SampleTaker::Reserve() {
  const size_t room = std::min(limit_, kReservedSamples);
  if (encode_) codes_.reserve(room);
  else samples_.reserve(room);
}

rsEnum SampleTaker::StartData(uint32_t rate) {
  peak_ = 0;
  if (rate_ != 0 || !Resampling()) {
    if (rate_ == 0) rate_ = rate;
    Reserve();
    return rsOk;
  }
  if (const rsEnum check = CheckResample(1, rate, options_.resampleTo); check != rsOk) {
    limit_ = 0;
    return check;
  }
  rate_ = rate;
  // Enough of the sound for the section's samples at the playback rate,
  // and never more than the resampler takes.
  limit_ = std::min(ResampleInputNeeded(options_.sectionSize, rate, options_.resampleTo), RESAMPLE_MAX_SAMPLES);
  Reserve();
  return rsOk;
}

size_t SampleTaker::Take(const int32_t* samples, size_t count) {
  const size_t held = encode_ ? codes_.size() : samples_.size();
  const size_t taken = std::min(count, limit_ - std::min(limit_, held));
  int32_t peak = peak_;
  if (encode_) {
    codes_.resize(held + taken);
    peak = std::max(peak, static_cast<int32_t>((*encode_)(samples, taken, codes_.data() + held)));
  } else {
    for (size_t i = 0; i < taken; ++i) peak = std::max(peak, std::abs(samples[i]));
    samples_.insert(samples_.end(), samples, samples + taken);
  }
  // The first sample refused still counts toward the peak.
  if (taken < count) peak = std::max(peak, std::abs(samples[taken]));
  peak_ = peak;
  return taken;
}

void SampleTaker::Finish(WavParse& wav) {
  wav.peak = peak_;
  if (encode_) {
    wav.scale = options_.fullScale;
    wav.codes = std::move(codes_);
    return;
  }
  std::vector<float> resampled;
  const std::vector<float>* sound = &samples_;
  if (Resampling() && rate_ != 0) {
    const rsEnum result = ResampleSound(samples_.data(), samples_.size(), rate_, options_.resampleTo, resampled);
    if (result != rsOk) {
      wav.error = WavError::kCannotResample;
      wav.resampleResult = result;
    }
    if (resampled.size() > options_.sectionSize) resampled.resize(options_.sectionSize);
    wav.peak = 0;
    for (float& s : resampled) {
      const int32_t whole = Rounded(s);
      s = static_cast<float>(whole);
      wav.peak = std::max(wav.peak, std::abs(whole));
    }
    sound = &resampled;
  }
  // A silent file measures a peak of 0 and a cut one an unreliable peak:
  // both keep the full scale.
  const bool scaleToPeak = options_.autoScale && wav.error == WavError::kNone && wav.peak != 0;
  wav.scale = scaleToPeak ? wav.peak : options_.fullScale;
  wav.codes.resize(sound->size());
  U255Encoder(wav.scale)(sound->data(), sound->size(), wav.codes.data());
}

// ---------------------------------------------------------------------------
// Reading frames
// ---------------------------------------------------------------------------
FrameRun ReadFrames(ByteReader& in, const WavFormat& format, FrameDecoder decode, uint64_t count,
                    SampleTaker& taker) {
  // Frames go through a block at a time; a block never holds more frames
  // than were asked for, so the bytes read are those a frame at a time
  // would have read.
  uint8_t block[64 * WAV_FRAME_BUFFER];
  int32_t samples[sizeof block];
  const unsigned frameBytes = format.blockAlign;
  const uint64_t framesPerBlock = sizeof block / frameBytes;
  FrameRun run;
  while (count > 0) {
    const size_t want = static_cast<size_t>(std::min(count, framesPerBlock)) * frameBytes;
    const size_t got = in.Read(block, want);
    run.bytes += got;
    const size_t frames = got / frameBytes;
    decode(block, frames, format, samples);
    if (taker.Take(samples, frames) < frames) {
      run.full = true;
      return run;
    }
    if (got < want) {
      run.cut = true;
      return run;
    }
    count -= want / frameBytes;
  }
  return run;
}

bool SoundWalk::ReadFrames(uint64_t count, FrameRun& run) {
  const uint64_t start = offset;
  run = ::ReadFrames(in, wav.format, decode, count, taker);
  offset += run.bytes;
  const unsigned frameBytes = wav.format.blockAlign;
  return !run.cut || Fail(WavError::kShortData, start + run.bytes / frameBytes * frameBytes);
}

