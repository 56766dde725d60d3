// The seam's MIDI ports over a list of port devices.
//
// A back end (Qt, headless, Win32) owns one MidiPortSet, registers the
// devices it finds (system ports, raw byte-stream devices, the simulated
// Kilnbox, in-memory test ports) and installs it as its MIDI part. Devices
// hand over received bytes and report messages sent from any thread; the
// port set frames the bytes and calls the handlers only in Deliver(), which
// the back end calls on the GUI thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/seam.h"

// Receives raw bytes from an input device; may be called from any thread.
using MidiByteSink = std::function<void(const uint8_t* data, size_t size)>;

// A failed result without words of its own gets these.
std::string MidiErrorText(uint32_t error);

class MidiInputDevice {
 public:
  virtual ~MidiInputDevice() = default;
  virtual std::string Name() const = 0;
  // Starts handing received bytes to `sink`.
  virtual MidiResult Open(MidiByteSink sink) = 0;
  // Stops calling the sink; no call may be under way when it returns.
  virtual void Close() = 0;
};

class MidiOutputDevice {
 public:
  virtual ~MidiOutputDevice() = default;
  virtual std::string Name() const = 0;
  // Every message Send takes from now on is reported to `report` (when it
  // is given), in order, once its last byte has left the device or once it
  // could not go out; from any thread, and also for a message taken before
  // a Close.
  using SentReport = std::function<void(const MidiResult& result)>;
  virtual MidiResult Open(SentReport report) = 0;
  virtual void Close() = 0;
  // Takes a whole message (System Exclusive or short); returns once it has
  // been handed over. A message handed over is never cut by a later Close;
  // later messages go out after it.
  virtual MidiResult Send(const uint8_t* data, size_t size) = 0;
};

// Where a device's two ports stand in the port lists.
struct MidiPortPair {
  uint32_t input = 0;
  uint32_t output = 0;
};

// A device's name as a port name: itself, or "..." and its end when it is
// longer than a port name may be (31 characters).
std::string ShortPortName(const std::string& device);

class MidiPortSet : public MidiPorts {
 public:
  MidiPortSet();
  ~MidiPortSet() override;
  MidiPortSet(const MidiPortSet&) = delete;
  MidiPortSet& operator=(const MidiPortSet&) = delete;

  // Adds a device at the end of its direction's list; returns its index.
  uint32_t AddInput(std::unique_ptr<MidiInputDevice> device);
  uint32_t AddOutput(std::unique_ptr<MidiOutputDevice> device);

  // Frames the bytes received, then hands each whole System Exclusive
  // message and each error to its input's handler and each message sent to
  // its output's handler, one at a time, until nothing is left. A handler
  // may run a nested message loop that calls Deliver again.
  // Call on the GUI thread only.
  void Deliver();
  // True when bytes or sent reports wait for Deliver(); safe from any thread.
  bool HasPendingInput() const;
  // Called (from any thread) whenever bytes or reports arrive, so that a
  // back end can wake its GUI thread; may be empty.
  void SetWakeup(std::function<void()> wakeup);

  // Called on the GUI thread for every message handed to an output device
  // and every complete message received on a listening input (whether or
  // not it is handed on); may be empty.
  using Monitor = std::function<void(bool outgoing, const uint8_t* data, size_t size)>;
  void SetMonitor(Monitor monitor);

  // The longest System Exclusive message an input frames; a longer one is
  // an error and its bytes are dropped.
  static constexpr size_t kMaxSysexBytes = 1 << 20;
  // Bytes an input keeps for Deliver(); beyond that, arriving bytes are
  // dropped and the message they belong to is an error.
  static constexpr size_t kMaxPendingBytes = 4 << 20;

  // The seam's MIDI operations.
  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  MidiResult OpenInput(const std::string& name, MidiInputHandler handler, PlatMidiPort** port) override;
  MidiResult OpenOutput(const std::string& name, MidiSentHandler sent, PlatMidiPort** port) override;
  MidiResult Listen(PlatMidiPort* input, bool listen) override;
  MidiResult Send(PlatMidiPort* output, const uint8_t* data, size_t size) override;
  MidiResult Close(PlatMidiPort* port) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
