#include "platform/win32/os_services_win32.h"

#include <cstdlib>

#include "platform/os/os_services.h"
#include "platform/win32/system_win32.h"
#include "platform/win32/text_win32.h"

namespace {

OsServices::PathKind KindOf(const std::string& path) {
  switch (os::KindOfPath(path)) {
    case os::PathKind::Missing: return OsServices::PathKind::Missing;
    case os::PathKind::Regular: return OsServices::PathKind::Regular;
    case os::PathKind::Directory: return OsServices::PathKind::Directory;
    default: return OsServices::PathKind::Other;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Win32OsServices
// ---------------------------------------------------------------------------
Win32OsServices::Win32OsServices() : traceToStderr_(!w32::Environment("TALVERINE_DEBUG").empty()) {}

void Win32OsServices::Sleep(UINT ms) { w32::SleepMs(ms); }

int64_t Win32OsServices::TimeSeconds() { return w32::TimeOfDaySeconds(); }

std::string Win32OsServices::GetCurrentDirectory() { return os::CurrentDirectory(); }

bool Win32OsServices::SetCurrentDirectory(const std::string& dir) {
  return w32::SetCurrentFolder(dir);
}

std::string Win32OsServices::GetConfigDirectory() { return os::ConfigDirectory(); }

std::string Win32OsServices::GetDataDirectory() { return os::ExecutableDirectory(); }

std::string Win32OsServices::Resolve(const std::string& path) { return os::ResolvePath(GetCurrentDirectory(), path); }

FILE* Win32OsServices::OpenFile(const std::string& path, const char* mode) {
  return w32::OpenFile(Resolve(path), mode);
}

bool Win32OsServices::ReplaceFile(const std::string& from, const std::string& to) {
  return os::RenameOver(Resolve(from), Resolve(to));
}

bool Win32OsServices::RemoveFile(const std::string& path) { return os::Remove(Resolve(path)); }

OsServices::PathKind Win32OsServices::GetPathKind(const std::string& path) { return KindOf(Resolve(path)); }

void* Win32OsServices::AllocMemory(size_t bytes) { return std::calloc(bytes, 1); }

void Win32OsServices::FreeMemory(void* block) { std::free(block); }

void Win32OsServices::DebugTrace(const char* text) {
  if (text == nullptr) return;
  w32::DebugOutput(text);
  if (traceToStderr_) std::fputs(text, stderr);
}

// ---------------------------------------------------------------------------
// WideFileServices
// ---------------------------------------------------------------------------
std::string WideFileServices::Resolve(const std::string& path) {
  return os::ResolvePath(inner_.GetCurrentDirectory(), path);
}

FILE* WideFileServices::OpenFile(const std::string& path, const char* mode) {
  return w32::OpenFile(Resolve(path), mode);
}

bool WideFileServices::ReplaceFile(const std::string& from, const std::string& to) {
  return os::RenameOver(Resolve(from), Resolve(to));
}

bool WideFileServices::RemoveFile(const std::string& path) { return os::Remove(Resolve(path)); }

OsServices::PathKind WideFileServices::GetPathKind(const std::string& path) { return KindOf(Resolve(path)); }
