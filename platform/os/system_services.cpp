#include "platform/os/system_services.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/os/os_services.h"

namespace os {

SystemServices::SystemServices() : cwd_(os::CurrentDirectory()) {
  if (std::getenv("TALVERINE_DEBUG") != nullptr)
    traceSink_ = [](const char* text) { std::fputs(text, stderr); };
}

void SystemServices::Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int64_t SystemServices::TimeSeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

uint64_t SystemServices::MonotonicMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool SystemServices::ChangeDirectory(const std::string& dir) {
  const std::string resolved = Resolve(dir);
  if (!DirectoryExists(resolved)) return false;
  cwd_ = resolved;
  return true;
}

std::string SystemServices::GetConfigDirectory() { return configDir_.empty() ? ConfigDirectory() : configDir_; }

std::string SystemServices::Resolve(const std::string& path) const { return ResolvePath(cwd_, path); }

FILE* SystemServices::OpenFile(const std::string& path, const char* mode) {
  return os::OpenFile(Resolve(path), mode);
}

bool SystemServices::RenameOver(const std::string& from, const std::string& to) {
  return os::RenameOver(Resolve(from), Resolve(to));
}

bool SystemServices::RemoveFile(const std::string& path) { return Remove(Resolve(path)); }

OsServices::PathKind SystemServices::GetPathKind(const std::string& path) {
  switch (KindOfPath(Resolve(path))) {
    case os::PathKind::Missing: return PathKind::Missing;
    case os::PathKind::Regular: return PathKind::Regular;
    case os::PathKind::Directory: return PathKind::Directory;
    default: return PathKind::Other;
  }
}

void* SystemServices::AllocMemory(size_t bytes) { return std::calloc(bytes, 1); }

void SystemServices::FreeMemory(void* block) { std::free(block); }

void SystemServices::DebugTrace(const char* text) {
  if (traceSink_) traceSink_(text ? text : "");
}

std::string InstalledDataDirectory() {
  const std::string exe = ExecutableDirectory();
  for (const std::string& shared : {exe + "/../share/talverine", exe + "/share/talverine"})
    if (KindOfPath(shared) == PathKind::Directory) return std::filesystem::path(shared).lexically_normal().string();
  return "";
}

}  // namespace os
