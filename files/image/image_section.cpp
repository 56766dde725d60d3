#include "files/image/image_section.h"

#include <cstring>

const UINT uSampleRateTable[4] = {32000, 24000, 16000, 12000};

SectionCheck CheckImageSection(const ImageModel& image, UINT lOffset, UINT lSize) {
  if (image.imgMemory == nullptr) return SectionCheck::kNoImage;
  if (static_cast<uint64_t>(lOffset) + lSize > IMAGE_SIZE) return SectionCheck::kOutsideImage;
  return SectionCheck::kOk;
}

void FillSection(ImageModel& image, UINT lOffset, UINT lSize) {
  std::memset(image.imgMemory.get() + lOffset, static_cast<BYTE>(image.cMemoryFillValue), lSize);
}

std::optional<UINT> ApplyLoadFixups(ImageModel& image, UINT lOffset, UINT lSize, bool detectSampleRate, bool cleanup) {
  // Both header bytes must belong to the section just loaded: a shorter
  // section would have its neighbour's bytes read as a rate or cleared.
  BYTE* header = image.imgMemory.get();
  if (header == nullptr || lOffset != 0 || lSize < 2) return std::nullopt;
  std::optional<UINT> rate;
  if (detectSampleRate && header[0] == header[1] && header[0] < 4) rate = uSampleRateTable[header[0]];
  if (cleanup && image.cMemoryFillValue == 0 && (header[0] > 3 || header[1] > 3)) {
    header[0] = 0;
    header[1] = 0;
  }
  return rate;
}
