// What the Win32 conformance driver does on Windows' side: the loop, and a
// user's clicks, keys, file choices and drops as the messages Windows' own
// input sends. Neutral header (no <windows.h>, no seam types): handles are
// the windows' HWNDs as void*.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace w32test {

using Handle = void*;

// The loop ------------------------------------------------------------------
// Runs the loop until `done` holds; false when it still doesn't after
// `limitMs`.
bool PumpUntil(const std::function<bool()>& done, int limitMs);
// One pass: every message posted before it, a paint that is due, and each
// timer that is due once.
void PumpOnce();
void Idle(int ms);
// Calls `poll` every 10 ms in whatever loop runs, a modal window's included.
void StartPolling(std::function<void()> poll);
void StopPolling();

// Windows --------------------------------------------------------------------
// Makes `window`'s client area `width` x `height`; its WM_SIZE and paint
// have been handled when this returns.
void SetClientSize(Handle window, int width, int height);
// The modal window of this thread the user sees now (a message box, a
// dialog, a file dialog), or null.
Handle ModalWindow();
bool IsOpen(Handle window);
void Minimize(Handle window);
bool IsMinimized(Handle window);
void Destroy(Handle window);

// Message boxes and dialogs ----------------------------------------------------
struct BoxView {
  std::string caption;
  std::string text;
  unsigned type = 0;  // MB_* buttons and icon
};
BoxView ReadMessageBox(Handle box);
// Clicks control `id` as with the mouse: nothing happens on a disabled one.
void Click(Handle dialog, int id);
void Pick(Handle dialog, int id, int index);
// Replaces the text of edit control `id`, one key at a time.
void Type(Handle dialog, int id, const std::string& text);
void PressEnter(Handle dialog);
void PressEsc(Handle dialog);
void CloseBox(Handle dialog);
bool IsEnabled(Handle dialog, int id);
bool IsChecked(Handle dialog, int id);
// What control `id` shows: its text, or a list's chosen entry.
std::string Text(Handle dialog, int id);

// File dialogs ----------------------------------------------------------------------
bool IsFileDialog(Handle window);
std::vector<std::string> FileFilters(Handle dialog);
unsigned ShownFilter(Handle dialog);  // 1-based
// Chooses filter `index` (1-based), types `name` and presses Open or Save.
void ChooseFile(Handle dialog, unsigned filterIndex, const std::string& name);
void CancelFileDialog(Handle dialog);

// The desktop -----------------------------------------------------------------------
// Drops `files` on `window`'s client area at (x, y), as the shell does.
void DropFiles(Handle window, const std::vector<std::string>& files, long x, long y);
bool AcceptsDrops(Handle window);
// Runs this program again as a second instance asking for `name` with
// `files`; the exit code of that run (kAcquired, kRefused, or another on
// failure). Messages sent to this thread meanwhile are answered; those
// posted wait for the loop.
constexpr int kAcquired = 10;
constexpr int kRefused = 11;
int RunSecondInstance(const std::string& name, const std::vector<std::string>& files);
// The name and files a second instance is to ask for, when this run is one.
bool IsSecondInstance(std::string* name, std::vector<std::string>* files);

}  // namespace w32test
