#include "shell/playback.h"

#include <algorithm>

#include "files/codec/wav_image.h"
#include "shell/app_state.h"
#include "shell/core_session.h"

static_assert(WavImageSize(IMAGE_SIZE) <= BUFFER_SIZE, "a playback buffer holds the WAV image of the largest sound");

void ComputeWAVfromBuffer(CoreSession& session) {
  const ImageModel& image = session.image;
  if (image.imgMemory == nullptr) return;
  // The player reads the buffer while it plays; it must not read one being
  // rewritten.
  plat::PlaySoundMemory(nullptr, 0);
  const UINT sounds = image.nSounds();
  const UINT length = image.DataSize();
  for (UINT i = 0; i < sounds; ++i) {
    BYTE* wav = session.app.wavbuffer[i].get();
    if (wav == nullptr) continue;
    // A hand-edited layout can reach past the image: only what lies within
    // it is played.
    const UINT start = std::min(i * length, IMAGE_SIZE);
    const UINT samples = std::min(length, IMAGE_SIZE - start);
    BuildWavImage(image.imgMemory.get() + start, samples, session.fileSettings.sample_rate, wav, BUFFER_SIZE);
  }
}
