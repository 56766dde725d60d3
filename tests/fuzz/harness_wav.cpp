// The sound file parsers (WAV, and AIFF through the same checks) over any
// bytes, from memory and through a stream, with either auto-scale setting,
// two section lengths, and resampled or not.
//
// Input: flags (bit 0 AutoScale, bit 1 a whole-image section, bits 2 and 3
// resampling: 01 to twice the file's rate, 10 to half of it), the section
// size (16 bits), two bytes the loader's seeds carry (section position and
// fill byte, not used here); then the file. Resampling by two keeps the
// filter short; a resampled input is parsed twice, not four times, since
// building the filter is most of its time.
#include <algorithm>
#include <cstdio>

#include "files/codec/aiff_parse.h"
#include "files/codec/byte_reader.h"
#include "files/codec/wav_parse.h"
#include "shell/image_model.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

bool SameFormat(const WavFormat& a, const WavFormat& b) {
  return a.tag == b.tag && a.channels == b.channels && a.sampleRate == b.sampleRate && a.blockAlign == b.blockAlign &&
         a.bits == b.bits &&
         a.subFormat == b.subFormat && a.validBits == b.validBits &&
         std::equal(a.compression, a.compression + 4, b.compression);
}

// Everything but the codes.
bool SameWalk(const WavParse& a, const WavParse& b) {
  return a.codes.size() == b.codes.size() && a.peak == b.peak && a.error == b.error &&
         a.errorOffset == b.errorOffset && a.dataBeforeFormat == b.dataBeforeFormat &&
         std::equal(a.riffType, a.riffType + 4, b.riffType) && SameFormat(a.format, b.format) &&
         a.resampleResult == b.resampleResult;
}

bool Same(const WavParse& a, const WavParse& b) { return SameWalk(a, b) && a.scale == b.scale && a.codes == b.codes; }

WavParse FromMemory(SoundParser parse, const uint8_t* file, size_t size, const WavOptions& options) {
  MemoryReader in(file, size);
  return parse(in, options);
}

// The playback rate the flags ask for, from the rate the file gives.
uint32_t ResampleTarget(uint8_t flags, uint32_t rate) {
  switch (flags & 12) {
    case 4: return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{rate} * 2, UINT32_MAX));
    case 8: return std::max<uint32_t>(rate / 2, 1);
    default: return 0;
  }
}

}  // namespace

int FuzzSoundFile(SoundParser parse, const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const uint16_t sizeField = in.Le16();
  in.Byte();
  in.Byte();
  const bool autoScale = flags & 1;
  const uint32_t sectionSize = (flags & 2) ? IMAGE_SIZE : sizeField;
  const uint8_t* file = in.Rest();
  const size_t fileSize = in.RestSize();
  const uint32_t rate = FromMemory(parse, file, fileSize, {0, false}).format.sampleRate;
  const uint32_t resampleTo = ResampleTarget(flags, rate);

  const WavOptions options{sectionSize, autoScale, WAV_FULL_SCALE, resampleTo};
  const WavParse wav = FromMemory(parse, file, fileSize, options);
  // Nothing is described outside the section or the file.
  FUZZ_CHECK(wav.codes.size() <= sectionSize);
  FUZZ_CHECK(wav.errorOffset <= fileSize);
  FUZZ_CHECK(wav.peak >= 0);
  const bool scaledToPeak = autoScale && wav.error == WavError::kNone && wav.peak > 0;
  FUZZ_CHECK(wav.scale == (scaledToPeak ? wav.peak : WAV_FULL_SCALE));
  // A refused container, or a sound that can't be resampled, gives no codes.
  const WavError e = wav.error;
  if (e == WavError::kShortRiffHeader || e == WavError::kNotRiff || e == WavError::kNotWave ||
      e == WavError::kNotForm || e == WavError::kNotAiff || e == WavError::kCannotResample)
    FUZZ_CHECK(wav.codes.empty());
  FUZZ_CHECK((wav.resampleResult != rsOk) == (e == WavError::kCannotResample));
  if (resampleTo == 0) FUZZ_CHECK(e != WavError::kCannotResample);

  // A shorter section takes the first codes of a longer one, resampled too.
  const WavParse shorter = FromMemory(parse, file, fileSize, {sectionSize / 2, false, WAV_FULL_SCALE, resampleTo});
  FUZZ_CHECK(shorter.codes.size() <= wav.codes.size());
  if (!scaledToPeak) FUZZ_CHECK(std::equal(shorter.codes.begin(), shorter.codes.end(), wav.codes.begin()));
  if (resampleTo != 0) return 0;

  // The loader's stream reads what memory reads.
  FILE* fp = fuzz::OpenBytes(file, fileSize);
  FUZZ_CHECK(fp != nullptr);
  FileReader stream(fp);
  FUZZ_CHECK(Same(parse(stream, options), wav));
  std::fclose(fp);

  // Auto-scaling changes the codes only, and only when it scales to the peak.
  const WavParse other = FromMemory(parse, file, fileSize, {sectionSize, !autoScale, WAV_FULL_SCALE});
  FUZZ_CHECK(SameWalk(other, wav));
  const bool otherScaled = !autoScale && other.error == WavError::kNone && other.peak > 0;
  if (!scaledToPeak && !otherScaled) FUZZ_CHECK(other.codes == wav.codes);
  if (scaledToPeak) FUZZ_CHECK(std::equal(shorter.codes.begin(), shorter.codes.end(), other.codes.begin()));
  return 0;
}

int FuzzWavLoader(const uint8_t* data, size_t size) { return FuzzSoundFile(ParseWav, data, size); }

int FuzzAiffLoader(const uint8_t* data, size_t size) { return FuzzSoundFile(ParseAiff, data, size); }
