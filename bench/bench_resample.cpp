// Resampling 2.5 seconds of a sound to the default playback rate of
// 24,000 Hz, from the rates sounds usually come in: 44,100 and 48,000 Hz
// down, 22,050 Hz up. The filter tables are built inside every call, as a
// loader would call it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "files/codec/resample.h"

namespace {

constexpr uint32_t kPlaybackRate = 24000;

void BM_ResampleTwoAndAHalfSeconds(benchmark::State& state) {
  const auto from = static_cast<uint32_t>(state.range(0));
  std::vector<float> sound(from * 5 / 2);
  uint32_t seed = 1;
  for (float& s : sound) s = static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / (1 << 24) - 0.5f;
  std::vector<float> out;
  for (auto _ : state) {
    if (ResampleSound(sound.data(), sound.size(), from, kPlaybackRate, out) != rsOk) {
      state.SkipWithError("refused");
      return;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
  state.SetLabel(std::to_string(sound.size()) + " -> " + std::to_string(out.size()) + " samples");
}
BENCHMARK(BM_ResampleTwoAndAHalfSeconds)->Arg(44100)->Arg(48000)->Arg(22050)->Unit(benchmark::kMillisecond);

}  // namespace
