#include "tests/fuzz/fuzz_support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/app_state.h"
#include "shell/image_model.h"
#include "shell/core_session.h"

namespace fuzz {

namespace {

// One open in-memory file: a position in a shared byte vector.
struct OpenMemoryFile {
  std::shared_ptr<std::vector<uint8_t>> bytes;
  size_t pos = 0;
};

ssize_t ReadMemory(void* cookie, char* buffer, size_t size) {
  auto* f = static_cast<OpenMemoryFile*>(cookie);
  const size_t left = f->pos < f->bytes->size() ? f->bytes->size() - f->pos : 0;
  const size_t n = size < left ? size : left;
  if (n) std::memcpy(buffer, f->bytes->data() + f->pos, n);
  f->pos += n;
  return static_cast<ssize_t>(n);
}

ssize_t WriteMemory(void* cookie, const char* buffer, size_t size) {
  auto* f = static_cast<OpenMemoryFile*>(cookie);
  if (f->bytes->size() < f->pos + size) f->bytes->resize(f->pos + size);
  std::memcpy(f->bytes->data() + f->pos, buffer, size);
  f->pos += size;
  return static_cast<ssize_t>(size);
}

int SeekMemory(void* cookie, off64_t* offset, int whence) {
  auto* f = static_cast<OpenMemoryFile*>(cookie);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<int64_t>(f->pos);
  if (whence == SEEK_END) base = static_cast<int64_t>(f->bytes->size());
  const int64_t target = base + *offset;
  if (target < 0) {
    errno = EINVAL;
    return -1;
  }
  f->pos = static_cast<size_t>(target);
  *offset = target;
  return 0;
}

int CloseMemory(void* cookie) {
  delete static_cast<OpenMemoryFile*>(cookie);
  return 0;
}

FILE* OpenMemory(std::shared_ptr<std::vector<uint8_t>> bytes, const char* mode) {
  cookie_io_functions_t io{ReadMemory, WriteMemory, SeekMemory, CloseMemory};
  auto* f = new OpenMemoryFile{std::move(bytes), 0};
  FILE* fp = fopencookie(f, mode, io);
  if (fp == nullptr) delete f;
  return fp;
}

}  // namespace

FILE* OpenBytes(const uint8_t* data, size_t size) {
  return OpenMemory(std::make_shared<std::vector<uint8_t>>(data, data + size), "r");
}

void FuzzPlatform::SetFile(const std::string& path, const uint8_t* data, size_t size) {
  files_[path] = std::make_shared<std::vector<uint8_t>>(data, data + size);
}

const std::vector<uint8_t>* FuzzPlatform::File(const std::string& path) const {
  auto it = files_.find(path);
  return it == files_.end() ? nullptr : it->second.get();
}

void FuzzPlatform::ForgetEffects() {
  messageBoxes.clear();
  statusLog.clear();
  debugTraces.clear();
  sleeps.clear();
  soundsPlayed.clear();
}

FILE* FuzzPlatform::OpenFile(const std::string& path, const char* mode) {
  if (mode[0] == 'r') {
    auto it = files_.find(path);
    return it == files_.end() ? nullptr : OpenMemory(it->second, "r");
  }
  if (mode[0] == 'w') {
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    files_[path] = bytes;
    return OpenMemory(bytes, "w");
  }
  return nullptr;
}

bool FuzzPlatform::RenameOver(const std::string& from, const std::string& to) {
  auto it = files_.find(from);
  if (it == files_.end()) return false;
  auto bytes = it->second;
  files_.erase(it);
  files_[to] = bytes;
  return true;
}

bool FuzzPlatform::RemoveFile(const std::string& path) { return files_.erase(path) > 0; }

Platform::PathKind FuzzPlatform::GetPathKind(const std::string& path) {
  return files_.count(path) ? PathKind::Regular : PathKind::Missing;
}

namespace {

// Lives as long as the process: every input runs in this one session.
CoreSession& TheSession() {
  static CoreSession core(CoreSession::Setup::WithoutWindow);
  return core;
}

}  // namespace

FuzzPlatform& Core() {
  static FuzzPlatform* platform = [] {
    auto* p = new FuzzPlatform;
    plat::Install(p);
    if (!TheSession().ready()) Fail(__FILE__, __LINE__, "buffers allocated");
    p->SetConfigDirectory("config");
    return p;
  }();
  return *platform;
}

CoreSession& NewSessionState() {
  Core();
  CoreSession& session = TheSession();
  PlatformBytes bytes = std::move(session.image.imgMemory);
  session.image = ImageModel{};
  session.image.imgMemory = std::move(bytes);
  session.fileSettings = FileSettings{};
  return session;
}

const uint8_t* MarkImage(uint8_t seed) {
  // One pattern of the image's size and 256 more, so that each seed starts
  // at its own place in it.
  static const std::vector<uint8_t> pattern = [] {
    std::vector<uint8_t> p(IMAGE_SIZE + 256);
    for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 131u + (i >> 8));
    return p;
  }();
  const uint8_t* marked = pattern.data() + seed;
  std::memcpy(TheSession().image.imgMemory.get(), marked, IMAGE_SIZE);
  return marked;
}

bool OutsideUnchanged(const uint8_t* before, uint64_t offset, uint64_t size) {
  if (offset > IMAGE_SIZE || size > IMAGE_SIZE - offset) return false;  // not a section of the image
  const uint64_t end = offset + size;
  const BYTE* image = TheSession().image.imgMemory.get();
  return std::memcmp(image, before, offset) == 0 && std::memcmp(image + end, before + end, IMAGE_SIZE - end) == 0;
}

bool ImageUnchanged(const uint8_t* before) {
  return std::memcmp(TheSession().image.imgMemory.get(), before, IMAGE_SIZE) == 0;
}

void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz
