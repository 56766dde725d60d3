// The headless platform with failures on demand, in the spirit of failing
// the Nth call of an operating-system function: files that can't be opened,
// writes that stop as on a full disk, renames and allocations that fail,
// MIDI ports that won't open and sends the driver refuses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/headless/platform_headless.h"

namespace testsupport {

enum class Fault { OpenFile, ReplaceFile, AllocMemory, MidiInOpen, MidiOutOpen, MidiOutLongMsg, kCount };

class FaultPlatform : public headless::HeadlessPlatform {
 public:
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

  FILE* OpenFile(const std::string& path, const char* mode) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  void* AllocMemory(size_t bytes) override;
  UINT midiInOpen(HMIDIIN* handle, UINT id, HWND target) override;
  UINT midiOutOpen(HMIDIOUT* handle, UINT id, HWND target) override;
  UINT midiOutLongMsg(HMIDIOUT h, MIDIHDR* hdr) override;

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

  std::array<Slot, static_cast<size_t>(Fault::kCount)> slots_{};
  long writeLimit_ = -1;
  long readLimit_ = -1;
  bool devFull_ = false;
};

}  // namespace testsupport
