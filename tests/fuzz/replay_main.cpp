// Runs every input of a corpus through its harness, without libFuzzer, so
// that any compiler's build replays the committed corpora as a test.
//
//   fuzz_replay HARNESS PATH...   (a PATH is a file or a folder of inputs)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/harnesses.h"

namespace fs = std::filesystem;

namespace {

const FuzzHarness* FindHarness(const char* name) {
  for (const FuzzHarness& h : kFuzzHarnesses)
    if (std::strcmp(h.name, name) == 0) return &h;
  return nullptr;
}

bool CollectInputs(const fs::path& path, std::vector<fs::path>& inputs) {
  std::error_code error;
  if (fs::is_regular_file(path, error)) {
    inputs.push_back(path);
    return true;
  }
  if (!fs::is_directory(path, error)) return false;
  for (const auto& entry : fs::recursive_directory_iterator(path, error))
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  return !error;
}

int Usage() {
  std::fprintf(stderr, "usage: fuzz_replay HARNESS PATH...\nharnesses:");
  for (const FuzzHarness& h : kFuzzHarnesses) std::fprintf(stderr, " %s", h.name);
  std::fprintf(stderr, "\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const FuzzHarness* harness = FindHarness(argv[1]);
  if (harness == nullptr) return Usage();
  std::vector<fs::path> inputs;
  for (int i = 2; i < argc; ++i) {
    if (!CollectInputs(argv[i], inputs)) {
      std::fprintf(stderr, "fuzz_replay: no such file or folder: %s\n", argv[i]);
      return 1;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& input : inputs) {
    std::ifstream file(input, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s\n", input.filename().c_str());
    static const uint8_t kEmpty = 0;  // an empty input still comes with a valid pointer
    harness->run(bytes.empty() ? &kEmpty : bytes.data(), bytes.size());
  }
  std::printf("%zu inputs replayed through %s\n", inputs.size(), harness->name);
  return inputs.empty() ? 1 : 0;
}
