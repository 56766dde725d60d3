// MIDI ports on byte-stream devices: ALSA raw MIDI nodes
// (/dev/snd/midiC*D*), serial ports and pseudo-terminals.
//
// Implements:
// - one input and one output port per device path, both named by the path
//   (its end when the path is longer than a port name may be);
// - the nodes found in /dev/snd, in card and device order, and the paths
//   given on the command line after them, each path once;
// - input: a reader thread hands every byte read to the port set's sink;
//   when the device goes away (EIO, ENODEV, end of file) the reader stops
//   and keeps the reason;
// - output: a WriterOutput with blocking writes, so the device's own
//   buffer paces the sender; a device that goes away fails the next Send
//   with its reason, and one that stops taking bytes for kStallLimit fails
//   the message instead of hanging;
// - terminals (serial ports, pseudo-terminals) are set raw: no echo, no
//   line editing, no character translation, no flow control; a serial
//   port gets the settings it had back when the last port on it closes; a
//   pseudo-terminal stays raw, because the program at its other end goes
//   on sending MIDI bytes, which a cooked line would echo back to it;
// - the line rate: a pseudo-terminal has none, so it is left alone; a
//   serial port is asked for MIDI's 31,250 baud as a custom rate (Linux
//   termios2), and keeps the rate it had when its driver refuses that or
//   cannot come within 2 % of it (a serial MIDI adapter that wants 38,400
//   must then be set up outside the program).
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/midi/output_writer.h"
#include "platform/midi/ports.h"

namespace rawdev {

// How long an output may take no byte at all before the message fails.
constexpr std::chrono::milliseconds kStallLimit{10000};

// The raw MIDI nodes (midiC<card>D<device>) in `dir`, in card and device
// order; none when the folder is missing.
std::vector<std::string> FindRawMidiNodes(const std::string& dir = "/dev/snd");

// Terminal settings shared by the ports of one path: the first port opened
// sets the line raw, the last one closed puts the old settings back.
class LineSettings;

class RawMidiInput : public MidiInputDevice {
 public:
  RawMidiInput(std::string path, std::shared_ptr<LineSettings> line);
  ~RawMidiInput() override;
  std::string Name() const override { return ShortPortName(path_); }
  MidiResult Open(MidiByteSink sink) override;
  void Close() override;

  // Why the reader stopped on its own since the last Open, or "".
  std::string Failure() const;

 private:
  void Read(MidiByteSink sink);
  void Fail(std::string reason);

  const std::string path_;
  std::shared_ptr<LineSettings> line_;
  int fd_ = -1;
  int wakeRead_ = -1;   // written by Close to stop the reader
  int wakeWrite_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::string failure_;
};

// The input and the output on one path, sharing its terminal settings.
struct RawDevice {
  std::unique_ptr<RawMidiInput> input;
  std::unique_ptr<WriterOutput> output;
};
RawDevice MakeRawDevice(const std::string& path, std::chrono::milliseconds stallLimit = kStallLimit);


// Adds the input and the output on `path` at the end of the lists.
MidiPortPair AddRawDevice(MidiPortSet& ports, const std::string& path);

// Adds the raw MIDI nodes found, then `paths`; a path already added (the
// same file by another name included) is not added again.
void RegisterRawDevices(MidiPortSet& ports, const std::vector<std::string>& paths);

// Sets a custom line rate on a serial port; false (and the rate as it was)
// when the driver refuses it or cannot come within 2 % of it.
bool SetCustomLineRate(int fd, unsigned baud);

}  // namespace rawdev
