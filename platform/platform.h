// The seam between the portable core and the operating system.
//
// The core (shell/, device/, files/, settings/, help/) reaches the outside
// world only through the operations declared here, in three parts: the
// window system, files with the clock and the OS, and the MIDI ports. A back
// end (platform/qt, platform/headless) implements each part; the free
// functions in namespace `plat` forward to the parts installed with
// `plat::Install`. Message ids, flags and records keep the names and values
// of the desktop API the program was first written for, so that the core
// reads like the procedures it implements.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog_state.h"

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
using LRESULT = intptr_t;
using INT_PTR = intptr_t;

struct PlatWindow;                 // defined by each back end
using HWND = PlatWindow*;
using HINSTANCE = void*;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct RECT { LONG left, top, right, bottom; };
struct POINT { LONG x, y; };

inline WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
inline WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
inline WPARAM MAKEWPARAM(WORD lo, WORD hi) { return static_cast<WPARAM>(lo) | (static_cast<WPARAM>(hi) << 16); }
inline LPARAM MAKELPARAM(WORD lo, WORD hi) { return static_cast<LPARAM>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16)); }

// ---------------------------------------------------------------------------
// Window messages
// ---------------------------------------------------------------------------
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_DROPFILES = 0x0233;

// Key state of mouse messages (wParam).
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr WPARAM MK_XBUTTON1 = 0x0020;
constexpr WPARAM MK_XBUTTON2 = 0x0040;

// Dialog commands and notifications.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr WORD BN_CLICKED = 0;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD EN_CHANGE = 0x0300;

// ---------------------------------------------------------------------------
// Message boxes
// ---------------------------------------------------------------------------
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_OKCANCEL = 0x0001;
constexpr UINT MB_YESNO = 0x0004;
constexpr UINT MB_ICONERROR = 0x0010;
constexpr UINT MB_ICONQUESTION = 0x0020;
constexpr UINT MB_ICONWARNING = 0x0030;
constexpr UINT MB_ICONINFORMATION = 0x0040;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr UINT MB_TYPEMASK = 0x000F;
constexpr UINT MB_ICONMASK = 0x00F0;

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------
using COLORREF = DWORD;
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
inline BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
inline BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
inline BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

// Description of a font, as the label font of the main window is given.
struct LOGFONT {
  LONG lfHeight = 0;
  LONG lfWidth = 0;
  LONG lfEscapement = 0;
  LONG lfOrientation = 0;
  LONG lfWeight = 0;
  BYTE lfItalic = 0;
  BYTE lfUnderline = 0;
  BYTE lfStrikeOut = 0;
  BYTE lfCharSet = 0;
  BYTE lfOutPrecision = 0;
  BYTE lfClipPrecision = 0;
  BYTE lfQuality = 0;
  BYTE lfPitchAndFamily = 0;
  char lfFaceName[32] = {};
};

constexpr UINT TA_LEFT = 0;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_CENTER = 6;

// Bitmap resources of the main window.
constexpr int IDB_EPROM = 1;      // 64 x 64 EPROM picture
constexpr int IDB_CHECK = 2;      // 32 x 32 green tick
constexpr int IDB_CROSS = 3;      // 32 x 32 orange cross

// What the paint code draws on. Qt implements it with QPainter; the headless
// back end records every call.
class Canvas {
 public:
  virtual ~Canvas() = default;
  // A solid pen; `insideFrame` keeps wide lines within the figure drawn.
  virtual void SetPen(int width, COLORREF colour, bool insideFrame) = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  // Copies the top-left `w` x `h` pixels of bitmap resource `bitmapId`
  // unscaled to (x, y).
  virtual void DrawBitmap(int bitmapId, int x, int y, int w, int h) = 0;
  virtual void SetFont(const LOGFONT& font) = 0;
  virtual void SetTextAlign(UINT align) = 0;
  virtual void TextOut(int x, int y, const char* text) = 0;
};

// ---------------------------------------------------------------------------
// Open and save file dialogs
// ---------------------------------------------------------------------------
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

struct FileFilter {
  std::string description;  // "Binary files (*.BIN)"
  std::string pattern;      // "*.BIN"
};

struct OPENFILENAME {
  HWND hwndOwner = nullptr;
  std::vector<FileFilter> filters;
  DWORD nFilterIndex = 0;          // 1-based; updated to the filter in use when the dialog closes
  std::string initialDir;          // empty: the dialog's default
  std::string file;                // out: the chosen path
  std::string fileTitle;           // out: the chosen file's name without folder
  DWORD flags = 0;
};

// How a file dialog ended. A cancel is no error; a dialog that failed
// carries the system's error number.
struct FileDialogResult {
  enum Outcome { kChosen, kCancelled, kFailed };
  Outcome outcome = kCancelled;
  DWORD error = 0;  // non-zero when the dialog failed
};

