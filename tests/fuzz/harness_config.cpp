// The configuration reader over any bytes as the file: every setting ends in
// its range, and what SaveConfig then writes reads back to the same
// settings and is written again byte for byte.
#include <cstring>
#include <string>

#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/core_session.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

const char kConfigPath[] = "config/TALVERINE.CFG";

struct Settings {
  UINT midiIn, midiOut, type, arrangement, fill, rate, autoScale, autoDetect, autoCleanup, fileFormat;
  std::string loadPath, savePath, inPortName, outPortName;
  bool operator==(const Settings&) const = default;
};

Settings Current(const CoreSession& s) {
  const ImageModel& i = s.image;
  const FileSettings& f = s.fileSettings;
  return {TheConfigState().cMidiInDevice,  TheConfigState().cMidiOutDevice,         i.EPROM_type,  i.EPROM_Arrangement, i.cMemoryFillValue,
          f.sample_rate,  f.AutoScale,            f.AutoDetectSampleRate, f.AutoCleanup,  f.DefaultFileFormat,
          f.RecentLoadPath, f.RecentSavePath, TheConfigState().midiInName, TheConfigState().midiOutName};
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

// A path or a port name as the reader leaves it: within its limit, no
// quotes, no control characters.
bool CleanText(const std::string& path, size_t limit = 260) {
  if (path.size() > limit) return false;
  for (char c : path)
    if (static_cast<unsigned char>(c) < ' ' || c == '"' || c == '\'') return false;
  return true;
}

void CheckRanges(const CoreSession& s) {
  const ImageModel& image = s.image;
  const FileSettings& files = s.fileSettings;
  FUZZ_CHECK(image.EPROM_type < etINVALID);
  FUZZ_CHECK(image.EPROM_Arrangement < eaINVALID);
  // The arrangement's EPROMs fit the 64 KB image.
  FUZZ_CHECK(EPROM_info[image.EPROM_type].etSizeK * 1024u * EpromsOf(image.EPROM_Arrangement) <= IMAGE_SIZE);
  FUZZ_CHECK(image.DataSize() <= IMAGE_SIZE);
  FUZZ_CHECK(files.sample_rate >= 1200 && files.sample_rate <= 96000);
  FUZZ_CHECK(CleanText(files.RecentLoadPath) && CleanText(files.RecentSavePath));
  FUZZ_CHECK(CleanText(TheConfigState().midiInName, MAX_MIDI_PORT_NAME) &&
             CleanText(TheConfigState().midiOutName, MAX_MIDI_PORT_NAME));
}

}  // namespace

int FuzzConfigReader(const uint8_t* data, size_t size) {
  fuzz::FuzzPlatform& p = fuzz::Core();
  CoreSession& s = fuzz::NewSessionState();
  TheConfigState() = ConfigState{};
  p.ForgetEffects();
  p.RemoveAllFiles();
  p.SetFile(kConfigPath, data, size);

  FUZZ_CHECK(LoadConfig(szCfgName, s.image, s.fileSettings) == 1);
  CheckRanges(s);
  const Settings loaded = Current(s);

  SaveConfig(szCfgName, s.image, s.fileSettings);
  const std::vector<uint8_t>* first = p.File(kConfigPath);
  FUZZ_CHECK(first != nullptr);
  const std::vector<uint8_t> written = *first;
  FUZZ_CHECK(p.File(std::string(kConfigPath) + CONFIG_TEMP_SUFFIX) == nullptr);

  LoadConfig(szCfgName, s.image, s.fileSettings);
  CheckRanges(s);
  Settings reread = Current(s);
  // A path or name that would not read back is saved empty rather than
  // changed.
  for (auto text : {&Settings::loadPath, &Settings::savePath, &Settings::inPortName, &Settings::outPortName})
    if ((reread.*text).empty()) reread.*text = loaded.*text;
  FUZZ_CHECK(reread == loaded);

  SaveConfig(szCfgName, s.image, s.fileSettings);
  FUZZ_CHECK(p.File(kConfigPath) != nullptr && *p.File(kConfigPath) == written);
  FUZZ_CHECK(p.messageBoxes.empty());
  return 0;
}
