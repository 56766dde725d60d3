// The EPROM image and how it divides into EPROMs and sounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

enum etEnum : uint32_t {
  et2732 = 0,
  et2732A,
  et2764,
  et2764A,
  et27128,
  et27128A,
  et27256,
  et27256D,
  et27512,
  etAM9864,
  et2864C,
  etINVALID
};

enum eaEnum : uint32_t {
  eaOneEpromOneSound = 0,
  eaOneEpromTwoSounds,
  eaTwoEpromsOneSound,
  eaFourEpromsOneSound,
  eaINVALID
};

struct EPROM_INFO {
  char etName[8];
  UINT etVPPx10;  // programming voltage in tenths of a volt (informative)
  UINT etSizeK;
};

extern const EPROM_INFO EPROM_info[etINVALID];

constexpr UINT IMAGE_SIZE = 65536;
constexpr UINT MAX_EPROMS = 4;

// EpromFlags bits.
constexpr UINT efProgrammed = 0x1;
constexpr UINT efProgramFailed = 0x2;
constexpr UINT efVerified = 0x4;
constexpr UINT efVerifyFailed = 0x8;

// Memory from the platform's allocator, handed back to it when dropped.
struct PlatformFree {
  void operator()(BYTE* block) const { plat::FreeMemory(block); }
};
using PlatformBytes = std::unique_ptr<BYTE[], PlatformFree>;
// `count` zero-filled bytes; null when the platform has none to give.
PlatformBytes AllocatePlatformBytes(size_t count);

// The image and what is known about it: the EPROM type and arrangement, the
// marks of each EPROM and the files loaded into each sound.
struct ImageModel {
  etEnum EPROM_type = et2764;
  eaEnum EPROM_Arrangement = eaOneEpromOneSound;
  eaEnum Old_EPROM_Arrangement = eaINVALID;
  UINT cMemoryFillValue = 0;
  UINT EpromFlags[MAX_EPROMS] = {};
  std::string SoundFile[MAX_EPROMS];
  UINT SoundFileLoaded[MAX_EPROMS] = {};
  BYTE WhichEPROM = 0;
  // The image's IMAGE_SIZE bytes: allocated with the main window (or with a
  // session without one); null before, and when they could not be had.
  PlatformBytes imgMemory;

  // Sound panels and EPROMs of the arrangement: 2 sounds on one EPROM with
  // two sounds, else 1; 1, 2 or 4 EPROMs (4 for an arrangement outside the
  // table, as the layout draws it).
  UINT nSounds() const;
  UINT nEPROMs() const;
  // Bytes of one sound for the type and arrangement; 0 for an arrangement
  // outside the table.
  UINT DataSize() const;
  // Size of one EPROM of the type, in bytes.
  UINT EpromBytes() const;
  void ClearEpromFlags();
};
