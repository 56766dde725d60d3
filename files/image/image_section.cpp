#include "files/image/image_section.h"

#include <cstring>

const UINT uSampleRateTable[4] = {32000, 24000, 16000, 12000};

SectionCheck CheckImageSection(UINT lOffset, UINT lSize) {
  if (imgMemory == nullptr) return SectionCheck::kNoImage;
  if (static_cast<uint64_t>(lOffset) + lSize > IMAGE_SIZE) return SectionCheck::kOutsideImage;
  return SectionCheck::kOk;
}

void FillSection(UINT lOffset, UINT lSize) {
  std::memset(imgMemory + lOffset, static_cast<BYTE>(cMemoryFillValue), lSize);
}

std::optional<UINT> ApplyLoadFixups(UINT lOffset, UINT lSize, bool detectSampleRate, bool cleanup) {
  // Both header bytes must belong to the section just loaded: a shorter
  // section would have its neighbour's bytes read as a rate or cleared.
  if (imgMemory == nullptr || lOffset != 0 || lSize < 2) return std::nullopt;
  std::optional<UINT> rate;
  if (detectSampleRate && imgMemory[0] == imgMemory[1] && imgMemory[0] < 4) rate = uSampleRateTable[imgMemory[0]];
  if (cleanup && cMemoryFillValue == 0 && (imgMemory[0] > 3 || imgMemory[1] > 3)) {
    imgMemory[0] = 0;
    imgMemory[1] = 0;
  }
  return rate;
}
