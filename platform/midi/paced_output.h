// Output to a port that cannot be trusted with a whole long message at once
// (RtMidi on the ALSA sequencer: a 16 KiB library buffer and a 4 KB driver
// buffer, with failures only warned about; WinMM: a USB-MIDI driver sends as
// fast as USB allows and cheap interfaces drop bytes), so a message goes out
// in pieces no faster than the MIDI wire carries them.
//
// Implements:
// - SysexPacer: splits a message into pieces of one fixed size (every piece
//   but the last exactly kFragmentBytes, so the port's encoder sends each one
//   as it comes) and hands them over so that the bytes never go faster than
//   the wire: a piece of n bytes is followed by at least n / 3125 s of quiet,
//   across message boundaries too; a message of one piece goes at once when
//   the wire is free; a piece the port refuses ends the message there;
// - PaceClock: the time the pacer reads and sleeps by, replaceable in tests;
// - FragmentPort: the port side (open, close, one piece);
// - PacedOutputDevice: a MidiOutputDevice whose writer thread (see
//   output_writer.h) paces every message through a FragmentPort.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/midi/output_writer.h"
#include "platform/midi/ports.h"

// Bytes a second on a MIDI cable: 31,250 baud, 10 bits a byte.
constexpr uint32_t kWireBytesPerSecond = 3125;
constexpr size_t kFragmentBytes = 256;

class PaceClock {
 public:
  virtual ~PaceClock() = default;
  // A monotonic time.
  virtual std::chrono::microseconds Now() = 0;
  virtual void SleepUntil(std::chrono::microseconds when) = 0;
};

class SteadyPaceClock : public PaceClock {
 public:
  std::chrono::microseconds Now() override;
  void SleepUntil(std::chrono::microseconds when) override;
};

class SysexPacer {
 public:
  using PieceSink = std::function<MidiWriteResult(const uint8_t* data, size_t size)>;

  explicit SysexPacer(PaceClock& clock, size_t pieceBytes = kFragmentBytes,
                      uint32_t bytesPerSecond = kWireBytesPerSecond);

  // Hands `data` to `sink` piece by piece; the first failure ends the
  // message and is returned.
  MidiWriteResult Send(const uint8_t* data, size_t size, const PieceSink& sink);

 private:
  std::chrono::microseconds WireTime(size_t bytes) const;

  PaceClock& clock_;
  const size_t pieceBytes_;
  const uint32_t bytesPerSecond_;
  bool wireUsed_ = false;
  std::chrono::microseconds wireFree_{0};  // the last piece has left by then
};

class FragmentPort {
 public:
  virtual ~FragmentPort() = default;
  virtual MidiWriteResult Open() = 0;
  virtual void Close() = 0;
  // Sends one piece of a message; called on the writer thread.
  virtual MidiWriteResult SendPiece(const uint8_t* data, size_t size) = 0;
};

class PacedOutputDevice : public MidiOutputDevice {
 public:
  PacedOutputDevice(std::string name, std::unique_ptr<FragmentPort> port,
                    std::shared_ptr<PaceClock> clock = std::make_shared<SteadyPaceClock>());
  std::string Name() const override { return name_; }
  MidiResult Open(SentReport report) override { return writer_.Open(std::move(report)); }
  void Close() override { writer_.Close(); }
  MidiResult Send(const uint8_t* data, size_t size) override { return writer_.Send(data, size); }

  // True once every message handed over has gone out, within `timeout`.
  bool WaitUntilSent(std::chrono::milliseconds timeout) { return writer_.WaitUntilIdle(timeout); }

 private:
  const std::string name_;
  std::unique_ptr<FragmentPort> port_;
  std::shared_ptr<PaceClock> clock_;
  SysexPacer pacer_;
  MidiOutputWriter writer_;  // last: its thread stops before the rest goes
};
