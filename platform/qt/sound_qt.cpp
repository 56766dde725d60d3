#include "platform/qt/sound_qt.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QPointer>
#include <QSysInfo>
#include <cstring>

namespace {

// Rates a sound card may be asked for; the program's own lie well inside.
constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 192000;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
bool Tag(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

class SystemSoundOutput : public SoundOutput {
 public:
  ~SystemSoundOutput() override { Stop(); }

  bool Start(const PlaybackSound& sound) override {
    Stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return false;
    QAudioFormat format;
    format.setSampleRate(static_cast<int>(sound.sampleRate));
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) return false;

    sink_ = new QAudioSink(device, format);
    auto* source = new QBuffer(sink_);  // goes with the sink
    source->setData(NativeOrder(sound.samples));
    source->open(QIODevice::ReadOnly);
    QObject::connect(sink_, &QAudioSink::stateChanged, sink_, [this](QAudio::State state) {
      if (state == QAudio::IdleState || state == QAudio::StoppedState) Release();
    });
    sink_->start(source);
    if (!sink_ || sink_->error() != QAudio::NoError) {
      Stop();
      return false;
    }
    return true;
  }

  void Stop() override {
    if (sink_) sink_->stop();
    Release();
  }

 private:
  static QByteArray NativeOrder(QByteArray samples) {
    if (QSysInfo::ByteOrder == QSysInfo::BigEndian)
      for (qsizetype i = 0; i + 1 < samples.size(); i += 2) std::swap(samples[i], samples[i + 1]);
    return samples;
  }

  // The sink may be the one calling (its state signal), so it goes once
  // control is back in the event loop.
  void Release() {
    if (!sink_) return;
    QAudioSink* sink = sink_;
    sink_ = nullptr;
    sink->disconnect();
    sink->deleteLater();
  }

  QPointer<QAudioSink> sink_;
};

}  // namespace

std::optional<PlaybackSound> ParsePlaybackImage(const void* wavImage) {
  if (wavImage == nullptr) return std::nullopt;
  const auto* p = static_cast<const uint8_t*>(wavImage);
  // The RIFF size first: it says how far the image may be read at all.
  if (!Tag(p, "RIFF")) return std::nullopt;
  const uint32_t riffSize = Le32(p + 4);
  if (riffSize < kPlaybackHeaderBytes - 8 || riffSize > kPlaybackHeaderBytes - 8 + kMaxPlaybackDataBytes)
    return std::nullopt;
  if (!Tag(p + 8, "WAVE") || !Tag(p + 12, "fmt ") || Le32(p + 16) != 16) return std::nullopt;
  const uint16_t formatTag = Le16(p + 20);
  const uint16_t channels = Le16(p + 22);
  const uint32_t rate = Le32(p + 24);
  const uint32_t bytesPerSecond = Le32(p + 28);
  const uint16_t blockAlign = Le16(p + 32);
  const uint16_t bits = Le16(p + 34);
  if (formatTag != 1 || channels != 1 || bits != 16 || blockAlign != 2) return std::nullopt;
  if (rate < kMinRate || rate > kMaxRate || bytesPerSecond != rate * 2) return std::nullopt;
  if (!Tag(p + 36, "data")) return std::nullopt;
  const uint32_t dataSize = Le32(p + 40);
  if (dataSize % 2 != 0 || dataSize > kMaxPlaybackDataBytes || riffSize != kPlaybackHeaderBytes - 8 + dataSize)
    return std::nullopt;

  PlaybackSound sound;
  sound.sampleRate = rate;
  sound.samples = QByteArray(reinterpret_cast<const char*>(p + kPlaybackHeaderBytes), static_cast<qsizetype>(dataSize));
  return sound;
}

std::unique_ptr<SoundOutput> CreateSystemSoundOutput() { return std::make_unique<SystemSoundOutput>(); }

QtSoundPlayer::QtSoundPlayer(std::unique_ptr<SoundOutput> output)
    : output_(output ? std::move(output) : CreateSystemSoundOutput()) {}

QtSoundPlayer::~QtSoundPlayer() = default;

bool QtSoundPlayer::Play(const void* wavImage, UINT flags) {
  output_->Stop();
  if (wavImage == nullptr) return true;
  // Without SND_MEMORY the pointer would name a file: not a call this
  // program makes.
  if ((flags & SND_MEMORY) == 0) return false;
  const std::optional<PlaybackSound> sound = ParsePlaybackImage(wavImage);
  if (!sound) return false;
  if (sound->samples.isEmpty()) return true;  // nothing to hear
  return output_->Start(*sound);
}
