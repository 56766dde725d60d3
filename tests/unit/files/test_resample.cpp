// The resampler against its promises (a flat passband, a deep stopband, no
// delay, silence beyond the edges) and against sox's very-high-quality rate
// effect. The measured figures are printed; the thresholds are asserted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "files/codec/resample.h"
#include "tests/support/core_fixture.h"

namespace {

using Samples = std::vector<float>;

struct Rates {
  uint32_t from;
  uint32_t to;
};

constexpr double kPassbandShare = 0.9;  // of the lower Nyquist frequency, flat up to there
constexpr double kFlatDb = 0.1;
constexpr double kStopbandDb = 80.0;
constexpr double kBelowSoxDb = 60.0;

double LowerNyquist(Rates r) { return 0.5 * std::min(r.from, r.to); }
double Db(double ratio) { return 20.0 * std::log10(ratio); }

Samples Resample(const Samples& in, Rates r) {
  Samples out;
  EXPECT_EQ(ResampleSound(in.data(), in.size(), r.from, r.to, out), rsOk);
  return out;
}

double Rms(const Samples& y, size_t begin, size_t end) {
  double sum = 0.0;
  for (size_t k = begin; k < end; ++k) sum += static_cast<double>(y[k]) * y[k];
  return std::sqrt(sum / static_cast<double>(end - begin));
}

// --- pure tones ------------------------------------------------------------------

constexpr double kToneAmplitude = 0.5;
constexpr double kTonePhase = 0.3;

// Half a second of a tone of `hz` at the input rate.
Samples Tone(double hz, Rates r) {
  Samples x(r.from / 2);
  for (size_t i = 0; i < x.size(); ++i) {
    x[i] = static_cast<float>(kToneAmplitude * std::sin(2.0 * std::numbers::pi * hz * i / r.from + kTonePhase));
  }
  return x;
}

struct ToneFigures {
  double gainDb;
  double phaseError;  // radians: an output late or early by d samples shows as 2 pi hz d / to
  double residualDb;  // what is not the tone (aliases, images, noise), against the tone
};

// Fits the tone, as it should sit at output time k (input time k * from /
// to), to the middle half of the output by least squares, well away from
// the edges.
ToneFigures MeasureTone(const Samples& y, double hz, uint32_t rate) {
  const size_t begin = y.size() / 4, end = y.size() * 3 / 4;
  auto angle = [&](size_t k) { return 2.0 * std::numbers::pi * hz * k / rate + kTonePhase; };
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  for (size_t k = begin; k < end; ++k) {
    const double s = std::sin(angle(k)), c = std::cos(angle(k));
    ss += s * s, cc += c * c, sc += s * c, ys += y[k] * s, yc += y[k] * c;
  }
  const double det = ss * cc - sc * sc;
  const double inPhase = (ys * cc - yc * sc) / det, quadrature = (yc * ss - ys * sc) / det;
  double rest = 0.0;
  for (size_t k = begin; k < end; ++k) {
    const double e = y[k] - inPhase * std::sin(angle(k)) - quadrature * std::cos(angle(k));
    rest += e * e;
  }
  const double restRms = std::sqrt(rest / static_cast<double>(end - begin));
  return {Db(std::hypot(inPhase, quadrature) / kToneAmplitude), std::atan2(quadrature, inPhase),
          Db(restRms / (kToneAmplitude / std::numbers::sqrt2))};
}

// Every tone the input can hold from the lower Nyquist frequency on must be
// gone: whatever comes out is an alias.
double StopbandDb(const Samples& y) {
  return Db(Rms(y, y.size() / 4, y.size() * 3 / 4) / (kToneAmplitude / std::numbers::sqrt2));
}

// The ratios a user meets, the one that needs interpolated phases (23999 has
// no common factor with 44100) and the largest one the playback rates allow.
constexpr Rates kMeasured[] = {{44100, 24000}, {24000, 44100}, {48000, 24000},
                               {22050, 24000}, {44100, 23999}, {192000, 1200}};

TEST(ResampleQuality, FlatPassbandDeepStopbandNoDelay) {
  for (const Rates& r : kMeasured) {
    SCOPED_TRACE(std::to_string(r.from) + " -> " + std::to_string(r.to));
    const double nyquist = LowerNyquist(r);
    double worstGain = 0, worstPhase = 0, worstResidual = -999, worstStop = -999;
    for (double share : {0.001, 0.1, 0.3, 0.5, 0.7, 0.8, 0.85, kPassbandShare}) {
      const ToneFigures t = MeasureTone(Resample(Tone(share * nyquist, r), r), share * nyquist, r.to);
      EXPECT_LE(std::fabs(t.gainDb), kFlatDb) << share;
      EXPECT_LE(t.residualDb, -kStopbandDb) << share;
      EXPECT_LE(std::fabs(t.phaseError), 1e-4) << share;
      if (std::fabs(t.gainDb) > std::fabs(worstGain)) worstGain = t.gainDb;
      worstPhase = std::max(worstPhase, std::fabs(t.phaseError));
      worstResidual = std::max(worstResidual, t.residualDb);
    }
    for (double share : {1.0, 1.02, 1.1, 1.3, 1.6, 1.9}) {
      if (share * nyquist >= 0.5 * r.from) break;  // only what the input can hold
      const double stop = StopbandDb(Resample(Tone(share * nyquist, r), r));
      EXPECT_LE(stop, -kStopbandDb) << share;
      worstStop = std::max(worstStop, stop);
    }
    std::printf("%6u -> %6u Hz: passband to %.0f Hz within %+.5f dB, phase error <= %.1e rad, "
                "aliases and images <= %.1f dB",
                r.from, r.to, kPassbandShare * nyquist, worstGain, worstPhase, worstResidual);
    if (worstStop > -999) std::printf(", stopband from %.0f Hz <= %.1f dB", nyquist, worstStop);
    std::printf("\n");
  }
}

// --- lengths, edges, refusals --------------------------------------------------------

TEST(ResampleSound, LengthIsTheNearestWholeNumberHalvesUp) {
  const struct { size_t n; Rates r; size_t length; } cases[] = {
      {0, {44100, 24000}, 0},        {1, {44100, 24000}, 1},      {73, {44100, 24000}, 40},
      {110250, {44100, 24000}, 60000}, {1000, {24000, 44100}, 1838}, {7, {24000, 44100}, 13},
      {3, {192000, 1200}, 0},        {2, {1200, 307200}, 512},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResampledLength(c.n, c.r.from, c.r.to), c.length) << c.n << " " << c.r.from << " " << c.r.to;
    const Samples in(c.n, 0.25f);
    EXPECT_EQ(Resample(in, c.r).size(), c.length) << c.n << " " << c.r.from << " " << c.r.to;
  }
  EXPECT_EQ(ResampledLength(SIZE_MAX, 1, RESAMPLE_MAX_RATIO), SIZE_MAX);
  const Samples same = {0.5f, -1.0f, 0.25f};
  EXPECT_EQ(Resample(same, {22050, 22050}), same);
}

