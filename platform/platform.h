// The core's view of the seam (platform/seam.h): the calls the core makes,
// under the names of the desktop API the program was first written for, so
// that the core reads like the procedures it implements. Back ends may
// include this header; one whose system headers have these names of their
// own (the Win32 back end) includes seam.h alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/seam.h"

// ---------------------------------------------------------------------------
// Basic types
// ---------------------------------------------------------------------------
using BYTE = uint8_t;
using WORD = uint16_t;
using UINT = uint32_t;
using DWORD = uint32_t;
using LONG = int32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using INT_PTR = intptr_t;

using HWND = PlatWindow*;
using HINSTANCE = void*;

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

using RECT = Rect;
using POINT = Point;

inline WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
inline WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
inline WPARAM MAKEWPARAM(WORD lo, WORD hi) { return static_cast<WPARAM>(lo) | (static_cast<WPARAM>(hi) << 16); }

// ---------------------------------------------------------------------------
// Dialog messages (the dialog runner's, to the dialog procedures)
// ---------------------------------------------------------------------------
constexpr UINT WM_INITDIALOG = 0x0110;  // before a dialog shows
constexpr UINT WM_COMMAND = 0x0111;     // wParam: control id | notification << 16

// Keys held with a click.
constexpr WPARAM MK_LBUTTON = mouse_key::kLeft;
constexpr WPARAM MK_RBUTTON = mouse_key::kRight;
constexpr WPARAM MK_SHIFT = mouse_key::kShift;
constexpr WPARAM MK_CONTROL = mouse_key::kControl;
constexpr WPARAM MK_MBUTTON = mouse_key::kMiddle;
constexpr WPARAM MK_XBUTTON1 = mouse_key::kX1;
constexpr WPARAM MK_XBUTTON2 = mouse_key::kX2;

// Dialog commands and notifications.
constexpr int IDOK = button_id::kOk;
constexpr int IDCANCEL = button_id::kCancel;
constexpr int IDYES = button_id::kYes;
constexpr int IDNO = button_id::kNo;
constexpr WORD BN_CLICKED = 0;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD EN_CHANGE = 0x0300;

// ---------------------------------------------------------------------------
// Message boxes
// ---------------------------------------------------------------------------
constexpr UINT MB_OK = msgbox::kOk;
constexpr UINT MB_OKCANCEL = msgbox::kOkCancel;
constexpr UINT MB_YESNO = msgbox::kYesNo;
constexpr UINT MB_ICONERROR = msgbox::kIconError;
constexpr UINT MB_ICONQUESTION = msgbox::kIconQuestion;
constexpr UINT MB_ICONWARNING = msgbox::kIconWarning;
constexpr UINT MB_ICONINFORMATION = msgbox::kIconInformation;
constexpr UINT MB_TASKMODAL = msgbox::kTaskModal;
constexpr UINT MB_TYPEMASK = msgbox::kButtonsMask;
constexpr UINT MB_ICONMASK = msgbox::kIconMask;

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------
using COLORREF = Colour;
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
inline BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
inline BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
inline BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

using LOGFONT = LogFont;

constexpr UINT TA_LEFT = text_align::kLeft;
constexpr UINT TA_TOP = text_align::kTop;
constexpr UINT TA_CENTER = text_align::kCenter;

// ---------------------------------------------------------------------------
// Open and save file dialogs
// ---------------------------------------------------------------------------
constexpr DWORD OFN_OVERWRITEPROMPT = file_dialog::kOverwritePrompt;
constexpr DWORD OFN_HIDEREADONLY = file_dialog::kHideReadOnly;
constexpr DWORD OFN_PATHMUSTEXIST = file_dialog::kPathMustExist;
constexpr DWORD OFN_FILEMUSTEXIST = file_dialog::kFileMustExist;

using OPENFILENAME = FileRequest;

// ---------------------------------------------------------------------------
// MIDI ports
// ---------------------------------------------------------------------------
constexpr UINT MMSYSERR_NOERROR = midi_error::kNone;
constexpr UINT MMSYSERR_ERROR = midi_error::kError;
constexpr UINT MMSYSERR_BADDEVICEID = midi_error::kBadDeviceId;
constexpr UINT MMSYSERR_ALLOCATED = midi_error::kAllocated;
constexpr UINT MMSYSERR_INVALHANDLE = midi_error::kInvalidHandle;
constexpr UINT MMSYSERR_NODRIVER = midi_error::kNoDriver;
constexpr UINT MMSYSERR_NOMEM = midi_error::kNoMemory;
constexpr UINT MMSYSERR_INVALPARAM = midi_error::kInvalidParam;

// ---------------------------------------------------------------------------
// Sound playback
// ---------------------------------------------------------------------------
constexpr UINT SND_ASYNC = play_flags::kAsync;
constexpr UINT SND_NODEFAULT = play_flags::kNoDefault;
constexpr UINT SND_MEMORY = play_flags::kMemory;

