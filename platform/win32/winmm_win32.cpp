#include "platform/win32/winmm_win32.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/midi/system_ports.h"
#include "platform/win32/serial_win32.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/winmm_calls_win32.h"

namespace w32 {
namespace {

// Beyond a message's own time on the wire, how long a driver may take.
constexpr unsigned kDriverGraceMs = 10000;
// A reset hands every buffer back at once; this is only the bound on a
// driver that is slow about it.
constexpr DWORD kBufferReturnMs = 5000;

// A channel or system common message, sent with midiOutShortMsg.
bool IsShortMessage(const uint8_t* data, size_t size) { return size > 0 && size <= 3 && data[0] != 0xF0; }

std::string PortName(const wchar_t* name) {
  return Utf8(name, std::find(name, name + MAXPNAMELEN, L'\0') - name);
}

// `error` with WinMM's words for it, or "" for the generic ones.
MidiWriteResult Failure(MMRESULT(WINAPI* getText)(MMRESULT, LPWSTR, UINT), MMRESULT error) {
  if (error == MMSYSERR_NOERROR) return {};
  wchar_t text[MAXERRORLENGTH] = {};
  if (getText(error, text, MAXERRORLENGTH) != MMSYSERR_NOERROR) return MidiWriteResult::Failure(error, "");
  return MidiWriteResult::Failure(error, Utf8(text, wcsnlen(text, MAXERRORLENGTH)));
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

bool WaitForDone(const MIDIHDR& header, HANDLE signal, DWORD limitMs) {
  const DWORD start = GetTickCount();
  while ((header.dwFlags & MHDR_DONE) == 0) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= limitMs) return false;
    WaitForSingleObject(signal, std::min<DWORD>(limitMs - spent, 50));
  }
  return true;
}

// A header with its bytes, apart from any caller's memory, so that it can
// outlive the call that handed it to the driver.
struct DriverBuffer {
  explicit DriverBuffer(size_t size) : bytes(size) {
    header.lpData = bytes.data();
    header.dwBufferLength = static_cast<DWORD>(size);
  }
  MIDIHDR header{};
  std::vector<char> bytes;
};

// A buffer the driver would not give back (its unprepare failed) may still
// be written to or read from at any time: it is never freed.
void LetDriverKeep(std::unique_ptr<DriverBuffer> buffer) { static_cast<void>(buffer.release()); }

}  // namespace

const WinMmCalls& SystemWinMm() {
  static const WinMmCalls calls = {
      midiInGetNumDevs,  midiInGetDevCapsW,  midiInOpen,          midiInClose,           midiInPrepareHeader,
      midiInUnprepareHeader, midiInAddBuffer, midiInStart,       midiInReset,           midiInGetErrorTextW,
      midiOutGetNumDevs, midiOutGetDevCapsW, midiOutOpen,         midiOutClose,          midiOutPrepareHeader,
      midiOutUnprepareHeader, midiOutLongMsg, midiOutShortMsg,   midiOutReset,          midiOutGetErrorTextW,
  };
  return calls;
}

struct WinMmInput::State {
  State(const WinMmCalls& calls, unsigned port) : mm(calls), id(port) {}

  // What the callback hands to the service thread: a returned buffer, or
  // the bytes of a short message.
  struct Arrival {
    MIDIHDR* header = nullptr;
    std::array<uint8_t, 3> bytes{};
    size_t count = 0;
  };

  const WinMmCalls& mm;
  const unsigned id;
  HMIDIIN handle = nullptr;
  std::vector<std::unique_ptr<DriverBuffer>> buffers;
  size_t prepared = 0;
  MidiByteSink sink;
  std::mutex mutex;  // guards `arrived` and `stopping`
  std::deque<Arrival> arrived;
  bool stopping = false;
  std::mutex serving;  // held while an arrival is handled
  bool closing = false;
  HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::thread service;
  bool driverMayCall = false;  // a close failed: the driver may still call back with this state

  ~State() { CloseHandle(wake); }

  MidiWriteResult Fail(MMRESULT error) const { return Failure(mm.inGetErrorText, error); }

  static void CALLBACK Callback(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    auto* self = reinterpret_cast<State*>(instance);
    Arrival arrival;
    switch (msg) {
      case MIM_DATA:
      case MIM_MOREDATA:
        // Any other system byte stands alone, for the framer to judge.
        arrival.count = std::max<size_t>(MidiMessageLength(static_cast<uint8_t>(param1)), (param1 & 0xFF) >= 0xF0);
        for (size_t i = 0; i < arrival.count; ++i) arrival.bytes[i] = static_cast<uint8_t>(param1 >> (8 * i));
        if (arrival.count == 0) return;
        break;
      case MIM_LONGDATA:
      case MIM_LONGERROR: arrival.header = reinterpret_cast<MIDIHDR*>(param1); break;
      default: return;
    }
    {
      std::lock_guard<std::mutex> lock(self->mutex);
      self->arrived.push_back(arrival);
    }
    SetEvent(self->wake);
  }

