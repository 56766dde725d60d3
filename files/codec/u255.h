// The u255-law curve between 8-bit sample codes and linear values.
//
// A code is one byte: bit 7 the sign (set = zero or positive), bits 0-6 the
// magnitude index k. The curve is continuous (natural exp and log), not the
// segmented G.711 table, and decoding then encoding a code need not give it
// back: that is the curve, not a fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Code (low 8 bits of x) to a linear value of full scale `scale`, truncated
// toward zero. Code 0x80 gives +scale/255, never 0.
int32_t u255lawToLinear(int x, int32_t scale);
// Linear sample to a code, `max` counting as full scale; beyond it the code
// saturates. A `max` of 0 or below is treated as full scale 1, so silence
// stays silence (0x80).
int LinearTou255law(int32_t x, int32_t max);
// The magnitude index k (0 .. 127) of a non-negative ratio |x / max|, as
// LinearTou255law finds it.
int u255lawMagnitude(double ratio);

// Encodes a whole sound against one full scale: each sample's code is
// LinearTou255law(x, max), read from a table of every magnitude up to the
// full scale (or up to a cap) rather than searched for.
class U255Encoder {
 public:
  explicit U255Encoder(int32_t max);

  // Encodes `count` samples (float ones hold whole numbers) and returns the
  // largest magnitude |x| among them, for a caller measuring the sound's
  // peak, which would otherwise go over the samples once more.
  uint32_t operator()(const int32_t* samples, size_t count, uint8_t* codes) const;
  uint32_t operator()(const float* samples, size_t count, uint8_t* codes) const;

 private:
  template <typename Sample>
  uint32_t Encode(const Sample* samples, size_t count, uint8_t* codes) const;

  double fullScale_;
  std::vector<uint8_t> byMagnitude_;  // k by |x|
};
