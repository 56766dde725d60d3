// The system's MIDI ports through WinMM, as port devices of a MidiPortSet.
// Without <windows.h>, for the port set and the tests.
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
// - output: the wire of a WriterOutput, so that a 42-second block never
//   freezes the window; messages paced at the wire rate (output_writer.h),
//   short ones too, as they share the wire. A long message (System
//   Exclusive, or a piece of one) goes to midiOutLongMsg from a copy of its
//   own, other messages to midiOutShortMsg; the call returns once the
//   driver has marked the header done (MOM_DONE), so that nothing cuts it;
//   a driver that never does fails the message;
// - no buffer or header is freed while the driver may still own it: one
//   whose unprepare fails is tried again later, and never freed if the
//   port closes first;
// - port names from the capabilities, in UTF-8; results with WinMM's error
//   numbers and texts.
// The WinMM functions come from a table (WinMmCalls), so that tests can put
// a double with the same contracts in its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi/output_writer.h"
#include "platform/midi/ports.h"

namespace w32 {

struct WinMmCalls;
// The table of the real WinMM functions.
const WinMmCalls& SystemWinMm();

constexpr size_t kInputBuffers = 4;
// The longest reply: a 64 KB block carried in 7-bit pairs, with its header.
constexpr size_t kInputBufferBytes = 0x20400;

class WinMmInput : public MidiInputDevice {
 public:
  WinMmInput(const WinMmCalls& mm, unsigned id);
  ~WinMmInput() override;
  WinMmInput(const WinMmInput&) = delete;
  WinMmInput& operator=(const WinMmInput&) = delete;

  std::string Name() const override;
  // Opens and starts the port; `sink` is called from the service thread.
  MidiResult Open(MidiByteSink sink) override;
  void Close() override;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

class WinMmOutput : public OutputWire {
 public:
  WinMmOutput(const WinMmCalls& mm, unsigned id, PaceClock& clock = SteadyPaceClock());
  ~WinMmOutput() override;
  WinMmOutput(const WinMmOutput&) = delete;
  WinMmOutput& operator=(const WinMmOutput&) = delete;

  std::string Name() const;
  MidiWriteResult Open() override;
  void Close() override;
  MidiWriteResult Put(const uint8_t* data, size_t size) override;
  // Sends a channel or system common message of at most three bytes.
  MidiWriteResult PutShort(const uint8_t* data, size_t size);
  // Hands `size` bytes to the driver as one long message and waits until
  // it is done with them, at most their time on the wire twice over and
  // `graceMs`.
  MidiWriteResult PutLong(const uint8_t* data, size_t size, unsigned graceMs);

  struct State;

 private:
  std::unique_ptr<State> state_;
  SysexPacer pacer_;
};

// Adds every WinMM input and output port, in WinMM's order.
void RegisterWinMmPorts(MidiPortSet& ports, const WinMmCalls& mm = SystemWinMm(),
                        PaceClock& clock = SteadyPaceClock());

}  // namespace w32
