// The MIDI port set: the seam's ports over a list of port devices.
//
// Implements:
// - the port lists by name (each name once in its list), open and close by
//   name, listening, sending whole messages, with error numbers and the
//   device's own words, or the generic words for the number;
// - input: bytes from a device (any thread) wait in a bounded inbox; the GUI
//   thread frames them in Deliver(), and whole System Exclusive messages and
//   errors wait in one queue with the messages reported sent, handed to the
//   handlers one at a time, so that a nested loop inside a handler goes on
//   with the next;
// - output: a message is handed to the device's Send; its report comes from
//   the device (any thread) and waits in the same queue;
// - a traffic monitor that sees every message sent and received.
#include "platform/midi/ports.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/midi/framer.h"

namespace {

// What wakes the GUI thread, shared with the device sinks and reports so
// that one called late from a device thread still finds it.
struct WakeState {
  std::mutex mutex;
  std::function<void()> wakeup;
  std::atomic<size_t> pending{0};  // bytes in the inboxes and reports not yet taken

  void Wake() {
    std::function<void()> wake;
    {
      std::lock_guard<std::mutex> lock(mutex);
      wake = wakeup;
    }
    if (wake) wake();
  }
};

// Bytes a device handed over, waiting for Deliver(). Shared with the sink
// for the same reason.
struct Inbox {
  std::mutex mutex;
  std::vector<uint8_t> bytes;
  bool accepting = false;  // the port is open and listening
  bool overrun = false;    // bytes were dropped since the last Deliver()
};

// Messages reported out (or failed) by the output devices, from any thread,
// waiting for Deliver(). Shared with the devices' reports.
struct SentReports {
  struct Report {
    MidiSentHandler handler;
    MidiResult result;
  };
  std::mutex mutex;
  std::vector<Report> reports;
};

struct InputPort {
  PlatMidiPort* handle = nullptr;
  size_t index = 0;
  MidiInputDevice* device = nullptr;
  MidiInputHandler handler;
  std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();
  std::unique_ptr<MidiFramer> framer;
};

struct OutputPort {
  PlatMidiPort* handle = nullptr;
  size_t index = 0;
  MidiOutputDevice* device = nullptr;
};

// What waits for a handler.
struct Event {
  enum class Kind { Sysex, InputError, Sent } kind = Kind::Sysex;
  PlatMidiPort* input = nullptr;  // Sysex, InputError
  std::vector<uint8_t> bytes;        // Sysex
  MidiSentHandler sent;           // Sent: its output's handler, which outlives a Close
  MidiResult result;              // Sent
};

MidiResult Failure(uint32_t error) { return {error, MidiErrorText(error)}; }

MidiResult WithWords(MidiResult result) {
  if (!result.Ok() && result.text.empty()) result.text = MidiErrorText(result.error);
  return result;
}

// One System Exclusive message from 0xF0 to 0xF7, or one channel or system
// common message; a data byte with its top bit set would be read as a
// status by the peer.
bool IsWholeMessage(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) return false;
  const bool sysex = data[0] == 0xF0;
  if (sysex ? size < 2 || data[size - 1] != 0xF7 : size != MidiMessageLength(data[0])) return false;
  return std::all_of(data + 1, data + size - (sysex ? 1 : 0), [](uint8_t b) { return b < 0x80; });
}

// The names of `devices` as the seam lists them: at most 31 characters, and
// a name that stands in the list already (two interfaces of one kind) told
// apart by its place.
template <typename Device>
std::vector<std::string> NamesOf(const std::vector<std::unique_ptr<Device>>& devices) {
  std::vector<std::string> names;
  for (const auto& device : devices) {
    std::string name = device->Name().substr(0, MAX_MIDI_PORT_NAME);
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      const std::string place = " (" + std::to_string(names.size() + 1) + ")";
      name = name.substr(0, MAX_MIDI_PORT_NAME - place.size()) + place;
    }
    names.push_back(std::move(name));
  }
  return names;
}

std::optional<size_t> IndexOf(const std::vector<std::string>& names, const std::string& name) {
  const auto it = std::find(names.begin(), names.end(), name);
  if (it == names.end()) return std::nullopt;
  return static_cast<size_t>(it - names.begin());
}

