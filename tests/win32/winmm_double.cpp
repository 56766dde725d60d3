#include "tests/win32/winmm_double.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/win32/text_win32.h"
#include "platform/win32/winmm_calls_win32.h"

namespace winmmdouble {
namespace {

// The time a long message takes on the cable, here.
constexpr auto kSendTime = std::chrono::milliseconds(30);

struct Port {
  DWORD_PTR callback = 0;
  DWORD_PTR instance = 0;
  bool started = false;
  std::deque<MIDIHDR*> queue;
};

struct Driver {
  // The driver's threads end before the program does.
  ~Driver() {
    for (std::thread& t : sends) t.join();
  }

  std::recursive_mutex mutex;
  std::vector<std::string> inputs, outputs;
  std::vector<std::string> log;
  Port in, out;
  bool inOpen = false, outOpen = false;
  // Each prepared header: its buffer, and an output header's bytes.
  struct Prepared {
    LPSTR data;
    DWORD length;
    std::vector<char> bytes;
  };
  std::map<MIDIHDR*, Prepared> prepared;
  std::vector<std::vector<uint8_t>> longMessages;
  std::vector<uint32_t> shortMessages;
  bool outputFinishes = true;
  unsigned failNextOpen = 0;
  std::vector<std::thread> sends;
  std::function<std::chrono::microseconds()> clock;
  std::vector<std::chrono::microseconds> sendTimes;
  size_t failLongIn = 0;
  unsigned failLongError = 0;
  bool unprepareRefused = false;
};

Driver& D() {
  static Driver driver;
  return driver;
}

HMIDIIN InHandle() { return reinterpret_cast<HMIDIIN>(&D().in); }
HMIDIOUT OutHandle() { return reinterpret_cast<HMIDIOUT>(&D().out); }

void Note(const char* call) { D().log.push_back(call); }

void NoteSendTime() { D().sendTimes.push_back(D().clock ? D().clock() : std::chrono::microseconds(0)); }

void CallIn(UINT msg, DWORD_PTR p1) {
  auto fn = reinterpret_cast<void(CALLBACK*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(D().in.callback);
  fn(InHandle(), msg, D().in.instance, p1, 0);
}

void CallOut(UINT msg, DWORD_PTR p1) {
  auto fn = reinterpret_cast<void(CALLBACK*)(HMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(D().out.callback);
  fn(OutHandle(), msg, D().out.instance, p1, 0);
}

// Hands the front buffer back, done, as MIM_LONGDATA.
void ReturnFront() {
  MIDIHDR* h = D().in.queue.front();
  D().in.queue.pop_front();
  h->dwFlags = (h->dwFlags | MHDR_DONE) & ~MHDR_INQUEUE;
  CallIn(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(h));
}

UINT WINAPI InNum() { return static_cast<UINT>(D().inputs.size()); }
UINT WINAPI OutNum() { return static_cast<UINT>(D().outputs.size()); }

template <typename Caps>
MMRESULT FillCaps(const std::vector<std::string>& names, UINT_PTR id, Caps* caps) {
  if (id >= names.size()) return MMSYSERR_BADDEVICEID;
  *caps = Caps{};
  const std::wstring name = w32::Wide(names[id]).substr(0, MAXPNAMELEN - 1);
  std::copy(name.begin(), name.end(), caps->szPname);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI InCaps(UINT_PTR id, LPMIDIINCAPSW caps, UINT) { return FillCaps(D().inputs, id, caps); }
MMRESULT WINAPI OutCaps(UINT_PTR id, LPMIDIOUTCAPSW caps, UINT) { return FillCaps(D().outputs, id, caps); }

MMRESULT Open(Port& port, bool& open, const std::vector<std::string>& names, UINT id, DWORD_PTR cb, DWORD_PTR inst,
              DWORD flags) {
  if (D().failNextOpen) {
    const MMRESULT error = D().failNextOpen;
    D().failNextOpen = 0;
    return error;
  }
  if (id >= names.size()) return MMSYSERR_BADDEVICEID;
  if (open) return MMSYSERR_ALLOCATED;
  if ((flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;
  port = Port{cb, inst, false, {}};
  open = true;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI InOpen(LPHMIDIIN h, UINT id, DWORD_PTR cb, DWORD_PTR inst, DWORD flags) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("inOpen");
  const MMRESULT error = Open(D().in, D().inOpen, D().inputs, id, cb, inst, flags);
  if (error == MMSYSERR_NOERROR) *h = InHandle();
  return error;
}

MMRESULT Prepare(LPMIDIHDR h, const char* what, bool output) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note(what);
  if (h == nullptr || h->lpData == nullptr) return MMSYSERR_INVALPARAM;
  h->dwFlags |= MHDR_PREPARED;
  std::vector<char> bytes;
  if (output) bytes.assign(h->lpData, h->lpData + h->dwBufferLength);
  D().prepared[h] = {h->lpData, h->dwBufferLength, std::move(bytes)};
  return MMSYSERR_NOERROR;
}

MMRESULT Unprepare(LPMIDIHDR h, const char* what) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note(what);
  if ((h->dwFlags & MHDR_INQUEUE) || D().unprepareRefused) return MIDIERR_STILLPLAYING;
  h->dwFlags &= ~MHDR_PREPARED;
  D().prepared.erase(h);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI InPrepare(HMIDIIN, LPMIDIHDR h, UINT) { return Prepare(h, "inPrepare", false); }
MMRESULT WINAPI InUnprepare(HMIDIIN, LPMIDIHDR h, UINT) { return Unprepare(h, "inUnprepare"); }

MMRESULT WINAPI InAdd(HMIDIIN, LPMIDIHDR h, UINT) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("inAdd");
  if (!(h->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (h->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  h->dwFlags = (h->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
  h->dwBytesRecorded = 0;
  D().in.queue.push_back(h);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI InStart(HMIDIIN) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("inStart");
  D().in.started = true;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI InReset(HMIDIIN) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("inReset");
  D().in.started = false;
  while (!D().in.queue.empty()) ReturnFront();
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI InClose(HMIDIIN) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("inClose");
  if (!D().in.queue.empty()) return MIDIERR_STILLPLAYING;
  D().inOpen = false;
  return MMSYSERR_NOERROR;
}

MMRESULT ErrorText(MMRESULT error, LPWSTR text, UINT size) {
  const std::wstring t = L"Fake WinMM error " + std::to_wstring(error) + L".";
  if (size <= t.size()) return MMSYSERR_INVALPARAM;
  std::memcpy(text, t.c_str(), (t.size() + 1) * sizeof(wchar_t));
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI InErrorText(MMRESULT e, LPWSTR t, UINT s) { return ErrorText(e, t, s); }
MMRESULT WINAPI OutErrorText(MMRESULT e, LPWSTR t, UINT s) { return ErrorText(e, t, s); }

MMRESULT WINAPI OutOpen(LPHMIDIOUT h, UINT id, DWORD_PTR cb, DWORD_PTR inst, DWORD flags) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("outOpen");
  const MMRESULT error = Open(D().out, D().outOpen, D().outputs, id, cb, inst, flags);
  if (error == MMSYSERR_NOERROR) *h = OutHandle();
  return error;
}

MMRESULT WINAPI OutPrepare(HMIDIOUT, LPMIDIHDR h, UINT) { return Prepare(h, "outPrepare", true); }
MMRESULT WINAPI OutUnprepare(HMIDIOUT, LPMIDIHDR h, UINT) { return Unprepare(h, "outUnprepare"); }

void FinishLong(MIDIHDR* h) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  if (!(h->dwFlags & MHDR_INQUEUE)) return;  // a reset came first
  D().out.queue.erase(std::find(D().out.queue.begin(), D().out.queue.end(), h));
  h->dwFlags = (h->dwFlags | MHDR_DONE) & ~MHDR_INQUEUE;
  CallOut(MOM_DONE, reinterpret_cast<DWORD_PTR>(h));
}

MMRESULT WINAPI OutLong(HMIDIOUT, LPMIDIHDR h, UINT) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("outLongMsg");
  if (!(h->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  NoteSendTime();
  if (D().failLongIn > 0 && --D().failLongIn == 0) return D().failLongError;
  const auto* data = reinterpret_cast<const uint8_t*>(h->lpData);
  D().longMessages.emplace_back(data, data + h->dwBufferLength);
  h->dwFlags = (h->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
  D().out.queue.push_back(h);
  if (D().outputFinishes) D().sends.emplace_back([h] {
    std::this_thread::sleep_for(kSendTime);
    FinishLong(h);
  });
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI OutShort(HMIDIOUT, DWORD packed) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("outShortMsg");
  NoteSendTime();
  D().shortMessages.push_back(packed);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI OutReset(HMIDIOUT) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("outReset");
  while (!D().out.queue.empty()) {
    MIDIHDR* h = D().out.queue.front();
    D().out.queue.pop_front();
    h->dwFlags = (h->dwFlags | MHDR_DONE) & ~MHDR_INQUEUE;
    CallOut(MOM_DONE, reinterpret_cast<DWORD_PTR>(h));
  }
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI OutClose(HMIDIOUT) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Note("outClose");
  if (!D().out.queue.empty()) return MIDIERR_STILLPLAYING;
  D().outOpen = false;
  return MMSYSERR_NOERROR;
}

void JoinSends() {
  std::vector<std::thread> sends;
  {
    std::lock_guard<std::recursive_mutex> lock(D().mutex);
    sends.swap(D().sends);
  }
  for (std::thread& t : sends) t.join();
}

}  // namespace

void Reset(std::vector<std::string> inputNames, std::vector<std::string> outputNames) {
  JoinSends();
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  Driver& d = D();
  d.inputs = std::move(inputNames);
  d.outputs = std::move(outputNames);
  d.log.clear();
  d.in = Port{};
  d.out = Port{};
  d.inOpen = d.outOpen = false;
  d.prepared.clear();
  d.longMessages.clear();
  d.shortMessages.clear();
  d.outputFinishes = true;
  d.failNextOpen = 0;
  d.clock = nullptr;
  d.sendTimes.clear();
  d.failLongIn = 0;
  d.unprepareRefused = false;
}

const w32::WinMmCalls& Calls() {
  static const w32::WinMmCalls calls = {InNum,   InCaps,  InOpen,   InClose,      InPrepare, InUnprepare,  InAdd,
                                        InStart, InReset, InErrorText, OutNum,  OutCaps,   OutOpen,      OutClose,
                                        OutPrepare, OutUnprepare, OutLong, OutShort, OutReset, OutErrorText};
  return calls;
}

std::vector<std::string> Log() {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  return D().log;
}

void Receive(const std::vector<uint8_t>& bytes) {
  std::thread driver([&bytes] {
    std::lock_guard<std::recursive_mutex> lock(D().mutex);
    Port& in = D().in;
    if (!in.started) return;
    for (size_t i = 0; i < bytes.size();) {
      const uint8_t b = bytes[i];
      if (b != 0xF0) {  // a short message: status and data bytes in one DWORD
        DWORD packed = 0;
        size_t n = 0;
        do packed |= static_cast<DWORD>(bytes[i + n]) << (8 * n), ++n;
        while (i + n < bytes.size() && bytes[i + n] < 0x80 && n < 3);
        CallIn(MIM_DATA, packed);
        i += n;
        continue;
      }
      // System Exclusive: into the queued buffers, one after another.
      for (; i < bytes.size() && !in.queue.empty();) {
        MIDIHDR* h = in.queue.front();
        const uint8_t c = bytes[i++];
        h->lpData[h->dwBytesRecorded++] = static_cast<char>(c);
        if (c == 0xF7 || h->dwBytesRecorded == h->dwBufferLength) ReturnFront();
        if (c == 0xF7) break;
      }
    }
  });
  driver.join();
}

size_t QueuedInputBuffers() {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  return D().in.queue.size();
}

size_t PreparedHeaders() {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  return D().prepared.size();
}

std::vector<std::vector<uint8_t>> LongMessages() {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  return D().longMessages;
}

std::vector<uint32_t> ShortMessages() {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  return D().shortMessages;
}

void SetOutputFinishes(bool finishes) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  D().outputFinishes = finishes;
}

void FailNextOpen(unsigned error) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  D().failNextOpen = error;
}

void SetClock(std::function<std::chrono::microseconds()> clock) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  D().clock = std::move(clock);
}

std::vector<std::chrono::microseconds> SendTimes() {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  return D().sendTimes;
}

void FailLongMessage(size_t nth, unsigned error) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  D().failLongIn = nth;
  D().failLongError = error;
}

void SetUnprepareRefused(bool refused) {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  D().unprepareRefused = refused;
}

bool PreparedHeadersIntact() {
  std::lock_guard<std::recursive_mutex> lock(D().mutex);
  return std::all_of(D().prepared.begin(), D().prepared.end(), [](const auto& entry) {
    const MIDIHDR& h = *entry.first;
    const Driver::Prepared& p = entry.second;
    return (h.dwFlags & MHDR_PREPARED) && h.lpData == p.data && h.dwBufferLength == p.length &&
           (p.bytes.empty() || std::equal(p.bytes.begin(), p.bytes.end(), h.lpData));
  });
}

}  // namespace winmmdouble