// A loader reads no further into a long sound than the first outputs need:
// the sound cut there resamples to the same first outputs as the whole.
TEST(ResampleSound, TheFirstOutputsNeedOnlyTheSamplesNamed) {
  for (const Rates& r : {Rates{44100, 24000}, Rates{24000, 44100}, Rates{96000, 1200}, Rates{1200, 48000},
                         Rates{44100, 23999}, Rates{22050, 22050}}) {
    SCOPED_TRACE(std::to_string(r.from) + " -> " + std::to_string(r.to));
    Samples sound(ResampleInputNeeded(1000, r.from, r.to) + 500);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> level(-0.5f, 0.5f);
    for (float& s : sound) s = level(random);
    const Samples whole = Resample(sound, r);
    for (size_t outputs : {1, 7, 1000}) {
      const size_t needed = ResampleInputNeeded(outputs, r.from, r.to);
      // Within the kernel's reach of the last output's time.
      const double ratio = std::max(1.0, static_cast<double>(r.from) / r.to);
      EXPECT_LE(needed, (outputs - 1) * r.from / r.to + 1 + static_cast<size_t>(80 * ratio)) << outputs;
      const Samples cut = Resample(Samples(sound.begin(), sound.begin() + static_cast<long>(needed)), r);
      ASSERT_GE(cut.size(), outputs);
      for (size_t k = 0; k < outputs; ++k) ASSERT_EQ(cut[k], whole[k]) << outputs << " outputs, sample " << k;
    }
  }
  EXPECT_EQ(ResampleInputNeeded(0, 44100, 24000), 0u);
  EXPECT_EQ(ResampleInputNeeded(10, 0, 24000), 0u);
}

