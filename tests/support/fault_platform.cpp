#include "tests/support/fault_platform.h"

#include <cerrno>

namespace testsupport {

namespace {

#ifndef _WIN32
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
#else
// Windows' C library has no streams over callbacks: a limited file can't be
// had there, and the fault tests that need one are not built for it.
FILE* OpenLimited(FILE* real, long, bool) {
  std::fclose(real);
  errno = ENOSYS;
  return nullptr;
}
#endif

bool ForWriting(const char* mode) { return mode[0] == 'w' || mode[0] == 'a'; }

}  // namespace

FaultPlatform::FaultPlatform(plat::Parts inner) : inner_(inner), os_(inner.os), midi_(inner.midi) {}

FaultPlatform::~FaultPlatform() {
  for (void* block : keptBlocks_) os_->FreeMemory(block);
}

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

void FaultPlatform::Sleep(UINT ms) {
  if (!Fails(Fault::Sleep)) os_->Sleep(ms);
}

FILE* FaultPlatform::OpenFile(const std::string& path, const char* mode) {
  if (Fails(Fault::OpenFile)) {
    errno = EACCES;
    return nullptr;
  }
  const bool writing = ForWriting(mode);
  if (writing && devFull_) return std::fopen("/dev/full", mode);
  FILE* real = os_->OpenFile(path, mode);
  const long limit = writing ? writeLimit_ : readLimit_;
  if (real == nullptr || limit < 0) return real;
  return OpenLimited(real, limit, writing);
}

void FaultPlatform::FreeMemory(void* block) {
  if (Fails(Fault::FreeMemory)) {
    keptBlocks_.push_back(block);
    return;
  }
  os_->FreeMemory(block);
}

ScopedFaults::ScopedFaults()
    : FaultPlatform({&plat::Window(), &plat::Os(), &plat::Midi()}), previous_(plat::Install(Parts())) {}

ScopedFaults::~ScopedFaults() { plat::Install(previous_); }

}  // namespace testsupport
