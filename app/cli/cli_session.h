// The core on the headless platform for one command: message boxes and
// status problems go to stderr and count as errors.
#pragma once

#include <string>

#include "platform/headless/platform_headless.h"
#include "platform/midi/traffic_log.h"
#include "shell/core_session.h"

namespace cli {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_INTERRUPTED = 130;  // what shells give a program Ctrl+C ended

// Every session logs its MIDI traffic to this file when it is set.
void SetMidiLogPath(const std::string& path);

class Session {
 public:
  Session();
  ~Session();
  headless::HeadlessPlatform& platform() { return *platform_; }
  // Whether the image and the MIDI buffers could be allocated.
  bool ready() const { return core_.ready(); }
  CoreSession& core() { return core_; }
  // Whether anything went wrong since the last Reset.
  bool failed() const { return failed_; }
  void ResetFailure() { failed_ = false; }
  // Prints a problem of the command itself and marks the session failed.
  void Fail(const std::string& text);

 private:
  headless::ScopedHeadless platform_;
  CoreSession core_;
  MidiTrafficLog log_;
  bool failed_ = false;
};

int Usage(const std::string& problem, const char* usage);

}  // namespace cli