MidiResult NoPortCalled(const std::string& name) {
  return {midi_error::kBadDeviceId, "The MIDI port \"" + name + "\" is not present."};
}

}  // namespace

std::string MidiErrorText(uint32_t error) {
  switch (error) {
    case midi_error::kNone: return "The specified command was carried out.";
    case midi_error::kError: return "Undefined external error.";
    case midi_error::kBadDeviceId: return "The specified device identifier is out of range.";
    case midi_error::kAllocated: return "The specified resource is already allocated.";
    case midi_error::kInvalidHandle: return "The specified device handle is invalid.";
    case midi_error::kNoDriver: return "There is no driver installed on your system.";
    case midi_error::kNoMemory: return "There is not enough memory available for this task.";
    case midi_error::kInvalidParam: return "An invalid parameter was passed to a system function.";
    case midi_error::kNotReady: return "The MIDI device is busy. Wait until it is free, and then try again.";
    default: return "The specified error number is out of range.";
  }
}


struct MidiPortSet::Impl {
  Monitor monitor;
  std::shared_ptr<WakeState> wake = std::make_shared<WakeState>();
  std::shared_ptr<SentReports> sent = std::make_shared<SentReports>();
  std::vector<std::unique_ptr<MidiInputDevice>> inputs;
  std::vector<std::unique_ptr<MidiOutputDevice>> outputs;
  std::vector<std::unique_ptr<InputPort>> openInputs;
  std::vector<std::unique_ptr<OutputPort>> openOutputs;
  std::deque<Event> events;
  uintptr_t lastHandle = 0;
  std::vector<uint8_t> scratch;  // the bytes being framed

  PlatMidiPort* NewHandle() { return reinterpret_cast<PlatMidiPort*>(++lastHandle); }

  template <typename Port>
  static Port* Find(const std::vector<std::unique_ptr<Port>>& open, PlatMidiPort* handle) {
    for (const auto& p : open)
      if (p->handle == handle) return p.get();
    return nullptr;
  }
  template <typename Port>
  static bool IsOpen(const std::vector<std::unique_ptr<Port>>& open, size_t index) {
    return std::any_of(open.begin(), open.end(), [index](const auto& p) { return p->index == index; });
  }
  // A port on the device called `name`, not open yet; nullptr, and why,
  // when there is none.
  template <typename Port, typename Device>
  static std::unique_ptr<Port> NewPort(const std::vector<std::unique_ptr<Device>>& devices,
                                       const std::vector<std::unique_ptr<Port>>& open, const std::string& name,
                                       MidiResult* why) {
    const std::optional<size_t> index = IndexOf(NamesOf(devices), name);
    if (!index) *why = NoPortCalled(name);
    if (index && IsOpen(open, *index)) *why = Failure(midi_error::kAllocated);
    if (!why->Ok()) return nullptr;
    auto port = std::make_unique<Port>();
    port->index = *index;
    port->device = devices[*index].get();
    return port;
  }
  // Keeps a port whose device has opened, and hands out its handle.
  template <typename Port>
  void Keep(std::vector<std::unique_ptr<Port>>& open, std::unique_ptr<Port> port, PlatMidiPort** handle) {
    port->handle = NewHandle();
    *handle = port->handle;
    open.push_back(std::move(port));
  }
  template <typename Port>
  static void Erase(std::vector<std::unique_ptr<Port>>& open, Port* port) {
    open.erase(std::remove_if(open.begin(), open.end(), [port](const auto& p) { return p.get() == port; }),
               open.end());
  }

  void Observe(bool outgoing, const uint8_t* data, size_t size) const {
    if (monitor) monitor(outgoing, data, size);
  }

  MidiByteSink SinkFor(const std::shared_ptr<Inbox>& inbox) const {
    std::shared_ptr<WakeState> wakeState = wake;
    return [inbox, wakeState](const uint8_t* data, size_t size) {
      if (data == nullptr || size == 0) return;
      {
        std::lock_guard<std::mutex> lock(inbox->mutex);
        if (!inbox->accepting) return;
        const size_t kept = AppendBounded(inbox->bytes, data, size, kMaxPendingBytes);
        if (kept < size) inbox->overrun = true;
        wakeState->pending += kept;
      }
      wakeState->Wake();
    };
  }

