#include "platform/win32/simulator_win32.h"

#include <chrono>

#include "platform/midi/sim/sim_view.h"
#include "platform/win32/simwindow_win32.h"

namespace {

// The link with its two ports at the end of the lists, before the driver
// runs it.
std::shared_ptr<simport::KilnboxLink> RegisteredLink(MidiPortSet& ports, double speed) {
  auto link = std::make_shared<simport::KilnboxLink>(simport::SteadyClock(), speed);
  simport::RegisterPorts(ports, link);
  return link;
}

}  // namespace

Win32SimulatedKilnbox::Win32SimulatedKilnbox(MidiPortSet& ports, double speed)
    : link_(RegisteredLink(ports, speed)),
      driver_([this] { Drive(); }) {}

Win32SimulatedKilnbox::~Win32SimulatedKilnbox() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  driver_.join();
}

void Win32SimulatedKilnbox::Drive() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    link_->Poll();
    const uint64_t wait = link_->MsUntilNextPoll();
    lock.lock();
    stop_.wait_for(lock, std::chrono::milliseconds(wait), [this] { return stopping_; });
  }
}

void Win32SimulatedKilnbox::ShowWindow(void* owner) {
  w32::ShowSimulatorWindow(owner, simview::SimulatorView(link_));
}
