// The Win32 back end: the program on Windows, on the Win32 API itself.
//
// Implements (the files beside it hold the pieces):
// - Win32Platform: the seam's three parts. The window system is Windows'
//   own: a PlatWindow* is the HWND, the main window's messages become the
//   program's window events, a close request is a posted WM_CLOSE and the
//   320 ms timer is SetTimer; the program lays out and draws in 96-dpi
//   pixels, scaled here to each monitor. Files, the clock and the OS are
//   the system's (os::SystemServices over os_win32.cpp, the help beside
//   the .exe as the data folder); the MIDI ports are a MidiPortSet whose
//   input is delivered on the GUI thread, woken by the devices' threads;
// - the built-in simulated Kilnbox and its window on request.
// Texts stay UTF-8 inside and are UTF-16 at the wide calls.
#pragma once

#include <memory>
#include <string>

#include "platform/midi/ports.h"
#include "platform/os/system_services.h"
#include "platform/seam.h"

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

  // For a test that drives the windows as a user would: the main window,
  // the innermost option dialog running (null: none), and whether
  // `dialog` is one that has not been ended.
  static PlatWindow* MainWindow();
  static PlatWindow* ActiveDialog();
  static bool DialogRunning(PlatWindow* dialog);

  // --- WindowSystem ------------------------------------------------------------
  PlatWindow* CreateMainWindow(const char* caption, WindowEvents& events) override;
  int RunMessageLoop() override;
  void RequestClose(PlatWindow* window) override;
  void Quit(int exitCode) override;
  uint32_t SetTimer(PlatWindow* window, uint32_t id, uint32_t periodMs) override;
  void KillTimer(PlatWindow* window, uint32_t id) override;
  int ShowMessage(PlatWindow* owner, const char* text, const char* caption, uint32_t type) override;
  void InvalidateRect(PlatWindow* window, bool erase) override;
  Rect GetClientRect(PlatWindow* window) override;
  void DestroyWindow(PlatWindow* window) override;
  void MoveWindow(PlatWindow* window, int x, int y, int w, int h, bool repaint) override;
  PlatWindow* CreateButton(PlatWindow* parent, const char* label, int id, int x, int y, int w, int h) override;
  PlatWindow* CreateStatusBar(PlatWindow* parent, int id) override;
  void StatusSetParts(PlatWindow* status, int count, const int* rightEdges) override;
  void StatusSetText(PlatWindow* status, int part, const char* text) override;
  PlatWindow* CreateProgressBar(PlatWindow* parent, int x, int y, int w, int h) override;
  void ProgressSet(PlatWindow* bar, int position, int range) override;
  intptr_t ShowDialog(PlatWindow* owner, int templateId, DialogState& state,
                      const DialogEventHandler& onEvent) override;
  FileDialogResult ChooseFile(FileRequest& request, bool save) override;
  void DragAcceptFiles(PlatWindow* window, bool accept) override;
  bool ShellOpen(PlatWindow* owner, const char* file) override;
  bool PlaySoundMemory(const void* wavImage, uint32_t flags) override;
  std::unique_ptr<InstanceLock> LockSingleInstance(const char* name, const std::vector<std::string>& files) override;

 private:
  std::unique_ptr<MidiPortSet> midi_;
  std::unique_ptr<Win32SimulatedKilnbox> simulator_;
  bool instanceHeld_ = false;
};
