// The u255 curve: the values the drum machine's sounds are stored in.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "files/codec/u255.h"

namespace {

// The curve as a formula, one logarithm a sample: the encoder's steps must
// fall exactly where this puts them.
int FormulaMagnitude(double ratio) {
  const int k = static_cast<int>(23.08 * std::log(ratio * 255.0 + 1.0));
  return k > 127 ? 127 : k;
}
int FormulaCode(int32_t x, int32_t max) {
  const double ratio = static_cast<double>(x) / (max > 0 ? static_cast<double>(max) : 1.0);
  return FormulaMagnitude(std::fabs(ratio)) | (ratio >= 0 ? 0x80 : 0x00);
}

// Non-negative doubles are ordered as their bit patterns.
uint64_t Bits(double d) {
  uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  return u;
}
double FromBits(uint64_t u) {
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

TEST(U255Decode, WorkedValuesAtTheWavScale) {
  const struct { int code; int32_t linear; } cases[] = {
      {0x80, 128}, {0x81, 134}, {0x90, 257}, {0xC0, 2056}, {0xFF, 31524},
      {0x00, -128}, {0x10, -257}, {0x7F, -31524},
  };
  for (const auto& c : cases) EXPECT_EQ(u255lawToLinear(c.code, 32767), c.linear) << std::hex << c.code;
}

TEST(U255Decode, OnlyTheLowEightBitsCountAndSignsMirror) {
  EXPECT_EQ(u255lawToLinear(0x180, 32767), 128);
  for (int k = 0; k < 128; ++k) EXPECT_EQ(u255lawToLinear(k, 32767), -u255lawToLinear(k | 0x80, 32767)) << k;
  // Below a scale of 255 the smallest codes truncate to zero.
  EXPECT_EQ(u255lawToLinear(0x80, 254), 0);
}

TEST(U255Encode, WorkedValuesAgainstTheSixteenBitScale) {
  const struct { int32_t linear; int code; } cases[] = {
      {0, 0x80},     {1, 0x80},     {128, 0x8F},   {129, 0x90},  {1000, 0xB2},   {8192, 0xE0},
      {16384, 0xF0}, {32767, 0xFF}, {40000, 0xFF}, {-1, 0x00},   {-129, 0x10},   {-32768, 0x7F},
  };
  for (const auto& c : cases) EXPECT_EQ(LinearTou255law(c.linear, 32768), c.code) << c.linear;
}

TEST(U255Encode, FullScaleAndBeyondSaturate) {
  for (int32_t m : {1, 255, 16384, 32768, 1 << 24, INT_MAX}) {
    EXPECT_EQ(LinearTou255law(m, m), 0xFF) << m;
    EXPECT_EQ(LinearTou255law(-m, m), 0x7F) << m;
    EXPECT_EQ(LinearTou255law(0, m), 0x80) << m;
  }
  EXPECT_EQ(LinearTou255law(INT_MAX, 1), 0xFF);
  EXPECT_EQ(LinearTou255law(INT_MIN, 1), 0x7F);
}

TEST(U255Encode, ZeroOrNegativeFullScaleCountsAsOne) {
  for (int32_t max : {0, -1, INT_MIN}) {
    EXPECT_EQ(LinearTou255law(0, max), 0x80) << max;
    EXPECT_EQ(LinearTou255law(5, max), 0xFF) << max;
    EXPECT_EQ(LinearTou255law(-5, max), 0x7F) << max;
  }
}

TEST(U255Encode, EveryStepFallsOnTheDoubleWhereTheFormulaSteps) {
  // Each step's double found by bisection on the formula, then every double
  // near it compared. 4096 ulps of the ratio move the curve by a hundred
  // times its rounding error or more, so farther from a step the formula
  // truncates as the exact curve does and cannot step: together this
  // covers every ratio, hence every x and max.
  constexpr int64_t kNeighbours = 4096;
  for (int k = 1; k <= 127; ++k) {
    uint64_t below = 0, at = Bits(1.0);
    while (at - below > 1) {
      const uint64_t middle = below + (at - below) / 2;
      (FormulaMagnitude(FromBits(middle)) >= k ? at : below) = middle;
    }
    for (int64_t d = -kNeighbours; d <= kNeighbours; ++d) {
      const double ratio = FromBits(at + d);
      ASSERT_EQ(u255lawMagnitude(ratio), FormulaMagnitude(ratio)) << "step " << k << ", " << d << " ulps";
    }
  }
  EXPECT_EQ(u255lawMagnitude(1.0), 127);
  EXPECT_EQ(u255lawMagnitude(1e300), 127);
}

TEST(U255Encode, EverySampleAgainstUsualFullScalesEncodesAsTheFormulaDoes) {
  // Every sample one at a time and as one sound, whose encoder tables
  // magnitudes up to 65536 and searches above; float samples come from
  // the resampler, whole and within +-2^24.
  std::vector<int32_t> sound{-(1 << 24), 1 << 24};
  for (int32_t x = -70000; x <= 70000; ++x) sound.push_back(x);
  const std::vector<float> floats(sound.begin(), sound.end());
  sound.insert(sound.end(), {INT_MIN, INT_MIN + 1, INT_MAX - 1, INT_MAX});
  std::vector<uint8_t> codes(sound.size()), floatCodes(floats.size());
  for (int32_t max : {32768, 32767, 16384, 12345, 1000, 255, 1, 65536, 65537, 1 << 24, INT_MAX, 0, -1}) {
    const U255Encoder encode(max);
    EXPECT_EQ(encode(sound.data(), sound.size(), codes.data()), 1u << 31) << "the largest magnitude, of INT_MIN";
    EXPECT_EQ(encode(floats.data(), floats.size(), floatCodes.data()), 1u << 24);
    for (size_t i = 0; i < sound.size(); ++i) {
      const int32_t x = sound[i];
      const int code = FormulaCode(x, max);
      ASSERT_EQ(LinearTou255law(x, max), code) << x << " against " << max;
      ASSERT_EQ(codes[i], code) << x << " against " << max;
      if (i < floats.size()) ASSERT_EQ(floatCodes[i], code) << x << " against " << max;
    }
  }
}

TEST(U255Encode, CodesNeverFallWhenTheInputRises) {
  int previous = LinearTou255law(-32768, 32768);
  for (int32_t x = -32767; x <= 32767; ++x) {
    const int code = LinearTou255law(x, 32768);
    const int ordered = code & 0x80 ? code : 0x7F - code;  // negative codes run backwards
    const int orderedPrevious = previous & 0x80 ? previous : 0x7F - previous;
    ASSERT_GE(ordered, orderedPrevious) << x;
    previous = code;
  }
}

TEST(U255RoundTrip, DecodingThenEncodingNeverFallsBelowTheCode) {
  // Not exact inverses: small magnitudes come back higher (0x80 as 0x8F).
  EXPECT_EQ(LinearTou255law(u255lawToLinear(0x80, 32767), 32768), 0x8F);
  for (int code = 0x80; code <= 0xFF; ++code)
    EXPECT_GE(LinearTou255law(u255lawToLinear(code, 32767), 32768), code) << code;
}

}  // namespace
