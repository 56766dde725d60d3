// The built-in simulated Kilnbox on the desktop's real clock.
//
// Implements:
// - the link (simport::KilnboxLink) on a steady clock, its two ports added
//   to a port set;
// - driving it from a QTimer on the GUI thread, polled as often as
//   MsUntilNextPoll says.
#pragma once

#include <QTimer>
#include <memory>

#include "platform/midi/sim/sim_port.h"

class QtSimulatedKilnbox {
 public:
  // Registers the simulator's ports on `ports`; `speed` scales its wire and
  // its own work.
  explicit QtSimulatedKilnbox(MidiPortSet& ports, double speed = 1.0);
  ~QtSimulatedKilnbox();
  QtSimulatedKilnbox(const QtSimulatedKilnbox&) = delete;
  QtSimulatedKilnbox& operator=(const QtSimulatedKilnbox&) = delete;

  const std::shared_ptr<simport::KilnboxLink>& Link() const { return link_; }
  MidiPortPair Ports() const { return ports_; }

 private:
  void Tick();

  std::shared_ptr<simport::KilnboxLink> link_;
  MidiPortPair ports_;
  QTimer timer_;
};
