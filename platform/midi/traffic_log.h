// The MIDI traffic log: every message sent and received, one a line, with
// its time, direction and bytes in hexadecimal. It is how a user shows what
// went wrong on the cable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "platform/midi/ports.h"

class MidiTrafficLog {
 public:
  using Clock = std::function<uint64_t()>;  // ms
  MidiTrafficLog() = default;
  ~MidiTrafficLog();
  MidiTrafficLog(const MidiTrafficLog&) = delete;
  MidiTrafficLog& operator=(const MidiTrafficLog&) = delete;

  // Starts logging `ports`' traffic to `path` (created or truncated); false
  // with `error` set when the file can't be written.
  bool Start(const std::string& path, MidiPortSet& ports, Clock clock, std::string* error);
  void Stop();
  // One line: "   12.345 out F0 10 05 ...".
  static std::string FormatLine(uint64_t ms, bool outgoing, const uint8_t* data, size_t size);

 private:
  void Record(bool outgoing, const uint8_t* data, size_t size);
  std::mutex mutex_;
  FILE* file_ = nullptr;
  MidiPortSet* ports_ = nullptr;
  Clock clock_;
};
