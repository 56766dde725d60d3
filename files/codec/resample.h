// Band-limited resampling of a mono sound from one sample rate to another:
// a Kaiser-windowed sinc applied in polyphase form, standard C++ only.
//
// Output sample k sits at input time k * from / to, with no delay, and the
// sound is taken as silent before its first and after its last sample. The
// filter passes everything up to 0.9 of the lower of the two Nyquist
// frequencies (within 0.1 dB) and stops everything from that Nyquist
// frequency on (at least 80 dB down), so a downsampled sound gets no aliases
// and an upsampled one no images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What a caller may ask for; anything beyond is refused before a single
// buffer is allocated.
constexpr uint32_t RESAMPLE_MAX_RATE = 1536000;             // Hz
constexpr uint32_t RESAMPLE_MAX_RATIO = 256;                // between the two rates, either way
constexpr size_t RESAMPLE_MAX_SAMPLES = size_t{1} << 24;   // in and out

enum rsEnum : uint32_t { rsOk = 0, rsBadRate, rsBadRatio, rsTooLong, rsINVALID };

// What went wrong, in a sentence for the user ("" for rsOk).
const char* ResampleErrorText(rsEnum result);

// The number of samples `n` samples at `from` Hz become at `to` Hz:
// n * to / from rounded to the nearest whole number, halves up (SIZE_MAX if
// that doesn't fit).
size_t ResampledLength(size_t n, uint32_t from, uint32_t to);

// How many samples at the start of a sound at `from` Hz decide the first
// `outputs` samples at `to` Hz: a caller that wants no more than those
// outputs of a long sound need read no further (SIZE_MAX if that doesn't
// fit). 0 for a rate of 0.
size_t ResampleInputNeeded(size_t outputs, uint32_t from, uint32_t to);

// Whether ResampleSound would accept these numbers.
rsEnum CheckResample(size_t n, uint32_t from, uint32_t to);

// Resamples the `n` samples at `in`, recorded at `from` Hz, to `to` Hz into
// `out` (ResampledLength samples, same scale). Equal rates copy the sound
// unchanged. Anything but rsOk leaves `out` as it was.
rsEnum ResampleSound(const float* in, size_t n, uint32_t from, uint32_t to, std::vector<float>& out);
