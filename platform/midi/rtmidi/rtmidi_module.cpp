// The talverine-rtmidi module: rtmidiports::Client on RtMidi's own classes,
// whose error callback is the only way to hear RtMidi's warnings (a piece
// the sequencer refused, for one).
#include <RtMidi.h>

#include <exception>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/midi/rtmidi/rtmidi_client.h"

namespace rtmidiports {
namespace {

// The sequencer's API: on Linux the ALSA sequencer, whose limits the paced
// output is built for; elsewhere the system's own.
RtMidi::Api SystemApi() {
#if defined(__linux__)
  return RtMidi::LINUX_ALSA;
#else
  return RtMidi::UNSPECIFIED;
#endif
}

// What RtMidi's error callback reported during a call, for the thread that
// made the call to pick up.
class ErrorCatcher {
 public:
  void Clear() { Take(); }
  // Warnings and errors; debugging notes are ignored.
  void Report(RtMidiError::Type type, const std::string& text) {
    if (type == RtMidiError::DEBUG_WARNING) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (text_.empty()) text_ = text.empty() ? "RtMidi reported an error without a text." : text;
  }
  // The first report since Clear(), or "".
  std::string Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(text_, std::string());
  }

 private:
  std::mutex mutex_;
  std::string text_;
};

void OnRtMidiError(RtMidiError::Type type, const std::string& text, void* catcher) {
  static_cast<ErrorCatcher*>(catcher)->Report(type, text);
}

template <typename Api>
class RtMidiClient : public Client {
 public:
  explicit RtMidiClient(const char* clientName) : api_(SystemApi(), clientName) {
    api_.setErrorCallback(&OnRtMidiError, &errors_);
  }

  unsigned PortCount() override {
    try {
      return api_.getPortCount();
    } catch (const std::exception&) {
      return 0;
    }
  }

  std::string PortName(unsigned index) override {
    try {
      return api_.getPortName(index);
    } catch (const std::exception&) {
      return "";
    }
  }

  std::string OpenPort(unsigned index, const std::string& ourName) override {
    return Reported([&] { api_.openPort(index, ourName); });
  }

  bool IsPortOpen() override { return api_.isPortOpen(); }

  void ClosePort() override {
    try {
      api_.closePort();
    } catch (const std::exception&) {
      // Closed as far as it goes.
    }
  }

  void StartReceiving(Receiver receiver) override {
    if constexpr (std::is_same_v<Api, RtMidiIn>) {
      receiver_ = std::move(receiver);
      api_.ignoreTypes(false, true, true);
      api_.setCallback(&RtMidiClient::OnMessage, this);
    }
  }

  void StopReceiving() override {
    if constexpr (std::is_same_v<Api, RtMidiIn>) api_.cancelCallback();
  }

  std::string Send(const unsigned char* data, size_t size) override {
    // RtMidi only warns when the sequencer refuses a message: the warning
    // is all there is to go by.
    if constexpr (std::is_same_v<Api, RtMidiOut>) return Reported([&] { api_.sendMessage(data, size); });
    return "RtMidi sends on an output port only.";
  }

 private:
  // What RtMidi threw or reported while `call` ran, or "".
  template <typename Call>
  std::string Reported(Call call) {
    errors_.Clear();
    try {
      call();
    } catch (const std::exception& e) {
      return e.what();
    }
    return errors_.Take();
  }

  static void OnMessage(double, std::vector<unsigned char>* message, void* self) {
    if (message != nullptr && !message->empty())
      static_cast<RtMidiClient*>(self)->receiver_(message->data(), message->size());
  }

  // Both outlive RtMidi's own object, which may still report or deliver
  // while it closes.
  ErrorCatcher errors_;
  Receiver receiver_;
  Api api_;
};

}  // namespace
}  // namespace rtmidiports

extern "C" __attribute__((visibility("default"))) rtmidiports::Client* TalverineNewRtMidiClient(
    bool input, const char* clientName, std::string* why) {
  try {
    if (input) return new rtmidiports::RtMidiClient<RtMidiIn>(clientName);
    return new rtmidiports::RtMidiClient<RtMidiOut>(clientName);
  } catch (const std::exception& e) {
    *why = e.what();
  }
  return nullptr;
}
