// Failures on demand at the seam, round any back end: every operation of
// OsServices and MidiPorts is counted, and the Nth call of any one of them
// fails as the system's own call fails (an OS layer kept as a table of
// operations makes this one wrapper per operation). Besides: writes that stop
// as on a full disk, reads that stop as on a failing one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/midi/ports.h"
#include "platform/platform.h"

namespace testsupport {

// One per operation, in the order of platform.h.
enum class Fault {
  Sleep, TimeSeconds, CurrentDirectory, ChangeDirectory, GetConfigDirectory, GetDataDirectory, OpenFile,
  RenameOver, RemoveFile, GetPathKind, AllocMemory, FreeMemory, DebugTrace,
  MidiInputNames, MidiOutputNames, MidiOpenInput, MidiOpenOutput, MidiListen, MidiSend, MidiClose,
  kCount
};

class FaultPlatform : public OsServices, public MidiPorts {
 public:
  // Wraps `inner`'s files and ports; its window system is passed on as it is.
  explicit FaultPlatform(plat::Parts inner);
  ~FaultPlatform() override;
  FaultPlatform(const FaultPlatform&) = delete;
  FaultPlatform& operator=(const FaultPlatform&) = delete;
  // What to install: the inner window system with this object's files and
  // ports.
  plat::Parts Parts() { return {inner_.window, this, this}; }

  // Fails call number `n` (1-based, counted from the last ResetCounts) of
  // `op`; with `sticky`, that call and every later one fail, as for a
  // device that has gone. 0: no failure. MIDI calls fail with `error`.
  void FailCall(Fault op, int n, bool sticky = false, UINT error = MMSYSERR_NODRIVER);
  int Calls(Fault op) const { return slots_[Index(op)].calls; }
  // Forgets the counts and every failure set.
  void ResetCounts();

  // Files opened for writing from now on take `bytes` bytes in all and then
  // fail every write with ENOSPC, as a full disk does; -1: no limit.
  void LimitWrites(long bytes) { writeLimit_ = bytes; }
  // Files opened for writing from now on are /dev/full.
  void WriteToDevFull(bool on) { devFull_ = on; }
  // Files opened for reading from now on give `bytes` bytes and then fail
  // with EIO, as a failing disk or a pulled drive does; -1: no limit.
  void LimitReads(long bytes) { readLimit_ = bytes; }

  // The table: each operation and what it gives when it fails.
  void Sleep(UINT ms) override;  // interrupted: returns at once
  int64_t TimeSeconds() override { return Fails(Fault::TimeSeconds) ? -1 : os_->TimeSeconds(); }
  // A clock that never goes back cannot fail.
  uint64_t MonotonicMs() override { return os_->MonotonicMs(); }
  std::string CurrentDirectory() override {
    return Fails(Fault::CurrentDirectory) ? "" : os_->CurrentDirectory();
  }
  bool ChangeDirectory(const std::string& d) override {
    return !Fails(Fault::ChangeDirectory) && os_->ChangeDirectory(d);
  }
  std::string GetConfigDirectory() override {
    return Fails(Fault::GetConfigDirectory) ? "" : os_->GetConfigDirectory();
  }
  std::string GetDataDirectory() override { return Fails(Fault::GetDataDirectory) ? "" : os_->GetDataDirectory(); }
  FILE* OpenFile(const std::string& path, const char* mode) override;  // nullptr, errno EACCES
  bool RenameOver(const std::string& from, const std::string& to) override {
    return !Fails(Fault::RenameOver) && os_->RenameOver(from, to);
  }
  bool RemoveFile(const std::string& path) override { return !Fails(Fault::RemoveFile) && os_->RemoveFile(path); }
  PathKind GetPathKind(const std::string& path) override {
    return Fails(Fault::GetPathKind) ? PathKind::Missing : os_->GetPathKind(path);
  }
  void* AllocMemory(size_t bytes) override { return Fails(Fault::AllocMemory) ? nullptr : os_->AllocMemory(bytes); }
  void FreeMemory(void* block) override;  // the block stays allocated (until this object goes)
  void DebugTrace(const char* text) override {
    if (!Fails(Fault::DebugTrace)) os_->DebugTrace(text);
  }

  // A port list that cannot be had is empty; the other MIDI operations
  // fail with the slot's error and its generic words.
  std::vector<std::string> InputNames() override {
    return Fails(Fault::MidiInputNames) ? std::vector<std::string>() : midi_->InputNames();
  }
  std::vector<std::string> OutputNames() override {
    return Fails(Fault::MidiOutputNames) ? std::vector<std::string>() : midi_->OutputNames();
  }
  MidiResult OpenInput(const std::string& name, MidiInputHandler handler, PlatMidiPort** port) override {
    return Midi(Fault::MidiOpenInput, [&] { return midi_->OpenInput(name, std::move(handler), port); });
  }
  MidiResult OpenOutput(const std::string& name, MidiSentHandler sent, PlatMidiPort** port) override {
    return Midi(Fault::MidiOpenOutput, [&] { return midi_->OpenOutput(name, std::move(sent), port); });
  }
  MidiResult Listen(PlatMidiPort* input, bool listen) override {
    return Midi(Fault::MidiListen, [&] { return midi_->Listen(input, listen); });
  }
  MidiResult Send(PlatMidiPort* output, const BYTE* data, size_t size) override {
    return Midi(Fault::MidiSend, [&] { return midi_->Send(output, data, size); });
  }
  MidiResult Close(PlatMidiPort* port) override { return Midi(Fault::MidiClose, [&] { return midi_->Close(port); }); }

 private:
  struct Slot {
    int calls = 0;
    int failAt = 0;
    bool sticky = false;
    UINT error = MMSYSERR_NODRIVER;
  };
  static size_t Index(Fault op) { return static_cast<size_t>(op); }
  // Counts a call of `op`; true when it is to fail.
  bool Fails(Fault op);
  // A MIDI call, or its slot's error when it is to fail.
  template <typename Call>
  MidiResult Midi(Fault op, Call call) {
    if (!Fails(op)) return call();
    const UINT error = slots_[Index(op)].error;
    return {error, MidiErrorText(error)};
  }

  plat::Parts inner_;
  OsServices* os_;
  MidiPorts* midi_;
  std::array<Slot, static_cast<size_t>(Fault::kCount)> slots_{};
  std::vector<void*> keptBlocks_;
  long writeLimit_ = -1;
  long readLimit_ = -1;
  bool devFull_ = false;
};

// A FaultPlatform round the parts installed now, installed in their place
// for its life.
class ScopedFaults : public FaultPlatform {
 public:
  ScopedFaults();
  ~ScopedFaults() override;

 private:
  plat::Parts previous_;
};

}  // namespace testsupport
