// What a sound file parser gives, over bytes alone: the format it read, the
// u255 codes of its sound, one per frame, and why it stopped. The WAV and
// the AIFF parser (files/codec/wav_parse.h, files/codec/aiff_parse.h) both
// give it; the frames in between are read by files/codec/sound_samples.h.
#pragma once

#include <cstdint>
#include <vector>

#include "files/codec/byte_reader.h"
#include "files/codec/resample.h"

// The 16-bit scale: what the codes are encoded against unless auto-scaled.
constexpr int32_t WAV_FULL_SCALE = 32768;

// The fields of a "fmt " chunk as read; an AIFF file's "COMM" chunk fills
// the same record.
struct WavFormat {
  uint16_t tag = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint16_t blockAlign = 0;  // bytes per frame
  uint16_t bits = 0;        // per sample: the container's width where one is given
  // The encoding the samples are in: the tag, or an extensible format's
  // sub-format (0 when that names none this reader knows).
  uint16_t subFormat = 0;
  // The significant bits of each sample, from the top of its container:
  // the extensible format's valid bits, AIFF's sample size; else `bits`.
  uint16_t validBits = 0;
  char compression[4] = {};  // AIFF-C's compression type; "NONE" for AIFF
};

// Why a parse stopped before the end of the file. Every error but
// kShortRiffHeader stops the walk with the codes converted so far.
enum class WavError {
  kNone,
  kShortRiffHeader,    // fewer bytes than the 12 of the RIFF header
  kNotRiff,            // the file doesn't start with "RIFF"
  kNotWave,            // the RIFF form isn't "WAVE"
  kShortFormat,        // the file ends inside the first 14 bytes of a format
  kUnknownFormat,      // no decoder takes the format's tag and channel count
  kShortBits,          // the file ends before the format's bits per sample
  kUnsupportedLayout,  // the frame layout doesn't fit its decoder
  kShortData,          // the file ends inside a frame, or a frame has no bytes
  // AIFF files
  kNotForm,                // the file doesn't start with "FORM"
  kNotAiff,                // the FORM type isn't "AIFF" or "AIFC"
  kUnknownCompression,     // no decoder takes the compression type and channel count
  kUnsupportedSampleSize,  // a sample size no decoder reads
  // either
  kCannotResample,  // the sound's rate can't be resampled to the playback rate
};

struct WavOptions {
  uint32_t sectionSize = 0;            // codes wanted at most
  bool autoScale = false;              // encode against the peak measured
  int32_t fullScale = WAV_FULL_SCALE;  // what the codes are encoded against otherwise
  // The playback rate the sound is resampled to before it is measured and
  // encoded; 0 leaves its samples as they are, one code per frame.
  uint32_t resampleTo = 0;
};

struct WavParse {
  std::vector<uint8_t> codes;  // one per frame, at most sectionSize
  // The largest magnitude of a mixed sample in the last data chunk read,
  // on the 16-bit scale; 0 when there was none. A resampled sound's peak is
  // that of the samples kept.
  int32_t peak = 0;
  // What the codes were encoded against: the peak when auto-scaling a file
  // read to its end with a peak above 0, otherwise the full scale.
  int32_t scale = 0;
  // The last format read, a refused one too; its sampleRate is the rate read.
  WavFormat format;
  char riffType[4] = {};          // the RIFF form read (an AIFF file's FORM type)
  bool dataBeforeFormat = false;  // a data chunk came before any format and was skipped
  WavError error = WavError::kNone;
  uint64_t errorOffset = 0;  // where the header, format, field or frame that failed starts
  rsEnum resampleResult = rsOk;  // why the sound couldn't be resampled
};

using SoundParser = WavParse (*)(ByteReader& in, const WavOptions& options);
