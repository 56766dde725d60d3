#include "platform/midi/sim/sim_port.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace simport {
namespace {

// The device sees who a data block is for once its first five bytes are in,
// so these arrive at their own time and the rest when the last byte has.
constexpr size_t kHeadBytes = 5;

uint64_t UsToMsCeil(uint64_t us) { return (us + 999) / 1000; }

}  // namespace

KilnboxLink::KilnboxLink(Clock clock, double speed) : clock_(std::move(clock)), model_(speed) {
  model_.SetOutput([this](const uint8_t* data, size_t size) {
    pendingOut_.insert(pendingOut_.end(), data, data + size);
  });
}

void KilnboxLink::HostSend(const uint8_t* data, size_t size) {
  if (size == 0) return;
  std::lock_guard<std::mutex> lock(modelMutex_);
  const double usPerByte = 1e6 / (sim::kWireBytesPerSecond * model_.Speed());
  auto wireUs = [usPerByte](size_t bytes) {
    return static_cast<uint64_t>(std::ceil(static_cast<double>(bytes) * usPerByte));
  };
  const uint64_t startUs = std::max(clock_() * 1000, wireFreeUs_);
  const size_t head = std::min(size, kHeadBytes);
  model_.Receive(data, head, UsToMsCeil(startUs + wireUs(head)));
  if (size > head) model_.Receive(data + head, size - head, UsToMsCeil(startUs + wireUs(size)));
  wireFreeUs_ = startUs + wireUs(size);
}

void KilnboxLink::SetSink(MidiByteSink sink) {
  std::lock_guard<std::mutex> lock(sinkMutex_);
  sink_ = std::move(sink);
}

void KilnboxLink::RunTo(uint64_t nowMs) {
  std::vector<uint8_t> out;
  {
    std::lock_guard<std::mutex> lock(modelMutex_);
    model_.RunTo(nowMs);
    out.swap(pendingOut_);
  }
  // The sink is called outside the model's lock, so that whatever it does
  // cannot wait on a thread that is handing the model a message.
  std::lock_guard<std::mutex> lock(sinkMutex_);
  if (!out.empty() && sink_) sink_(out.data(), out.size());
}

void KilnboxLink::Poll() { RunTo(clock_()); }

std::optional<uint64_t> KilnboxLink::NextDue() {
  std::lock_guard<std::mutex> lock(modelMutex_);
  return model_.NextDue();
}

std::optional<uint64_t> KilnboxLink::MsUntilDue() {
  std::optional<uint64_t> due = NextDue();
  if (!due) return std::nullopt;
  const uint64_t now = clock_();
  return *due > now ? *due - now : 0;
}

uint64_t KilnboxLink::MsUntilNextPoll() {
  return std::min(MsUntilDue().value_or(kLongestPollGapMs), kLongestPollGapMs);
}

void KilnboxLink::WithModel(const std::function<void(sim::Kilnbox&)>& fn) {
  std::lock_guard<std::mutex> lock(modelMutex_);
  fn(model_);
}

MidiResult SimInputDevice::Open(MidiByteSink sink) {
  if (open_) return {midi_error::kAllocated, ""};
  link_->SetSink(std::move(sink));
  open_ = true;
  return {};
}

void SimInputDevice::Close() {
  link_->SetSink(nullptr);
  open_ = false;
}

MidiResult SimOutputDevice::Open(SentReport report) {
  if (open_) return {midi_error::kAllocated, ""};
  report_ = std::move(report);
  open_ = true;
  return {};
}

void SimOutputDevice::Close() { open_ = false; }

MidiResult SimOutputDevice::Send(const uint8_t* data, size_t size) {
  if (!open_) return {midi_error::kInvalidHandle, ""};
  link_->HostSend(data, size);
  if (report_) report_({});
  return {};
}

KilnboxLink::Clock SteadyClock() {
  const auto epoch = std::chrono::steady_clock::now();
  return [epoch] {
    const auto elapsed = std::chrono::steady_clock::now() - epoch;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  };
}

MidiPortPair RegisterPorts(MidiPortSet& ports, const std::shared_ptr<KilnboxLink>& link) {
  MidiPortPair indices;
  indices.input = ports.AddInput(std::make_unique<SimInputDevice>(link));
  indices.output = ports.AddOutput(std::make_unique<SimOutputDevice>(link));
  return indices;
}

}  // namespace simport
