#include "platform/qt/simdriver_qt.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr uint64_t kLongestPollGapMs = 20;

simport::KilnboxLink::Clock SteadyClock() {
  const auto epoch = std::chrono::steady_clock::now();
  return [epoch] {
    const auto elapsed = std::chrono::steady_clock::now() - epoch;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  };
}

}  // namespace

QtSimulatedKilnbox::QtSimulatedKilnbox(MidiPortSet& ports, double speed)
    : link_(std::make_shared<simport::KilnboxLink>(SteadyClock(), speed)),
      ports_(simport::RegisterPorts(ports, link_)) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
  timer_.start(0);
}

QtSimulatedKilnbox::~QtSimulatedKilnbox() { timer_.stop(); }

void QtSimulatedKilnbox::Tick() {
  link_->Poll();
  const std::optional<uint64_t> due = link_->MsUntilDue();
  const uint64_t wait = due ? std::min(*due, kLongestPollGapMs) : kLongestPollGapMs;
  timer_.start(static_cast<int>(wait));
}
