// The serial port calls a SerialLine makes that tests replace, as a table:
// the system's, or a double refusing a rate or failing as an unplugged
// device does. Windows side.
#pragma once

#include <windows.h>

namespace w32 {

struct CommCalls {
  BOOL(WINAPI* getState)(HANDLE, LPDCB);
  BOOL(WINAPI* setState)(HANDLE, LPDCB);
  BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  // False where GetCommState does not tell a custom rate that was set:
  // Wine sets one through a custom divisor and reads it back as 38,400.
  bool readsBackCustomRates;
};

}  // namespace w32