  void Serve() {
    for (;;) {
      WaitForSingleObject(wake, INFINITE);
      std::deque<Arrival> batch;
      bool stop = false;
      {
        std::lock_guard<std::mutex> lock(mutex);
        batch.swap(arrived);
        stop = stopping;
      }
      for (const Arrival& a : batch) {
        std::lock_guard<std::mutex> lock(serving);
        Handle(a);
      }
      if (stop) return;
    }
  }

  void Handle(const Arrival& a) {
    if (closing) return;  // what a reset hands back is no message
    if (a.header == nullptr) {
      sink(a.bytes.data(), a.count);
      return;
    }
    if (a.header->dwBytesRecorded > 0)
      sink(reinterpret_cast<const uint8_t*>(a.header->lpData),
           std::min<size_t>(a.header->dwBytesRecorded, a.header->dwBufferLength));
    a.header->dwBytesRecorded = 0;
    mm.inAddBuffer(handle, a.header, sizeof(MIDIHDR));
  }

  void StopService() {
    if (!service.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    SetEvent(wake);
    service.join();
    stopping = false;
    arrived.clear();
  }

  // Undoes an open as far as it got.
  void Release() {
    {
      // No buffer is added again once the reset has begun.
      std::lock_guard<std::mutex> lock(serving);
      closing = true;
    }
    mm.inReset(handle);
    StopService();
    for (size_t i = 0; i < prepared; ++i) {
      MIDIHDR& h = buffers[i]->header;
      WaitForDone(h, wake, kBufferReturnMs);
      if (mm.inUnprepareHeader(handle, &h, sizeof(MIDIHDR)) != MMSYSERR_NOERROR) LetDriverKeep(std::move(buffers[i]));
    }
    prepared = 0;
    driverMayCall = mm.inClose(handle) != MMSYSERR_NOERROR;
    handle = nullptr;
    buffers.clear();
  }
};

WinMmInput::WinMmInput(const WinMmCalls& mm, unsigned id) : state_(std::make_unique<State>(mm, id)) {}

WinMmInput::~WinMmInput() {
  Close();
  // The callback's instance is the state: kept for a driver that would not close.
  if (state_->driverMayCall) static_cast<void>(state_.release());
}

std::string WinMmInput::Name() const {
  MIDIINCAPSW caps{};
  if (state_->mm.inGetDevCaps(state_->id, &caps, sizeof caps) != MMSYSERR_NOERROR) return "";
  return PortName(caps.szPname);
}

MidiResult WinMmInput::Open(MidiByteSink sink) {
  State& s = *state_;
  if (s.handle != nullptr) return {MMSYSERR_ALLOCATED, ""};
  MMRESULT error = s.mm.inOpen(&s.handle, s.id, reinterpret_cast<DWORD_PTR>(&State::Callback),
                               reinterpret_cast<DWORD_PTR>(&s), CALLBACK_FUNCTION);
  if (error != MMSYSERR_NOERROR) {
    s.handle = nullptr;
    return s.Fail(error);
  }
  s.closing = false;
  s.sink = std::move(sink);
  s.buffers.clear();
  // Every buffer is in the driver's hands before input starts, so that a
  // reply coming at once finds one.
  for (size_t i = 0; i < kInputBuffers && error == MMSYSERR_NOERROR; ++i) {
    s.buffers.push_back(std::make_unique<DriverBuffer>(kInputBufferBytes));
    MIDIHDR& h = s.buffers.back()->header;
    error = s.mm.inPrepareHeader(s.handle, &h, sizeof(MIDIHDR));
    if (error != MMSYSERR_NOERROR) break;
    ++s.prepared;
    error = s.mm.inAddBuffer(s.handle, &h, sizeof(MIDIHDR));
  }
  if (error == MMSYSERR_NOERROR) {
    s.service = std::thread([&s] { s.Serve(); });
    error = s.mm.inStart(s.handle);
  }
  const MidiWriteResult result = s.Fail(error);
  if (!result.Ok()) s.Release();
  return result;
}

void WinMmInput::Close() {
  if (state_->handle != nullptr) state_->Release();
}

struct WinMmOutput::State {
  State(const WinMmCalls& calls, unsigned port) : mm(calls), id(port) {}
  ~State() { CloseHandle(done); }

  static void CALLBACK Callback(HMIDIOUT, UINT msg, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    if (msg == MOM_DONE) SetEvent(reinterpret_cast<State*>(instance)->done);
  }

  MidiWriteResult Fail(MMRESULT error) const { return Failure(mm.outGetErrorText, error); }

  // Unprepares the buffers the driver would not give back before; those it
  // still holds stay.
  void RetryHeld() {
    std::erase_if(held, [this](const std::unique_ptr<DriverBuffer>& b) {
      return mm.outUnprepareHeader(handle, &b->header, sizeof(MIDIHDR)) == MMSYSERR_NOERROR;
    });
  }

