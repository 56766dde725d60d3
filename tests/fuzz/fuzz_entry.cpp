// One harness as a libFuzzer target; TALVERINE_FUZZ_HARNESS names it.
#include "tests/fuzz/harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return TALVERINE_FUZZ_HARNESS(data, size); }
