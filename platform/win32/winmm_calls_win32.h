// The WinMM functions the MIDI ports use, as a table: the system's, or a
// test double keeping their contracts. Windows side: needs <mmsystem.h>.
#pragma once

#include <windows.h>
#include <mmsystem.h>

namespace w32 {

struct WinMmCalls {
  UINT(WINAPI* inGetNumDevs)();
  MMRESULT(WINAPI* inGetDevCaps)(UINT_PTR, LPMIDIINCAPSW, UINT);
  MMRESULT(WINAPI* inOpen)(LPHMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD);
  MMRESULT(WINAPI* inClose)(HMIDIIN);
  MMRESULT(WINAPI* inPrepareHeader)(HMIDIIN, LPMIDIHDR, UINT);
  MMRESULT(WINAPI* inUnprepareHeader)(HMIDIIN, LPMIDIHDR, UINT);
  MMRESULT(WINAPI* inAddBuffer)(HMIDIIN, LPMIDIHDR, UINT);
  MMRESULT(WINAPI* inStart)(HMIDIIN);
  MMRESULT(WINAPI* inReset)(HMIDIIN);
  MMRESULT(WINAPI* inGetErrorText)(MMRESULT, LPWSTR, UINT);
  UINT(WINAPI* outGetNumDevs)();
  MMRESULT(WINAPI* outGetDevCaps)(UINT_PTR, LPMIDIOUTCAPSW, UINT);
  MMRESULT(WINAPI* outOpen)(LPHMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD);
  MMRESULT(WINAPI* outClose)(HMIDIOUT);
  MMRESULT(WINAPI* outPrepareHeader)(HMIDIOUT, LPMIDIHDR, UINT);
  MMRESULT(WINAPI* outUnprepareHeader)(HMIDIOUT, LPMIDIHDR, UINT);
  MMRESULT(WINAPI* outLongMsg)(HMIDIOUT, LPMIDIHDR, UINT);
  MMRESULT(WINAPI* outShortMsg)(HMIDIOUT, DWORD);
  MMRESULT(WINAPI* outReset)(HMIDIOUT);
  MMRESULT(WINAPI* outGetErrorText)(MMRESULT, LPWSTR, UINT);
};

}  // namespace w32
