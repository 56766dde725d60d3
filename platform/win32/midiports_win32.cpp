#include "platform/win32/midiports_win32.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/midi/system_ports.h"
#include "platform/win32/comport_win32.h"

namespace {

// Beyond a message's own time on the wire, how long a driver may take.
constexpr unsigned kDriverGraceMs = 10000;

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

MidiWriteResult WriteResult(uint32_t error, const std::string& text) {
  return error == midi_error::kNone ? MidiWriteResult() : MidiWriteResult::Failure(error, text);
}

}  // namespace

MidiResult WinMmInputDevice::Open(MidiByteSink sink) {
  MidiResult result;
  result.error = port_.Open(std::move(sink), &result.text);
  return result;
}

WinMmOutputDevice::WinMmOutputDevice(const w32::WinMmCalls& mm, uint32_t id, std::shared_ptr<PaceClock> clock)
    : port_(mm, id),
      clock_(std::move(clock)),
      pacer_(*clock_),
      writer_({[this] {
                 std::string text;
                 const uint32_t error = port_.Open(&text);
                 return WriteResult(error, text);
               },
               [this] { port_.Close(); }, [this](const uint8_t* data, size_t size) { return Put(data, size); },
               nullptr}) {}

MidiWriteResult WinMmOutputDevice::Put(const uint8_t* data, size_t size) {
  // Short messages share the wire with the pieces, so they are paced too.
  const bool isShort = w32::IsShortMessage(data, size);
  return pacer_.Send(data, size, [this, isShort](const uint8_t* piece, size_t n) {
    std::string text;
    const uint32_t error = isShort ? port_.PutShort(piece, n, &text) : port_.PutLong(piece, n, kDriverGraceMs, &text);
    return WriteResult(error, text);
  });
}

void RegisterWinMmPorts(MidiPortSet& ports, const w32::WinMmCalls& mm, const std::shared_ptr<PaceClock>& clock) {
  for (uint32_t id = 0, n = w32::WinMmInputCount(mm); id < n; ++id)
    ports.AddInput(std::make_unique<WinMmInputDevice>(mm, id));
  for (uint32_t id = 0, n = w32::WinMmOutputCount(mm); id < n; ++id)
    ports.AddOutput(std::make_unique<WinMmOutputDevice>(mm, id, clock));
}

void RegisterSystemPorts(MidiPortSet& ports, const std::vector<std::string>& devicePaths) {
  RegisterWinMmPorts(ports);
  // Windows' device names know no case: COM3 and com3 are one port.
  std::set<std::string> added;
  for (const std::string& path : devicePaths)
    if (!path.empty() && added.insert(Upper(path)).second) comport::AddComPort(ports, path);
}
