#include "platform/win32/serial_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cctype>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/midi/output_writer.h"
#include "platform/win32/comm_calls_win32.h"
#include "platform/win32/text_win32.h"

namespace w32 {
namespace {

constexpr unsigned kErrError = 1;        // MMSYSERR_ERROR
constexpr unsigned kErrBadDevice = 2;    // MMSYSERR_BADDEVICEID
constexpr unsigned kErrAllocated = 4;    // MMSYSERR_ALLOCATED
constexpr DWORD kMidiBaud = 31250;
constexpr size_t kWriteChunk = 1024;

std::string SystemText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n > 0 ? Utf8(text, n) : "error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' '))
    out.pop_back();
  return out;
}

// "COM12" must be opened as "\\.\COM12"; other names are used as given.
std::wstring DevicePath(const std::string& name) {
  auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  const bool comPort = name.size() > 3 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "com") == 0) &&
                       std::all_of(name.begin() + 3, name.end(), digit);
  return comPort ? L"\\\\.\\" + Wide(name) : Wide(name);
}

unsigned OpenError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return kErrBadDevice;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return kErrAllocated;
    default: return kErrError;
  }
}

// How a read or write fails once the device behind the port was unplugged.
bool IsGone(DWORD error) {
  return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_DEVICE_REMOVED ||
         error == ERROR_INVALID_HANDLE || error == ERROR_BROKEN_PIPE || error == ERROR_GEN_FAILURE ||
         error == ERROR_OPERATION_ABORTED || error == ERROR_ACCESS_DENIED;
}

// A UART's rate comes from a divisor: within 2 % the bytes still arrive.
bool NearMidiRate(DWORD baud) {
  const long off = static_cast<long>(baud) - static_cast<long>(kMidiBaud);
  return std::abs(off) * 50 <= static_cast<long>(kMidiBaud);
}

bool RunsOnWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// "31,250"
std::string Grouped(DWORD n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

const CommCalls& SystemComm() {
  static const CommCalls calls = {GetCommState, SetCommState, ReadFile, WriteFile, !RunsOnWine()};
  return calls;
}

struct SerialLine::State {
  explicit State(const CommCalls& calls) : comm(calls) {}

  const CommCalls& comm;
  std::mutex mutex;
  int users = 0;
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool restore = false;
  DCB original{};
  COMMTIMEOUTS originalTimeouts{};
  HANDLE readDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE writeDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE interrupt = CreateEventW(nullptr, TRUE, FALSE, nullptr);

  ~State() {
    CloseHandle(readDone);
    CloseHandle(writeDone);
    CloseHandle(interrupt);
  }

  // Raw bytes, no flow control, MIDI's rate; false, with the rate the port
  // runs at instead, when it refused or rounded that.
  bool SetRaw(DWORD* rate) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!comm.getState(handle, &dcb)) return true;  // no serial port: nothing to set
    original = dcb;
    GetCommTimeouts(handle, &originalTimeouts);
    restore = true;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    DCB atMidiRate = dcb;
    atMidiRate.BaudRate = kMidiBaud;
    if (!comm.setState(handle, &atMidiRate)) comm.setState(handle, &dcb);
    // A read returns at once with what has come (Wine's waits for a first
    // byte); the reader waits for the next byte with WaitCommEvent. Writes
    // wait as long as needed: the stall limit is the writer's.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    SetCommTimeouts(handle, &timeouts);
    SetCommMask(handle, EV_RXCHAR);
    // Read back: a driver may round the rate and still report success. A
    // port that tells no rate (0) has none to get wrong.
    DCB now{};
    now.DCBlength = sizeof now;
    if (!comm.readsBackCustomRates || !comm.getState(handle, &now)) return true;
    *rate = now.BaudRate;
    return NearMidiRate(now.BaudRate) || now.BaudRate == 0;
  }
};

