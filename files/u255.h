// The u255-law curve between 8-bit sample codes and linear values.
#pragma once

#include <cstdint>

// Code (low 8 bits of x) to a linear value of full scale `scale`.
int32_t u255lawToLinear(int x, int32_t scale);
// Linear sample to a code, `max` counting as full scale. A `max` of 0 or
// below is treated as full scale 1, so silence stays silence.
int LinearTou255law(int32_t x, int32_t max);
