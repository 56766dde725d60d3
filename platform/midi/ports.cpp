// The MIDI port set: the desktop API's port contracts over a list of port
// devices.
//
// Implements:
// - open/close, prepare/unprepare, add buffer, start/stop, reset, device
//   capabilities and error texts with the desktop API's result numbers;
// - input: bytes from a device (any thread) wait in a bounded inbox; the GUI
//   thread frames them in Deliver() and fills the queued buffers;
// - output: a long or short message is handed to the device's Send;
// - a traffic monitor that sees every message sent and received.
#include "platform/midi/ports.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/midi/framer.h"

namespace {

// What wakes the GUI thread, shared with the device sinks so that a sink
// called late from a device thread still finds it.
struct WakeState {
  std::mutex mutex;
  std::function<void()> wakeup;
  std::atomic<size_t> pendingBytes{0};

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
  std::vector<BYTE> bytes;
  bool accepting = false;  // the port is open and started
  bool overrun = false;    // bytes were dropped since the last Deliver()
};

struct InputPort {
  UINT index = 0;
  HWND target = nullptr;
  MidiInputDevice* device = nullptr;
  std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();
  std::unique_ptr<MidiFramer> framer;
  std::deque<MIDIHDR*> queue;
  bool started = false;
};

struct OutputPort {
  UINT index = 0;
  HWND target = nullptr;
  MidiOutputDevice* device = nullptr;
};

// Messages reported out (or failed) by the output devices, from any thread,
// waiting for Deliver() to post them. Shared with the devices' reports.
struct SentReports {
  struct Report {
    HWND target;
    HMIDIOUT handle;
    UINT error;
    std::string text;
  };
  std::mutex mutex;
  std::vector<Report> reports;
};

template <typename Port>
PlatMidiPort* HandleOf(Port* port) {
  return reinterpret_cast<PlatMidiPort*>(port);
}

// The last error a device reported in one direction, with its own text.
struct DeviceError {
  UINT error = MMSYSERR_NOERROR;
  std::string text;
};

const char* GenericErrorText(UINT error) {
  switch (error) {
    case MMSYSERR_NOERROR: return "The specified command was carried out.";
    case MMSYSERR_ERROR: return "Undefined external error.";
    case MMSYSERR_BADDEVICEID: return "The specified device identifier is out of range.";
    case MMSYSERR_ALLOCATED: return "The specified resource is already allocated.";
    case MMSYSERR_INVALHANDLE: return "The specified device handle is invalid.";
    case MMSYSERR_NODRIVER: return "There is no driver installed on your system.";
    case MMSYSERR_NOMEM: return "There is not enough memory available for this task.";
    case MMSYSERR_BADERRNUM: return "The specified error number is out of range.";
    case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to a system function.";
    case MIDIERR_UNPREPARED: return "The header has not been prepared. Prepare the header, and then try again.";
    case MIDIERR_STILLPLAYING: return "The buffer is still in use. Reset the device, or wait until it is finished.";
    case MIDIERR_NOTREADY: return "The MIDI device is busy. Wait until it is free, and then try again.";
    default: return nullptr;
  }
}

UINT CopyErrorText(const DeviceError& last, UINT error, char* text, UINT size) {
  if (text == nullptr || size == 0) return MMSYSERR_INVALPARAM;
  if (error != MMSYSERR_NOERROR && error == last.error && !last.text.empty()) {
    std::snprintf(text, size, "%s", last.text.c_str());
    return MMSYSERR_NOERROR;
  }
  const char* generic = GenericErrorText(error);
  if (generic == nullptr) return MMSYSERR_BADERRNUM;
  std::snprintf(text, size, "%s", generic);
  return MMSYSERR_NOERROR;
}

UINT CopyCaps(const std::string& name, MIDICAPS* caps) {
  if (caps == nullptr) return MMSYSERR_INVALPARAM;
  *caps = MIDICAPS();
  std::snprintf(caps->szPname, sizeof caps->szPname, "%s", name.c_str());
  return MMSYSERR_NOERROR;
}

// Bytes of a short message with this status; 0 when it cannot be sent as one.
size_t ShortMessageLength(BYTE status) {
  if (status < 0x80) return 0;
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0)) return 3;
  if (status < 0xE0) return 2;
  switch (status) {
    case 0xF0:  // System Exclusive travels as a long message
    case 0xF7: return 0;
    case 0xF1:
    case 0xF3: return 2;
    case 0xF2: return 3;
    default: return 1;
  }
}

