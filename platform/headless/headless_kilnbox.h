// The simulated Kilnbox on the headless platform's virtual clock: the link
// of platform/midi/sim driven as one of the platform's time sources, with
// both ports registered.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/headless/platform_headless.h"
#include "platform/midi/sim/sim_port.h"

namespace simport {

// The simulated Kilnbox on the headless platform's virtual clock: its ports
// are registered with the platform's port set and it runs as virtual time
// passes. Lives no longer than the platform.
class HeadlessKilnbox : public headless::TimeSource {
 public:
  explicit HeadlessKilnbox(headless::HeadlessPlatform& platform, double speed = 1.0);
  ~HeadlessKilnbox() override;
  HeadlessKilnbox(const HeadlessKilnbox&) = delete;
  HeadlessKilnbox& operator=(const HeadlessKilnbox&) = delete;

  std::optional<uint64_t> NextDue() const override { return link_->NextDue(); }
  void RunTo(uint64_t nowMs) override { link_->RunTo(nowMs); }

  void WithModel(const std::function<void(sim::Kilnbox&)>& fn) { link_->WithModel(fn); }
  const std::shared_ptr<KilnboxLink>& Link() const { return link_; }
  MidiPortPair Ports() const { return ports_; }

 private:
  headless::HeadlessPlatform& platform_;
  std::shared_ptr<KilnboxLink> link_;
  MidiPortPair ports_;
};

}  // namespace simport
