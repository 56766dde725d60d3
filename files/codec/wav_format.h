// RIFF/WAVE records, little-endian and packed.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct RIFFhdr {
  char IDstr[4];
  uint32_t RIFFsize;
  char TypeStr[4];
};
struct CHUNKhdr {
  char Cname[4];
  uint32_t Csize;
};
struct WAVEfmt {
  uint16_t wFormatTag;
  uint16_t wChannels;
  uint32_t wSamplesPerSec;
  uint32_t wAvgBytesPerSec;
  uint16_t wBlockAlign;
};
struct PCMfmt {
  uint16_t wBitsPerSample;
};
#pragma pack(pop)

static_assert(sizeof(RIFFhdr) == 12 && sizeof(CHUNKhdr) == 8 && sizeof(WAVEfmt) == 14 && sizeof(PCMfmt) == 2,
              "WAV records must be packed");

// Size of the frame buffer one frame is read into.
constexpr unsigned WAV_FRAME_BUFFER = 64;
