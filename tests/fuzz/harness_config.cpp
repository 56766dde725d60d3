// The configuration reader over any bytes as the file: every setting ends in
// its range, and what SaveConfig then writes reads back to the same
// settings and is written again byte for byte.
#include <cstring>
#include <string>

#include "files/file_settings.h"
#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "shell/core_session.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

const char kConfigPath[] = "config/TALVERINE.CFG";

struct Settings {
  UINT midiIn, midiOut, type, arrangement, fill, rate, autoScale, autoDetect, autoCleanup, fileFormat;
  std::string loadPath, savePath;
  bool operator==(const Settings&) const = default;
};

Settings Current() {
  return {cMidiInDevice, cMidiOutDevice,       EPROM_type,  EPROM_Arrangement, cMemoryFillValue, sample_rate,
          AutoScale,     AutoDetectSampleRate, AutoCleanup, DefaultFileFormat, RecentLoadPath,   RecentSavePath};
}

UINT EpromsOf(UINT arrangement) {
  switch (arrangement) {
    case eaTwoEpromsOneSound:
      return 2;
    case eaFourEpromsOneSound:
      return 4;
    default:
      return 1;
  }
}

// A path as the reader leaves it: within the path limit, no quotes, no
// control characters.
bool CleanPath(const std::string& path) {
  if (path.size() > 260) return false;
  for (char c : path)
    if (static_cast<unsigned char>(c) < ' ' || c == '"' || c == '\'') return false;
  return true;
}

void CheckRanges() {
  FUZZ_CHECK(EPROM_type < etINVALID);
  FUZZ_CHECK(EPROM_Arrangement < eaINVALID);
  // The arrangement's EPROMs fit the 64 KB image.
  FUZZ_CHECK(EPROM_info[EPROM_type].etSizeK * 1024u * EpromsOf(EPROM_Arrangement) <= IMAGE_SIZE);
  FUZZ_CHECK(myDataSize() <= IMAGE_SIZE);
  FUZZ_CHECK(sample_rate >= 1200 && sample_rate <= 96000);
  FUZZ_CHECK(CleanPath(RecentLoadPath) && CleanPath(RecentSavePath));
}

}  // namespace

int FuzzConfigReader(const uint8_t* data, size_t size) {
  fuzz::FuzzPlatform& p = fuzz::Core();
  TheImageModel() = ImageModel{};
  TheFileSettings() = FileSettings{};
  TheConfigState() = ConfigState{};
  p.ForgetEffects();
  p.RemoveAllFiles();
  p.SetFile(kConfigPath, data, size);

  FUZZ_CHECK(LoadConfig(szCfgName) == 1);
  CheckRanges();
  const Settings loaded = Current();

  SaveConfig(szCfgName);
  const std::vector<uint8_t>* first = p.File(kConfigPath);
  FUZZ_CHECK(first != nullptr);
  const std::vector<uint8_t> written = *first;
  FUZZ_CHECK(p.File(std::string(kConfigPath) + CONFIG_TEMP_SUFFIX) == nullptr);

  LoadConfig(szCfgName);
  CheckRanges();
  Settings reread = Current();
  // A path that would not read back is saved empty rather than changed.
  if (reread.loadPath.empty()) reread.loadPath = loaded.loadPath;
  if (reread.savePath.empty()) reread.savePath = loaded.savePath;
  FUZZ_CHECK(reread == loaded);

  SaveConfig(szCfgName);
  FUZZ_CHECK(p.File(kConfigPath) != nullptr && *p.File(kConfigPath) == written);
  FUZZ_CHECK(p.messageBoxes.empty());
  return 0;
}