  const WinMmCalls& mm;
  const unsigned id;
  HMIDIOUT handle = nullptr;
  HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::vector<std::unique_ptr<DriverBuffer>> held;  // prepared, the driver kept them
  bool driverMayCall = false;  // a close failed: the driver may still call back with this state
};

WinMmOutput::WinMmOutput(const WinMmCalls& mm, unsigned id, PaceClock& clock)
    : state_(std::make_unique<State>(mm, id)), pacer_(clock) {}

WinMmOutput::~WinMmOutput() {
  Close();
  // The callback's instance is the state: kept for a driver that would not close.
  if (state_->driverMayCall) static_cast<void>(state_.release());
}

std::string WinMmOutput::Name() const {
  MIDIOUTCAPSW caps{};
  if (state_->mm.outGetDevCaps(state_->id, &caps, sizeof caps) != MMSYSERR_NOERROR) return "";
  return PortName(caps.szPname);
}

MidiWriteResult WinMmOutput::Open() {
  State& s = *state_;
  if (s.handle != nullptr) return MidiWriteResult::Failure(MMSYSERR_ALLOCATED, "");
  const MMRESULT error = s.mm.outOpen(&s.handle, s.id, reinterpret_cast<DWORD_PTR>(&State::Callback),
                                      reinterpret_cast<DWORD_PTR>(&s), CALLBACK_FUNCTION);
  if (error != MMSYSERR_NOERROR) s.handle = nullptr;
  return s.Fail(error);
}

void WinMmOutput::Close() {
  State& s = *state_;
  if (s.handle == nullptr) return;
  s.mm.outReset(s.handle);
  s.RetryHeld();
  s.driverMayCall = s.mm.outClose(s.handle) != MMSYSERR_NOERROR;
  s.handle = nullptr;
  // No handle is left to unprepare them with.
  for (std::unique_ptr<DriverBuffer>& b : s.held) LetDriverKeep(std::move(b));
  s.held.clear();
}

MidiWriteResult WinMmOutput::Put(const uint8_t* data, size_t size) {
  const bool isShort = IsShortMessage(data, size);
  return pacer_.Send(data, size, [this, isShort](const uint8_t* piece, size_t n) {
    return isShort ? PutShort(piece, n) : PutLong(piece, n, kDriverGraceMs);
  });
}

MidiWriteResult WinMmOutput::PutShort(const uint8_t* data, size_t size) {
  State& s = *state_;
  if (s.handle == nullptr) return MidiWriteResult::Failure(MMSYSERR_INVALHANDLE, "");
  if (!IsShortMessage(data, size)) return MidiWriteResult::Failure(MMSYSERR_INVALPARAM, "");
  DWORD packed = 0;
  for (size_t i = 0; i < size; ++i) packed |= static_cast<DWORD>(data[i]) << (8 * i);
  return s.Fail(s.mm.outShortMsg(s.handle, packed));
}

MidiWriteResult WinMmOutput::PutLong(const uint8_t* data, size_t size, unsigned graceMs) {
  State& s = *state_;
  if (s.handle == nullptr) return MidiWriteResult::Failure(MMSYSERR_INVALHANDLE, "");
  if (size == 0) return MidiWriteResult::Failure(MMSYSERR_INVALPARAM, "");
  s.RetryHeld();
  auto buffer = std::make_unique<DriverBuffer>(size);
  std::copy(data, data + size, buffer->bytes.begin());
  MIDIHDR& header = buffer->header;
  MidiWriteResult result = s.Fail(s.mm.outPrepareHeader(s.handle, &header, sizeof header));
  if (!result.Ok()) return result;
  ResetEvent(s.done);
  result = s.Fail(s.mm.outLongMsg(s.handle, &header, sizeof header));
  const DWORD limitMs = static_cast<DWORD>(2000.0 * static_cast<double>(size) / kWireBytesPerSecond) + graceMs;
  if (result.Ok() && !WaitForDone(header, s.done, limitMs)) {
    // Taken back, so that the header can be let go of.
    s.mm.outReset(s.handle);
    WaitForDone(header, s.done, kBufferReturnMs);
    result = MidiWriteResult::Failure(
        MMSYSERR_ERROR, "The MIDI driver did not send the message within " + std::to_string(limitMs / 1000) + " s.");
  }
  if (s.mm.outUnprepareHeader(s.handle, &header, sizeof header) != MMSYSERR_NOERROR)
    s.held.push_back(std::move(buffer));
  return result;
}

void RegisterWinMmPorts(MidiPortSet& ports, const WinMmCalls& mm, PaceClock& clock) {
  for (unsigned id = 0, n = mm.inGetNumDevs(); id < n; ++id) ports.AddInput(std::make_unique<WinMmInput>(mm, id));
  for (unsigned id = 0, n = mm.outGetNumDevs(); id < n; ++id) {
    auto wire = std::make_unique<WinMmOutput>(mm, id, clock);
    std::string name = wire->Name();
    ports.AddOutput(std::make_unique<WriterOutput>(std::move(name), std::move(wire)));
  }
}

}  // namespace w32

void RegisterSystemPorts(MidiPortSet& ports, const std::vector<std::string>& devicePaths) {
  w32::RegisterWinMmPorts(ports);
  // Windows' device names know no case: COM3 and com3 are one port.
  std::set<std::string> added;
  for (const std::string& path : devicePaths)
    if (!path.empty() && added.insert(w32::Upper(path)).second) w32::AddComPort(ports, path);
}
