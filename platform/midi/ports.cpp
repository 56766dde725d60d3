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

// Shared with the device threads (sinks and reports), so that one called
// late still finds it: the reports waiting for Deliver(), and what wakes
// the GUI thread.
struct Mailbox {
  std::mutex mutex;
  std::function<void()> wakeup;
  std::vector<std::pair<MidiSentHandler, MidiResult>> reports;
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

// Bytes a device handed over, waiting for Deliver(); shared with its sink.
struct Inbox {
  std::mutex mutex;
  std::vector<uint8_t> bytes;
  bool accepting = false;  // the port is open and listening
  bool overrun = false;    // bytes were dropped since the last Deliver()
};

// An open port: an input (with its handler, inbox and framer) or an output.
struct OpenPort {
  PlatMidiPort* handle = nullptr;
  size_t index = 0;
  MidiInputDevice* in = nullptr;
  MidiOutputDevice* out = nullptr;
  MidiInputHandler handler;
  std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();
  std::unique_ptr<MidiFramer> framer;

  bool IsInput() const { return in != nullptr; }
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
  std::shared_ptr<Mailbox> mail = std::make_shared<Mailbox>();
  std::vector<std::unique_ptr<MidiInputDevice>> inputs;
  std::vector<std::unique_ptr<MidiOutputDevice>> outputs;
  std::vector<std::unique_ptr<OpenPort>> open;
  std::deque<Event> events;
  uintptr_t lastHandle = 0;
  std::vector<uint8_t> scratch;  // the bytes being framed

  OpenPort* Find(PlatMidiPort* handle, bool input) const {
    for (const auto& p : open)
      if (p->handle == handle && p->IsInput() == input) return p.get();
    return nullptr;
  }

  // A port on the input (or output) device called `name` in `names`, not
  // open yet; nullptr, and why, when there is none.
  std::unique_ptr<OpenPort> NewPort(bool input, const std::vector<std::string>& names, const std::string& name,
                                    MidiResult* why) const {
    const std::optional<size_t> index = IndexOf(names, name);
    if (!index) *why = NoPortCalled(name);
    if (index && std::any_of(open.begin(), open.end(),
                             [&](const auto& p) { return p->IsInput() == input && p->index == *index; }))
      *why = Failure(midi_error::kAllocated);
    if (!why->Ok()) return nullptr;
    auto port = std::make_unique<OpenPort>();
    port->index = *index;
    if (input) {
      port->in = inputs[*index].get();
    } else {
      port->out = outputs[*index].get();
    }
    return port;
  }

  // Keeps a port whose device has opened, and hands out its handle.
  void Keep(std::unique_ptr<OpenPort> port, PlatMidiPort** handle) {
    port->handle = reinterpret_cast<PlatMidiPort*>(++lastHandle);
    *handle = port->handle;
    open.push_back(std::move(port));
  }

  void Observe(bool outgoing, const uint8_t* data, size_t size) const {
    if (monitor) monitor(outgoing, data, size);
  }

  MidiByteSink SinkFor(const std::shared_ptr<Inbox>& inbox) const {
    return [inbox, mailbox = mail](const uint8_t* data, size_t size) {
      if (data == nullptr || size == 0) return;
      {
        std::lock_guard<std::mutex> lock(inbox->mutex);
        if (!inbox->accepting) return;
        const size_t kept = AppendBounded(inbox->bytes, data, size, kMaxPendingBytes);
        if (kept < size) inbox->overrun = true;
        mailbox->pending += kept;
      }
      mailbox->Wake();
    };
  }

  MidiOutputDevice::SentReport ReportFor(MidiSentHandler handler) const {
    return [mailbox = mail, handler = std::move(handler)](const MidiResult& result) {
      {
        std::lock_guard<std::mutex> lock(mailbox->mutex);
        mailbox->reports.emplace_back(handler, WithWords(result));
      }
      ++mailbox->pending;
      mailbox->Wake();
    };
  }

  // Stops accepting bytes and forgets those not yet handed on, a message
  // half received included: nothing that arrived before a stop may end a
  // later reception.
  void StopInput(OpenPort& port) {
    {
      std::lock_guard<std::mutex> lock(port.inbox->mutex);
      port.inbox->accepting = false;
      mail->pending -= port.inbox->bytes.size();
      port.inbox->bytes.clear();
      port.inbox->overrun = false;
    }
    port.framer->Reset();
    std::erase_if(events, [&port](const Event& e) { return e.input == port.handle; });
  }

