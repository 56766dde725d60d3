#include "shell/image_model.h"

const EPROM_INFO EPROM_info[etINVALID] = {
    {"2732", 250, 4},    {"2732A", 210, 4},  {"2764", 210, 8},   {"2764A", 125, 8},
    {"27128", 210, 16},  {"27128A", 125, 16}, {"27256", 210, 32}, {"27256D", 250, 32},
    {"27512", 210, 64},  {"Am9864", 50, 8},  {"2864C", 50, 8},
};

etEnum EPROM_type = et2764;
eaEnum EPROM_Arrangement = eaOneEpromOneSound;
eaEnum Old_EPROM_Arrangement = eaINVALID;
UINT nSounds = 1;
UINT nEPROMs = 1;
BYTE* imgMemory = nullptr;
UINT cMemoryFillValue = 0;
UINT EpromFlags[MAX_EPROMS] = {};
std::string SoundFile[MAX_EPROMS];
UINT SoundFileLoaded[MAX_EPROMS] = {};
BYTE WhichEPROM = 0;

UINT EpromBytes() {
  const etEnum type = EPROM_type < etINVALID ? EPROM_type : et2764;
  return EPROM_info[type].etSizeK * 1024;
}

UINT myDataSize() {
  const etEnum type = EPROM_type < etINVALID ? EPROM_type : et2764;
  const UINT k = EPROM_info[type].etSizeK;
  switch (EPROM_Arrangement) {
    case eaOneEpromOneSound: return k << 10;
    case eaOneEpromTwoSounds: return k << 9;
    case eaTwoEpromsOneSound: return k << 11;
    case eaFourEpromsOneSound: return k << 12;
    default: return 0;
  }
}

void ClearEpromFlags() {
  for (UINT& flags : EpromFlags) flags = 0;
}

void ImageModelInit() {
  EPROM_type = et2764;
  EPROM_Arrangement = eaOneEpromOneSound;
  Old_EPROM_Arrangement = eaINVALID;
  nSounds = 1;
  nEPROMs = 1;
  cMemoryFillValue = 0;
  ClearEpromFlags();
  for (UINT i = 0; i < MAX_EPROMS; ++i) {
    SoundFile[i].clear();
    SoundFileLoaded[i] = 0;
  }
  WhichEPROM = 0;
}
