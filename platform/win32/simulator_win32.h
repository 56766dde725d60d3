// The built-in simulated Kilnbox on Windows: the link (simport::KilnboxLink)
// on a steady clock, its two ports added to a port set, run by a driver
// thread of its own (so that it goes on working while the window's thread
// waits in a pause, as a real Kilnbox would), and its window.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/midi/sim/sim_port.h"

class Win32SimulatedKilnbox {
 public:
  explicit Win32SimulatedKilnbox(MidiPortSet& ports, double speed = 1.0);
  ~Win32SimulatedKilnbox();
  Win32SimulatedKilnbox(const Win32SimulatedKilnbox&) = delete;
  Win32SimulatedKilnbox& operator=(const Win32SimulatedKilnbox&) = delete;

  // Opens its window beside `owner` (an HWND).
  void ShowWindow(void* owner);

 private:
  void Drive();

  std::shared_ptr<simport::KilnboxLink> link_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::thread driver_;
};
