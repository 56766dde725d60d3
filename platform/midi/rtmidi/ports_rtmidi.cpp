#include "platform/midi/rtmidi/ports_rtmidi.h"

#include <RtMidi.h>

#include <cctype>
#include <exception>
#include <utility>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace rtmidiports {

namespace {

constexpr const char* kClientName = "Talverine";
constexpr size_t kPortNameChars = MAXPNAMELEN - 1;

// The sequencer's API: on Linux the ALSA sequencer, whose limits the paced
// output is built for; elsewhere the system's own.
RtMidi::Api SystemApi() {
#if defined(__linux__)
  return RtMidi::LINUX_ALSA;
#else
  return RtMidi::UNSPECIFIED;
#endif
}

// False when there is certainly no MIDI service: RtMidi would only fail
// after printing its complaint (and ALSA's) on the terminal.
bool ServiceMayExist() {
#if defined(__linux__)
  return access("/dev/snd/seq", F_OK) == 0;
#else
  return true;
#endif
}

void OnRtMidiError(RtMidiError::Type type, const std::string& text, void* catcher) {
  static_cast<ErrorCatcher*>(catcher)->Report(type, text);
}

// Where a trailing ALSA sequencer address (" 24:1") starts, or npos.
size_t AddressStart(const std::string& name) {
  const size_t space = name.rfind(' ');
  if (space == std::string::npos) return std::string::npos;
  const size_t colon = name.find(':', space);
  if (colon == std::string::npos || colon == space + 1 || colon + 1 == name.size()) return std::string::npos;
  for (size_t i = space + 1; i < name.size(); ++i)
    if (i != colon && !std::isdigit(static_cast<unsigned char>(name[i]))) return std::string::npos;
  return space;
}

std::string WithoutAddress(const std::string& name) { return name.substr(0, AddressStart(name)); }

// The index of the port named `wanted`, or of the one port whose name is
// the same but for the sequencer address; -1 when there is none.
int FindPort(RtMidi& api, const std::string& wanted) {
  const unsigned count = api.getPortCount();
  int loose = -1;
  int looseMatches = 0;
  for (unsigned i = 0; i < count; ++i) {
    const std::string name = api.getPortName(i);
    if (name == wanted) return static_cast<int>(i);
    if (WithoutAddress(name) == WithoutAddress(wanted)) {
      loose = static_cast<int>(i);
      ++looseMatches;
    }
  }
  return looseMatches == 1 ? loose : -1;
}

// Opens `api` on the port named `portName`.
MidiWriteResult OpenNamedPort(RtMidi& api, const std::string& portName, const char* ourName, ErrorCatcher& errors) {
  const int index = FindPort(api, portName);
  if (index < 0)
    return MidiWriteResult::Failure(MMSYSERR_BADDEVICEID, "The MIDI port \"" + portName + "\" is no longer present.");
  errors.Clear();
  api.openPort(static_cast<unsigned>(index), ourName);
  std::string why = errors.Take();
  if (why.empty() && !api.isPortOpen()) why = "The MIDI port \"" + portName + "\" could not be opened.";
  if (!why.empty()) return MidiWriteResult::Failure(MMSYSERR_ERROR, why);
  return {};
}

}  // namespace

// ---------------------------------------------------------------------------

void ErrorCatcher::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  text_.clear();
}

void ErrorCatcher::Report(int type, const std::string& text) {
  if (type == RtMidiError::DEBUG_WARNING) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (text_.empty()) text_ = text.empty() ? "RtMidi reported an error without a text." : text;
}

std::string ErrorCatcher::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(text_, std::string());
}

namespace {

template <typename Api>
std::vector<std::string> PortNames() {
  std::vector<std::string> names;
  ErrorCatcher ignored;
  try {
    Api api(SystemApi(), kClientName);
    api.setErrorCallback(&OnRtMidiError, &ignored);
    const unsigned count = api.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
      // A port that went away while being listed has no name left.
      std::string name = api.getPortName(i);
      if (!name.empty()) names.push_back(std::move(name));
    }
  } catch (const std::exception&) {
    // No MIDI service: no ports.
    names.clear();
  }
  return names;
}

}  // namespace

std::vector<std::string> ListPorts(bool input) { return input ? PortNames<RtMidiIn>() : PortNames<RtMidiOut>(); }

std::string FitPortName(const std::string& name) {
  if (name.size() <= kPortNameChars) return name;
  const size_t address = AddressStart(name);
  if (address == std::string::npos || name.size() - address >= kPortNameChars) return name.substr(0, kPortNameChars);
  const std::string tail = name.substr(address);
  return name.substr(0, kPortNameChars - tail.size()) + tail;
}