// Silence added before and after a sound, a whole number of output samples
// long, only moves the output: the edges read silence, and no output depends
// on where the sound starts.
TEST(ResampleSound, SilenceBeyondTheEdges) {
  for (const Rates& r : {Rates{44100, 24000}, Rates{24000, 44100}, Rates{44100, 23999}}) {
    SCOPED_TRACE(std::to_string(r.from) + " -> " + std::to_string(r.to));
    Samples sound(500);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> level(-0.5f, 0.5f);
    for (float& s : sound) s = level(random);
    // At least 1000 input samples, far beyond the kernel's reach, that make
    // a whole number of output samples.
    const size_t unit = r.from / std::gcd(r.from, r.to);
    const size_t pad = (1000 + unit - 1) / unit * unit;
    Samples padded(pad, 0.0f);
    padded.insert(padded.end(), sound.begin(), sound.end());
    padded.insert(padded.end(), pad, 0.0f);
    const Samples alone = Resample(sound, r), inSilence = Resample(padded, r);
    const size_t shift = pad * r.to / r.from;
    ASSERT_EQ(inSilence.size(), alone.size() + 2 * shift);
    for (size_t k = 0; k < alone.size(); ++k) ASSERT_NEAR(inSilence[k + shift], alone[k], 1e-6) << k;
    for (size_t k = 0; k < shift / 2; ++k) ASSERT_EQ(inSilence[k], 0.0f) << k;  // beyond the kernel's reach
  }
}

TEST(ResampleSound, RefusesAbsurdNumbersAndKeepsTheOutput) {
  const float one = 1.0f;
  const struct { size_t n; uint32_t from, to; rsEnum result; } cases[] = {
      {1, 0, 24000, rsBadRate},
      {1, 44100, 0, rsBadRate},
      {1, RESAMPLE_MAX_RATE + 1, 24000, rsBadRate},
      {1, 4000000000u, 24000, rsBadRate},
      {1, 1200, RESAMPLE_MAX_RATIO * 1200 + 1, rsBadRatio},
      {1, RESAMPLE_MAX_RATIO * 1200 + 1, 1200, rsBadRatio},
      {1, 1, RESAMPLE_MAX_RATE, rsBadRatio},
      {RESAMPLE_MAX_SAMPLES + 1, 24000, 24000, rsTooLong},
      {SIZE_MAX, 44100, 24000, rsTooLong},
      {RESAMPLE_MAX_SAMPLES / 2 + 1, 24000, 48000, rsTooLong},  // the output would be too long
  };
  for (const auto& c : cases) {
    Samples out = {0.125f};
    EXPECT_EQ(CheckResample(c.n, c.from, c.to), c.result) << c.n << " " << c.from << " " << c.to;
    // `one` stands for a sound of n samples: a refusal reads none of them.
    EXPECT_EQ(ResampleSound(&one, c.n, c.from, c.to, out), c.result) << c.n << " " << c.from << " " << c.to;
    EXPECT_EQ(out, Samples{0.125f});
    EXPECT_STRNE(ResampleErrorText(c.result), "");
  }
  EXPECT_EQ(CheckResample(RESAMPLE_MAX_SAMPLES, 1200, RESAMPLE_MAX_RATIO * 1200), rsTooLong);
  EXPECT_EQ(CheckResample(RESAMPLE_MAX_SAMPLES / RESAMPLE_MAX_RATIO, 1200, RESAMPLE_MAX_RATIO * 1200), rsOk);
  EXPECT_EQ(CheckResample(RESAMPLE_MAX_SAMPLES, RESAMPLE_MAX_RATE, RESAMPLE_MAX_RATE / RESAMPLE_MAX_RATIO), rsOk);
}

