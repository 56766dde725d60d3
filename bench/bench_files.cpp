// The file conversions a user waits for: a 64K-frame WAV into codes (one
// pass, and two with auto-scaling), an editor's 24-bit 44.1 kHz sound
// resampled into codes, 64K codes into the playback WAV image, and a 64 KB
// Intel HEX save and load. Files go through a scratch folder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/codec/wav_image.h"
#include "files/file_load.h"
#include "files/file_save.h"
#include "files/file_settings.h"
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
  bool Ready(benchmark::State& state) {
    if (!ok_) {
      state.SkipWithError("no buffers or scratch folder");
      return false;
    }
    for (UINT i = 0; i < IMAGE_SIZE; ++i) Image().imgMemory[i] = static_cast<BYTE>(i * 7);
    return true;
  }
  std::string Path(const char* name) const { return folder_ + "/" + name; }
  ImageModel& Image() { return core_.image; }
  FileSettings& Settings() { return core_.fileSettings; }
  BYTE* Wav() { return core_.app.wavbuffer[0].get(); }

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
  bench.Settings().AutoScale = static_cast<UINT>(state.range(0));
  for (auto _ : state) {
    LoadWavFile(bench.Image(), bench.Settings(), wav.c_str(), 0, IMAGE_SIZE);
    benchmark::DoNotOptimize(bench.Image().imgMemory[IMAGE_SIZE - 1]);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
  state.SetLabel(bench.Settings().AutoScale ? "auto-scale (two passes)" : "one pass");
}
BENCHMARK(BM_WavToCodes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// 2.5 seconds at 44.1 kHz, 24-bit stereo, as editors write it: the
// extensible WAV format, or AIFF. A 1 kHz tone, with noise in the low bits.
constexpr uint32_t kEditorRate = 44100;
constexpr uint32_t kEditorFrames = kEditorRate * 5 / 2;

void PutBe(std::ofstream& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.put(static_cast<char>(value >> (8 * i)));
}

void WriteEditorSound(const std::string& path, bool aiff) {
  std::ofstream out(path, std::ios::binary);
  const uint32_t dataBytes = kEditorFrames * 6;
  if (aiff) {
    out.write("FORM", 4);
    PutBe(out, 4 + 26 + 16 + dataBytes, 4);
    out.write("AIFFCOMM", 8);
    PutBe(out, 18, 4);
    PutBe(out, 2, 2);
    PutBe(out, kEditorFrames, 4);
    PutBe(out, 24, 2);
    PutBe(out, 0x400EAC44, 4);  // 44100 as an 80-bit extended value
    PutBe(out, 0, 4);
    PutBe(out, 0, 2);
    out.write("SSND", 4);
    PutBe(out, 8 + dataBytes, 4);
    PutBe(out, 0, 4);  // offset
    PutBe(out, 0, 4);  // block size
  } else {
    out.write("RIFF", 4);
    Put(out, 4 + 48 + 8 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    Put(out, 40, 4);
    for (uint32_t v : {0xFFFEu, 2u}) Put(out, v, 2);
    Put(out, kEditorRate, 4);
    Put(out, kEditorRate * 6, 4);
    for (uint32_t v : {6u, 24u, 22u, 24u}) Put(out, v, 2);
    Put(out, 3, 4);  // front left and right
    const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    out.write(reinterpret_cast<const char*>(pcm), sizeof pcm);
    out.write("data", 4);
    Put(out, dataBytes, 4);
  }
  uint32_t seed = 1;
  for (uint32_t i = 0; i < kEditorFrames * 2; ++i) {
    const double tone = 0.7 * std::sin(2.0 * 3.141592653589793 * 1000.0 * (i / 2) / kEditorRate);
    const uint32_t noise = (seed = seed * 1664525u + 1013904223u) >> 28;
    const uint32_t v = static_cast<uint32_t>(static_cast<int32_t>(tone * 8388607)) + noise;
    if (aiff) {
      PutBe(out, v & 0xFFFFFF, 3);
    } else {
      Put(out, v, 3);
    }
  }
}

// The whole path a load takes with "Resample to the playback rate": the
// file read and mixed, resampled to 24,000 Hz, measured and encoded into a
// 27512's 60,000 codes.
void BM_EditorSoundAtThePlaybackRate(benchmark::State& state) {
  FilesBench bench;
  if (!bench.Ready(state)) return;
  const bool aiff = state.range(0) != 0;
  const std::string path = bench.Path(aiff ? "editor.aif" : "editor.wav");
  WriteEditorSound(path, aiff);
  bench.Settings().ResampleToPlaybackRate = static_cast<UINT>(state.range(1));
  bench.Settings().sample_rate = 24000;
  for (auto _ : state) {
    tvOpenFileName(bench.Image(), bench.Settings(), path.c_str(), 0, static_cast<int>(IMAGE_SIZE),
                   static_cast<int>(IMAGE_SIZE));
    benchmark::DoNotOptimize(bench.Image().imgMemory[IMAGE_SIZE - 1]);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kEditorFrames);
  state.SetLabel(std::string(aiff ? "AIFF" : "extensible WAV") + (state.range(1) ? ", resampled" : ", as it is"));
}
BENCHMARK(BM_EditorSoundAtThePlaybackRate)->Args({0, 1})->Args({1, 1})->Args({0, 0})->Unit(benchmark::kMillisecond);

void BM_CodesToWavImage(benchmark::State& state) {
  FilesBench bench;
  if (!bench.Ready(state)) return;
  for (auto _ : state) {
    BuildWavImage(bench.Image().imgMemory.get(), IMAGE_SIZE, bench.Settings().sample_rate, bench.Wav(), BUFFER_SIZE);
    benchmark::DoNotOptimize(bench.Wav()[WavImageSize(IMAGE_SIZE) - 1]);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * IMAGE_SIZE);
}
BENCHMARK(BM_CodesToWavImage)->Unit(benchmark::kMicrosecond);

void BM_HexSave64K(benchmark::State& state) {
  FilesBench bench;
  if (!bench.Ready(state)) return;
  const std::string hex = bench.Path("image.hex");
  for (auto _ : state) SaveHexFile(bench.Image(), hex.c_str(), 0, IMAGE_SIZE);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * IMAGE_SIZE);
}
BENCHMARK(BM_HexSave64K)->Unit(benchmark::kMillisecond);

void BM_HexLoad64K(benchmark::State& state) {
  FilesBench bench;
  if (!bench.Ready(state)) return;
  const std::string hex = bench.Path("image.hex");
  SaveHexFile(bench.Image(), hex.c_str(), 0, IMAGE_SIZE);
  for (auto _ : state) {
    LoadHexFile(bench.Image(), bench.Settings(), hex.c_str(), 0, IMAGE_SIZE);
    benchmark::DoNotOptimize(bench.Image().imgMemory[IMAGE_SIZE - 1]);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * IMAGE_SIZE);
}
BENCHMARK(BM_HexLoad64K)->Unit(benchmark::kMillisecond);

}  // namespace
