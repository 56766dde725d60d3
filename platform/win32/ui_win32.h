// The Win32 window system in the program's own terms: the calls the seam's
// WindowSystem part makes, with plain types (handles as void*, texts in
// UTF-8, message numbers as Win32 has them). Neutral header: no
// <windows.h>, no seam types but the dialogs' plain data. platform_win32.cpp
// maps the seam onto it; ui_win32.cpp and dialogs_win32.cpp implement it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog_state.h"

struct DialogTemplate;

namespace w32ui {

using Handle = void*;
// A window or dialog procedure: (window, message, wParam, lParam).
using Procedure = std::function<intptr_t(Handle, unsigned, uintptr_t, intptr_t)>;

struct Rect {
  long left = 0, top = 0, right = 0, bottom = 0;
};

// --- the program ---------------------------------------------------------------
// Once at start: the common controls, the module's resources.
void Initialize();
// Called on the GUI thread whenever WakeGuiThread was called since.
void SetWakeHandler(std::function<void()> handler);
// From any thread: runs the wake handler on the GUI thread soon.
void WakeGuiThread();

// --- windows and messages -----------------------------------------------------------
// Registers the class and creates the main window; `procedure` gets the
// messages the program handles (WM_CREATE before this returns). Null when
// WM_CREATE refused.
Handle CreateMainWindow(const std::string& className, const std::string& caption, Procedure procedure);
Handle MainWindow();
int RunMessageLoop();
void Post(Handle window, unsigned msg, uintptr_t wParam, intptr_t lParam);
void PostQuitMessage(int exitCode);
unsigned SetTimer(Handle window, unsigned id, unsigned periodMs);
void KillTimer(Handle window, unsigned id);
int ShowMessageBox(Handle owner, const std::string& text, const char* caption, unsigned type);
void InvalidateRect(Handle window, bool erase);
Rect GetClientRect(Handle window);
void DestroyWindow(Handle window);
void MoveWindow(Handle window, int x, int y, int w, int h, bool repaint);
// Brings a window up from the task bar and to the front.
void RaiseWindow(Handle window);

// --- child controls -------------------------------------------------------------------
Handle CreateButton(Handle parent, const std::string& label, int id, int x, int y, int w, int h);
Handle CreateStatusBar(Handle parent, int id);
void StatusSetParts(Handle status, const std::vector<int>& rightEdges);
void StatusSetText(Handle status, int part, const std::string& text);
Handle CreateProgressBar(Handle parent, int x, int y, int w, int h);
void ProgressSet(Handle bar, int position, int range);

// --- painting -------------------------------------------------------------------------
struct Font {
  long height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
  uint8_t italic = 0, underline = 0, strikeOut = 0, charSet = 0, outPrecision = 0, clipPrecision = 0, quality = 0,
          pitchAndFamily = 0;
  std::string face;
};

// GDI on the device context of one WM_PAINT.
class Painter {
 public:
  virtual ~Painter() = default;
  virtual void SetPen(int width, uint32_t colour, bool insideFrame) = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  virtual void DrawBitmap(int bitmapId, int x, int y, int w, int h) = 0;
  virtual void SetFont(const Font& font) = 0;
  virtual void SetTextAlign(unsigned align) = 0;
  virtual void PutText(int x, int y, const std::string& text) = 0;
};
// Null when `window` is not the main window in its WM_PAINT.
Painter* BeginPaint(Handle window);
void EndPaint(Handle window, Painter* painter);

// --- dialogs from the templates in resources/ ---------------------------------------------
// Runs the dialog of `tpl` over `state` until `onEvent` ends it, as the
// seam's ShowDialog.
intptr_t ShowDialog(Handle owner, const DialogTemplate& tpl, DialogState& state, const DialogEventHandler& onEvent);
// Whether `dialog` is a dialog of ShowDialog that has not been ended.
bool DialogRunning(Handle dialog);
// The innermost such dialog, or null.
Handle ActiveDialog();

// --- common dialogs and the shell ---------------------------------------------------------
struct FileRequest {
  Handle owner = nullptr;
  std::vector<std::pair<std::string, std::string>> filters;  // description, pattern
  unsigned filterIndex = 0;
  std::string initialDir;
  unsigned flags = 0;  // OFN_*
  std::string file;         // out
  std::string fileTitle;    // out
  unsigned long error = 0;  // out: CommDlgExtendedError when the dialog failed
};
// False on a cancel or a failure (`error` tells them apart).
bool RunFileDialog(FileRequest& request, bool save);
void DragAcceptFiles(Handle window, bool accept);
// What WM_DROPFILES hands the main procedure: a pointer to one of these in
// wParam, read from Windows' drop (already released) before the call.
struct Drop {
  std::vector<std::string> names;
  long x = 0, y = 0;
  bool inClient = false;
};
// Opens an address, or a file (relative to `folder`) with its program;
// false when nothing could be started for it.
bool ShellOpen(Handle owner, const std::string& target, const std::string& folder);

// --- sound ------------------------------------------------------------------------------
// Plays a WAV file image (a copy is kept while it plays); `bytes` 0 stops.
bool PlayWaveImage(const void* image, size_t bytes);

// --- single instance ----------------------------------------------------------------------
// True when no other instance holds `name`; otherwise the other one has
// been asked to raise its main window.
bool AcquireSingleInstance(const std::string& name);
void ReleaseSingleInstance();

}  // namespace w32ui