UINT PrepareHeader(MIDIHDR* hdr) {
  if (hdr == nullptr || hdr->lpData == nullptr || hdr->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  hdr->dwFlags |= MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

UINT UnprepareHeader(MIDIHDR* hdr) {
  if (hdr == nullptr) return MMSYSERR_INVALPARAM;
  if ((hdr->dwFlags & MHDR_PREPARED) == 0) return MMSYSERR_NOERROR;
  if (hdr->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  hdr->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

}  // namespace

struct MidiPortSet::Impl {
  PostFunction post;
  Monitor monitor;
  std::shared_ptr<WakeState> wake = std::make_shared<WakeState>();
  std::shared_ptr<SentReports> sent = std::make_shared<SentReports>();
  std::vector<std::unique_ptr<MidiInputDevice>> inputs;
  std::vector<std::unique_ptr<MidiOutputDevice>> outputs;
  std::vector<std::unique_ptr<InputPort>> openInputs;
  std::vector<std::unique_ptr<OutputPort>> openOutputs;
  DeviceError lastInputError;
  DeviceError lastOutputError;
  std::vector<BYTE> scratch;  // the bytes Deliver() is framing

  InputPort* FindInput(HMIDIIN h) const {
    for (const auto& p : openInputs)
      if (HandleOf(p.get()) == h) return p.get();
    return nullptr;
  }
  OutputPort* FindOutput(HMIDIOUT h) const {
    for (const auto& p : openOutputs)
      if (HandleOf(p.get()) == h) return p.get();
    return nullptr;
  }
  template <typename Port>
  static bool IsOpen(const std::vector<std::unique_ptr<Port>>& open, UINT index) {
    return std::any_of(open.begin(), open.end(), [index](const auto& p) { return p->index == index; });
  }
  template <typename Port>
  static void Erase(std::vector<std::unique_ptr<Port>>& open, Port* port) {
    open.erase(std::remove_if(open.begin(), open.end(), [port](const auto& p) { return p.get() == port; }),
               open.end());
  }

  // A port opened without a window posts to the thread: a back end without
  // a use for such messages drops them.
  void Post(HWND target, UINT msg, WPARAM wParam, LPARAM lParam) const {
    if (post) post(target, msg, wParam, lParam);
  }

  MidiOutputDevice::SentReport ReportFor(HWND target, HMIDIOUT handle) const {
    std::shared_ptr<SentReports> reports = sent;
    std::shared_ptr<WakeState> wakeState = wake;
    return [reports, wakeState, target, handle](UINT error, const std::string& text) {
      {
        std::lock_guard<std::mutex> lock(reports->mutex);
        reports->reports.push_back({target, handle, error, text});
      }
      ++wakeState->pendingBytes;
      wakeState->Wake();
    };
  }

  void DeliverSent() {
    std::vector<SentReports::Report> reports;
    {
      std::lock_guard<std::mutex> lock(sent->mutex);
      reports.swap(sent->reports);
    }
    wake->pendingBytes -= reports.size();
    for (const SentReports::Report& r : reports) {
      if (r.error != MMSYSERR_NOERROR) lastOutputError = {r.error, r.text};
      Post(r.target, MM_MOM_DONE, reinterpret_cast<WPARAM>(r.handle), static_cast<LPARAM>(r.error));
    }
  }
  void Observe(bool outgoing, const BYTE* data, size_t size) const {
    if (monitor) monitor(outgoing, data, size);
  }

  MidiByteSink SinkFor(const std::shared_ptr<Inbox>& inbox) const {
    std::shared_ptr<WakeState> wakeState = wake;
    return [inbox, wakeState](const BYTE* data, size_t size) {
      if (data == nullptr || size == 0) return;
      {
        std::lock_guard<std::mutex> lock(inbox->mutex);
        if (!inbox->accepting) return;
        const size_t kept = AppendBounded(inbox->bytes, data, size, kMaxPendingBytes);
        if (kept < size) inbox->overrun = true;
        wakeState->pendingBytes += kept;
      }
      wakeState->Wake();
    };
  }

  // Stops accepting bytes and forgets those not yet framed, and any message
  // half received: nothing that arrived before a stop may end a later
  // reception.
  void StopInput(InputPort& port) {
    port.started = false;
    {
      std::lock_guard<std::mutex> lock(port.inbox->mutex);
      port.inbox->accepting = false;
      wake->pendingBytes -= port.inbox->bytes.size();
      port.inbox->bytes.clear();
      port.inbox->overrun = false;
    }
    port.framer->Reset();
  }

  void DeliverInput(InputPort& port) {
    bool overrun = false;
    {
      std::lock_guard<std::mutex> lock(port.inbox->mutex);
      std::swap(scratch, port.inbox->bytes);
      wake->pendingBytes -= scratch.size();
      overrun = port.inbox->overrun;
      port.inbox->overrun = false;
    }
    if (!scratch.empty()) port.framer->Feed(scratch.data(), scratch.size());
    scratch.clear();
    if (overrun) port.framer->Interrupt();
  }

  void OnFramed(InputPort& port, const MidiFramerEvent& event) {
    const WPARAM handle = reinterpret_cast<WPARAM>(HandleOf(&port));
    switch (event.kind) {
      case MidiFramerEvent::Kind::Short:
        Observe(false, event.data, event.size);
        if (port.started) Post(port.target, MM_MIM_DATA, handle, static_cast<LPARAM>(event.Packed()));
        return;
      case MidiFramerEvent::Kind::Sysex:
        Observe(false, event.data, event.size);
        if (port.started && !port.queue.empty()) FillBuffer(port, event.data, event.size);
        return;
      case MidiFramerEvent::Kind::SysexIncomplete:
      case MidiFramerEvent::Kind::SysexOverLength:
        if (port.started && !port.queue.empty())
          Post(port.target, MM_MIM_LONGERROR, handle, reinterpret_cast<LPARAM>(port.queue.front()));
        return;
    }
  }

  void FillBuffer(InputPort& port, const BYTE* data, size_t size) {
    const WPARAM handle = reinterpret_cast<WPARAM>(HandleOf(&port));
    MIDIHDR* hdr = port.queue.front();
    if (hdr->lpData == nullptr || size > hdr->dwBufferLength) {
      Post(port.target, MM_MIM_LONGERROR, handle, reinterpret_cast<LPARAM>(hdr));
      return;
    }
    std::memcpy(hdr->lpData, data, size);
    hdr->dwBytesRecorded = static_cast<DWORD>(size);
    hdr->dwFlags = (hdr->dwFlags | MHDR_DONE) & ~MHDR_INQUEUE;
    port.queue.pop_front();
    Post(port.target, MM_MIM_LONGDATA, handle, reinterpret_cast<LPARAM>(hdr));
  }

  UINT Send(OutputPort& port, const BYTE* data, size_t size) {
    const UINT error = port.device->Send(data, size);
    if (error != MMSYSERR_NOERROR) {
      lastOutputError = {error, port.device->ErrorText(error)};
      return error;
    }
    Observe(true, data, size);
    return MMSYSERR_NOERROR;
  }
};

MidiPortSet::MidiPortSet(PostFunction post) : impl_(std::make_unique<Impl>()) { impl_->post = std::move(post); }

MidiPortSet::~MidiPortSet() {
  for (auto& port : impl_->openInputs) {
    impl_->StopInput(*port);
    port->device->Close();
  }
  for (auto& port : impl_->openOutputs) port->device->Close();
}

std::string ShortPortName(const std::string& device) {
  constexpr size_t kPortNameChars = MAXPNAMELEN - 1;
  if (device.size() <= kPortNameChars) return device;
  return "..." + device.substr(device.size() - (kPortNameChars - 3));
}

UINT MidiPortSet::AddInput(std::unique_ptr<MidiInputDevice> device) {
  impl_->inputs.push_back(std::move(device));
  return static_cast<UINT>(impl_->inputs.size() - 1);
}

UINT MidiPortSet::AddOutput(std::unique_ptr<MidiOutputDevice> device) {
  impl_->outputs.push_back(std::move(device));
  return static_cast<UINT>(impl_->outputs.size() - 1);
}

void MidiPortSet::Deliver() {
  for (auto& port : impl_->openInputs) impl_->DeliverInput(*port);
  impl_->DeliverSent();
}

bool MidiPortSet::HasPendingInput() const { return impl_->wake->pendingBytes.load() > 0; }

void MidiPortSet::SetWakeup(std::function<void()> wakeup) {
  std::lock_guard<std::mutex> lock(impl_->wake->mutex);
  impl_->wake->wakeup = std::move(wakeup);
}

void MidiPortSet::SetMonitor(Monitor monitor) { impl_->monitor = std::move(monitor); }

UINT MidiPortSet::midiInGetNumDevs() { return static_cast<UINT>(impl_->inputs.size()); }
UINT MidiPortSet::midiOutGetNumDevs() { return static_cast<UINT>(impl_->outputs.size()); }

UINT MidiPortSet::midiInGetDevCaps(UINT id, MIDICAPS* caps) {
  if (id >= impl_->inputs.size()) return MMSYSERR_BADDEVICEID;
  return CopyCaps(impl_->inputs[id]->Name(), caps);
}

UINT MidiPortSet::midiOutGetDevCaps(UINT id, MIDICAPS* caps) {
  if (id >= impl_->outputs.size()) return MMSYSERR_BADDEVICEID;
  return CopyCaps(impl_->outputs[id]->Name(), caps);
}

UINT MidiPortSet::midiInOpen(HMIDIIN* handle, UINT id, HWND target) {
  if (handle == nullptr) return MMSYSERR_INVALPARAM;
  if (id >= impl_->inputs.size()) return MMSYSERR_BADDEVICEID;
  if (Impl::IsOpen(impl_->openInputs, id)) return MMSYSERR_ALLOCATED;
  auto port = std::make_unique<InputPort>();
  port->index = id;
  port->target = target;
  port->device = impl_->inputs[id].get();
  InputPort* raw = port.get();
  port->framer = std::make_unique<MidiFramer>(
      kMaxSysexBytes, [impl = impl_.get(), raw](const MidiFramerEvent& e) { impl->OnFramed(*raw, e); });
  const UINT error = port->device->Open(impl_->SinkFor(port->inbox));
  if (error != MMSYSERR_NOERROR) {
    impl_->lastInputError = {error, port->device->ErrorText(error)};
    return error;
  }
  *handle = HandleOf(raw);
  impl_->openInputs.push_back(std::move(port));
  impl_->Post(target, MM_MIM_OPEN, reinterpret_cast<WPARAM>(*handle), 0);
  return MMSYSERR_NOERROR;
}

UINT MidiPortSet::midiOutOpen(HMIDIOUT* handle, UINT id, HWND target) {
  if (handle == nullptr) return MMSYSERR_INVALPARAM;
  if (id >= impl_->outputs.size()) return MMSYSERR_BADDEVICEID;
  if (Impl::IsOpen(impl_->openOutputs, id)) return MMSYSERR_ALLOCATED;
  auto port = std::make_unique<OutputPort>();
  port->index = id;
  port->target = target;
  port->device = impl_->outputs[id].get();
  const UINT error = port->device->Open();
  if (error != MMSYSERR_NOERROR) {
    impl_->lastOutputError = {error, port->device->ErrorText(error)};
    return error;
  }
  *handle = HandleOf(port.get());
  port->device->ReportSent(impl_->ReportFor(target, *handle));
  impl_->openOutputs.push_back(std::move(port));
  impl_->Post(target, MM_MOM_OPEN, reinterpret_cast<WPARAM>(*handle), 0);
  return MMSYSERR_NOERROR;
}

UINT MidiPortSet::midiInClose(HMIDIIN h) {
  InputPort* port = impl_->FindInput(h);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  if (!port->queue.empty()) return MIDIERR_STILLPLAYING;
  impl_->StopInput(*port);
  port->device->Close();
  const HWND target = port->target;
  Impl::Erase(impl_->openInputs, port);
  impl_->Post(target, MM_MIM_CLOSE, reinterpret_cast<WPARAM>(h), 0);
  return MMSYSERR_NOERROR;
}

UINT MidiPortSet::midiOutClose(HMIDIOUT h) {
  OutputPort* port = impl_->FindOutput(h);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  port->device->Close();
  const HWND target = port->target;
  Impl::Erase(impl_->openOutputs, port);
  impl_->Post(target, MM_MOM_CLOSE, reinterpret_cast<WPARAM>(h), 0);
  return MMSYSERR_NOERROR;
}

UINT MidiPortSet::midiInReset(HMIDIIN h) {
  InputPort* port = impl_->FindInput(h);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  impl_->StopInput(*port);
  // The buffers come back silently: a message posted now would arrive after
  // the caller has moved on and could end a later reception.
  for (MIDIHDR* hdr : port->queue) hdr->dwFlags = (hdr->dwFlags | MHDR_DONE) & ~MHDR_INQUEUE;
  port->queue.clear();
  return MMSYSERR_NOERROR;
}

UINT MidiPortSet::midiOutReset(HMIDIOUT h) {
  // Messages are handed over whole by Send, so there is nothing to cut and
  // nothing to send.
  return impl_->FindOutput(h) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

UINT MidiPortSet::midiInPrepareHeader(HMIDIIN h, MIDIHDR* hdr) {
  if (impl_->FindInput(h) == nullptr) return MMSYSERR_INVALHANDLE;
  return PrepareHeader(hdr);
}

UINT MidiPortSet::midiOutPrepareHeader(HMIDIOUT h, MIDIHDR* hdr) {
  if (impl_->FindOutput(h) == nullptr) return MMSYSERR_INVALHANDLE;
  return PrepareHeader(hdr);
}

UINT MidiPortSet::midiInUnprepareHeader(HMIDIIN h, MIDIHDR* hdr) {
  if (impl_->FindInput(h) == nullptr) return MMSYSERR_INVALHANDLE;
  return UnprepareHeader(hdr);
}

UINT MidiPortSet::midiOutUnprepareHeader(HMIDIOUT h, MIDIHDR* hdr) {
  if (impl_->FindOutput(h) == nullptr) return MMSYSERR_INVALHANDLE;
  return UnprepareHeader(hdr);
}

UINT MidiPortSet::midiInAddBuffer(HMIDIIN h, MIDIHDR* hdr) {
  InputPort* port = impl_->FindInput(h);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  if (hdr == nullptr || hdr->lpData == nullptr || hdr->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  if ((hdr->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  hdr->dwBytesRecorded = 0;
  // Queued already (a second arming before the first reply): it stays
  // queued once, waiting for the next message.
  if (hdr->dwFlags & MHDR_INQUEUE) return MMSYSERR_NOERROR;
  hdr->dwFlags = (hdr->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
  port->queue.push_back(hdr);
  return MMSYSERR_NOERROR;
}

UINT MidiPortSet::midiOutLongMsg(HMIDIOUT h, MIDIHDR* hdr) {
  OutputPort* port = impl_->FindOutput(h);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  if (hdr == nullptr) return MMSYSERR_INVALPARAM;
  if ((hdr->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  if (hdr->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  if (hdr->lpData == nullptr || hdr->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  hdr->dwFlags = (hdr->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
  const UINT error = impl_->Send(*port, reinterpret_cast<const BYTE*>(hdr->lpData), hdr->dwBufferLength);
  hdr->dwFlags &= ~MHDR_INQUEUE;
  if (error != MMSYSERR_NOERROR) return error;
  hdr->dwFlags |= MHDR_DONE;
  return MMSYSERR_NOERROR;
}

UINT MidiPortSet::midiOutShortMsg(HMIDIOUT h, DWORD packed) {
  OutputPort* port = impl_->FindOutput(h);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  const BYTE bytes[3] = {static_cast<BYTE>(packed), static_cast<BYTE>(packed >> 8), static_cast<BYTE>(packed >> 16)};
  const size_t size = ShortMessageLength(bytes[0]);
  if (size == 0) return MMSYSERR_INVALPARAM;
  // A data byte with its top bit set would be read as a status by the peer.
  for (size_t i = 1; i < size; ++i)
    if (bytes[i] & 0x80) return MMSYSERR_INVALPARAM;
  return impl_->Send(*port, bytes, size);
}

UINT MidiPortSet::midiInStart(HMIDIIN h) {
  InputPort* port = impl_->FindInput(h);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  port->started = true;
  std::lock_guard<std::mutex> lock(port->inbox->mutex);
  port->inbox->accepting = true;
  return MMSYSERR_NOERROR;
}

UINT MidiPortSet::midiInStop(HMIDIIN h) {
  InputPort* port = impl_->FindInput(h);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  impl_->StopInput(*port);
  return MMSYSERR_NOERROR;
}

UINT MidiPortSet::midiInGetErrorText(UINT error, char* text, UINT size) {
  return CopyErrorText(impl_->lastInputError, error, text, size);
}

UINT MidiPortSet::midiOutGetErrorText(UINT error, char* text, UINT size) {
  return CopyErrorText(impl_->lastOutputError, error, text, size);
}
