// The writer thread behind a system MIDI output.
//
// Implements:
// - Send: queues a copy of the message and returns at once, so that a
//   42-second block never freezes the window; a writer thread puts the
//   queued messages on the wire one after the other, in order;
// - Close while messages are queued: the device is closed only once they
//   have gone out (a message handed over is never cut), and an Open before
//   that keeps the device and sends later messages after them;
// - a report for every message taken, once it has been put on the wire or
//   could not be, to the report given to Open;
// - a failed message: the messages queued behind it are dropped (they
//   belong to a sequence that is already broken; each is reported failed),
//   and, when no report was given, the next Send is refused with the error
//   and its text; a fatal error (the device is gone) refuses every Send
//   until the device is opened again;
// - destruction: the queue goes out first, then the device is closed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/seam.h"

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

class MidiOutputWriter {
 public:
  struct Hooks {
    // Opens the device; called on the thread calling Open().
    std::function<MidiWriteResult()> open;
    // Closes it; called on either thread, never while a put is under way.
    std::function<void()> close;
    // Puts one whole message on the wire; called on the writer thread only.
    std::function<MidiWriteResult(const uint8_t* data, size_t size)> put;
    // Optional: looks at the open device before a message is queued (one
    // that has gone away refuses it at once); must not block.
    std::function<MidiWriteResult()> probe;
  };

  // Bytes that may wait in the queue; a Send beyond that is refused.
  static constexpr size_t kMaxQueuedBytes = 8 << 20;

  explicit MidiOutputWriter(Hooks hooks, size_t maxQueuedBytes = kMaxQueuedBytes);
  ~MidiOutputWriter();
  MidiOutputWriter(const MidiOutputWriter&) = delete;
  MidiOutputWriter& operator=(const MidiOutputWriter&) = delete;

  // `report` (may be empty) is called from the writer thread for each
  // message taken by Send, in order.
  using SentReport = std::function<void(const MidiResult& result)>;
  MidiResult Open(SentReport report);
  void Close();
  MidiResult Send(const uint8_t* data, size_t size);

  // True once nothing is queued or being sent, within `timeout`.
  bool WaitUntilIdle(std::chrono::milliseconds timeout);

 private:
  void Run();
  bool IdleLocked() const { return queue_.empty() && !busy_; }
  void CloseDeviceLocked();

  Hooks hooks_;
  const size_t maxQueuedBytes_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;      // the writer: work, close or stop
  std::condition_variable idleCv_;    // waiters: the queue went out
  std::deque<std::vector<uint8_t>> queue_;
  size_t queuedBytes_ = 0;
  bool busy_ = false;           // a message is being put on the wire
  bool deviceOpen_ = false;
  bool closeWhenIdle_ = false;  // Close() came while messages were queued
  bool stopping_ = false;
  MidiWriteResult failure_;     // from the writer, not yet reported
  SentReport sentReport_;
  std::thread thread_;
};
