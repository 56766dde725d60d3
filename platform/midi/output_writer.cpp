#include "platform/midi/output_writer.h"

#include <utility>

MidiOutputWriter::MidiOutputWriter(Hooks hooks, size_t maxQueuedBytes)
    : hooks_(std::move(hooks)), maxQueuedBytes_(maxQueuedBytes) {}

MidiOutputWriter::~MidiOutputWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  // The writer finishes what was handed over before it stops: the program
  // ending is no reason to leave the device with half a message.
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  CloseDeviceLocked();
}

MidiResult MidiOutputWriter::Open(SentReport report) {
  std::lock_guard<std::mutex> lock(mutex_);
  closeWhenIdle_ = false;
  sentReport_ = std::move(report);
  if (deviceOpen_ && failure_.fatal) {
    // Broken for good: try it afresh, once the writer has let go of it.
    if (!IdleLocked()) return failure_;
    CloseDeviceLocked();
  }
  if (!deviceOpen_) {
    failure_ = MidiWriteResult();
    const MidiWriteResult opened = hooks_.open();
    if (!opened.Ok()) return opened;
    deviceOpen_ = true;
  }
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  return {};
}

void MidiOutputWriter::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!deviceOpen_) return;
  if (IdleLocked()) {
    CloseDeviceLocked();
    return;
  }
  closeWhenIdle_ = true;
}

MidiResult MidiOutputWriter::Send(const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!deviceOpen_ || closeWhenIdle_) return {midi_error::kInvalidHandle, ""};
  if (data == nullptr || size == 0) return {midi_error::kInvalidParam, ""};
  if (!failure_.Ok()) {
    const MidiWriteResult failure = failure_;
    if (!failure.fatal) failure_ = MidiWriteResult();
    return failure;
  }
  if (hooks_.probe) {
    const MidiWriteResult probed = hooks_.probe();
    if (probed.fatal) failure_ = probed;
    if (!probed.Ok()) return probed;
  }
  if (size > maxQueuedBytes_ - queuedBytes_)
    return {midi_error::kNotReady, "Too many MIDI messages are waiting to be sent."};
  queue_.emplace_back(data, data + size);
  queuedBytes_ += size;
  wake_.notify_all();
  return {};
}

bool MidiOutputWriter::WaitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idleCv_.wait_for(lock, timeout, [this] { return IdleLocked(); });
}

void MidiOutputWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;  // stopping, and everything went out
    std::vector<uint8_t> message = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= message.size();
    busy_ = true;
    lock.unlock();
    const MidiWriteResult result = hooks_.put(message.data(), message.size());
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
      if (closeWhenIdle_) CloseDeviceLocked();
      idleCv_.notify_all();
    }
  }
}

void MidiOutputWriter::CloseDeviceLocked() {
  closeWhenIdle_ = false;
  if (!deviceOpen_) return;
  hooks_.close();
  deviceOpen_ = false;
}
