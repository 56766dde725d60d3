// The system's MIDI ports through RtMidi (the ALSA sequencer on Linux).
//
// Implements:
// - the port lists: an input and an output device for every port RtMidi
//   names; none, quietly, when the system has no MIDI service (RtMidi
//   throws, or on Linux there is no sequencer device to open);
// - port names fitted to 31 characters: a name that is longer keeps its
//   sequencer address (" 24:1") at the end, so that the ports of one
//   interface stay apart in the MIDI dialog;
// - open and close by name (the port's index may have moved since the list
//   was made; a sequencer address that changed because the interface was
//   plugged in again still finds the port when its name does);
// - input: System Exclusive let through (ignoreTypes(false, true, true));
//   the bytes of every message RtMidi hands over go to the port set's sink,
//   which frames them;
// - output: a PacedOutputDevice over RtMidiFragmentPort: messages go out in
//   256-byte pieces no faster than the wire, from a writer thread, and a
//   warning or error from RtMidi's error callback ends the message and
//   fails the next send with RtMidi's own text.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi/paced_output.h"
#include "platform/midi/ports.h"

class RtMidiIn;
class RtMidiOut;

namespace rtmidiports {

// The names of RtMidi's input (or output) ports; none when RtMidi cannot
// reach a MIDI service.
std::vector<std::string> ListPorts(bool input);

// Adds RtMidi's input and output ports at the end of the lists.
void RegisterRtMidiPorts(MidiPortSet& ports);

// `name` fitted to a port name of 31 characters (see above).
std::string FitPortName(const std::string& name);

// What RtMidi's error callback reported during a call, for the thread that
// made the call to pick up.
class ErrorCatcher {
 public:
  void Clear();
  // Warnings and errors; debugging notes are ignored.
  void Report(int type, const std::string& text);
  // The first report since Clear(), or "".
  std::string Take();

 private:
  std::mutex mutex_;
  std::string text_;
};

class RtMidiInputDevice : public MidiInputDevice {
 public:
  explicit RtMidiInputDevice(std::string portName);
  ~RtMidiInputDevice() override;
  std::string Name() const override { return FitPortName(portName_); }
  UINT Open(MidiByteSink sink) override;
  void Close() override;
  std::string ErrorText(UINT error) const override;

 private:
  static void OnMessage(double stamp, std::vector<unsigned char>* message, void* self);
  UINT Fail(UINT error, std::string text);

  const std::string portName_;
  std::unique_ptr<RtMidiIn> in_;
  ErrorCatcher errors_;
  std::mutex sinkMutex_;
  MidiByteSink sink_;
  MidiWriteResult openError_;
};

class RtMidiFragmentPort : public FragmentPort {
 public:
  explicit RtMidiFragmentPort(std::string portName);
  ~RtMidiFragmentPort() override;
  MidiWriteResult Open() override;
  void Close() override;
  MidiWriteResult SendPiece(const BYTE* data, size_t size) override;

 private:
  const std::string portName_;
  std::unique_ptr<RtMidiOut> out_;
  ErrorCatcher errors_;
};

// An output device on RtMidi's port `portName`.
std::unique_ptr<MidiOutputDevice> MakeOutputDevice(const std::string& portName);

}  // namespace rtmidiports
