// The system's MIDI ports through WinMM, as byte devices for a MidiPortSet.
// Without <windows.h>, for the port set and the tests; results are
// WinMM's error numbers.
//
// Implements:
// - input: the port opened with a callback function; kInputBuffers
//   buffers of the longest reply's size prepared and added before
//   midiInStart; every returned buffer (MIM_LONGDATA, dwBytesRecorded) and
//   every short message (MIM_DATA) is passed on as bytes by a service
//   thread, which adds the buffer again: the callback itself only queues
//   and signals, as WinMM asks of it. A System Exclusive message longer than
//   one buffer goes on in the next; the port set's framer joins the bytes.
//   Closing resets the port: the buffers it returns, filled or not, are no
//   message and are dropped, then unprepared;
// - output: a long message (System Exclusive, or a piece of one) goes to
//   midiOutLongMsg from a copy of its own, other messages to
//   midiOutShortMsg; the call returns once the driver has marked the header
//   done (MOM_DONE), so that nothing cuts it; a driver that never does fails
//   the message;
// - no buffer or header is freed while the driver may still own it: one
//   whose unprepare fails is tried again later, and never freed if the
//   port closes first;
// - port names from the capabilities, in UTF-8.
// The WinMM functions come from a table (WinMmCalls), so that tests can put
// a double with the same contracts in its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace w32 {

struct WinMmCalls;
// The table of the real WinMM functions.
const WinMmCalls& SystemWinMm();

unsigned WinMmInputCount(const WinMmCalls& mm);
unsigned WinMmOutputCount(const WinMmCalls& mm);

constexpr size_t kInputBuffers = 4;
// The longest reply: a 64 KB block carried in 7-bit pairs, with its header.
constexpr size_t kInputBufferBytes = 0x20400;

using ByteSink = std::function<void(const uint8_t* data, size_t size)>;

// A channel or system common message, sent with midiOutShortMsg.
bool IsShortMessage(const uint8_t* data, size_t size);

class WinMmInput {
 public:
  WinMmInput(const WinMmCalls& mm, unsigned id);
  ~WinMmInput();
  WinMmInput(const WinMmInput&) = delete;
  WinMmInput& operator=(const WinMmInput&) = delete;

  std::string Name() const;
  // Opens and starts the port; `sink` is called from the service thread.
  // An error comes with WinMM's text for it.
  unsigned Open(ByteSink sink, std::string* text);
  void Close();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

class WinMmOutput {
 public:
  WinMmOutput(const WinMmCalls& mm, unsigned id);
  ~WinMmOutput();
  WinMmOutput(const WinMmOutput&) = delete;
  WinMmOutput& operator=(const WinMmOutput&) = delete;

  std::string Name() const;
  unsigned Open(std::string* text);
  void Close();
  // Sends a channel or system common message of at most three bytes.
  unsigned PutShort(const uint8_t* data, size_t size, std::string* text);
  // Hands `size` bytes to the driver as one long message and waits until
  // it is done with them, at most their time on the wire twice over and
  // `graceMs`.
  unsigned PutLong(const uint8_t* data, size_t size, unsigned graceMs, std::string* text);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace w32
