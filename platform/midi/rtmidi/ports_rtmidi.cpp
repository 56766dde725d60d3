#include "platform/midi/rtmidi/ports_rtmidi.h"

#include <cctype>
#include <cstdio>
#include <utility>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace rtmidiports {

namespace {

// False when there is certainly no MIDI service: RtMidi would only fail
// after printing its complaint (and ALSA's) on the terminal.
bool ServiceMayExist() {
#if defined(__linux__)
  return access("/dev/snd/seq", F_OK) == 0;
#else
  return true;
#endif
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
int FindPort(Client& client, const std::string& wanted) {
  const unsigned count = client.PortCount();
  int loose = -1;
  int looseMatches = 0;
  for (unsigned i = 0; i < count; ++i) {
    const std::string name = client.PortName(i);
    if (name == wanted) return static_cast<int>(i);
    if (WithoutAddress(name) == WithoutAddress(wanted)) {
      loose = static_cast<int>(i);
      ++looseMatches;
    }
  }
  return looseMatches == 1 ? loose : -1;
}

// Opens `client` on the port named `portName`.
MidiWriteResult OpenNamedPort(Client& client, const std::string& portName, const char* ourName) {
  const int index = FindPort(client, portName);
  if (index < 0)
    return MidiWriteResult::Failure(midi_error::kBadDeviceId, "The MIDI port \"" + portName + "\" is no longer present.");
  std::string why = client.OpenPort(static_cast<unsigned>(index), ourName);
  if (why.empty() && !client.IsPortOpen()) why = "The MIDI port \"" + portName + "\" could not be opened.";
  if (!why.empty()) return MidiWriteResult::Failure(midi_error::kError, why);
  return {};
}

class RtMidiFragmentPort : public FragmentPort {
 public:
  explicit RtMidiFragmentPort(std::string portName) : portName_(std::move(portName)) {}
  ~RtMidiFragmentPort() override { Close(); }

  MidiWriteResult Open() override {
    std::string why;
    out_ = NewClient(false, &why);
    if (!out_) return MidiWriteResult::Failure(midi_error::kNoDriver, why);
    MidiWriteResult opened = OpenNamedPort(*out_, portName_, "Talverine Out");
    if (!opened.Ok()) out_.reset();
    return opened;
  }

  void Close() override {
    if (!out_) return;
    out_->ClosePort();
    out_.reset();
  }

  MidiWriteResult SendPiece(const uint8_t* data, size_t size) override {
    if (!out_) return MidiWriteResult::Failure(midi_error::kInvalidHandle, "");
    const std::string why = out_->Send(data, size);
    if (!why.empty()) return MidiWriteResult::Failure(midi_error::kError, why);
    return {};
  }

 private:
  const std::string portName_;
  std::unique_ptr<Client> out_;
};

}  // namespace

std::vector<std::string> ListPorts(bool input) {
  std::vector<std::string> names;
  std::string why;
  const std::unique_ptr<Client> client = NewClient(input, &why);
  if (!client) return names;  // no MIDI service: no ports
  const unsigned count = client->PortCount();
  for (unsigned i = 0; i < count; ++i) {
    // A port that went away while being listed has no name left.
    std::string name = client->PortName(i);
    if (!name.empty()) names.push_back(std::move(name));
  }
  return names;
}

std::string FitPortName(const std::string& name) {
  if (name.size() <= MAX_MIDI_PORT_NAME) return name;
  const size_t address = AddressStart(name);
  if (address == std::string::npos || name.size() - address >= MAX_MIDI_PORT_NAME)
    return name.substr(0, MAX_MIDI_PORT_NAME);
  const std::string tail = name.substr(address);
  return name.substr(0, MAX_MIDI_PORT_NAME - tail.size()) + tail;
}

void RegisterRtMidiPorts(MidiPortSet& ports) {
  if (!ServiceMayExist()) return;
  std::string why;
  if (!ModuleLoaded(&why)) {
    std::fprintf(stderr, "The system's MIDI ports are left out: %s\n", why.c_str());
    return;
  }
  for (const std::string& name : ListPorts(true)) ports.AddInput(std::make_unique<RtMidiInputDevice>(name));
  for (const std::string& name : ListPorts(false)) ports.AddOutput(MakeOutputDevice(name));
}

std::unique_ptr<MidiOutputDevice> MakeOutputDevice(const std::string& portName) {
  return std::make_unique<WriterOutput>(FitPortName(portName), std::make_unique<RtMidiFragmentPort>(portName));
}

RtMidiInputDevice::RtMidiInputDevice(std::string portName) : portName_(std::move(portName)) {}

RtMidiInputDevice::~RtMidiInputDevice() { Close(); }

MidiResult RtMidiInputDevice::Open(MidiByteSink sink) {
  if (in_) return {midi_error::kAllocated, ""};
  std::string why;
  in_ = NewClient(true, &why);
  if (!in_) return {midi_error::kNoDriver, why};
  {
    std::lock_guard<std::mutex> lock(sinkMutex_);
    sink_ = std::move(sink);
  }
  in_->StartReceiving([this](const unsigned char* data, size_t size) { Receive(data, size); });
  const MidiWriteResult opened = OpenNamedPort(*in_, portName_, "Talverine In");
  if (!opened.Ok()) Close();
  return opened;
}

void RtMidiInputDevice::Close() {
  if (in_) {
    in_->ClosePort();
    in_->StopReceiving();
    in_.reset();
  }
  // A message being handed over on RtMidi's thread finishes first.
  std::lock_guard<std::mutex> lock(sinkMutex_);
  sink_ = nullptr;
}

void RtMidiInputDevice::Receive(const unsigned char* data, size_t size) {
  std::lock_guard<std::mutex> lock(sinkMutex_);
  if (sink_) sink_(data, size);
}

}  // namespace rtmidiports
