// The EPROM image and how it divides into EPROMs and sounds.
#pragma once

#include <cstdint>
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

// What is known about the image: the EPROM type and arrangement, the marks
// of each EPROM and the files loaded into each sound. The image's bytes are
// allocated with the program's other buffers (AppState).
struct ImageModel {
  etEnum EPROM_type = et2764;
  eaEnum EPROM_Arrangement = eaOneEpromOneSound;
  eaEnum Old_EPROM_Arrangement = eaINVALID;
  UINT cMemoryFillValue = 0;
  UINT EpromFlags[MAX_EPROMS] = {};
  std::string SoundFile[MAX_EPROMS];
  UINT SoundFileLoaded[MAX_EPROMS] = {};
  BYTE WhichEPROM = 0;
};

// The program's one image model; a new run starts from a new one.
ImageModel& TheImageModel();

// Its fields under the names every module uses.
extern etEnum& EPROM_type;
extern eaEnum& EPROM_Arrangement;
extern eaEnum& Old_EPROM_Arrangement;
extern BYTE*& imgMemory;  // IMAGE_SIZE bytes, or null when it could not be allocated
extern UINT& cMemoryFillValue;
extern UINT (&EpromFlags)[MAX_EPROMS];
extern std::string (&SoundFile)[MAX_EPROMS];
extern UINT (&SoundFileLoaded)[MAX_EPROMS];
extern BYTE& WhichEPROM;

// Sound panels and EPROMs of the current arrangement: 2 sounds on one EPROM
// with two sounds, else 1; 1, 2 or 4 EPROMs (4 for an arrangement outside
// the table, as the layout draws it).
UINT nSounds();
UINT nEPROMs();

// Bytes of one sound for the current type and arrangement; 0 for an
// arrangement outside the table.
UINT myDataSize();
void ClearEpromFlags();

// Size of one EPROM of the current type, in bytes.
UINT EpromBytes();
