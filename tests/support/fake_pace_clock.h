// A clock for the MIDI pacer in tests: time moves only when the pacer
// sleeps on it, when a test advances it, or by a late wake a test asks for,
// so that the spacing of pieces is read from recorded times, never waited.
#pragma once

#include <algorithm>
#include <chrono>
#include <mutex>
#include <random>

#include "platform/midi/output_writer.h"

namespace testsupport {

class FakeClock : public PaceClock {
 public:
  std::chrono::microseconds Now() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
  }
  void SleepUntil(std::chrono::microseconds when) override {
    std::lock_guard<std::mutex> lock(mutex_);
    // A real sleep may wake late, never early.
    now_ = std::max(now_, when) + std::chrono::microseconds(lateWake_ ? rng_() % 3000 : 0);
  }
  void Advance(std::chrono::microseconds by) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += by;
  }
  void WakeLate() { lateWake_ = true; }

 private:
  std::mutex mutex_;
  std::chrono::microseconds now_{1000000};
  bool lateWake_ = false;
  std::minstd_rand rng_{7};
};

}  // namespace testsupport
