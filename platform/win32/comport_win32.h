// MIDI ports on serial ports and other byte-stream devices on Windows
// (--midi-device COM3): the counterpart of platform/midi/rawdev on Linux.
//
// Implements:
// - one input and one output port per device name, both named by it, both
//   on one w32::SerialLine (Windows opens a COM port once);
// - input: a reader thread hands every byte read to the port set's sink;
//   a device that goes away stops the reader;
// - output: a MidiOutputWriter thread, so a long message never holds up
//   the window; a device that takes no byte for kStallLimit fails the
//   message instead of hanging.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/midi/output_writer.h"
#include "platform/midi/ports.h"

namespace w32 {
class SerialLine;
}

namespace comport {

constexpr std::chrono::milliseconds kStallLimit{10000};

class ComMidiInput : public MidiInputDevice {
 public:
  explicit ComMidiInput(std::shared_ptr<w32::SerialLine> line);
  ~ComMidiInput() override;
  std::string Name() const override;
  MidiResult Open(MidiByteSink sink) override;
  void Close() override;

 private:
  void Read(const MidiByteSink& sink);

  std::shared_ptr<w32::SerialLine> line_;
  std::thread reader_;
};

class ComMidiOutput : public MidiOutputDevice {
 public:
  explicit ComMidiOutput(std::shared_ptr<w32::SerialLine> line, std::chrono::milliseconds stallLimit = kStallLimit);
  ~ComMidiOutput() override;
  std::string Name() const override;
  MidiResult Open(SentReport report) override { return writer_.Open(std::move(report)); }
  void Close() override { writer_.Close(); }
  MidiResult Send(const uint8_t* data, size_t size) override { return writer_.Send(data, size); }

 private:
  std::shared_ptr<w32::SerialLine> line_;
  const std::chrono::milliseconds stallLimit_;
  MidiOutputWriter writer_;
};


// Adds the input and the output on device `name` at the end of the lists.
MidiPortPair AddComPort(MidiPortSet& ports, const std::string& name);

}  // namespace comport