  MidiOutputDevice::SentReport ReportFor(MidiSentHandler handler) const {
    std::shared_ptr<SentReports> reports = sent;
    std::shared_ptr<WakeState> wakeState = wake;
    return [reports, wakeState, handler = std::move(handler)](const MidiResult& result) {
      {
        std::lock_guard<std::mutex> lock(reports->mutex);
        reports->reports.push_back({handler, WithWords(result)});
      }
      ++wakeState->pending;
      wakeState->Wake();
    };
  }

  // Stops accepting bytes and forgets those not yet handed on, a message
  // half received included: nothing that arrived before a stop may end a
  // later reception.
  void StopInput(InputPort& port) {
    {
      std::lock_guard<std::mutex> lock(port.inbox->mutex);
      port.inbox->accepting = false;
      wake->pending -= port.inbox->bytes.size();
      port.inbox->bytes.clear();
      port.inbox->overrun = false;
    }
    port.framer->Reset();
    std::erase_if(events, [&port](const Event& e) { return e.input == port.handle; });
  }

  void Frame(InputPort& port) {
    bool overrun = false;
    {
      std::lock_guard<std::mutex> lock(port.inbox->mutex);
      std::swap(scratch, port.inbox->bytes);
      wake->pending -= scratch.size();
      overrun = port.inbox->overrun;
      port.inbox->overrun = false;
    }
    if (!scratch.empty()) port.framer->Feed(scratch.data(), scratch.size());
    scratch.clear();
    if (overrun) port.framer->Interrupt();
  }

  void OnFramed(const InputPort& port, const MidiFramerEvent& framed) {
    switch (framed.kind) {
      case MidiFramerEvent::Kind::Short:
        Observe(false, framed.data, framed.size);
        return;
      case MidiFramerEvent::Kind::Sysex:
        Observe(false, framed.data, framed.size);
        events.push_back({Event::Kind::Sysex, port.handle, {framed.data, framed.data + framed.size}, {}, {}});
        return;
      case MidiFramerEvent::Kind::SysexIncomplete:
      case MidiFramerEvent::Kind::SysexOverLength:
        events.push_back({Event::Kind::InputError, port.handle, {}, {}, {}});
        return;
    }
  }

  void TakeReports() {
    std::vector<SentReports::Report> reports;
    {
      std::lock_guard<std::mutex> lock(sent->mutex);
      reports.swap(sent->reports);
    }
    wake->pending -= reports.size();
    for (SentReports::Report& r : reports)
      events.push_back({Event::Kind::Sent, nullptr, {}, std::move(r.handler), std::move(r.result)});
  }

  void Dispatch(const Event& event) const {
    if (event.kind == Event::Kind::Sent) {
      if (event.sent) event.sent(event.result);
      return;
    }
    const InputPort* port = Find(openInputs, event.input);
    if (port == nullptr) return;
    // A copy: the handler may close the port.
    const MidiInputHandler handler = port->handler;
    if (event.kind == Event::Kind::InputError) {
      if (handler.error) handler.error();
    } else if (handler.sysex) {
      handler.sysex(event.bytes.data(), event.bytes.size());
    }
  }
};

MidiPortSet::MidiPortSet() : impl_(std::make_unique<Impl>()) {}

MidiPortSet::~MidiPortSet() {
  for (auto& port : impl_->openInputs) {
    impl_->StopInput(*port);
    port->device->Close();
  }
  for (auto& port : impl_->openOutputs) port->device->Close();
}

std::string ShortPortName(const std::string& device) {
  if (device.size() <= MAX_MIDI_PORT_NAME) return device;
  return "..." + device.substr(device.size() - (MAX_MIDI_PORT_NAME - 3));
}

uint32_t MidiPortSet::AddInput(std::unique_ptr<MidiInputDevice> device) {
  impl_->inputs.push_back(std::move(device));
  return static_cast<uint32_t>(impl_->inputs.size() - 1);
}

