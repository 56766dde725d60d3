// The writer thread behind every threaded MIDI output (system ports, raw
// devices, COM ports, WinMM), and the pacing of output that cannot be
// trusted with a whole long message at once.
//
// WriterOutput, a MidiOutputDevice over an OutputWire:
// - Send queues a copy of the message and returns at once, so that a
//   42-second block never freezes the window; the writer thread puts the
//   queued messages on the wire one after the other, in order;
// - Close while messages are queued: the wire is closed only once they
//   have gone out (a message handed over is never cut), and an Open before
//   that keeps the wire and sends later messages after them;
// - a report for every message taken, once it has been put on the wire or
//   could not be, to the report given to Open;
// - a failed message: the messages queued behind it are dropped (they
//   belong to a sequence that is already broken; each is reported failed),
//   and, when no report was given, the next Send is refused with the error
//   and its text; a fatal error (the device is gone) refuses every Send
//   until the device is opened again;
// - destruction: the queue goes out first, then the wire is closed.
//
// FragmentPort, a wire for RtMidi on the ALSA sequencer (a 16 KiB library
// buffer and a 4 KB driver buffer, failures only warned about): SysexPacer
// splits a message into pieces of kFragmentBytes (every piece but the last
// exactly that size, so the port's encoder sends each one as it comes) and
// hands them over no faster than the wire: a piece of n bytes is followed
// by at least n / 3125 s of quiet, across message boundaries too; a piece
// the port refuses ends the message there. WinMM paces the same way: a
// USB-MIDI driver sends as fast as USB allows and cheap interfaces drop
// bytes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/midi/ports.h"

// The outcome of putting bytes on the wire or opening a device (the text:
// the device's own words, "" for the generic words).
struct MidiWriteResult : MidiResult {
  bool fatal = false;  // unusable until closed and opened again

  static MidiWriteResult Failure(uint32_t error, std::string text, bool fatal = false) {
    MidiWriteResult result;
    result.error = error;
    result.text = std::move(text);
    result.fatal = fatal;
    return result;
  }
};

class OutputWire {
 public:
  virtual ~OutputWire() = default;
  // Called on the thread calling Open().
  virtual MidiWriteResult Open() = 0;
  // Called on either thread, never while a Put is under way.
  virtual void Close() = 0;
  // Puts one whole message on the wire; called on the writer thread only.
  virtual MidiWriteResult Put(const uint8_t* data, size_t size) = 0;
  // Looks at the open device before a message is queued (one that has gone
  // away refuses it at once); must not block.
  virtual MidiWriteResult Probe() { return {}; }
};

class WriterOutput : public MidiOutputDevice {
 public:
  // Bytes that may wait in the queue; a Send beyond that is refused.
  static constexpr size_t kMaxQueuedBytes = 8 << 20;

  WriterOutput(std::string name, std::unique_ptr<OutputWire> wire, size_t maxQueuedBytes = kMaxQueuedBytes);
  ~WriterOutput() override;
  WriterOutput(const WriterOutput&) = delete;
  WriterOutput& operator=(const WriterOutput&) = delete;

  std::string Name() const override { return name_; }
  MidiResult Open(SentReport report) override;
  void Close() override;
  MidiResult Send(const uint8_t* data, size_t size) override;

  // True once nothing is queued or being sent, within `timeout`.
  bool WaitUntilIdle(std::chrono::milliseconds timeout);

 private:
  void Run();
  bool IdleLocked() const { return queue_.empty() && !busy_; }
  void CloseWireLocked();

  const std::string name_;
  std::unique_ptr<OutputWire> wire_;
  const size_t maxQueuedBytes_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;      // the writer: work, close or stop
  std::condition_variable idleCv_;    // waiters: the queue went out
  std::deque<std::vector<uint8_t>> queue_;
  size_t queuedBytes_ = 0;
  bool busy_ = false;           // a message is being put on the wire
  bool wireOpen_ = false;
  bool closeWhenIdle_ = false;  // Close() came while messages were queued
  bool stopping_ = false;
  MidiWriteResult failure_;     // from the writer, not yet reported
  SentReport sentReport_;
  std::thread thread_;
};

// Bytes a second on a MIDI cable: 31,250 baud, 10 bits a byte.
constexpr uint32_t kWireBytesPerSecond = 3125;
constexpr size_t kFragmentBytes = 256;

// The time the pacer reads and sleeps by, replaceable in tests.
class PaceClock {
 public:
  virtual ~PaceClock() = default;
  // A monotonic time.
  virtual std::chrono::microseconds Now() = 0;
  virtual void SleepUntil(std::chrono::microseconds when) = 0;
};

// The system's steady clock.
PaceClock& SteadyPaceClock();

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

// A wire whose messages go out in paced pieces.
class FragmentPort : public OutputWire {
 public:
  explicit FragmentPort(PaceClock& clock = SteadyPaceClock()) : pacer_(clock) {}
  MidiWriteResult Put(const uint8_t* data, size_t size) final {
    return pacer_.Send(data, size, [this](const uint8_t* piece, size_t n) { return SendPiece(piece, n); });
  }
  // Sends one piece of a message; called on the writer thread.
  virtual MidiWriteResult SendPiece(const uint8_t* data, size_t size) = 0;

 private:
  SysexPacer pacer_;
};