void RegisterRtMidiPorts(MidiPortSet& ports) {
  if (!ServiceMayExist()) return;
  for (const std::string& name : ListPorts(true)) ports.AddInput(std::make_unique<RtMidiInputDevice>(name));
  for (const std::string& name : ListPorts(false)) ports.AddOutput(MakeOutputDevice(name));
}

std::unique_ptr<MidiOutputDevice> MakeOutputDevice(const std::string& portName) {
  return std::make_unique<PacedOutputDevice>(FitPortName(portName), std::make_unique<RtMidiFragmentPort>(portName));
}

// ---------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------

RtMidiInputDevice::RtMidiInputDevice(std::string portName) : portName_(std::move(portName)) {}

RtMidiInputDevice::~RtMidiInputDevice() { Close(); }

UINT RtMidiInputDevice::Open(MidiByteSink sink) {
  if (in_) return MMSYSERR_ALLOCATED;
  try {
    in_ = std::make_unique<RtMidiIn>(SystemApi(), kClientName);
  } catch (const RtMidiError& e) {
    return Fail(MMSYSERR_NODRIVER, e.getMessage());
  } catch (const std::exception& e) {
    return Fail(MMSYSERR_NODRIVER, e.what());
  }
  in_->setErrorCallback(&OnRtMidiError, &errors_);
  in_->ignoreTypes(false, true, true);
  {
    std::lock_guard<std::mutex> lock(sinkMutex_);
    sink_ = std::move(sink);
  }
  in_->setCallback(&RtMidiInputDevice::OnMessage, this);
  MidiWriteResult opened = OpenNamedPort(*in_, portName_, "Talverine In", errors_);
  if (!opened.Ok()) {
    Close();
    return Fail(opened.error, std::move(opened.text));
  }
  return MMSYSERR_NOERROR;
}

void RtMidiInputDevice::Close() {
  if (in_) {
    in_->closePort();
    in_->cancelCallback();
    in_.reset();
  }
  // A message being handed over on RtMidi's thread finishes first.
  std::lock_guard<std::mutex> lock(sinkMutex_);
  sink_ = nullptr;
}

std::string RtMidiInputDevice::ErrorText(UINT error) const {
  return error == openError_.error ? openError_.text : std::string();
}

void RtMidiInputDevice::OnMessage(double, std::vector<unsigned char>* message, void* self) {
  auto* device = static_cast<RtMidiInputDevice*>(self);
  if (message == nullptr || message->empty()) return;
  std::lock_guard<std::mutex> lock(device->sinkMutex_);
  if (device->sink_) device->sink_(message->data(), message->size());
}

UINT RtMidiInputDevice::Fail(UINT error, std::string text) {
  openError_ = MidiWriteResult::Failure(error, std::move(text));
  return error;
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------

RtMidiFragmentPort::RtMidiFragmentPort(std::string portName) : portName_(std::move(portName)) {}

RtMidiFragmentPort::~RtMidiFragmentPort() { Close(); }

MidiWriteResult RtMidiFragmentPort::Open() {
  try {
    out_ = std::make_unique<RtMidiOut>(SystemApi(), kClientName);
  } catch (const RtMidiError& e) {
    return MidiWriteResult::Failure(MMSYSERR_NODRIVER, e.getMessage());
  } catch (const std::exception& e) {
    return MidiWriteResult::Failure(MMSYSERR_NODRIVER, e.what());
  }
  out_->setErrorCallback(&OnRtMidiError, &errors_);
  MidiWriteResult opened = OpenNamedPort(*out_, portName_, "Talverine Out", errors_);
  if (!opened.Ok()) out_.reset();
  return opened;
}

void RtMidiFragmentPort::Close() {
  if (!out_) return;
  out_->closePort();
  out_.reset();
}

MidiWriteResult RtMidiFragmentPort::SendPiece(const BYTE* data, size_t size) {
  if (!out_) return MidiWriteResult::Failure(MMSYSERR_INVALHANDLE, "");
  errors_.Clear();
  try {
    out_->sendMessage(data, size);
  } catch (const std::exception& e) {
    return MidiWriteResult::Failure(MMSYSERR_ERROR, e.what());
  }
  // RtMidi only warns when the sequencer refuses a piece: the warning is
  // what ends the message.
  const std::string why = errors_.Take();
  if (!why.empty()) return MidiWriteResult::Failure(MMSYSERR_ERROR, why);
  return {};
}

}  // namespace rtmidiports