// Held while this process is the program's running instance; destroying it
// runs the back end's release.
class InstanceLock {
 public:
  explicit InstanceLock(std::function<void()> release = nullptr) : release_(std::move(release)) {}
  ~InstanceLock() {
    if (release_) release_();
  }
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  std::function<void()> release_;
};

// The files dropped on a window. WM_DROPFILES carries a pointer to one in
// wParam, valid only while the window procedure handles that message.
struct DroppedFiles {
  std::vector<std::string> names;  // in the order they were dropped
  POINT point{};                   // the drop point in client coordinates
  bool inClient = false;           // whether the point lies in the client area
};

// ---------------------------------------------------------------------------
// MIDI ports
// ---------------------------------------------------------------------------
// Error numbers of the ports (the desktop API's values, so that a driver's
// own numbers pass through unchanged).
constexpr UINT MMSYSERR_NOERROR = 0;
constexpr UINT MMSYSERR_ERROR = 1;
constexpr UINT MMSYSERR_BADDEVICEID = 2;
constexpr UINT MMSYSERR_ALLOCATED = 4;
constexpr UINT MMSYSERR_INVALHANDLE = 5;
constexpr UINT MMSYSERR_NODRIVER = 6;
constexpr UINT MMSYSERR_NOMEM = 7;
constexpr UINT MMSYSERR_BADERRNUM = 9;
constexpr UINT MMSYSERR_INVALPARAM = 11;
constexpr UINT MIDIERR_NOTREADY = 67;

// What a port operation, or a message sent, came to: an error number
// (MMSYSERR_NOERROR: done) and, for an error, the port's own words.
struct MidiResult {
  UINT error = MMSYSERR_NOERROR;
  std::string text;
  bool Ok() const { return error == MMSYSERR_NOERROR; }
};

struct PlatMidiPort;  // an open MIDI port

// The longest name of a port, in characters.
constexpr size_t MAX_MIDI_PORT_NAME = 31;

// Bytes of a channel or system common message with this status byte; 0
// for System Exclusive and for a byte that is no status.
constexpr size_t MidiMessageLength(BYTE status) {
  if (status < 0x80 || status == 0xF0 || status == 0xF7) return 0;
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0) || status == 0xF2) return 3;
  if (status < 0xE0 || status == 0xF1 || status == 0xF3) return 2;
  return 1;
}

// What an open input hands on while it listens: each whole System
// Exclusive message (0xF0 .. 0xF7, with real-time bytes taken out), and an
// error for each one that came broken (cut short by another status byte,
// or bytes lost) or longer than a port takes. Other messages are not
// handed on.
struct MidiInputHandler {
  std::function<void(const BYTE* data, size_t size)> sysex;
  std::function<void()> error;
};
// What an open output reports for each message Send took, in order: once
// its last byte has left the port, or once it could not go out (with the
// port's words); also for a message taken before its port was closed.
using MidiSentHandler = std::function<void(const MidiResult& result)>;

// The MIDI ports, a list of inputs and a list of outputs, each port known
// by its name. Handlers are called on the GUI thread from its message loop,
// never from inside one of these operations.
class MidiPorts {
 public:
  virtual ~MidiPorts() = default;

  // The ports' names in their order: each one once in its list, at most
  // MAX_MIDI_PORT_NAME characters.
  virtual std::vector<std::string> InputNames() = 0;
  virtual std::vector<std::string> OutputNames() = 0;
  virtual MidiResult OpenInput(const std::string& name, MidiInputHandler handler, PlatMidiPort** port) = 0;
  virtual MidiResult OpenOutput(const std::string& name, MidiSentHandler sent, PlatMidiPort** port) = 0;
  // Starts or stops an input's handing on; stopping forgets whatever has
  // arrived and not been handed on yet, a message half received included.
  virtual MidiResult Listen(PlatMidiPort* input, bool listen) = 0;
  // Hands over a copy of one whole message: System Exclusive, or a channel
  // or system common message. Messages go out in order, and none is cut by
  // a later Close.
  virtual MidiResult Send(PlatMidiPort* output, const BYTE* data, size_t size) = 0;
  virtual MidiResult Close(PlatMidiPort* port) = 0;
};

// ---------------------------------------------------------------------------
// Sound playback
// ---------------------------------------------------------------------------
constexpr UINT SND_ASYNC = 0x0001;
constexpr UINT SND_NODEFAULT = 0x0002;
constexpr UINT SND_MEMORY = 0x0004;

