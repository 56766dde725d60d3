#include "files/codec/u255.h"

#include <cmath>

namespace {
constexpr double kLogMultiplier = 23.08;
constexpr double kCompanding = 255.0;
constexpr int kMaxIndex = 127;
}  // namespace

int32_t u255lawToLinear(int x, int32_t scale) {
  const double sign = (x & 0x80) ? 1.0 : -1.0;
  const int k = x & 0x7F;
  const double e = std::exp(k / kLogMultiplier);
  const double y = e * (static_cast<double>(scale) * sign) / kCompanding;
  return static_cast<int32_t>(y);
}

int LinearTou255law(int32_t x, int32_t max) {
  // A zero full scale comes from a silent file measured by the auto-scale
  // pass; dividing by it would turn silence into NaN.
  const double fullScale = max > 0 ? static_cast<double>(max) : 1.0;
  const double ratio = static_cast<double>(x) / fullScale;
  const int sign = ratio >= 0 ? 0x80 : 0x00;
  const double y = std::fabs(ratio) * kCompanding + 1.0;
  int k = static_cast<int>(kLogMultiplier * std::log(y));
  if (k > kMaxIndex) k = kMaxIndex;
  return k | sign;
}
