// SHA-1 over the most the help check hashes of one file: 100,000 bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "help/sha1.h"
#include "help/validate.h"

namespace {

void BM_Sha1HelpFileLimit(benchmark::State& state) {
  std::vector<unsigned char> data(HELP_READ_LIMIT);
  uint32_t seed = 1;
  for (auto& b : data) b = static_cast<unsigned char>((seed = seed * 1664525u + 1013904223u) >> 24);
  for (auto _ : state) {
    SHA1Context context;
    SHA1Reset(&context);
    SHA1Input(&context, data.data(), static_cast<unsigned>(data.size()));
    SHA1Result(&context);
    benchmark::DoNotOptimize(context.Message_Digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_Sha1HelpFileLimit);

}  // namespace