// ---------------------------------------------------------------------------
// The operations a back end supplies, in three parts
// ---------------------------------------------------------------------------
// The window system and the desktop around it: the main window, its
// messages and timers, message boxes, child controls, painting, dialogs,
// the file dialogs, dropped files, opening documents, playing sounds and the
// single-instance rule (a second start raises the first one's window).
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // Windows and messages ----------------------------------------------------
  // Creates the main window; `wndProc` receives WM_CREATE before this returns.
  virtual HWND CreateMainWindow(const char* className, const char* caption, WNDPROC wndProc) = 0;
  // Runs the message loop until WM_QUIT; returns its wParam.
  virtual int RunMessageLoop() = 0;
  virtual void PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  virtual void PostQuitMessage(int exitCode) = 0;
  virtual UINT SetTimer(HWND hWnd, UINT id, UINT periodMs) = 0;
  virtual void KillTimer(HWND hWnd, UINT id) = 0;
  // Text, caption (nullptr: the system's default caption), owner (may be
  // null), buttons and icon; returns the button pressed (IDOK, IDYES...).
  // A Yes/No box is ended by one of its buttons only.
  virtual int MessageBox(HWND owner, const char* text, const char* caption, UINT type) = 0;
  virtual void InvalidateRect(HWND hWnd, bool erase) = 0;
  virtual RECT GetClientRect(HWND hWnd) = 0;
  virtual void DestroyWindow(HWND hWnd) = 0;
  virtual void MoveWindow(HWND hWnd, int x, int y, int w, int h, bool repaint) = 0;

  // Child controls of the main window ---------------------------------------
  virtual HWND CreateButton(HWND parent, const char* label, int id, int x, int y, int w, int h) = 0;
  // A status bar keeps to the bottom of its window when the window is resized.
  virtual HWND CreateStatusBar(HWND parent, int id) = 0;
  virtual void StatusSetParts(HWND status, int count, const int* rightEdges) = 0;
  virtual void StatusSetText(HWND status, int part, const char* text) = 0;
  virtual HWND CreateProgressBar(HWND parent, int x, int y, int w, int h) = 0;
  // Shows `position` of 0..`range`.
  virtual void ProgressSet(HWND bar, int position, int range) = 0;

  // Painting ----------------------------------------------------------------
  virtual Canvas* BeginPaint(HWND hWnd) = 0;
  virtual void EndPaint(HWND hWnd, Canvas* canvas) = 0;

  // Modal dialogs built from the templates in resources/ ----------------------
  // Shows dialog `templateId` with `state` (a control without an item keeps
  // its template's text) and runs it modally, reporting each thing the user
  // does to `onEvent`. Of `state` the back end changes only what the user
  // sets, before reporting it: a list's selection, an edit box's text. A
  // click changes no check in it (the buttons' rules are the program's), and
  // a disabled control takes nothing. After each event the state is shown
  // again; once `onEvent` has ended it, the dialog closes. Returns
  // state.result; -1 for an unknown template or a window gone without being
  // ended. A state ended before it shows returns at once.
  virtual INT_PTR ShowDialog(HWND owner, int templateId, DialogState& state, const DialogEventHandler& onEvent) = 0;

  // Common dialogs and the shell ----------------------------------------------
  // Shows the open (or, with `save`, the save) dialog `ofn` describes; on a
  // choice fills in its file, title and filter in use.
  virtual FileDialogResult ChooseFile(OPENFILENAME& ofn, bool save) = 0;
  // Whether files dropped on the window reach it (WM_DROPFILES).
  virtual void DragAcceptFiles(HWND hWnd, bool accept) = 0;
  // Opens a document or an address with its program; false when none
  // could be started for it.
  virtual bool ShellOpen(HWND owner, const char* file) = 0;

  // Sound -------------------------------------------------------------------
  // Plays a complete WAV file image held in memory (`flags`: SND_*); a new
  // sound stops the one playing, and a null image only stops it.
  virtual bool PlaySoundMemory(const void* wavImage, UINT flags) = 0;

  // Single instance -----------------------------------------------------------
  // Null when another instance runs: its window has then been raised.
  // Otherwise this is the only running instance until the lock is
  // destroyed; asked again meanwhile, the answer is a lock that lets go of
  // nothing. A lock must not outlive the back end that gave it.
  virtual std::unique_ptr<InstanceLock> LockSingleInstance(const char* name) = 0;
};

// Files, the clock and the rest of the operating system.
class OsServices {
 public:
  virtual ~OsServices() = default;

