// The u255-law curve between 8-bit sample codes and linear values.
//
// A code is one byte: bit 7 the sign (set = zero or positive), bits 0-6 the
// magnitude index k. The curve is continuous (natural exp and log), not the
// segmented G.711 table, and decoding then encoding a code need not give it
// back: that is the curve, not a fault.
#pragma once

#include <cstdint>

// Code (low 8 bits of x) to a linear value of full scale `scale`, truncated
// toward zero. Code 0x80 gives +scale/255, never 0.
int32_t u255lawToLinear(int x, int32_t scale);
// Linear sample to a code, `max` counting as full scale; beyond it the code
// saturates. A `max` of 0 or below is treated as full scale 1, so silence
// stays silence (0x80).
int LinearTou255law(int32_t x, int32_t max);
