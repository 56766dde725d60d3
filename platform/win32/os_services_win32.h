// Files, the clock and the rest of the operating system on Windows.
//
// Implements:
// - Win32OsServices: the whole OsServices part for the desktop program:
//   Sleep, the time of day, the process's current folder, the
//   configuration folder (%APPDATA%\Talverine; TALVERINE_CONFIG_DIR wins),
//   the program's own folder as the data folder (the help lies beside the
//   .exe), files opened, replaced and removed through the wide calls,
//   memory, and the debugger's output for traces (also stderr when
//   TALVERINE_DEBUG is set);
// - WideFileServices: another back end's OsServices (the headless one, for
//   talverine-cli) with its files taken over: opened, replaced, removed and
//   looked at through the wide calls, relative to that back end's current
//   folder, and the configuration folder as above.
#pragma once

#include "platform/platform.h"

class Win32OsServices : public OsServices {
 public:
  Win32OsServices();
  void Sleep(UINT ms) override;
  int64_t TimeSeconds() override;
  std::string GetCurrentDirectory() override;
  bool SetCurrentDirectory(const std::string& dir) override;
  std::string GetConfigDirectory() override;
  std::string GetDataDirectory() override;
  FILE* OpenFile(const std::string& path, const char* mode) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
  PathKind GetPathKind(const std::string& path) override;
  void* AllocMemory(size_t bytes) override;
  void FreeMemory(void* block) override;
  void DebugTrace(const char* text) override;

 private:
  std::string Resolve(const std::string& path);
  bool traceToStderr_ = false;
};

class WideFileServices : public OsServices {
 public:
  explicit WideFileServices(OsServices& inner) : inner_(inner) {}
  void Sleep(UINT ms) override { inner_.Sleep(ms); }
  int64_t TimeSeconds() override { return inner_.TimeSeconds(); }
  std::string GetCurrentDirectory() override { return inner_.GetCurrentDirectory(); }
  bool SetCurrentDirectory(const std::string& dir) override { return inner_.SetCurrentDirectory(dir); }
  std::string GetConfigDirectory() override { return inner_.GetConfigDirectory(); }
  std::string GetDataDirectory() override { return inner_.GetDataDirectory(); }
  FILE* OpenFile(const std::string& path, const char* mode) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
  PathKind GetPathKind(const std::string& path) override;
  void* AllocMemory(size_t bytes) override { return inner_.AllocMemory(bytes); }
  void FreeMemory(void* block) override { inner_.FreeMemory(block); }
  void DebugTrace(const char* text) override { inner_.DebugTrace(text); }

 private:
  std::string Resolve(const std::string& path);
  OsServices& inner_;
};
