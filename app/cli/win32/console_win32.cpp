#include "app/cli/win32/console_win32.h"

#include <windows.h>

namespace cli::win32 {

bool StdinIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool StderrTakesEscapes() {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(err, &mode)) return false;
  constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
  return (mode & kVirtualTerminal) != 0 || SetConsoleMode(err, mode | kVirtualTerminal) != 0;
}

int ReadConsoleByte(unsigned waitMs, int noInputYet, int endOfInput) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  // The console's input is signalled by any event, a key release or a
  // mouse move too: only a line typed and ended is read.
  if (WaitForSingleObject(in, waitMs) != WAIT_OBJECT_0) return noInputYet;
  INPUT_RECORD event;
  DWORD seen = 0;
  while (PeekConsoleInputW(in, &event, 1, &seen) && seen == 1) {
    if (event.EventType == KEY_EVENT && event.Event.KeyEvent.bKeyDown && event.Event.KeyEvent.uChar.UnicodeChar) break;
    ReadConsoleInputW(in, &event, 1, &seen);
    if (WaitForSingleObject(in, 0) != WAIT_OBJECT_0) return noInputYet;
  }
  char c = 0;
  DWORD got = 0;
  if (!ReadFile(in, &c, 1, &got, nullptr) || got == 0) return endOfInput;
  return static_cast<unsigned char>(c);
}

}  // namespace cli::win32
