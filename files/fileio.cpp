#include "files/fileio.h"

#include "files/wav_read.h"
#include "files/wav_write.h"

UINT DefaultFileFormat = 0;
std::string RecentLoadPath;
std::string RecentSavePath;
UINT AutoDetectSampleRate = 0;
UINT AutoCleanup = 0;
const UINT uSampleRateTable[4] = {32000, 24000, 16000, 12000};

void FileIoInit() {
  DefaultFileFormat = 0;
  RecentLoadPath.clear();
  RecentSavePath.clear();
  AutoDetectSampleRate = 0;
  AutoCleanup = 0;
  AutoScale = 0;
  sample_rate = 24000;
}
