#include "platform/midi/memory_port.h"

#include <utility>

namespace midimem {

namespace {

// Takes a scripted failure (error and the device's own text), leaving none
// pending.
MidiResult TakeFailure(MidiResult& pending) { return std::exchange(pending, MidiResult()); }

}  // namespace

MidiResult MemoryInput::Open(MidiByteSink sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  const MidiResult failed = TakeFailure(failOpen_);
  if (!failed.Ok()) return failed;
  sink_ = std::move(sink);
  open_ = true;
  return {};
}

void MemoryInput::Close() {
  // Waits for a Feed under way on another thread.
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
  sink_ = nullptr;
}

bool MemoryInput::Feed(const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || !sink_) return false;
  sink_(data, size);
  return true;
}

bool MemoryInput::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

void MemoryInput::FailNextOpen(uint32_t error, std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  failOpen_ = {error, std::move(text)};
}

MidiResult MemoryOutput::Open(SentReport report) {
  const MidiResult failed = TakeFailure(failOpen_);
  if (!failed.Ok()) return failed;
  report_ = std::move(report);
  open_ = true;
  return {};
}

MidiResult MemoryOutput::Send(const uint8_t* data, size_t size) {
  if (!open_) return {midi_error::kInvalidHandle, ""};
  const MidiResult failed = TakeFailure(failSend_);
  if (!failed.Ok()) return failed;
  ++sent_;
  if (recording_) messages_.emplace_back(data, data + size);
  if (report_) report_({});
  return {};
}

void MemoryOutput::FailNextOpen(uint32_t error, std::string text) { failOpen_ = {error, std::move(text)}; }

void MemoryOutput::FailNextSend(uint32_t error, std::string text) { failSend_ = {error, std::move(text)}; }

MemoryPorts AddMemoryPorts(MidiPortSet& ports, const std::string& name) {
  auto input = std::make_unique<MemoryInput>(name);
  auto output = std::make_unique<MemoryOutput>(name);
  MemoryPorts added;
  added.input = input.get();
  added.output = output.get();
  added.inputId = ports.AddInput(std::move(input));
  added.outputId = ports.AddOutput(std::move(output));
  return added;
}

}  // namespace midimem
