#include "shell/playback.h"

#include <algorithm>

#include "files/wav_write.h"
#include "shell/app_state.h"
#include "shell/image_model.h"

static_assert(WAV_MAX_IMAGE <= BUFFER_SIZE, "a playback buffer holds the WAV image of the largest sound");

void ComputeWAVfromBuffer() {
  if (imgMemory == nullptr) return;
  // The player reads the buffer while it plays; it must not read one being
  // rewritten.
  plat::PlaySoundMemory(nullptr, 0);
  const UINT sounds = EPROM_Arrangement == eaOneEpromTwoSounds ? 2 : 1;
  const UINT length = myDataSize();
  for (UINT i = 0; i < sounds; ++i) {
    if (wavbuffer[i] == nullptr) continue;
    // A hand-edited layout can reach past the image: only what lies within
    // it is played.
    const UINT start = std::min(i * length, IMAGE_SIZE);
    const UINT samples = std::min({length, IMAGE_SIZE - start, WAV_MAX_SAMPLES});
    wavbuffer[i][0] = 0;  // selects the converter's memory mode
    ConvertDMXtoWAV(imgMemory + start, samples, reinterpret_cast<char*>(wavbuffer[i]));
  }
}