// --- against sox ----------------------------------------------------------------------

// Half a second of a sweep from 20 Hz to the top of the passband.
Samples Sweep(Rates r) {
  Samples x(r.from / 2);
  const double top = kPassbandShare * LowerNyquist(r), seconds = 0.5;
  for (size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(i) / r.from;
    const double cycles = 20.0 * t + (top - 20.0) * t * t / (2.0 * seconds);
    x[i] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * cycles));
  }
  return x;
}

// Half a second of noise confined to the passband: 200 sines of random
// frequency and phase below its top, about 0.1 RMS.
Samples Noise(Rates r) {
  Samples x(r.from / 2);
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const int sines = 200;
  const double amplitude = 0.1 * std::numbers::sqrt2 / std::sqrt(sines);
  std::vector<double> sum(x.size(), 0.0);
  for (int s = 0; s < sines; ++s) {
    const double step = 2.0 * std::numbers::pi * unit(random) * kPassbandShare * LowerNyquist(r) / r.from;
    const double phase = 2.0 * std::numbers::pi * unit(random);
    for (size_t i = 0; i < x.size(); ++i) sum[i] += amplitude * std::sin(phase + step * static_cast<double>(i));
  }
  std::transform(sum.begin(), sum.end(), x.begin(), [](double v) { return static_cast<float>(v); });
  return x;
}

class ResampleAgainstSox : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::HaveTool("sox")) GTEST_SKIP() << "sox not installed";
  }

  // `sox in -r TO out rate -v` on raw 32-bit float samples, so that both
  // sides are compared before any rounding.
  Samples Sox(const Samples& in, Rates r) {
    std::vector<uint8_t> bytes(in.size() * sizeof(float));
    std::memcpy(bytes.data(), in.data(), bytes.size());
    testsupport::WriteBytes(temp_.File("in.raw"), bytes);
    const std::string raw = " -t raw -e floating-point -b 32 -c 1 ";
    const std::string cmd = "sox" + raw + "-r " + std::to_string(r.from) + " '" + temp_.File("in.raw") + "'" + raw +
                            "-r " + std::to_string(r.to) + " '" + temp_.File("out.raw") + "' rate -v";
    EXPECT_EQ(testsupport::Run(cmd), 0) << cmd;
    bytes = testsupport::ReadBytes(temp_.File("out.raw"));
    Samples out(bytes.size() / sizeof(float));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
    return out;
  }

  testsupport::TempDir temp_;
};

// sox's output is not delayed: its sample k sits at input time k * from / to
// as ours does, and its lengths are ours (both round to the nearest; on an
// exact half sox rounds down). Its filters are longer, so the first and last
// eighth, where the two edge transients differ, are left out. Both signals
// stay in the passband: between 0.9 and 1.0 of the Nyquist frequency the two
// filters differ by design (sox -v keeps 95 % of the band).
TEST_F(ResampleAgainstSox, SweepAndNoiseMatchItsVeryHighQualityRate) {
  for (const Rates& r : {Rates{44100, 24000}, Rates{24000, 44100}, Rates{48000, 24000}, Rates{22050, 24000}}) {
    SCOPED_TRACE(std::to_string(r.from) + " -> " + std::to_string(r.to));
    std::printf("%6u -> %6u Hz against sox -v:", r.from, r.to);
    for (const auto& [name, signal] : {std::pair{"sweep", Sweep(r)}, std::pair{"noise", Noise(r)}}) {
      const Samples ours = Resample(signal, r), theirs = Sox(signal, r);
      ASSERT_EQ(theirs.size(), ours.size());
      const size_t begin = ours.size() / 8, end = ours.size() - begin;
      Samples difference(ours.size());
      for (size_t k = 0; k < ours.size(); ++k) difference[k] = ours[k] - theirs[k];
      const double below = Db(Rms(difference, begin, end) / Rms(theirs, begin, end));
      EXPECT_LE(below, -kBelowSoxDb) << name;
      std::printf(" %s difference %.1f dB", name, below);
    }
    std::printf("\n");
  }
}

}  // namespace
