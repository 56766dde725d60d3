// The simulated Kilnbox as a pair of MIDI ports.
//
// Implements:
// - KilnboxLink: one sim::Kilnbox behind a lock, with the host-to-device
//   wire (a message handed over takes len / 3125 s, scaled by the speed
//   factor, and messages queue on it in order) and the clock it runs on;
// - SimInputDevice / SimOutputDevice: MidiInputDevice and MidiOutputDevice
//   sharing one link ("Kilnbox Simulator In" / "Kilnbox Simulator Out");
// - the real-time driver: a back end creates the link on SteadyClock() and
//   calls Poll() periodically (MsUntilNextPoll() says when).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/ports.h"
#include "sim/kilnbox.h"

namespace simport {

constexpr const char* kInputName = "Kilnbox Simulator In";
constexpr const char* kOutputName = "Kilnbox Simulator Out";

class KilnboxLink {
 public:
  using Clock = std::function<uint64_t()>;  // ms, never going back
  KilnboxLink(Clock clock, double speed = 1.0);

  // Host side: a whole message put on the wire now (after those before it).
  void HostSend(const uint8_t* data, size_t size);
  // Device side: where its output goes; an empty sink drops it, as a cable
  // with nobody listening. SetSink waits for a sink call under way.
  void SetSink(MidiByteSink sink);

  // Driving: does everything due by the clock's time now.
  void Poll();
  void RunTo(uint64_t nowMs);
  std::optional<uint64_t> NextDue();
  // Ms from now until the next thing is due (0 when overdue); nullopt: idle.
  std::optional<uint64_t> MsUntilDue();
  // Ms from now until a real-time driver polls again: when something is
  // due, and at least every kLongestPollGapMs, so that a message handed to
  // the device is taken up at once.
  static constexpr uint64_t kLongestPollGapMs = 20;
  uint64_t MsUntilNextPoll();
  uint64_t Now() const { return clock_(); }

  // The model, locked, for set-up, tests and a viewer.
  void WithModel(const std::function<void(sim::Kilnbox&)>& fn);

 private:
  Clock clock_;
  std::mutex modelMutex_;
  std::mutex sinkMutex_;
  sim::Kilnbox model_;
  MidiByteSink sink_;
  std::vector<uint8_t> pendingOut_;
  uint64_t wireFreeUs_ = 0;  // when the host-to-device wire is next free
};

class SimInputDevice : public MidiInputDevice {
 public:
  explicit SimInputDevice(std::shared_ptr<KilnboxLink> link) : link_(std::move(link)) {}
  std::string Name() const override { return kInputName; }
  MidiResult Open(MidiByteSink sink) override;
  void Close() override;

 private:
  std::shared_ptr<KilnboxLink> link_;
  bool open_ = false;
};

class SimOutputDevice : public MidiOutputDevice {
 public:
  explicit SimOutputDevice(std::shared_ptr<KilnboxLink> link) : link_(std::move(link)) {}
  std::string Name() const override { return kOutputName; }
  // The link is the cable: a message handed to it has left this port.
  MidiResult Open(SentReport report) override;
  void Close() override;
  MidiResult Send(const uint8_t* data, size_t size) override;

 private:
  std::shared_ptr<KilnboxLink> link_;
  bool open_ = false;
  SentReport report_;
};

// A clock of ms since it was made, on the system's steady clock: the clock
// of a link that a real-time driver polls.
KilnboxLink::Clock SteadyClock();

// Adds the link's two ports to `ports`; returns their indices.
MidiPortPair RegisterPorts(MidiPortSet& ports, const std::shared_ptr<KilnboxLink>& link);

}  // namespace simport