uint32_t MidiPortSet::AddOutput(std::unique_ptr<MidiOutputDevice> device) {
  impl_->outputs.push_back(std::move(device));
  return static_cast<uint32_t>(impl_->outputs.size() - 1);
}

void MidiPortSet::Deliver() {
  for (;;) {
    for (auto& port : impl_->openInputs) impl_->Frame(*port);
    impl_->TakeReports();
    if (impl_->events.empty()) return;
    const Event event = std::move(impl_->events.front());
    impl_->events.pop_front();
    impl_->Dispatch(event);
  }
}

bool MidiPortSet::HasPendingInput() const { return impl_->wake->pending.load() > 0; }

void MidiPortSet::SetWakeup(std::function<void()> wakeup) {
  std::lock_guard<std::mutex> lock(impl_->wake->mutex);
  impl_->wake->wakeup = std::move(wakeup);
}

void MidiPortSet::SetMonitor(Monitor monitor) { impl_->monitor = std::move(monitor); }

std::vector<std::string> MidiPortSet::InputNames() { return NamesOf(impl_->inputs); }
std::vector<std::string> MidiPortSet::OutputNames() { return NamesOf(impl_->outputs); }

MidiResult MidiPortSet::OpenInput(const std::string& name, MidiInputHandler handler, PlatMidiPort** port) {
  if (port == nullptr) return Failure(midi_error::kInvalidParam);
  MidiResult why;
  std::unique_ptr<InputPort> input = Impl::NewPort(impl_->inputs, impl_->openInputs, name, &why);
  if (!input) return why;
  input->handler = std::move(handler);
  InputPort* raw = input.get();
  input->framer = std::make_unique<MidiFramer>(
      kMaxSysexBytes, [impl = impl_.get(), raw](const MidiFramerEvent& e) { impl->OnFramed(*raw, e); });
  const MidiResult opened = input->device->Open(impl_->SinkFor(input->inbox));
  if (!opened.Ok()) return WithWords(opened);
  impl_->Keep(impl_->openInputs, std::move(input), port);
  return {};
}

MidiResult MidiPortSet::OpenOutput(const std::string& name, MidiSentHandler sent, PlatMidiPort** port) {
  if (port == nullptr) return Failure(midi_error::kInvalidParam);
  MidiResult why;
  std::unique_ptr<OutputPort> output = Impl::NewPort(impl_->outputs, impl_->openOutputs, name, &why);
  if (!output) return why;
  const MidiResult opened = output->device->Open(impl_->ReportFor(std::move(sent)));
  if (!opened.Ok()) return WithWords(opened);
  impl_->Keep(impl_->openOutputs, std::move(output), port);
  return {};
}

MidiResult MidiPortSet::Listen(PlatMidiPort* input, bool listen) {
  InputPort* port = Impl::Find(impl_->openInputs, input);
  if (port == nullptr) return Failure(midi_error::kInvalidHandle);
  if (!listen) {
    impl_->StopInput(*port);
    return {};
  }
  std::lock_guard<std::mutex> lock(port->inbox->mutex);
  port->inbox->accepting = true;
  return {};
}

MidiResult MidiPortSet::Send(PlatMidiPort* output, const uint8_t* data, size_t size) {
  OutputPort* port = Impl::Find(impl_->openOutputs, output);
  if (port == nullptr) return Failure(midi_error::kInvalidHandle);
  if (!IsWholeMessage(data, size)) return Failure(midi_error::kInvalidParam);
  const MidiResult sent = port->device->Send(data, size);
  if (!sent.Ok()) return WithWords(sent);
  impl_->Observe(true, data, size);
  return {};
}

MidiResult MidiPortSet::Close(PlatMidiPort* port) {
  if (InputPort* input = Impl::Find(impl_->openInputs, port)) {
    impl_->StopInput(*input);
    input->device->Close();
    Impl::Erase(impl_->openInputs, input);
    return {};
  }
  if (OutputPort* output = Impl::Find(impl_->openOutputs, port)) {
    output->device->Close();
    Impl::Erase(impl_->openOutputs, output);
    return {};
  }
  return Failure(midi_error::kInvalidHandle);
}
