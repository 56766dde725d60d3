#include "files/codec/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>

namespace {

// The filter, in fractions of the lower Nyquist frequency: flat up to the
// pass edge, silent from the stop edge on, the cut-off half-way between.
constexpr double kPassEdge = 0.90;
constexpr double kStopEdge = 1.00;
// Designed with a good margin over the 80 dB promised, which leaves room for
// the interpolated tables and for float arithmetic.
constexpr double kAttenuationDb = 100.0;
// Taps per phase are a multiple of this, so that the dot product runs in
// independent lanes the compiler can vectorise.
constexpr size_t kLanes = 8;
// The largest table of exact phases (coefficients); beyond it the phases are
// interpolated from a table of fixed size.
constexpr size_t kExactTableLimit = size_t{1} << 18;
// Interpolated tables hold this many phases per input sample when the filter
// spans the whole input band, fewer in proportion as it narrows; the error of
// interpolating linearly between them stays far below the stopband.
constexpr double kPhasesAtFullBand = 512.0;

// Zeroth-order modified Bessel function of the first kind, by its series.
double BesselI0(double x) {
  double sum = 1.0;
  double term = 1.0;
  const double quarterSquare = x * x / 4.0;
  for (int k = 1; term > sum * 1e-12; ++k) {
    term *= quarterSquare / (static_cast<double>(k) * k);
    sum += term;
  }
  return sum;
}

// The continuous impulse response, in input samples: a sinc of cut-off
// `cutoff` (cycles per input sample) under a Kaiser window reaching `half`
// samples either side of its centre. Its gain at 0 Hz is 1.
class Kernel {
 public:
  Kernel(double cutoff, size_t half)
      : cutoff_(cutoff), half_(static_cast<double>(half)), beta_(KaiserBeta()), norm_(BesselI0(beta_)) {}

  double operator()(double t) const {
    const double edge = t / half_;
    if (edge <= -1.0 || edge >= 1.0) return 0.0;
    const double window = BesselI0(beta_ * std::sqrt(1.0 - edge * edge)) / norm_;
    const double x = 2.0 * cutoff_ * t;
    const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
    return 2.0 * cutoff_ * sinc * window;
  }

 private:
  static double KaiserBeta() { return 0.1102 * (kAttenuationDb - 8.7); }

  double cutoff_;
  double half_;
  double beta_;
  double norm_;
};

// Everything a resampling needs that depends on the rates alone.
struct Plan {
  uint64_t up = 1;    // `up` output samples span `down` input samples:
  uint64_t down = 1;  // to and from divided by their greatest common divisor
  size_t half = 0;    // the kernel reaches this many input samples either side
  size_t taps = 0;    // coefficients per row: 2 * half, rounded up to kLanes
  size_t rows = 0;    // up exact phases, or interpolated ones from 0 to 1
  bool interpolated = false;
  std::vector<float> table;  // rows * taps coefficients
};

size_t RoundUpToLanes(size_t n) { return (n + kLanes - 1) / kLanes * kLanes; }

// The row for outputs `phase` (0 .. 1) of a sample past input sample i:
// coefficient j weighs input sample i - (half - 1) + j.
void FillRow(const Kernel& kernel, const Plan& plan, double phase, float* row) {
  const double centre = phase + static_cast<double>(plan.half) - 1.0;
  for (size_t j = 0; j < 2 * plan.half; ++j) row[j] = static_cast<float>(kernel(centre - static_cast<double>(j)));
}

// Fills the table's rows, phase 0 first. The kernel is even, so two rows
// whose phases add up to a whole sample hold the same coefficients in
// reverse order.
void FillTable(const Kernel& kernel, Plan& plan) {
  const size_t wholeSample = plan.interpolated ? plan.rows - 1 : plan.rows;
  const double phaseStep = 1.0 / static_cast<double>(wholeSample);
  plan.table.assign(plan.rows * plan.taps, 0.0f);
  for (size_t r = 0; r < plan.rows; ++r) {
    float* row = &plan.table[r * plan.taps];
    const float* mirror = &plan.table[(wholeSample - r) * plan.taps];
    if (wholeSample - r < r) {
      std::reverse_copy(mirror, mirror + 2 * plan.half, row);
    } else {
      FillRow(kernel, plan, static_cast<double>(r) * phaseStep, row);
    }
  }
}

// The narrower of the two bands, in cycles per input sample.
double Band(uint32_t from, uint32_t to) { return 0.5 * std::min(1.0, static_cast<double>(to) / from); }

// Input samples the kernel reaches either side of its centre: Kaiser's
// estimate of the length that gives the attenuation over the transition band.
size_t HalfLength(double band) {
  const double transition = band * (kStopEdge - kPassEdge);
  const double span = (kAttenuationDb - 7.95) / (2.285 * 2.0 * std::numbers::pi * transition);
  return static_cast<size_t>(std::ceil(span / 2.0));
}

Plan MakePlan(uint32_t from, uint32_t to) {
  Plan plan;
  const uint64_t common = std::gcd(from, to);
  plan.up = to / common;
  plan.down = from / common;
  const double band = Band(from, to);
  plan.half = HalfLength(band);
  plan.taps = RoundUpToLanes(2 * plan.half);
  plan.interpolated = plan.up * plan.taps > kExactTableLimit;
  plan.rows = plan.interpolated ? static_cast<size_t>(std::ceil(kPhasesAtFullBand * 2.0 * band)) + 1
                                : static_cast<size_t>(plan.up);
  FillTable(Kernel(band * (kPassEdge + kStopEdge) / 2.0, plan.half), plan);
  return plan;
}

float Dot(const float* x, const float* h, size_t taps) {
  float lanes[kLanes] = {};
  for (size_t j = 0; j < taps; j += kLanes) {
    for (size_t l = 0; l < kLanes; ++l) lanes[l] += x[j + l] * h[j + l];
  }
  float sum = 0.0f;
  for (float lane : lanes) sum += lane;
  return sum;
}

// Output k from the input held with half - 1 zeros in front: its first
// input sample lies at `whole` = floor(k * down / up) in `padded`, and it
// sits `step` / up of a sample past it.
float OutputSample(const Plan& plan, const float* padded, uint64_t whole, uint64_t step) {
  const float* x = padded + whole;
  if (!plan.interpolated) return Dot(x, &plan.table[step * plan.taps], plan.taps);
  const double position = static_cast<double>(step) * static_cast<double>(plan.rows - 1) / plan.up;
  const size_t row = static_cast<size_t>(position);
  const float weight = static_cast<float>(position - static_cast<double>(row));
  const float before = Dot(x, &plan.table[row * plan.taps], plan.taps);
  const float after = Dot(x, &plan.table[(row + 1) * plan.taps], plan.taps);
  return before + weight * (after - before);
}

}  // namespace

