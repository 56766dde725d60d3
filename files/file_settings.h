// The settings of loading and saving: the default file kind and folders, the
// sound conversion's options and the playback rate.
#pragma once

#include <string>

#include "platform/platform.h"

struct FileSettings {
  UINT DefaultFileFormat = 0;
  std::string RecentLoadPath;
  std::string RecentSavePath;
  UINT AutoDetectSampleRate = 0;
  UINT AutoCleanup = 0;
  UINT AutoScale = 0;
  UINT sample_rate = 24000;  // playback rate in Hz
  // Sound files are resampled from their own rate to `sample_rate` on load.
  UINT ResampleToPlaybackRate = 0;
};
