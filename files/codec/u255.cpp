#include "files/codec/u255.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kLogMultiplier = 23.08;
constexpr double kCompanding = 255.0;
constexpr int kMagnitudes = 128;
// The largest full scale whose every magnitude an encoder's table holds:
// the 16-bit scale and a little beyond, for resampled peaks.
constexpr uint32_t kTabledFullScale = 1 << 16;

// The curve k = trunc(23.08 * ln(1 + 255 * |x / max|)), clamped to 127, is
// a staircase in the ratio |x / max|: kStepStart[k] is the smallest double
// ratio that the curve, evaluated in double precision, puts at magnitude k
// or above, found by bisection over the doubles. A search through these
// 128 values gives exactly the codes of the formula without a logarithm
// per sample, and the same codes whatever the C library's log; the tests
// hold the formula and prove each step against it.
constexpr double kStepStart[kMagnitudes] = {
    0x0p+0, 0x1.6c29d7c6631e2p-13, 0x1.7439dbbc1d46cp-12, 0x1.1d651a40fc844p-11,
    0x1.8512b397f22f8p-11, 0x1.f1578f5268dbap-11, 0x1.3133dbe2dd20dp-10, 0x1.6c3cc2984ec32p-10,
    0x1.a9e2dbed17ed5p-10, 0x1.ea43c9ac8b823p-10, 0x1.16bf3ec3f6934p-9, 0x1.39d9a3fb08beep-9,
    0x1.5e81f3ddcc28ap-9, 0x1.84c9cd119befap-9, 0x1.acc395f6f28f4p-9, 0x1.d68285817e99p-9,
    0x1.010d563a3c225p-8, 0x1.17d07f83d423cp-8, 0x1.2f95af7ce159cp-8, 0x1.4868530a76964p-8,
    0x1.625458953f53cp-8, 0x1.7d6635c5a0144p-8, 0x1.99aaed80d8ee2p-8, 0x1.b730162a0b2fdp-8,
    0x1.d603e02a23a41p-8, 0x1.f6351cc1cd17cp-8, 0x1.0be9a2945929dp-7, 0x1.1d7740febdf3ep-7,
    0x1.2fcbd9850e7a4p-7, 0x1.42f03bb015504p-7, 0x1.56ed9ae89220fp-7, 0x1.6bcd92e35f346p-7,
    0x1.819a2c3fb8958p-7, 0x1.985de159dd1dp-7, 0x1.b023a3545acep-7, 0x1.c8f6df5a72407p-7,
    0x1.e2e3841e18397p-7, 0x1.fdf607943944fp-7, 0x1.0d1db6790086ap-6, 0x1.1be0a57703331p-6,
    0x1.2b4ae9242ed81p-6, 0x1.3b63ea4e5aa15p-6, 0x1.4c3365c0e1923p-6, 0x1.5dc16ffcb842bp-6,
    0x1.7016791aab1f3p-6, 0x1.833b50d9a30b7p-6, 0x1.97392adae37a4p-6, 0x1.ac19a30e4b1dfp-6,
    0x1.c1e6c250b76b5p-6, 0x1.d8ab033ec3437p-6, 0x1.f071573e3241ep-6, 0x1.04a295e03a391p-5,
    0x1.119937e064d3p-5, 0x1.1f22ccc05425bp-5, 0x1.2d45d64294c4cp-5, 0x1.3c091fec2ddd7p-5,
    0x1.4b73c248be76ap-5, 0x1.5b8d2653a0989p-5, 0x1.6c5d0907b6099p-5, 0x1.7deb7f1794e2dp-5,
    0x1.9040f8cfddaabp-5, 0x1.a366462598e1dp-5, 0x1.b7649af28f1e8p-5, 0x1.cc459361a4e7p-5,
    0x1.e213388d5a94fp-5, 0x1.f8d80552a89d5p-5, 0x1.084f75ad44e82p-4, 0x1.14b9ac2e4fae2p-4,
    0x1.21b09dcebaf1bp-4, 0x1.2f3a85d587c4ap-4, 0x1.3d5de62d3a6f4p-4, 0x1.4c218a8496e22p-4,
    0x1.5b8c8b92d206ap-4, 0x1.6ba65280c9d94p-4, 0x1.7c769c78e806fp-4, 0x1.8e057e5f655bp-4,
    0x1.a05b68b4b7b41p-4, 0x1.b3812ba4087c5p-4, 0x1.c77ffb3fa6c85p-4, 0x1.dc6173ed7e5d7p-4,
    0x1.f22f9f05b3f3ep-4, 0x1.047a7bd2cf907p-3, 0x1.105e37dcb9c28p-3, 0x1.1cc8ba9f82912p-3,
    0x1.29bffbe21795bp-3, 0x1.374a3711c0a88p-3, 0x1.456dee40fabbep-3, 0x1.5431ed4847846p-3,
    0x1.639d4d0a72d98p-3, 0x1.73b776dddfc35p-3, 0x1.8488281c80f9ap-3, 0x1.961775dc332a1p-3,
    0x1.a86dd0d142cadp-3, 0x1.bb94095cfb7b7p-3, 0x1.cf9353ca342a8p-3, 0x1.e4754cb9e146ep-3,
    0x1.fa43fdc1cd62p-3, 0x1.0884f11fd85ep-2, 0x1.1468f6317cb2p-2, 0x1.20d3c537d7eecp-2,
    0x1.2dcb561e7fd78p-2, 0x1.3b55e47903f64p-2, 0x1.4979f281dadccp-2, 0x1.583e4c3b45035p-2,
    0x1.67aa0ab3a63cp-2, 0x1.77c4976ee7b21p-2, 0x1.8895aff6864bep-2, 0x1.9a25699203cafp-2,
    0x1.ac7c3529847a7p-2, 0x1.bfa2e354777c8p-2, 0x1.d3a2a8963cf45p-2, 0x1.e88521cad3653p-2,
    0x1.fe5458c5acb49p-2, 0x1.0a8d649271ac7p-1, 0x1.1671b2ad90b61p-1, 0x1.22dccdf952d1dp-1,
    0x1.2fd4ae85f6cdep-1, 0x1.3d5f900d54d0bp-1, 0x1.4b83f4f1de01p-1, 0x1.5a48a95f929c9p-1,
    0x1.69b4c6906f79ep-1, 0x1.79cfb635e4ffcp-1, 0x1.8aa13608fb673p-1, 0x1.9c315b82dab66p-1,
    0x1.ae8897bf804c5p-1, 0x1.c1afbb8c8019fp-1, 0x1.d5affba5c4d2p-1, 0x1.ea92f52258779p-1
};

