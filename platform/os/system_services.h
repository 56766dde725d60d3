// The seam's OsServices on this operating system: files, folders, memory,
// the debug trace and the real clock. Every back end takes them from here;
// one that runs on a clock of its own overrides the clock operations alone.
#pragma once

#include <functional>
#include <string>

#include "platform/seam.h"

namespace os {

class SystemServices : public OsServices {
 public:
  // The current directory starts as the process's; the debug trace goes to
  // stderr when TALVERINE_DEBUG is set, else nowhere.
  SystemServices();

  void Sleep(uint32_t ms) override;
  int64_t TimeSeconds() override;
  uint64_t MonotonicMs() override;
  // The current directory is this object's own, so that the process's
  // working directory (and with it the user's relative paths) never moves.
  std::string CurrentDirectory() override { return cwd_; }
  bool ChangeDirectory(const std::string& dir) override;
  std::string GetConfigDirectory() override;
  std::string GetDataDirectory() override { return dataDir_; }
  FILE* OpenFile(const std::string& path, const char* mode) override;
  bool RenameOver(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
  PathKind GetPathKind(const std::string& path) override;
  void* AllocMemory(size_t bytes) override;
  void FreeMemory(void* block) override;
  void DebugTrace(const char* text) override;

  // "" (the default): $TALVERINE_CONFIG_DIR, $XDG_CONFIG_HOME/talverine or
  // ~/.config/talverine, as os::ConfigDirectory finds it at each call.
  void SetConfigDirectory(const std::string& dir) { configDir_ = dir; }
  // "" (the default): no installed files.
  void SetDataDirectory(const std::string& dir) { dataDir_ = dir; }
  // Where the debug trace goes from now on; an empty sink drops it.
  void SetTraceSink(std::function<void(const char*)> sink) { traceSink_ = std::move(sink); }

 protected:
  // `path` made absolute against the current directory.
  std::string Resolve(const std::string& path) const;
  // Sets the current directory without asking whether it exists.
  void SetCurrentDirectoryUnchecked(const std::string& dir) { cwd_ = dir; }

 private:
  std::string cwd_;
  std::string configDir_;
  std::string dataDir_;
  std::function<void(const char*)> traceSink_;
};

// The folder of the files installed with the program: <prefix>/share/talverine
// beside <prefix>/bin, or <build>/share/talverine in the build tree; "" when
// neither is there.
std::string InstalledDataDirectory();

}  // namespace os
