// What the fuzz harnesses share: a reader for the control bytes at the front
// of an input, streams over bytes, the check that reports a broken
// invariant, and, for those that drive the core, a headless platform whose
// files live in memory with the core set up once per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/platform_headless.h"

class CoreSession;

namespace fuzz {

// Reads control bytes from the front of an input; past its end every read
// gives 0. What is left after them is the payload (a file, a message).
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t Le16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  uint32_t Le32() { return Le16() | (static_cast<uint32_t>(Le16()) << 16); }
  const uint8_t* Rest() const { return data_ + pos_; }
  size_t RestSize() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// The headless platform with a file system in memory (every path is a name
// in a map; no disk is touched), and close requests dropped instead of
// queued, so that a harness never runs a follow-up command.
class FuzzPlatform : public headless::HeadlessPlatform {
 public:
  void SetFile(const std::string& path, const uint8_t* data, size_t size);
  // The contents of `path`; nullptr when there is no such file.
  const std::vector<uint8_t>* File(const std::string& path) const;
  void RemoveAllFiles() { files_.clear(); }

  // Forgets every recorded effect, so that a long run doesn't grow.
  void ForgetEffects();

  FILE* OpenFile(const std::string& path, const char* mode) override;
  bool RenameOver(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
  PathKind GetPathKind(const std::string& path) override;
  void RequestClose(HWND) override {}

 private:
  std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> files_;
};

// The platform installed and the session every input runs in started, with
// the image and buffers allocated and a status bar made; done on the first
// call only.
FuzzPlatform& Core();
// That session, with a new image model (its bytes kept) and new file
// settings.
CoreSession& NewSessionState();

// Fills the whole image with a pattern that no loader writes by chance, and
// returns the pattern (IMAGE_SIZE bytes, valid for the whole run) for the
// checks after the operation.
const uint8_t* MarkImage(uint8_t seed);
// True when the image outside [offset, offset + size) still equals `before`.
bool OutsideUnchanged(const uint8_t* before, uint64_t offset, uint64_t size);
// True when the whole image still equals `before`.
bool ImageUnchanged(const uint8_t* before);

// A stream reading a copy of the `size` bytes at `data` (none too); the
// caller closes it. Needs no platform.
FILE* OpenBytes(const uint8_t* data, size_t size);

// Reports a broken invariant and stops the process: libFuzzer records the
// input, the corpus replay fails.
[[noreturn]] void Fail(const char* file, int line, const char* what);

}  // namespace fuzz

#define FUZZ_CHECK(condition)                                       \
  do {                                                              \
    if (!(condition)) ::fuzz::Fail(__FILE__, __LINE__, #condition); \
  } while (0)
