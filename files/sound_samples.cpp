#include "files/sound_samples.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "files/u255.h"
#include "files/wav_format.h"

uint32_t ReadUnsigned(const uint8_t* p, unsigned bytes, ByteOrder order) {
  uint32_t value = 0;
  for (unsigned i = 0; i < bytes; ++i) {
    const uint32_t byte = p[order == ByteOrder::kBig ? i : bytes - 1 - i];
    value = value << 8 | byte;
  }
  return value;
}

int32_t JustifiedToScale(uint32_t raw, unsigned bytes, unsigned validBits) {
  // At the top of 32 bits the sign is in place and the shift back down is
  // arithmetic: 16-bit values stay, wider ones lose their low bits.
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

namespace {

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

}  // namespace

int32_t DecodeIntegerFrame(const uint8_t* frame, const WavFormat& f, ByteOrder order, bool offsetBinary8) {
  const unsigned bytes = f.bits / 8;
  const uint32_t zero = bytes == 1 && offsetBinary8 ? 0x80 : 0;
  int32_t sum = 0;
  for (unsigned c = 0; c < f.channels; ++c)
    sum += JustifiedToScale(ReadUnsigned(frame + c * bytes, bytes, order) ^ zero, bytes, f.validBits);
  return Mix(sum, f.channels);
}

int32_t DecodeFloatFrame(const uint8_t* frame, const WavFormat& f, ByteOrder order) {
  int32_t sum = 0;
  for (unsigned c = 0; c < f.channels; ++c)
    sum += FloatToScale(f.bits == 64 ? ReadDouble(frame + 8 * c, order) : ReadFloat(frame + 4 * c, order));
  return Mix(sum, f.channels);
}

// ---------------------------------------------------------------------------
// Taking the sound
// ---------------------------------------------------------------------------
rsEnum SampleTaker::StartData(uint32_t rate) {
  peak_ = 0;
  if (rate_ != 0 || !Resampling()) {
    if (rate_ == 0) rate_ = rate;
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
  return rsOk;
}

bool SampleTaker::Take(int32_t sample) {
  if (std::abs(sample) > peak_) peak_ = std::abs(sample);
  if (samples_.size() >= limit_) return false;
  samples_.push_back(sample);
  return true;
}

namespace {

// The sound at the playback rate, rounded to the 16-bit scale, at most
// `sectionSize` samples.
rsEnum Resample(const std::vector<int32_t>& sound, uint32_t from, uint32_t to, uint32_t sectionSize,
                std::vector<int32_t>& out) {
  std::vector<float> in(sound.size());
  std::transform(sound.begin(), sound.end(), in.begin(),
                 [](int32_t s) { return static_cast<float>(s) / WAV_FULL_SCALE; });
  std::vector<float> resampled;
  if (const rsEnum result = ResampleSound(in.data(), in.size(), from, to, resampled); result != rsOk) return result;
  if (resampled.size() > sectionSize) resampled.resize(sectionSize);
  out.resize(resampled.size());
  std::transform(resampled.begin(), resampled.end(), out.begin(),
                 [](float s) { return static_cast<int32_t>(std::lround(s * WAV_FULL_SCALE)); });
  return rsOk;
}

int32_t PeakOf(const std::vector<int32_t>& sound) {
  int32_t peak = 0;
  for (int32_t s : sound) peak = std::max(peak, std::abs(s));
  return peak;
}

}  // namespace

void SampleTaker::Finish(WavParse& wav) const {
  std::vector<int32_t> resampled;
  const std::vector<int32_t>* sound = &samples_;
  wav.peak = peak_;
  if (Resampling() && rate_ != 0) {
    const rsEnum result = Resample(samples_, rate_, options_.resampleTo, options_.sectionSize, resampled);
    if (result != rsOk) {
      wav.error = WavError::kCannotResample;
      wav.resampleResult = result;
    }
    sound = &resampled;
    wav.peak = PeakOf(resampled);
  }
  // A silent file measures a peak of 0 and a cut one an unreliable peak:
  // both keep the full scale.
  const bool scaleToPeak = options_.autoScale && wav.error == WavError::kNone && wav.peak != 0;
  wav.scale = scaleToPeak ? wav.peak : options_.fullScale;
  wav.codes.resize(sound->size());
  std::transform(sound->begin(), sound->end(), wav.codes.begin(),
                 [&](int32_t s) { return static_cast<uint8_t>(LinearTou255law(s, wav.scale)); });
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
  const unsigned frameBytes = format.blockAlign;
  const uint64_t framesPerBlock = sizeof block / frameBytes;
  FrameRun run;
  while (count > 0) {
    const size_t want = static_cast<size_t>(std::min(count, framesPerBlock)) * frameBytes;
    const size_t got = in.Read(block, want);
    run.bytes += got;
    for (size_t at = 0; at + frameBytes <= got; at += frameBytes) {
      if (!taker.Take(decode(block + at, format))) {
        run.full = true;
        return run;
      }
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

