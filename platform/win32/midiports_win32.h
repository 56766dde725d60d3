// The system's MIDI ports on Windows as port devices of a MidiPortSet: the
// WinMM ports (platform/win32/winmm_win32.h), each output behind a
// MidiOutputWriter thread, so that a 42-second block never freezes the
// window, whose System Exclusive messages go to the driver in pieces paced
// at the wire rate (platform/midi/paced_output.h): the USB-MIDI class driver
// sends as fast as USB allows, and cheap interfaces drop bytes; and, through
// RegisterSystemPorts (platform/midi/system_ports.h), the WinMM ports
// followed by the COM ports given with --midi-device.
#pragma once

#include <memory>
#include <string>

#include "platform/midi/output_writer.h"
#include "platform/midi/paced_output.h"
#include "platform/midi/ports.h"
#include "platform/win32/winmm_win32.h"

class WinMmInputDevice : public MidiInputDevice {
 public:
  WinMmInputDevice(const w32::WinMmCalls& mm, uint32_t id) : port_(mm, id) {}
  std::string Name() const override { return port_.Name(); }
  MidiResult Open(MidiByteSink sink) override;
  void Close() override { port_.Close(); }

 private:
  w32::WinMmInput port_;
};

class WinMmOutputDevice : public MidiOutputDevice {
 public:
  WinMmOutputDevice(const w32::WinMmCalls& mm, uint32_t id, std::shared_ptr<PaceClock> clock);
  std::string Name() const override { return port_.Name(); }
  MidiResult Open(SentReport report) override { return writer_.Open(std::move(report)); }
  void Close() override { writer_.Close(); }
  MidiResult Send(const uint8_t* data, size_t size) override { return writer_.Send(data, size); }

 private:
  MidiWriteResult Put(const uint8_t* data, size_t size);

  w32::WinMmOutput port_;
  std::shared_ptr<PaceClock> clock_;
  SysexPacer pacer_;
  MidiOutputWriter writer_;  // last: its thread stops before the rest goes
};

// Adds every WinMM input and output port, in WinMM's order.
void RegisterWinMmPorts(MidiPortSet& ports, const w32::WinMmCalls& mm = w32::SystemWinMm(),
                        const std::shared_ptr<PaceClock>& clock = std::make_shared<SteadyPaceClock>());