SerialLine::SerialLine(std::string name, const CommCalls& calls)
    : name_(std::move(name)), state_(std::make_unique<State>(calls)) {}

SerialLine::~SerialLine() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->handle != INVALID_HANDLE_VALUE) CloseHandle(state_->handle);
}

unsigned SerialLine::Acquire(std::string* text) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->users > 0) {
    ++state_->users;
    return 0;
  }
  HANDLE h = CreateFileW(DevicePath(name_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    *text = "Cannot open " + name_ + ": " + SystemText(error);
    return OpenError(error);
  }
  state_->handle = h;
  state_->restore = false;
  DWORD rate = 0;
  if (!state_->SetRaw(&rate)) {
    state_->comm.setState(h, &state_->original);
    SetCommTimeouts(h, &state_->originalTimeouts);
    CloseHandle(h);
    state_->handle = INVALID_HANDLE_VALUE;
    *text = name_ + " does not run at MIDI's 31,250 baud (it runs at " + Grouped(rate) +
            "): choose another port or MIDI interface.";
    return kErrError;
  }
  PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  state_->users = 1;
  return 0;
}

void SerialLine::Release() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->users == 0 || --state_->users > 0) return;
  if (state_->restore) {
    FlushFileBuffers(state_->handle);
    state_->comm.setState(state_->handle, &state_->original);
    SetCommTimeouts(state_->handle, &state_->originalTimeouts);
  }
  CloseHandle(state_->handle);
  state_->handle = INVALID_HANDLE_VALUE;
}

long SerialLine::Read(uint8_t* buffer, size_t size, std::string* text) {
  for (;;) {
    if (WaitForSingleObject(state_->interrupt, 0) == WAIT_OBJECT_0) return 0;
    DWORD got = 0;
    auto read = [&](void* ov) {
      return state_->comm.readFile(state_->handle, buffer, static_cast<DWORD>(size), nullptr,
                                   static_cast<OVERLAPPED*>(ov));
    };
    if (!Overlapped(text, &got, read))
      return WaitForSingleObject(state_->interrupt, 0) == WAIT_OBJECT_0 ? 0 : -1;
    if (got > 0) return static_cast<long>(got);
    // Nothing had come: wait for the next byte (or Close) before reading again.
    DWORD events = 0;
    auto waitForByte = [&](void* ov) { return WaitCommEvent(state_->handle, &events, static_cast<OVERLAPPED*>(ov)); };
    if (!Overlapped(text, &got, waitForByte))
      return WaitForSingleObject(state_->interrupt, 0) == WAIT_OBJECT_0 ? 0 : -1;
  }
}

bool SerialLine::Overlapped(std::string* text, unsigned long* transferred,
                            const std::function<int(void*)>& start) {
  OVERLAPPED ov{};
  ov.hEvent = state_->readDone;
  ResetEvent(ov.hEvent);
  DWORD got = 0;
  if (!start(&ov)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      *text = FailureText("read from", error);
      return false;
    }
  }
  HANDLE waits[2] = {ov.hEvent, state_->interrupt};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) CancelIoEx(state_->handle, &ov);
  if (!GetOverlappedResult(state_->handle, &ov, &got, TRUE)) {
    *text = FailureText("read from", GetLastError());
    return false;
  }
  *transferred = got;
  return true;
}

std::string SerialLine::FailureText(const char* what, unsigned long error) const {
  if (IsGone(error)) return "The device on " + name_ + " was removed.";
  return std::string("Cannot ") + what + " " + name_ + ": " + SystemText(error);
}

void SerialLine::InterruptRead() { SetEvent(state_->interrupt); }

void SerialLine::ResumeReading() { ResetEvent(state_->interrupt); }

