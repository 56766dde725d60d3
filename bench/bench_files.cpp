// The file conversions a user waits for: a 64K-frame WAV into codes (one
// pass, and two with auto-scaling), 64K codes into the playback WAV image,
// and a 64 KB Intel HEX save and load. Files go through a scratch folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/fileio.h"
#include "files/hexfile.h"
#include "files/wav_read.h"
#include "files/wav_write.h"
#include "platform/headless/platform_headless.h"
#include "shell/app_state.h"
#include "shell/core_session.h"
#include "shell/image_model.h"

namespace {

constexpr uint32_t kFrames = 65536;

// The core on a headless platform with its buffers, and a scratch folder.
class FilesBench {
 public:
  FilesBench() {
    ok_ = core_.ready();
    std::string pattern = (std::filesystem::temp_directory_path() / "talverine-bench-XXXXXX").string();
    ok_ = ok_ && mkdtemp(pattern.data()) != nullptr;
    folder_ = pattern;
  }
  ~FilesBench() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  // False, with the benchmark marked skipped, when there is nothing to run
  // on; otherwise the image holds a recognisable pattern.
  bool Ready(benchmark::State& state) const {
    if (!ok_) {
      state.SkipWithError("no buffers or scratch folder");
      return false;
    }
    for (UINT i = 0; i < IMAGE_SIZE; ++i) imgMemory[i] = static_cast<BYTE>(i * 7);
    return true;
  }
  std::string Path(const char* name) const { return folder_ + "/" + name; }

 private:
  headless::ScopedHeadless platform_;
  CoreSession core_{CoreSession::Setup::WithoutWindow};
  bool ok_ = false;
  std::string folder_;
};

void Put(std::ofstream& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>(value >> (8 * i)));
}

void WriteStereoWav(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  Put(out, 36 + kFrames * 4, 4);
  out.write("WAVEfmt ", 8);
  Put(out, 16, 4);
  Put(out, 1, 2);
  Put(out, 2, 2);
  Put(out, 44100, 4);
  Put(out, 44100 * 4, 4);
  Put(out, 4, 2);
  Put(out, 16, 2);
  out.write("data", 4);
  Put(out, kFrames * 4, 4);
  uint32_t seed = 1;
  for (uint32_t i = 0; i < kFrames * 2; ++i) Put(out, (seed = seed * 1664525u + 1013904223u) >> 16, 2);
}

void BM_WavToCodes(benchmark::State& state) {
  FilesBench bench;
  if (!bench.Ready(state)) return;
  const std::string wav = bench.Path("stereo16.wav");
  WriteStereoWav(wav);
  AutoScale = static_cast<UINT>(state.range(0));
  for (auto _ : state) {
    LoadWavFile(wav.c_str(), 0, IMAGE_SIZE, nullptr);
    benchmark::DoNotOptimize(imgMemory[IMAGE_SIZE - 1]);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
  state.SetLabel(AutoScale ? "auto-scale (two passes)" : "one pass");
}
BENCHMARK(BM_WavToCodes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_CodesToWavImage(benchmark::State& state) {
  FilesBench bench;
  if (!bench.Ready(state)) return;
  for (auto _ : state) {
    wavbuffer[0][0] = 0;
    ConvertDMXtoWAV(imgMemory, WAV_MAX_SAMPLES, reinterpret_cast<char*>(wavbuffer[0]));
    benchmark::DoNotOptimize(wavbuffer[0][WAV_MAX_IMAGE - 1]);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * WAV_MAX_SAMPLES);
}
BENCHMARK(BM_CodesToWavImage)->Unit(benchmark::kMicrosecond);

void BM_HexSave64K(benchmark::State& state) {
  FilesBench bench;
  if (!bench.Ready(state)) return;
  const std::string hex = bench.Path("image.hex");
  for (auto _ : state) SaveHexFile(hex.c_str(), 0, IMAGE_SIZE);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * IMAGE_SIZE);
}
BENCHMARK(BM_HexSave64K)->Unit(benchmark::kMillisecond);

void BM_HexLoad64K(benchmark::State& state) {
  FilesBench bench;
  if (!bench.Ready(state)) return;
  const std::string hex = bench.Path("image.hex");
  SaveHexFile(hex.c_str(), 0, IMAGE_SIZE);
  for (auto _ : state) {
    LoadHexFile(hex.c_str(), 0, IMAGE_SIZE);
    benchmark::DoNotOptimize(imgMemory[IMAGE_SIZE - 1]);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * IMAGE_SIZE);
}
BENCHMARK(BM_HexLoad64K)->Unit(benchmark::kMillisecond);

}  // namespace
