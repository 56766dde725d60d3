#include "shell/image_model.h"

const EPROM_INFO EPROM_info[etINVALID] = {
    {"2732", 250, 4},    {"2732A", 210, 4},  {"2764", 210, 8},   {"2764A", 125, 8},
    {"27128", 210, 16},  {"27128A", 125, 16}, {"27256", 210, 32}, {"27256D", 250, 32},
    {"27512", 210, 64},  {"Am9864", 50, 8},  {"2864C", 50, 8},
};

PlatformBytes AllocatePlatformBytes(size_t count) {
  return PlatformBytes(static_cast<BYTE*>(plat::AllocMemory(count)));
}

UINT ImageModel::nSounds() const { return EPROM_Arrangement == eaOneEpromTwoSounds ? 2 : 1; }

UINT ImageModel::nEPROMs() const {
  switch (EPROM_Arrangement) {
    case eaOneEpromOneSound:
    case eaOneEpromTwoSounds: return 1;
    case eaTwoEpromsOneSound: return 2;
    default: return 4;
  }
}

UINT ImageModel::EpromBytes() const {
  const etEnum type = EPROM_type < etINVALID ? EPROM_type : et2764;
  return EPROM_info[type].etSizeK * 1024;
}

UINT ImageModel::DataSize() const {
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

void ImageModel::ClearEpromFlags() {
  for (UINT& flags : EpromFlags) flags = 0;
}