// A zero full scale comes from a silent file measured by the auto-scale
// pass; dividing by it would turn silence into NaN.
double FullScale(int32_t max) { return max > 0 ? static_cast<double>(max) : 1.0; }

// The smallest magnitude below `end` whose ratio to `fullScale` reaches
// `ratio`, or `end`: the ratio rises with the magnitude.
uint32_t FirstReaching(double ratio, double fullScale, uint32_t end) {
  uint32_t low = 0;
  while (low < end) {
    const uint32_t middle = low + (end - low) / 2;
    if (middle / fullScale < ratio) low = middle + 1;
    else end = middle;
  }
  return low;
}

}  // namespace

int32_t u255lawToLinear(int x, int32_t scale) {
  const double sign = (x & 0x80) ? 1.0 : -1.0;
  const int k = x & 0x7F;
  const double e = std::exp(k / kLogMultiplier);
  const double y = e * (static_cast<double>(scale) * sign) / kCompanding;
  return static_cast<int32_t>(y);
}

int u255lawMagnitude(double ratio) {
  // The last step whose start the ratio reaches.
  int k = 0;
  for (int step = kMagnitudes / 2; step > 0; step /= 2)
    if (kStepStart[k + step] <= ratio) k += step;
  return k;
}

int LinearTou255law(int32_t x, int32_t max) {
  const double ratio = static_cast<double>(x) / FullScale(max);
  const int sign = ratio >= 0 ? 0x80 : 0x00;
  return u255lawMagnitude(std::fabs(ratio)) | sign;
}

U255Encoder::U255Encoder(int32_t max) : fullScale_(FullScale(max)) {
  // Every magnitude up to the full scale, where k has reached 127; larger
  // ones, rare, are searched for.
  byMagnitude_.resize(static_cast<uint32_t>(std::min(fullScale_, double{kTabledFullScale})) + 1);
  uint32_t stepEnd = static_cast<uint32_t>(byMagnitude_.size());
  for (int k = kMagnitudes - 1; k > 0; --k) {
    const uint32_t stepStart = FirstReaching(kStepStart[k], fullScale_, stepEnd);
    std::fill(byMagnitude_.begin() + stepStart, byMagnitude_.begin() + stepEnd, static_cast<uint8_t>(k));
    stepEnd = stepStart;
  }
}

template <typename Sample>
uint32_t U255Encoder::Encode(const Sample* samples, size_t count, uint8_t* codes) const {
  // Held apart from the members: a code written could alias any of them.
  const uint8_t* byMagnitude = byMagnitude_.data();
  const size_t tabled = byMagnitude_.size();
  uint32_t largest = 0;
  for (size_t i = 0; i < count; ++i) {
    const int32_t x = static_cast<int32_t>(samples[i]);
    const uint32_t magnitude = x < 0 ? 0u - static_cast<uint32_t>(x) : static_cast<uint32_t>(x);
    largest = std::max(largest, magnitude);
    const int k = magnitude < tabled ? byMagnitude[magnitude] : u255lawMagnitude(magnitude / fullScale_);
    codes[i] = static_cast<uint8_t>(k | (x >= 0 ? 0x80 : 0x00));
  }
  return largest;
}

uint32_t U255Encoder::operator()(const int32_t* samples, size_t count, uint8_t* codes) const {
  return Encode(samples, count, codes);
}

uint32_t U255Encoder::operator()(const float* samples, size_t count, uint8_t* codes) const {
  return Encode(samples, count, codes);
}
