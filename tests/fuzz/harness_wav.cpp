// The WAV parser over any bytes, from memory and through a stream, with
// either auto-scale setting and two section lengths.
//
// Input: flags (bit 0 AutoScale, bit 1 a whole-image section), the section
// size (16 bits), two bytes the loader's seeds carry (section position and
// fill byte, not used here); then the file.
#include <algorithm>
#include <cstdio>

#include "files/byte_reader.h"
#include "files/wav_parse.h"
#include "shell/image_model.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

// Everything but the codes.
bool SameWalk(const WavParse& a, const WavParse& b) {
  return a.codes.size() == b.codes.size() && a.peak == b.peak && a.error == b.error &&
         a.errorOffset == b.errorOffset && a.dataBeforeFormat == b.dataBeforeFormat &&
         std::equal(a.riffType, a.riffType + 4, b.riffType) && a.format.tag == b.format.tag &&
         a.format.channels == b.format.channels && a.format.sampleRate == b.format.sampleRate &&
         a.format.bytesPerSecond == b.format.bytesPerSecond && a.format.blockAlign == b.format.blockAlign &&
         a.format.bits == b.format.bits;
}

bool Same(const WavParse& a, const WavParse& b) { return SameWalk(a, b) && a.scale == b.scale && a.codes == b.codes; }

}  // namespace

int FuzzWavLoader(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const uint16_t sizeField = in.Le16();
  in.Byte();
  in.Byte();
  const bool autoScale = flags & 1;
  const uint32_t sectionSize = (flags & 2) ? IMAGE_SIZE : sizeField;
  const uint8_t* file = in.Rest();
  const size_t fileSize = in.RestSize();

  const WavParse wav = ParseWav(file, fileSize, {sectionSize, autoScale});
  // Nothing is described outside the section or the file.
  FUZZ_CHECK(wav.codes.size() <= sectionSize);
  FUZZ_CHECK(wav.errorOffset <= fileSize);
  FUZZ_CHECK(wav.peak >= 0);
  const bool scaledToPeak = autoScale && wav.error == WavError::kNone && wav.peak > 0;
  FUZZ_CHECK(wav.scale == (scaledToPeak ? wav.peak : WAV_FULL_SCALE));
  // A refused container gives no codes.
  if (wav.error == WavError::kShortRiffHeader || wav.error == WavError::kNotRiff || wav.error == WavError::kNotWave)
    FUZZ_CHECK(wav.codes.empty());

  // The loader's stream reads what memory reads.
  FILE* fp = fuzz::OpenBytes(file, fileSize);
  FUZZ_CHECK(fp != nullptr);
  FileReader stream(fp);
  FUZZ_CHECK(Same(ParseWav(stream, {sectionSize, autoScale}), wav));
  std::fclose(fp);

  // Auto-scaling changes the codes only, and only when it scales to the peak.
  const WavParse other = ParseWav(file, fileSize, {sectionSize, !autoScale});
  FUZZ_CHECK(SameWalk(other, wav));
  const bool otherScaled = !autoScale && other.error == WavError::kNone && other.peak > 0;
  if (!scaledToPeak && !otherScaled) FUZZ_CHECK(other.codes == wav.codes);

  // A shorter section takes the first codes of a longer one.
  const WavParse shorter = ParseWav(file, fileSize, {sectionSize / 2, false});
  const WavParse& unscaled = autoScale ? other : wav;
  FUZZ_CHECK(shorter.codes.size() <= unscaled.codes.size());
  FUZZ_CHECK(std::equal(shorter.codes.begin(), shorter.codes.end(), unscaled.codes.begin()));
  return 0;
}