  virtual void Sleep(UINT ms) = 0;
  virtual int64_t TimeSeconds() = 0;                 // time of day in whole seconds
  // Milliseconds on a clock that never goes back (not the time of day).
  virtual uint64_t MonotonicMs() = 0;
  virtual std::string GetCurrentDirectory() = 0;
  virtual bool SetCurrentDirectory(const std::string& dir) = 0;
  // The directory that holds the configuration file.
  virtual std::string GetConfigDirectory() = 0;
  // The folder of the files installed with the program (its help pages), or
  // "" when there is none.
  virtual std::string GetDataDirectory() = 0;
  // Opens a file like fopen; relative paths resolve against the current
  // directory above. nullptr on failure.
  virtual FILE* OpenFile(const std::string& path, const char* mode) = 0;
  // Replaces `to` by `from` in one step (rename over).
  virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  enum class PathKind { Missing, Regular, Directory, Other };
  virtual PathKind GetPathKind(const std::string& path) = 0;
  // Zero-filled memory, or nullptr when none can be had.
  virtual void* AllocMemory(size_t bytes) = 0;
  virtual void FreeMemory(void* block) = 0;
  virtual void DebugTrace(const char* text) = 0;
};

// A back end's window system and OS services in one object.
class Platform : public WindowSystem, public OsServices {};

// ---------------------------------------------------------------------------
// The installed back end and the calls the core makes
// ---------------------------------------------------------------------------
namespace plat {

// The three parts every call below goes to. Parts may come from different
// objects (a test wraps one back end's files in another's failures).
struct Parts {
  WindowSystem* window = nullptr;
  OsServices* os = nullptr;
  MidiPorts* midi = nullptr;
  Parts() = default;
  Parts(WindowSystem* w, OsServices* o, MidiPorts* m) : window(w), os(o), midi(m) {}
  // All three of one back end: a class that is the window system and the
  // OS services and has its MIDI ports as Midi(); a null `b` uninstalls.
  template <typename Backend>
    requires std::derived_from<Backend, WindowSystem> && std::derived_from<Backend, OsServices> &&
             requires(Backend* b) { { b->Midi() } -> std::convertible_to<MidiPorts&>; }
  Parts(Backend* b) : window(b), os(b), midi(b ? &b->Midi() : nullptr) {}  // NOLINT: a back end converts implicitly
};

// Installs `parts` for every call below; returns the parts installed before.
Parts Install(Parts parts);
WindowSystem& Window();
OsServices& Os();
MidiPorts& Midi();

inline HWND CreateMainWindow(const char* c, const char* t, WNDPROC p) { return Window().CreateMainWindow(c, t, p); }
inline int RunMessageLoop() { return Window().RunMessageLoop(); }
inline void PostMessage(HWND h, UINT m, WPARAM w, LPARAM l) { Window().PostMessage(h, m, w, l); }
inline void PostQuitMessage(int code) { Window().PostQuitMessage(code); }
inline UINT SetTimer(HWND h, UINT id, UINT ms) { return Window().SetTimer(h, id, ms); }
inline void KillTimer(HWND h, UINT id) { Window().KillTimer(h, id); }
inline int MessageBox(HWND o, const char* t, const char* c, UINT type) { return Window().MessageBox(o, t, c, type); }
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

inline Canvas* BeginPaint(HWND h) { return Window().BeginPaint(h); }
inline void EndPaint(HWND h, Canvas* c) { Window().EndPaint(h, c); }

inline INT_PTR ShowDialog(HWND o, int id, DialogState& s, const DialogEventHandler& e) {
  return Window().ShowDialog(o, id, s, e);
}

inline FileDialogResult ChooseFile(OPENFILENAME& o, bool save) { return Window().ChooseFile(o, save); }
inline void DragAcceptFiles(HWND h, bool a) { Window().DragAcceptFiles(h, a); }
inline bool ShellOpen(HWND o, const char* f) { return Window().ShellOpen(o, f); }

inline bool PlaySoundMemory(const void* w, UINT f) { return Window().PlaySoundMemory(w, f); }
inline std::unique_ptr<InstanceLock> LockSingleInstance(const char* n) { return Window().LockSingleInstance(n); }

inline void Sleep(UINT ms) { Os().Sleep(ms); }
inline int64_t TimeSeconds() { return Os().TimeSeconds(); }
inline uint64_t MonotonicMs() { return Os().MonotonicMs(); }
inline std::string GetCurrentDirectory() { return Os().GetCurrentDirectory(); }
inline bool SetCurrentDirectory(const std::string& d) { return Os().SetCurrentDirectory(d); }
inline std::string GetConfigDirectory() { return Os().GetConfigDirectory(); }
inline std::string GetDataDirectory() { return Os().GetDataDirectory(); }
inline FILE* OpenFile(const std::string& p, const char* m) { return Os().OpenFile(p, m); }
inline bool ReplaceFile(const std::string& f, const std::string& t) { return Os().ReplaceFile(f, t); }
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