// ---------------------------------------------------------------------------
// The calls the core makes, to the parts installed with plat::Install
// ---------------------------------------------------------------------------
namespace plat {

inline HWND CreateMainWindow(const char* caption, WindowEvents& e) { return Window().CreateMainWindow(caption, e); }
inline int RunMessageLoop() { return Window().RunMessageLoop(); }
inline void RequestClose(HWND h) { Window().RequestClose(h); }
inline void Quit(int code) { Window().Quit(code); }
inline UINT SetTimer(HWND h, UINT id, UINT ms) { return Window().SetTimer(h, id, ms); }
inline void KillTimer(HWND h, UINT id) { Window().KillTimer(h, id); }
inline int MessageBox(HWND o, const char* t, const char* c, UINT type) { return Window().ShowMessage(o, t, c, type); }
inline void InvalidateRect(HWND h, bool erase) { Window().InvalidateRect(h, erase); }
inline RECT GetClientRect(HWND h) { return Window().GetClientRect(h); }
inline void DestroyWindow(HWND h) { Window().DestroyWindow(h); }
inline void MoveWindow(HWND h, int x, int y, int w, int hh, bool r) { Window().MoveWindow(h, x, y, w, hh, r); }

inline HWND CreateButton(HWND p, const char* l, int id, int x, int y, int w, int h) { return Window().CreateButton(p, l, id, x, y, w, h); }
inline HWND CreateStatusBar(HWND p, int id) { return Window().CreateStatusBar(p, id); }
inline void StatusSetParts(HWND s, int n, const int* e) { Window().StatusSetParts(s, n, e); }
inline void StatusSetText(HWND s, int part, const char* t) { Window().StatusSetText(s, part, t); }
inline HWND CreateProgressBar(HWND p, int x, int y, int w, int h) { return Window().CreateProgressBar(p, x, y, w, h); }
inline void ProgressSet(HWND b, int pos, int range) { Window().ProgressSet(b, pos, range); }

inline INT_PTR ShowDialog(HWND o, int id, DialogState& s, const DialogEventHandler& e) {
  return Window().ShowDialog(o, id, s, e);
}

inline FileDialogResult ChooseFile(OPENFILENAME& o, bool save) { return Window().ChooseFile(o, save); }
inline void DragAcceptFiles(HWND h, bool a) { Window().DragAcceptFiles(h, a); }
inline bool ShellOpen(HWND o, const char* f) { return Window().ShellOpen(o, f); }

inline bool PlaySoundMemory(const void* w, UINT f) { return Window().PlaySoundMemory(w, f); }
inline std::unique_ptr<InstanceLock> LockSingleInstance(const char* n, const std::vector<std::string>& f = {}) {
  return Window().LockSingleInstance(n, f);
}

inline void Sleep(UINT ms) { Os().Sleep(ms); }
inline int64_t TimeSeconds() { return Os().TimeSeconds(); }
inline uint64_t MonotonicMs() { return Os().MonotonicMs(); }
inline std::string GetCurrentDirectory() { return Os().CurrentDirectory(); }
inline bool SetCurrentDirectory(const std::string& d) { return Os().ChangeDirectory(d); }
inline std::string GetConfigDirectory() { return Os().GetConfigDirectory(); }
inline std::string GetDataDirectory() { return Os().GetDataDirectory(); }
inline FILE* OpenFile(const std::string& p, const char* m) { return Os().OpenFile(p, m); }
inline bool ReplaceFile(const std::string& f, const std::string& t) { return Os().RenameOver(f, t); }
inline bool RemoveFile(const std::string& p) { return Os().RemoveFile(p); }
inline OsServices::PathKind GetPathKind(const std::string& p) { return Os().GetPathKind(p); }
inline void* AllocMemory(size_t n) { return Os().AllocMemory(n); }
inline void FreeMemory(void* b) { Os().FreeMemory(b); }
inline void DebugTrace(const char* t) { Os().DebugTrace(t); }

inline std::vector<std::string> MidiInputNames() { return Midi().InputNames(); }
inline std::vector<std::string> MidiOutputNames() { return Midi().OutputNames(); }
inline MidiResult MidiOpenInput(const std::string& n, MidiInputHandler h, PlatMidiPort** p) {
  return Midi().OpenInput(n, std::move(h), p);
}
inline MidiResult MidiOpenOutput(const std::string& n, MidiSentHandler s, PlatMidiPort** p) {
  return Midi().OpenOutput(n, std::move(s), p);
}
inline MidiResult MidiListen(PlatMidiPort* p, bool on) { return Midi().Listen(p, on); }
inline MidiResult MidiSend(PlatMidiPort* p, const BYTE* d, size_t n) { return Midi().Send(p, d, n); }
inline MidiResult MidiClose(PlatMidiPort* p) { return Midi().Close(p); }

}  // namespace plat
