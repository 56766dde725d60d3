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

// A failure a memory port has been told to report once, with its own text.
struct ScriptedFailure {
  UINT error = MMSYSERR_NOERROR;  // MMSYSERR_NOERROR: none pending
  std::string text;
};

class MemoryInput : public MidiInputDevice {
 public:
  explicit MemoryInput(std::string name) : name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  UINT Open(MidiByteSink sink) override;
  void Close() override;
  std::string ErrorText(UINT error) const override;

  // Hands bytes over as if they had come down the cable, in one piece.
  // Safe from any thread; false (and nothing handed over) while closed.
  bool Feed(const BYTE* data, size_t size);
  bool Feed(const std::vector<BYTE>& bytes) { return Feed(bytes.data(), bytes.size()); }
  bool IsOpen() const;
  // The next Open fails with `error`; `text` becomes the device's own text.
  void FailNextOpen(UINT error, std::string text = "");

 private:
  mutable std::mutex mutex_;
  std::string name_;
  MidiByteSink sink_;
  bool open_ = false;
  ScriptedFailure failOpen_;
  ScriptedFailure lastFailure_;
};

class MemoryOutput : public MidiOutputDevice {
 public:
  using SendHook = std::function<void(const BYTE* data, size_t size)>;

  explicit MemoryOutput(std::string name) : name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  UINT Open() override;
  void Close() override { open_ = false; }
  UINT Send(const BYTE* data, size_t size) override;
  // A message is out as soon as it is taken.
  void ReportSent(SentReport report) override { report_ = std::move(report); }
  std::string ErrorText(UINT error) const override;

  // Every message sent while open, in order.
  const std::vector<std::vector<BYTE>>& Messages() const { return messages_; }
  void ClearMessages() { messages_.clear(); }
  bool IsOpen() const { return open_; }
  // Stops keeping the messages (a benchmark sends many); on by default.
  void SetRecording(bool record) { recording_ = record; }
  size_t MessagesSent() const { return sent_; }

  void FailNextOpen(UINT error, std::string text = "");
  // The next Send hands nothing over and returns `error`.
  void FailNextSend(UINT error, std::string text = "");
  // Called after each message is taken, so that a scripted peer can answer
  // (for instance by feeding a MemoryInput).
  void OnSend(SendHook hook) { onSend_ = std::move(hook); }

 private:
  std::string name_;
  bool open_ = false;
  bool recording_ = true;
  size_t sent_ = 0;
  std::vector<std::vector<BYTE>> messages_;
  SendHook onSend_;
  SentReport report_;
  ScriptedFailure failOpen_;
  ScriptedFailure failSend_;
  ScriptedFailure lastFailure_;
};

// A memory input and output registered on a port set; the set owns them.
struct MemoryPorts {
  MemoryInput* input = nullptr;
  MemoryOutput* output = nullptr;
  UINT inputId = 0;
  UINT outputId = 0;
};

// Adds an input and an output, both named `name`, at the end of the lists.
MemoryPorts AddMemoryPorts(MidiPortSet& ports, const std::string& name = "Memory MIDI");

}  // namespace midimem
