#include "platform/midi/output_writer.h"

#include <algorithm>
#include <utility>

WriterOutput::WriterOutput(std::string name, std::unique_ptr<OutputWire> wire, size_t maxQueuedBytes)
    : name_(std::move(name)), wire_(std::move(wire)), maxQueuedBytes_(maxQueuedBytes) {}

WriterOutput::~WriterOutput() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  // The writer finishes what was handed over before it stops: the program
  // ending is no reason to leave the device with half a message.
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  CloseWireLocked();
}

MidiResult WriterOutput::Open(SentReport report) {
  std::lock_guard<std::mutex> lock(mutex_);
  closeWhenIdle_ = false;
  sentReport_ = std::move(report);
  if (wireOpen_ && failure_.fatal) {
    // Broken for good: try it afresh, once the writer has let go of it.
    if (!IdleLocked()) return failure_;
    CloseWireLocked();
  }
  if (!wireOpen_) {
    failure_ = MidiWriteResult();
    const MidiWriteResult opened = wire_->Open();
    if (!opened.Ok()) return opened;
    wireOpen_ = true;
  }
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  return {};
}

void WriterOutput::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!wireOpen_) return;
  if (IdleLocked()) {
    CloseWireLocked();
    return;
  }
  closeWhenIdle_ = true;
}

MidiResult WriterOutput::Send(const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!wireOpen_ || closeWhenIdle_) return {midi_error::kInvalidHandle, ""};
  if (data == nullptr || size == 0) return {midi_error::kInvalidParam, ""};
  if (!failure_.Ok()) {
    const MidiWriteResult failure = failure_;
    if (!failure.fatal) failure_ = MidiWriteResult();
    return failure;
  }
  const MidiWriteResult probed = wire_->Probe();
  if (probed.fatal) failure_ = probed;
  if (!probed.Ok()) return probed;
  if (size > maxQueuedBytes_ - queuedBytes_)
    return {midi_error::kNotReady, "Too many MIDI messages are waiting to be sent."};
  queue_.emplace_back(data, data + size);
  queuedBytes_ += size;
  wake_.notify_all();
  return {};
}

bool WriterOutput::WaitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idleCv_.wait_for(lock, timeout, [this] { return IdleLocked(); });
}

void WriterOutput::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;  // stopping, and everything went out
    std::vector<uint8_t> message = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= message.size();
    busy_ = true;
    lock.unlock();
    const MidiWriteResult result = wire_->Put(message.data(), message.size());
    lock.lock();
    busy_ = false;
    size_t dropped = 0;
    if (!result.Ok()) {
      // Reported to whoever wants reports; kept for the next Send otherwise,
      // and always when the device has gone.
      if (!sentReport_ || result.fatal) failure_ = result;
      dropped = queue_.size();
      queue_.clear();
      queuedBytes_ = 0;
    }
    const SentReport report = sentReport_;
    if (report) {
      lock.unlock();
      for (size_t i = 0; i <= dropped; ++i) report(result);
      lock.lock();
    }
    if (IdleLocked()) {
      if (closeWhenIdle_) CloseWireLocked();
      idleCv_.notify_all();
    }
  }
}

void WriterOutput::CloseWireLocked() {
  closeWhenIdle_ = false;
  if (!wireOpen_) return;
  wire_->Close();
  wireOpen_ = false;
}

PaceClock& SteadyPaceClock() {
  class Steady : public PaceClock {
   public:
    std::chrono::microseconds Now() override {
      return std::chrono::duration_cast<std::chrono::microseconds>(
          std::chrono::steady_clock::now().time_since_epoch());
    }
    void SleepUntil(std::chrono::microseconds when) override {
      std::this_thread::sleep_until(std::chrono::steady_clock::time_point(when));
    }
  };
  // Never destroyed: a writer thread may still pace by it while the
  // program's statics go.
  static Steady* const clock = new Steady;
  return *clock;
}

SysexPacer::SysexPacer(PaceClock& clock, size_t pieceBytes, uint32_t bytesPerSecond)
    : clock_(clock), pieceBytes_(std::max<size_t>(pieceBytes, 1)), bytesPerSecond_(std::max<uint32_t>(bytesPerSecond, 1)) {}

std::chrono::microseconds SysexPacer::WireTime(size_t bytes) const {
  // Rounded up: a pause never comes out shorter than the wire needs.
  const uint64_t us = (static_cast<uint64_t>(bytes) * 1000000 + bytesPerSecond_ - 1) / bytesPerSecond_;
  return std::chrono::microseconds(us);
}

MidiWriteResult SysexPacer::Send(const uint8_t* data, size_t size, const PieceSink& sink) {
  for (size_t offset = 0; offset < size; offset += pieceBytes_) {
    const size_t piece = std::min(pieceBytes_, size - offset);
    if (wireUsed_ && clock_.Now() < wireFree_) clock_.SleepUntil(wireFree_);
    // Timed from the hand-over itself, so a late wake-up is never made up
    // by a burst.
    const std::chrono::microseconds handedOver = clock_.Now();
    MidiWriteResult result = sink(data + offset, piece);
    // A refused piece may have gone out in part: the wire counts it too.
    wireUsed_ = true;
    wireFree_ = handedOver + WireTime(piece);
    if (!result.Ok()) return result;
  }
  return {};
}
