// The Win32 back end: the program on Windows, on the Win32 API itself.
//
// Implements (the files beside it hold the pieces):
// - Win32Platform: the seam's three parts. The window system maps onto
//   ui_win32.h almost call for call: handles are Windows' own (a button's
//   handle is the HWND that WM_COMMAND carries), message numbers are
//   Win32's, so posted messages are PostMessage and the 320 ms timer is
//   SetTimer; files, the clock and the OS are the system's
//   (os::SystemServices over os_win32.cpp, the help beside the .exe as the
//   data folder); a drop is read from Windows' own and handed to the
//   window procedure as the seam's DroppedFiles; the
//   MIDI ports are a MidiPortSet whose input is delivered on the GUI
//   thread, woken by the devices' threads;
// - the built-in simulated Kilnbox and its window on request.
// Texts stay UTF-8 inside; ui_win32 hands them to the wide calls.
#pragma once

#include <memory>
#include <string>

#include "platform/midi/ports.h"
#include "platform/os/system_services.h"
#include "platform/platform.h"

class Win32Canvas;
class Win32SimulatedKilnbox;

class Win32Platform : public WindowSystem, public os::SystemServices {
 public:
  Win32Platform();
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  MidiPortSet& Midi() { return *midi_; }
  // Adds the simulated Kilnbox's ports after those registered; its window
  // opens beside the main window.
  Win32SimulatedKilnbox& StartSimulator(double speed = 1.0);

  // --- WindowSystem ------------------------------------------------------------
  HWND CreateMainWindow(const char* className, const char* caption, WNDPROC wndProc) override;
  int RunMessageLoop() override;
  void PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
  void PostQuitMessage(int exitCode) override;
  UINT SetTimer(HWND hWnd, UINT id, UINT periodMs) override;
  void KillTimer(HWND hWnd, UINT id) override;
  int MessageBox(HWND owner, const char* text, const char* caption, UINT type) override;
  void InvalidateRect(HWND hWnd, bool erase) override;
  RECT GetClientRect(HWND hWnd) override;
  void DestroyWindow(HWND hWnd) override;
  void MoveWindow(HWND hWnd, int x, int y, int w, int h, bool repaint) override;
  HWND CreateButton(HWND parent, const char* label, int id, int x, int y, int w, int h) override;
  HWND CreateStatusBar(HWND parent, int id) override;
  void StatusSetParts(HWND status, int count, const int* rightEdges) override;
  void StatusSetText(HWND status, int part, const char* text) override;
  HWND CreateProgressBar(HWND parent, int x, int y, int w, int h) override;
  void ProgressSet(HWND bar, int position, int range) override;
  Canvas* BeginPaint(HWND hWnd) override;
  void EndPaint(HWND hWnd, Canvas* canvas) override;
  INT_PTR ShowDialog(HWND owner, int templateId, DialogState& state, const DialogEventHandler& onEvent) override;
  FileDialogResult ChooseFile(OPENFILENAME& ofn, bool save) override;
  void DragAcceptFiles(HWND hWnd, bool accept) override;
  bool ShellOpen(HWND owner, const char* file) override;
  bool PlaySoundMemory(const void* wavImage, UINT flags) override;
  std::unique_ptr<InstanceLock> LockSingleInstance(const char* name) override;

 private:
  std::unique_ptr<MidiPortSet> midi_;
  std::unique_ptr<Win32SimulatedKilnbox> simulator_;
  std::unique_ptr<Win32Canvas> canvas_;
  HWND main_ = nullptr;
  bool instanceHeld_ = false;
};
