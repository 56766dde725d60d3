// The system's MIDI ports through RtMidi (the ALSA sequencer on Linux),
// reached through its module (rtmidi_client.h).
//
// Implements:
// - the port lists: an input and an output device for every port RtMidi
//   names; none, quietly, when the system has no MIDI service (RtMidi
//   throws, or on Linux there is no sequencer device to open, and then
//   the module is not even loaded); none, with a line on stderr saying why,
//   when the module or RtMidi cannot be loaded;
// - port names fitted to 31 characters: a name that is longer keeps its
//   sequencer address (" 24:1") at the end, so that the ports of one
//   interface stay apart in the MIDI dialog;
// - open and close by name (the port's index may have moved since the list
//   was made; a sequencer address that changed because the interface was
//   plugged in again still finds the port when its name does);
// - input: System Exclusive let through (ignoreTypes(false, true, true));
//   the bytes of every message RtMidi hands over go to the port set's sink,
//   which frames them;
// - output: a WriterOutput over a FragmentPort: messages go out in 256-byte
//   pieces no faster than the wire, from a writer thread, and a warning or
//   error from RtMidi's error callback ends the message and fails the next
//   send with RtMidi's own text.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi/output_writer.h"
#include "platform/midi/ports.h"
#include "platform/midi/rtmidi/rtmidi_client.h"

namespace rtmidiports {

// The names of RtMidi's input (or output) ports; none when RtMidi cannot
// reach a MIDI service.
std::vector<std::string> ListPorts(bool input);

// Adds RtMidi's input and output ports at the end of the lists.
void RegisterRtMidiPorts(MidiPortSet& ports);

// `name` fitted to a port name of 31 characters (see above).
std::string FitPortName(const std::string& name);

class RtMidiInputDevice : public MidiInputDevice {
 public:
  explicit RtMidiInputDevice(std::string portName);
  ~RtMidiInputDevice() override;
  std::string Name() const override { return FitPortName(portName_); }
  MidiResult Open(MidiByteSink sink) override;
  void Close() override;

 private:
  void Receive(const unsigned char* data, size_t size);

  const std::string portName_;
  std::unique_ptr<Client> in_;
  std::mutex sinkMutex_;
  MidiByteSink sink_;
};

// An output device on RtMidi's port `portName`.
std::unique_ptr<MidiOutputDevice> MakeOutputDevice(const std::string& portName);

}  // namespace rtmidiports
