#include "platform/midi/memory_port.h"

namespace midimem {

namespace {

// Takes a scripted failure, leaving none pending; returns its error number.
UINT TakeFailure(ScriptedFailure& pending, ScriptedFailure& last) {
  const UINT error = pending.error;
  if (error != MMSYSERR_NOERROR) {
    last = pending;
    pending = ScriptedFailure();
  }
  return error;
}

std::string TextFor(const ScriptedFailure& last, UINT error) {
  return error == last.error ? last.text : std::string();
}

}  // namespace

UINT MemoryInput::Open(MidiByteSink sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  const UINT error = TakeFailure(failOpen_, lastFailure_);
  if (error != MMSYSERR_NOERROR) return error;
  sink_ = std::move(sink);
  open_ = true;
  return MMSYSERR_NOERROR;
}

void MemoryInput::Close() {
  // Waits for a Feed under way on another thread.
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
  sink_ = nullptr;
}

std::string MemoryInput::ErrorText(UINT error) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return TextFor(lastFailure_, error);
}

bool MemoryInput::Feed(const BYTE* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || !sink_) return false;
  sink_(data, size);
  return true;
}

bool MemoryInput::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

void MemoryInput::FailNextOpen(UINT error, std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  failOpen_ = {error, std::move(text)};
}

UINT MemoryOutput::Open() {
  const UINT error = TakeFailure(failOpen_, lastFailure_);
  if (error != MMSYSERR_NOERROR) return error;
  open_ = true;
  return MMSYSERR_NOERROR;
}

UINT MemoryOutput::Send(const BYTE* data, size_t size) {
  if (!open_) return MMSYSERR_INVALHANDLE;
  const UINT error = TakeFailure(failSend_, lastFailure_);
  if (error != MMSYSERR_NOERROR) return error;
  ++sent_;
  if (recording_) messages_.emplace_back(data, data + size);
  if (onSend_) onSend_(data, size);
  if (report_) report_(MMSYSERR_NOERROR, "");
  return MMSYSERR_NOERROR;
}

std::string MemoryOutput::ErrorText(UINT error) const { return TextFor(lastFailure_, error); }

void MemoryOutput::FailNextOpen(UINT error, std::string text) { failOpen_ = {error, std::move(text)}; }

void MemoryOutput::FailNextSend(UINT error, std::string text) { failSend_ = {error, std::move(text)}; }

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