bool SerialLine::Write(const uint8_t* data, size_t size, unsigned stallMs, std::string* text, bool* gone) {
  *gone = false;
  size_t done = 0;
  DWORD idleSince = GetTickCount();
  while (done < size) {
    OVERLAPPED ov{};
    ov.hEvent = state_->writeDone;
    ResetEvent(ov.hEvent);
    const DWORD chunk = static_cast<DWORD>(std::min(kWriteChunk, size - done));
    DWORD wrote = 0;
    if (!state_->comm.writeFile(state_->handle, data + done, chunk, &wrote, &ov)) {
      DWORD error = GetLastError();
      if (error == ERROR_IO_PENDING) {
        if (WaitForSingleObject(ov.hEvent, stallMs) != WAIT_OBJECT_0) {
          CancelIoEx(state_->handle, &ov);
          GetOverlappedResult(state_->handle, &ov, &wrote, TRUE);
          *text = "Cannot write to " + name_ + ": no byte was taken for " + std::to_string(stallMs) + " ms";
          return false;
        }
        if (!GetOverlappedResult(state_->handle, &ov, &wrote, TRUE)) error = GetLastError();
        else error = ERROR_SUCCESS;
      }
      if (error != ERROR_SUCCESS) {
        *gone = IsGone(error);
        *text = FailureText("write to", error);
        return false;
      }
    }
    done += wrote;
    if (wrote > 0) {
      idleSince = GetTickCount();
    } else if (GetTickCount() - idleSince >= stallMs) {
      *text = "Cannot write to " + name_ + ": no byte was taken for " + std::to_string(stallMs) + " ms";
      return false;
    } else {
      ::Sleep(10);
    }
  }
  return true;
}

namespace {

class ComMidiInput : public MidiInputDevice {
 public:
  explicit ComMidiInput(std::shared_ptr<SerialLine> line) : line_(std::move(line)) {}
  ~ComMidiInput() override { Close(); }
  std::string Name() const override { return ShortPortName(line_->Name()); }

  MidiResult Open(MidiByteSink sink) override {
    if (reader_.joinable()) return {midi_error::kAllocated, ""};
    MidiResult result;
    result.error = line_->Acquire(&result.text);
    if (!result.Ok()) return result;
    line_->ResumeReading();
    reader_ = std::thread([this, reader = std::move(sink)] { Read(reader); });
    return {};
  }

  void Close() override {
    if (!reader_.joinable()) return;
    line_->InterruptRead();
    reader_.join();
    line_->Release();
  }

 private:
  // Until Close (0) or the device going away (-1).
  void Read(const MidiByteSink& sink) {
    std::vector<uint8_t> buffer(4096);
    std::string text;
    for (long got; (got = line_->Read(buffer.data(), buffer.size(), &text)) > 0;)
      sink(buffer.data(), static_cast<size_t>(got));
  }

  std::shared_ptr<SerialLine> line_;
  std::thread reader_;
};

class ComWire : public OutputWire {
 public:
  explicit ComWire(std::shared_ptr<SerialLine> line) : line_(std::move(line)) {}
  MidiWriteResult Open() override {
    std::string text;
    const uint32_t error = line_->Acquire(&text);
    return error == midi_error::kNone ? MidiWriteResult() : MidiWriteResult::Failure(error, text);
  }
  void Close() override { line_->Release(); }
  MidiWriteResult Put(const uint8_t* data, size_t size) override {
    std::string text;
    bool gone = false;
    if (line_->Write(data, size, kStallLimitMs, &text, &gone)) return {};
    return MidiWriteResult::Failure(midi_error::kError, text, gone);
  }

 private:
  std::shared_ptr<SerialLine> line_;
};

}  // namespace

MidiPortPair AddComPort(MidiPortSet& ports, const std::string& name) {
  auto line = std::make_shared<SerialLine>(name);
  MidiPortPair added;
  added.input = ports.AddInput(std::make_unique<ComMidiInput>(line));
  added.output = ports.AddOutput(std::make_unique<WriterOutput>(ShortPortName(name), std::make_unique<ComWire>(line)));
  return added;
}

}  // namespace w32
