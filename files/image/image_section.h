// A section of the image as the loaders and writers take it: checked
// against the image, filled before a load, and its header bytes fixed up
// after one. Nothing here shows anything; the results say what happened.
#pragma once

#include <optional>

#include "shell/image_model.h"

// Playback rates in Hz by the code a sound's first two bytes carry.
extern const UINT uSampleRateTable[4];

enum class SectionCheck {
  kOk,
  kNoImage,       // the image could not be allocated
  kOutsideImage,  // some of the section's bytes lie beyond the image
};

SectionCheck CheckImageSection(const ImageModel& image, UINT lOffset, UINT lSize);

// Fills a checked section with the low byte of cMemoryFillValue.
void FillSection(ImageModel& image, UINT lOffset, UINT lSize);

// After a load into the section of `lSize` bytes at `lOffset`, for a
// section at the image's start that holds both header bytes: with
// `detectSampleRate`, two equal codes below 4 there select a playback rate,
// which is returned (and not yet taken); then, with `cleanup` and the
// audio fill byte, codes above 3 there are cleared.
std::optional<UINT> ApplyLoadFixups(ImageModel& image, UINT lOffset, UINT lSize, bool detectSampleRate, bool cleanup);
