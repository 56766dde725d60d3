// os_services on Windows, and the kernel helpers of system_win32.h: wide
// calls at the boundary, UTF-8 paths inside.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/os/os_services.h"
#include "platform/win32/system_win32.h"
#include "platform/win32/text_win32.h"

namespace {

HANDLE g_instanceMutex = nullptr;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "C:...", "\\server\share", "\folder" or "/folder".
bool IsAbsolute(const std::string& path) {
  if (path.empty()) return false;
  if (IsSeparator(path[0])) return true;
  return path.size() >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z');
}

void SleepFor(unsigned ms) { Sleep(ms); }

std::string ParentOf(const std::string& path) {
  const std::string::size_type cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

namespace os {

std::string CurrentDirectory() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return ".";
  std::vector<wchar_t> buffer(n);
  const DWORD got = GetCurrentDirectoryW(n, buffer.data());
  return got > 0 && got < n ? w32::Utf8(buffer.data(), got) : ".";
}

bool DirectoryExists(const std::string& path) { return KindOfPath(path) == PathKind::Directory; }

PathKind KindOfPath(const std::string& path) {
  const std::wstring wide = w32::FilePath(path);
  if (wide.empty()) return PathKind::Missing;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
  // A device name ("CON", "COM1", a pipe) answers to the attribute call
  // like a file: only what lies on a disk is a regular file.
  HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return PathKind::Regular;  // locked by another program: still a file
  const DWORD type = GetFileType(h);
  CloseHandle(h);
  return type == FILE_TYPE_DISK ? PathKind::Regular : PathKind::Other;
}

std::string ResolvePath(const std::string& base, const std::string& path) {
  if (path.empty() || IsAbsolute(path) || base.empty()) return path;
  if (IsSeparator(base.back())) return base + path;
  // Windows takes either separator; a base written with '/' keeps to it.
  return base + (base.find('/') != std::string::npos ? "/" : "\\") + path;
}

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  const std::string parent = ParentOf(path);
  if (!parent.empty() && !(parent.size() == 2 && parent[1] == ':')) MakeDirectories(parent);
  return CreateDirectoryW(w32::FilePath(path).c_str(), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string ConfigDirectory() {
  std::string dir = w32::Environment("TALVERINE_CONFIG_DIR");
  if (dir.empty()) {
    const std::string appData = w32::Environment("APPDATA");
    dir = appData.empty() ? CurrentDirectory() : appData + "\\Talverine";
  }
  MakeDirectories(dir);
  return dir;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return w32::RenameOverWaiting(from, to, SleepFor);
}

FILE* OpenFile(const std::string& path, const char* mode) {
  const std::wstring file = w32::FilePath(path);
  const std::wstring how = w32::Wide(mode ? mode : "");
  FILE* fp = nullptr;
  w32::RetryWhileHeld([&] { return (fp = _wfopen(file.c_str(), how.c_str())) != nullptr; }, SleepFor);
  return fp;
}

bool Remove(const std::string& path) { return DeleteFileW(w32::FilePath(path).c_str()) != 0; }

std::string ExecutableDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return CurrentDirectory();
    if (n < buffer.size()) return ParentOf(w32::Utf8(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

bool LockSingleInstance(const std::string& name) {
  if (g_instanceMutex != nullptr) return true;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, w32::Wide(name).c_str());
  if (mutex == nullptr) return true;  // no lock to be had: don't keep the user out
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  g_instanceMutex = mutex;
  return true;
}

void UnlockSingleInstance() {
  if (g_instanceMutex != nullptr) CloseHandle(g_instanceMutex);
  g_instanceMutex = nullptr;
}

}  // namespace os

namespace w32 {

void DebugOutput(const char* text) {
  if (text) OutputDebugStringW(Wide(text).c_str());
}

std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> args;
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) args.push_back(Utf8(wide[i], wcslen(wide[i])));
    LocalFree(wide);
  }
  return args;
}

bool UseParentConsole() {
  auto usable = [](DWORD which) {
    HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE;
  };
  if (usable(STD_OUTPUT_HANDLE) && usable(STD_ERROR_HANDLE)) return true;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return usable(STD_OUTPUT_HANDLE) || usable(STD_ERROR_HANDLE);
  if (!usable(STD_OUTPUT_HANDLE)) std::freopen("CONOUT$", "w", stdout);
  if (!usable(STD_ERROR_HANDLE)) std::freopen("CONOUT$", "w", stderr);
  return true;
}

void ShowMessage(const std::string& caption, const std::string& text) {
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), MB_OK | MB_ICONINFORMATION);
}

std::wstring FilePath(const std::string& path) {
  // Less room for a file name: CreateDirectoryW stops at 248 characters.
  constexpr size_t kClassicLimit = MAX_PATH - 12;
  const std::wstring wide = Wide(path);
  if (wide.size() < kClassicLimit || wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) return wide;
  // The prefix turns off Windows' own clean-up of the path: it gets
  // absolute, its separators back-slashes and its "." and ".." resolved here.
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return wide;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool RetryWhileHeld(const std::function<bool()>& attempt, const Pause& pause) {
  constexpr unsigned kStepMs = 50;
  constexpr unsigned kPatienceMs = 1000;
  // Waits are counted, not timed: a loaded machine neither gives up sooner
  // nor waits longer.
  for (unsigned waited = 0;; waited += kStepMs) {
    if (attempt()) return true;
    const DWORD error = GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
    if (!held || waited >= kPatienceMs) return false;
    pause(kStepMs);
  }
}

bool RenameOverWaiting(const std::string& from, const std::string& to, const Pause& pause) {
  // Only a file is replaced: never a folder (Wine would put the file in
  // its place, and whatever it held would be gone) nor a device.
  const os::PathKind old = os::KindOfPath(to);
  if (old == os::PathKind::Directory || old == os::PathKind::Other) return false;
  const std::wstring source = FilePath(from);
  const std::wstring target = FilePath(to);
  return RetryWhileHeld(
      [&] {
        // Replacing keeps what the user set on the old file (its attributes
        // and access rights); only a new name is a plain move.
        if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES &&
            ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
          return true;
        return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      },
      pause);
}

}  // namespace w32
