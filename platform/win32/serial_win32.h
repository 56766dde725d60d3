// A serial port (COM1, COM3, ...) or another byte-stream device as one
// line both MIDI ports of it share: Windows opens a COM port once, so the
// input and the output hold it together. Without <windows.h>, for the
// port set and the tests; results are the MIDI API's error numbers.
//
// The line is opened with overlapped I/O, so that a read waiting for the
// next byte never holds up a write; it is set to raw 8-bit bytes without
// flow control, at MIDI's 31,250 baud: a port that refuses that rate or
// rounds it by more than a UART tolerates (many UARTs and USB-serial
// drivers do) is not opened, as nothing would reach the other end; one
// that tells no rate at all is. The settings it had are put back when the
// last user lets go. A device unplugged while open is named as removed.
// The few calls tests replace come from a table (CommCalls).
//
// Its MIDI ports (--midi-device COM3, the counterpart of platform/midi/rawdev
// on Linux): an input whose reader thread hands every byte read to the port
// set's sink until the device goes away, and a WriterOutput whose message
// fails when the device takes no byte for kStallLimitMs, instead of hanging.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/midi/ports.h"

namespace w32 {

struct CommCalls;
// The system's own.
const CommCalls& SystemComm();

class SerialLine {
 public:
  explicit SerialLine(std::string name, const CommCalls& calls = SystemComm());
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  const std::string& Name() const { return name_; }
  // Opens the line for its first user; 0 or an error number, with `text`.
  unsigned Acquire(std::string* text);
  // Closes it when its last user lets go.
  void Release();

  // Waits for bytes and reads what has come: the count, 0 once
  // InterruptRead was called, -1 on failure (with `text`).
  long Read(uint8_t* buffer, size_t size, std::string* text);
  // Ends a Read under way, and every later one until ResumeReading.
  void InterruptRead();
  void ResumeReading();

  // Writes all of `data`; false (with `text`) on failure, or when no byte
  // was taken for `stallMs`; `gone` is set when the device went away.
  bool Write(const uint8_t* data, size_t size, unsigned stallMs, std::string* text, bool* gone);

 private:
  // A failed read or write in words; a device that went away is named so.
  std::string FailureText(const char* what, unsigned long error) const;
  // Runs one overlapped read-side operation to its end or to an interrupt.
  bool Overlapped(std::string* text, unsigned long* transferred, const std::function<int(void*)>& start);

  struct State;
  const std::string name_;
  std::unique_ptr<State> state_;
};

constexpr unsigned kStallLimitMs = 10000;

// Adds the input and the output on device `name` at the end of the lists,
// both named by it.
MidiPortPair AddComPort(MidiPortSet& ports, const std::string& name);

}  // namespace w32
