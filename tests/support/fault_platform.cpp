#include "tests/support/fault_platform.h"

#include <cerrno>

namespace testsupport {

namespace {

// A file whose writes stop after a number of bytes, as on a full disk.
struct LimitedFile {
  FILE* real;
  long left;
};

ssize_t WriteLimited(void* cookie, const char* buffer, size_t size) {
  auto* f = static_cast<LimitedFile*>(cookie);
  const size_t allowed = f->left < static_cast<long>(size) ? static_cast<size_t>(f->left) : size;
  const size_t written = allowed ? std::fwrite(buffer, 1, allowed, f->real) : 0;
  f->left -= static_cast<long>(written);
  // A cookie's write reports an error as 0 bytes: the C library counts a
  // negative return as bytes and overruns the caller's buffer.
  if (written < size) errno = ENOSPC;
  return static_cast<ssize_t>(written);
}

ssize_t ReadLimited(void* cookie, char* buffer, size_t size) {
  auto* f = static_cast<LimitedFile*>(cookie);
  if (f->left <= 0) {
    errno = EIO;
    return -1;
  }
  const size_t allowed = f->left < static_cast<long>(size) ? static_cast<size_t>(f->left) : size;
  const size_t got = std::fread(buffer, 1, allowed, f->real);
  f->left -= static_cast<long>(got);
  return static_cast<ssize_t>(got);
}

int CloseLimited(void* cookie) {
  auto* f = static_cast<LimitedFile*>(cookie);
  const int rc = std::fclose(f->real);
  delete f;
  return rc;
}

FILE* OpenLimited(FILE* real, long bytes, bool forWriting) {
  cookie_io_functions_t io{forWriting ? nullptr : ReadLimited, forWriting ? WriteLimited : nullptr, nullptr,
                           CloseLimited};
  auto* f = new LimitedFile{real, bytes};
  FILE* fp = fopencookie(f, forWriting ? "w" : "r", io);
  if (fp == nullptr) {
    std::fclose(real);
    delete f;
  }
  return fp;
}

bool ForWriting(const char* mode) { return mode[0] == 'w' || mode[0] == 'a'; }

}  // namespace

void FaultPlatform::FailCall(Fault op, int n, bool sticky, UINT error) {
  Slot& s = slots_[Index(op)];
  s.failAt = n;
  s.sticky = sticky;
  s.error = error;
}

void FaultPlatform::ResetCounts() {
  slots_ = {};
  writeLimit_ = -1;
  readLimit_ = -1;
  devFull_ = false;
}

bool FaultPlatform::Fails(Fault op) {
  Slot& s = slots_[Index(op)];
  ++s.calls;
  if (s.failAt == 0) return false;
  return s.calls == s.failAt || (s.sticky && s.calls > s.failAt);
}

FILE* FaultPlatform::OpenFile(const std::string& path, const char* mode) {
  if (Fails(Fault::OpenFile)) {
    errno = EACCES;
    return nullptr;
  }
  const bool writing = ForWriting(mode);
  if (writing && devFull_) return std::fopen("/dev/full", mode);
  FILE* real = HeadlessPlatform::OpenFile(path, mode);
  const long limit = writing ? writeLimit_ : readLimit_;
  if (real == nullptr || limit < 0) return real;
  return OpenLimited(real, limit, writing);
}

bool FaultPlatform::ReplaceFile(const std::string& from, const std::string& to) {
  if (Fails(Fault::ReplaceFile)) return false;
  return HeadlessPlatform::ReplaceFile(from, to);
}

void* FaultPlatform::AllocMemory(size_t bytes) {
  if (Fails(Fault::AllocMemory)) return nullptr;
  return HeadlessPlatform::AllocMemory(bytes);
}

UINT FaultPlatform::midiInOpen(HMIDIIN* handle, UINT id, HWND target) {
  if (Fails(Fault::MidiInOpen)) return slots_[Index(Fault::MidiInOpen)].error;
  return HeadlessPlatform::midiInOpen(handle, id, target);
}

UINT FaultPlatform::midiOutOpen(HMIDIOUT* handle, UINT id, HWND target) {
  if (Fails(Fault::MidiOutOpen)) return slots_[Index(Fault::MidiOutOpen)].error;
  return HeadlessPlatform::midiOutOpen(handle, id, target);
}

UINT FaultPlatform::midiOutLongMsg(HMIDIOUT h, MIDIHDR* hdr) {
  if (Fails(Fault::MidiOutLongMsg)) return slots_[Index(Fault::MidiOutLongMsg)].error;
  return HeadlessPlatform::midiOutLongMsg(h, hdr);
}

}  // namespace testsupport