const char* ResampleErrorText(rsEnum result) {
  switch (result) {
    case rsOk: return "";
    case rsBadRate: return "ResampleSound: a sample rate is 0 or above 1536000 Hz";
    case rsBadRatio: return "ResampleSound: the two sample rates differ by more than a factor of 256";
    case rsTooLong: return "ResampleSound: the sound is too long to resample (more than 16777216 samples)";
    default: return "ResampleSound: unknown result";
  }
}

size_t ResampledLength(size_t n, uint32_t from, uint32_t to) {
  if (from == 0) return 0;
  // In two steps, so that no product overflows; absurd lengths saturate.
  const uint64_t wholeSeconds = n / from;
  if (to != 0 && wholeSeconds > (SIZE_MAX - to) / to) return SIZE_MAX;
  const uint64_t rest = (2 * (n % from) * uint64_t{to} + from) / (2 * uint64_t{from});
  return static_cast<size_t>(wholeSeconds * to + rest);
}

size_t ResampleInputNeeded(size_t outputs, uint32_t from, uint32_t to) {
  if (outputs == 0 || from == 0 || to == 0) return 0;
  if (from == to) return outputs;
  // The last output's first input sample lies at floor((outputs - 1) * from
  // / to); its row reaches taps - half samples beyond it.
  const uint64_t last = outputs - 1;
  const uint64_t wholeSeconds = last / to;
  if (wholeSeconds > UINT64_MAX / 2 / from) return SIZE_MAX;
  const uint64_t first = wholeSeconds * from + last % to * from / to;
  const size_t half = HalfLength(Band(from, to));
  const uint64_t needed = first + RoundUpToLanes(2 * half) - half + 1;
  return static_cast<size_t>(std::min<uint64_t>(needed, SIZE_MAX));
}

rsEnum CheckResample(size_t n, uint32_t from, uint32_t to) {
  if (from == 0 || to == 0 || from > RESAMPLE_MAX_RATE || to > RESAMPLE_MAX_RATE) return rsBadRate;
  if (uint64_t{from} > uint64_t{to} * RESAMPLE_MAX_RATIO || uint64_t{to} > uint64_t{from} * RESAMPLE_MAX_RATIO) {
    return rsBadRatio;
  }
  if (n > RESAMPLE_MAX_SAMPLES || ResampledLength(n, from, to) > RESAMPLE_MAX_SAMPLES) return rsTooLong;
  return rsOk;
}

rsEnum ResampleSound(const float* in, size_t n, uint32_t from, uint32_t to, std::vector<float>& out) {
  if (const rsEnum check = CheckResample(n, from, to); check != rsOk) return check;
  if (from == to) {
    out.assign(in, in + n);
    return rsOk;
  }
  const Plan plan = MakePlan(from, to);
  const size_t length = ResampledLength(n, from, to);
  // Silence before and after the sound, so that every output reads a full
  // row of input: the last output's first input sample lies before n.
  std::vector<float> padded(plan.half - 1 + n + plan.taps, 0.0f);
  std::copy(in, in + n, padded.begin() + static_cast<std::ptrdiff_t>(plan.half - 1));
  std::vector<float> result(length);
  uint64_t whole = 0;
  uint64_t step = 0;
  for (size_t k = 0; k < length; ++k) {
    result[k] = OutputSample(plan, padded.data(), whole, step);
    whole += plan.down / plan.up;
    step += plan.down % plan.up;
    if (step >= plan.up) {
      step -= plan.up;
      ++whole;
    }
  }
  out = std::move(result);
  return rsOk;
}
