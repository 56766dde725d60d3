// The simulated Kilnbox on a real clock: bytes from the host go into the
// model the moment they arrive (they have taken their wire time already on
// the host's side of the cable), and the model's bytes go out as they fall
// due at the wire rate times the speed factor.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/kilnbox-sim/sim_endpoint.h"
#include "sim/kilnbox.h"

namespace kilnsim {

// Groups a byte stream into the messages it carries, for the traffic log:
// a line ends with 0xF7, before a new status byte, or when the stream pauses.
// Real-time bytes stay where they stood on the wire.
class MessageGrouper {
 public:
  MessageGrouper(FILE* log, bool outgoing) : log_(log), outgoing_(outgoing) {}
  void Add(const uint8_t* data, size_t size, uint64_t ms);
  void Flush(uint64_t ms);

 private:
  FILE* log_;
  bool outgoing_;
  std::vector<uint8_t> bytes_;
};

struct LoopOptions {
  std::string saveSocketPath;      // empty: the socket is not saved
  std::string midiLogPath;         // empty: no traffic log
  bool exitOnClose = false;        // end when the host closes its end
  sim::FaultKnobs faults;
  bool hasFaults = false;
  uint32_t faultFromReply = 1;     // the knobs act from this reply on (1-based)
};

class SimLoop {
 public:
  SimLoop(sim::Kilnbox& model, Endpoint& endpoint, LoopOptions options);
  ~SimLoop();

  bool Start(std::string* error);
  // Runs until a signal arrives on `stopFd` (readable), the host closes a
  // given device, or (with exitOnClose) the host closes the pseudo-terminal.
  // Returns the exit code.
  int Run(int stopFd);

 private:
  uint64_t NowMs() const;
  void Advance();
  void ReadFromHost();
  void TakeMessages(const std::vector<uint8_t>& chunk);
  void ArmFaults();
  void ShowDisplay();
  void SaveSocketIfProgrammed();
  bool SaveSocket();
  void HostGone();
  int PollTimeout() const;

  sim::Kilnbox& model_;
  Endpoint& endpoint_;
  LoopOptions options_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  FILE* log_ = nullptr;
  std::unique_ptr<MessageGrouper> logIn_;
  std::unique_ptr<MessageGrouper> logOut_;
  bool connected_ = false;
  bool ended_ = false;
  int exitCode_ = 0;
  bool faultsArmed_ = false;
  std::string shownDisplay_;
  std::vector<uint8_t> savedSocket_;
  uint32_t operationsSeen_ = 0;
};

// Writes `bytes` to `path` through a temporary file beside it, renamed over
// it once complete, so that a reader never sees half a file.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace kilnsim
