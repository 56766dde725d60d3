// Kernel services for the Win32 back end and the Windows programs, in the
// program's own terms (UTF-8 paths), without <windows.h> so that portable
// files and tests can use them. The folder and file operations shared with the other back
// ends are those of platform/os/os_services.h, implemented in os_win32.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace w32 {

// A line to the debugger's output (invisible to the user).
void DebugOutput(const char* text);

// The command line as UTF-8 strings, the program's name first.
std::vector<std::string> CommandLineArguments();
// For a program without a console of its own (talverine.exe): stdout and
// stderr go to the console it was started from, when they go nowhere else.
// False when there is none to write to.
bool UseParentConsole();
// A message for a user with no console: a box.
void ShowMessage(const std::string& caption, const std::string& text);

// A path as the wide file calls take it. A long one (near the classic 260
// characters or beyond) is made absolute with the "\\?\" prefix, which
// every version of Windows takes, whatever its long-path setting.
std::wstring FilePath(const std::string& path);

// How a retry waits between its tries: Sleep, or a test's own.
using Pause = std::function<void(unsigned ms)>;
// Runs `attempt` until it succeeds, fails for another reason than the file
// being held by another program (an antivirus or indexer looking at a file
// just written), or has waited a second in all; whether it succeeded.
bool RetryWhileHeld(const std::function<bool()>& attempt, const Pause& pause);
// os::RenameOver, waiting with `pause` while either file is held.
bool RenameOverWaiting(const std::string& from, const std::string& to, const Pause& pause);

}  // namespace w32
