// Sound playback on Qt.
//
// Implements:
// - QtSoundPlayer: plays the WAV file image the core builds in memory
//   (44-byte header, 16-bit mono PCM) through QAudioSink; a new sound stops
//   the one playing, a null image only stops it;
// - ParsePlaybackImage: the header checked before a byte of sound is read:
//   the sizes must add up and nothing beyond the announced size is touched;
// - no sound device, or a format the device refuses, means silence and no
//   message.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QByteArray>

#include "platform/platform.h"

// The largest sound the program builds: 65,536 samples of 2 bytes.
constexpr uint32_t kMaxPlaybackDataBytes = 65536 * 2;
constexpr uint32_t kPlaybackHeaderBytes = 44;

struct PlaybackSound {
  uint32_t sampleRate = 0;
  QByteArray samples;  // 16-bit little-endian mono, a copy of the image's
};

// The sound in a WAV image as BuildWavImage writes it, or nullopt when the
// header is not that layout or its sizes don't add up.
std::optional<PlaybackSound> ParsePlaybackImage(const void* wavImage);

// Where the samples go; the default is the system's sound output.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // Starts playing `sound` (the output keeps its own copy); false when it
  // cannot be played.
  virtual bool Start(const PlaybackSound& sound) = 0;
  virtual void Stop() = 0;
};

std::unique_ptr<SoundOutput> CreateSystemSoundOutput();

class QtSoundPlayer {
 public:
  // `output` null: the system's sound output.
  explicit QtSoundPlayer(std::unique_ptr<SoundOutput> output = nullptr);
  ~QtSoundPlayer();

  // As the desktop API's memory sound call: stops what is playing, then
  // plays `wavImage` (SND_MEMORY must be set; playback is always
  // asynchronous). A null image only stops and succeeds. False when the
  // image is refused or cannot be played.
  bool Play(const void* wavImage, UINT flags);

 private:
  std::unique_ptr<SoundOutput> output_;
};