  void CloseDevice(OpenPort& port) {
    if (!port.IsInput()) return port.out->Close();
    StopInput(port);
    port.in->Close();
  }

  void Frame(OpenPort& port) {
    bool overrun = false;
    {
      std::lock_guard<std::mutex> lock(port.inbox->mutex);
      std::swap(scratch, port.inbox->bytes);
      mail->pending -= scratch.size();
      overrun = port.inbox->overrun;
      port.inbox->overrun = false;
    }
    if (!scratch.empty()) port.framer->Feed(scratch.data(), scratch.size());
    scratch.clear();
    if (overrun) port.framer->Interrupt();
  }

  void OnFramed(const OpenPort& port, const MidiFramerEvent& framed) {
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
    std::vector<std::pair<MidiSentHandler, MidiResult>> reports;
    {
      std::lock_guard<std::mutex> lock(mail->mutex);
      reports.swap(mail->reports);
    }
    mail->pending -= reports.size();
    for (auto& [handler, result] : reports)
      events.push_back({Event::Kind::Sent, nullptr, {}, std::move(handler), std::move(result)});
  }

  void Dispatch(const Event& event) const {
    if (event.kind == Event::Kind::Sent) {
      if (event.sent) event.sent(event.result);
      return;
    }
    const OpenPort* port = Find(event.input, true);
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
  for (auto& port : impl_->open) impl_->CloseDevice(*port);
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
    for (auto& port : impl_->open)
      if (port->IsInput()) impl_->Frame(*port);
    impl_->TakeReports();
    if (impl_->events.empty()) return;
    const Event event = std::move(impl_->events.front());
    impl_->events.pop_front();
    impl_->Dispatch(event);
  }
}

bool MidiPortSet::HasPendingInput() const { return impl_->mail->pending.load() > 0; }

void MidiPortSet::SetWakeup(std::function<void()> wakeup) {
  std::lock_guard<std::mutex> lock(impl_->mail->mutex);
  impl_->mail->wakeup = std::move(wakeup);
}

void MidiPortSet::SetMonitor(Monitor monitor) { impl_->monitor = std::move(monitor); }

std::vector<std::string> MidiPortSet::InputNames() { return NamesOf(impl_->inputs); }
std::vector<std::string> MidiPortSet::OutputNames() { return NamesOf(impl_->outputs); }

MidiResult MidiPortSet::OpenInput(const std::string& name, MidiInputHandler handler, PlatMidiPort** port) {
  if (port == nullptr) return Failure(midi_error::kInvalidParam);
  MidiResult why;
  std::unique_ptr<OpenPort> input = impl_->NewPort(true, InputNames(), name, &why);
  if (!input) return why;
  input->handler = std::move(handler);
  input->framer = std::make_unique<MidiFramer>(
      kMaxSysexBytes, [impl = impl_.get(), raw = input.get()](const MidiFramerEvent& e) { impl->OnFramed(*raw, e); });
  const MidiResult opened = input->in->Open(impl_->SinkFor(input->inbox));
  if (!opened.Ok()) return WithWords(opened);
  impl_->Keep(std::move(input), port);
  return {};
}

MidiResult MidiPortSet::OpenOutput(const std::string& name, MidiSentHandler sent, PlatMidiPort** port) {
  if (port == nullptr) return Failure(midi_error::kInvalidParam);
  MidiResult why;
  std::unique_ptr<OpenPort> output = impl_->NewPort(false, OutputNames(), name, &why);
  if (!output) return why;
  const MidiResult opened = output->out->Open(impl_->ReportFor(std::move(sent)));
  if (!opened.Ok()) return WithWords(opened);
  impl_->Keep(std::move(output), port);
  return {};
}

MidiResult MidiPortSet::Listen(PlatMidiPort* input, bool listen) {
  OpenPort* port = impl_->Find(input, true);
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
  OpenPort* port = impl_->Find(output, false);
  if (port == nullptr) return Failure(midi_error::kInvalidHandle);
  if (!IsWholeMessage(data, size)) return Failure(midi_error::kInvalidParam);
  const MidiResult sent = port->out->Send(data, size);
  if (!sent.Ok()) return WithWords(sent);
  impl_->Observe(true, data, size);
  return {};
}

MidiResult MidiPortSet::Close(PlatMidiPort* port) {
  const auto it = std::find_if(impl_->open.begin(), impl_->open.end(), [port](const auto& p) { return p->handle == port; });
  if (it == impl_->open.end()) return Failure(midi_error::kInvalidHandle);
  impl_->CloseDevice(**it);
  impl_->open.erase(it);
  return {};
}
