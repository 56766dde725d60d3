// In-memory MIDI ports: an input that a test or a scripted peer feeds with
// bytes, and an output that records every message sent to it. Tests and
// talverine-cli register them on a MidiPortSet like any other port.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi/ports.h"

namespace midimem {

class MemoryInput : public MidiInputDevice {
 public:
  explicit MemoryInput(std::string name) : name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  MidiResult Open(MidiByteSink sink) override;
  void Close() override;

  // Hands bytes over as if they had come down the cable, in one piece.
  // Safe from any thread; false (and nothing handed over) while closed.
  bool Feed(const uint8_t* data, size_t size);
  bool Feed(const std::vector<uint8_t>& bytes) { return Feed(bytes.data(), bytes.size()); }
  bool IsOpen() const;
  // The next Open fails with `error`; `text` becomes the device's own text.
  void FailNextOpen(uint32_t error, std::string text = "");

 private:
  mutable std::mutex mutex_;
  std::string name_;
  MidiByteSink sink_;
  bool open_ = false;
  MidiResult failOpen_;
};

class MemoryOutput : public MidiOutputDevice {
 public:
  explicit MemoryOutput(std::string name) : name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  // A message is out as soon as it is taken.
  MidiResult Open(SentReport report) override;
  void Close() override { open_ = false; }
  MidiResult Send(const uint8_t* data, size_t size) override;

  // Every message sent while open, in order.
  const std::vector<std::vector<uint8_t>>& Messages() const { return messages_; }
  void ClearMessages() { messages_.clear(); }
  bool IsOpen() const { return open_; }
  // Stops keeping the messages (a benchmark sends many); on by default.
  void SetRecording(bool record) { recording_ = record; }
  size_t MessagesSent() const { return sent_; }

  void FailNextOpen(uint32_t error, std::string text = "");
  // The next Send hands nothing over and returns `error`.
  void FailNextSend(uint32_t error, std::string text = "");

 private:
  std::string name_;
  bool open_ = false;
  bool recording_ = true;
  size_t sent_ = 0;
  std::vector<std::vector<uint8_t>> messages_;
  SentReport report_;
  MidiResult failOpen_;
  MidiResult failSend_;
};

// A memory input and output registered on a port set; the set owns them.
struct MemoryPorts {
  MemoryInput* input = nullptr;
  MemoryOutput* output = nullptr;
  uint32_t inputId = 0;
  uint32_t outputId = 0;
};

// Adds an input and an output, both named `name`, at the end of the lists.
MemoryPorts AddMemoryPorts(MidiPortSet& ports, const std::string& name = "Memory MIDI");

}  // namespace midimem
