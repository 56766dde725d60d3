// The Qt 6 Widgets back end: the program on a desktop.
//
// Implements (the files beside it hold the pieces):
// - QtPlatform: window handles, the program's events queued through the Qt
//   event queue in order, the loop and its quit, timers, modal message
//   boxes with their own nested loop, child controls;
// - files, folders, memory, the debug trace and the clock: the system's
//   (os::SystemServices), with the installed help files as the data folder;
// - the shell: opening a document or an address, dropped files;
// - MIDI: a port set whose input is delivered on the GUI thread (woken by
//   the devices' threads, and whenever the loop is idle), and the built-in
//   simulated Kilnbox on request;
// - option dialogs and playback, handed to the dialog host and the sound
//   player.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi/ports.h"
#include "platform/os/hand_over.h"
#include "platform/os/system_services.h"
#include "platform/platform.h"

class QMainWindow;
class QObject;
class QTimer;
class QWidget;
class QtClientArea;
class QtDialogHost;
class QtMainWindow;
class QtSimulatedKilnbox;
class QtSoundPlayer;
class SingleInstance;

class QtPlatform : public WindowSystem, public os::SystemServices {
 public:
  // Needs the QApplication made first.
  QtPlatform();
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  MidiPortSet& Midi() { return *midi_; }
  // Adds the simulated Kilnbox's ports after those already registered; its
  // window opens beside the main window.
  QtSimulatedKilnbox& StartSimulator(double speed = 1.0);
  QtSimulatedKilnbox* Simulator() const { return simulator_.get(); }

  // The main window and its client area; null before CreateMainWindow.
  QMainWindow* MainWindowWidget() const;
  QtClientArea* ClientArea() const;
  // The widget behind a handle of this back end, or null.
  QWidget* WidgetOf(HWND h) const;
  HWND MainWindowHandle() const { return main_; }

  // Test hook: sees every sound handed to the player, before it plays.
  std::function<void(const void* wavImage, UINT flags)> onPlaySound;

  // --- WindowSystem ------------------------------------------------------------
  HWND CreateMainWindow(const char* caption, WindowEvents& events) override;
  int RunMessageLoop() override;
  void RequestClose(HWND hWnd) override;
  void Quit(int exitCode) override;
  UINT SetTimer(HWND hWnd, UINT id, UINT periodMs) override;
  void KillTimer(HWND hWnd, UINT id) override;
  int ShowMessage(HWND owner, const char* text, const char* caption, UINT type) override;
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
  INT_PTR ShowDialog(HWND owner, int templateId, DialogState& state, const DialogEventHandler& onEvent) override;
  FileDialogResult ChooseFile(OPENFILENAME& ofn, bool save) override;
  void DragAcceptFiles(HWND hWnd, bool accept) override;
  bool ShellOpen(HWND owner, const char* file) override;
  bool PlaySoundMemory(const void* wavImage, UINT flags) override;
  std::unique_ptr<InstanceLock> LockSingleInstance(const char* name, const std::vector<std::string>& files) override;

 private:
  class Host;
  enum class Kind { Main, Button, Status, Progress };
  struct Handle {
    Kind kind;
    QWidget* widget;
  };

  HWND AddHandle(Kind kind, QWidget* widget);
  const Handle* Find(HWND h) const;
  template <typename T>
  T* WidgetAs(HWND h, Kind kind) const;
  // The parent for a child control of `parent` (the main window's client
  // area), or null.
  QWidget* ChildParent(HWND parent) const;
  QWidget* BoxParent(HWND owner) const;
  // Tells the program now, while its window lives and the loop runs.
  void ToProgram(const std::function<void(WindowEvents&)>& event);
  // Tells the program from the loop, after what is queued, while `hWnd` is
  // its window.
  void QueueToProgram(HWND hWnd, std::function<void(WindowEvents&)> event);
  void RaiseMainWindow();
  // Files a later start handed over wait here for the main window and are
  // delivered from the loop, as a drop outside the client area.
  void TakeHandedFiles(std::vector<std::string> files);
  void DeliverHandedFilesLater();
  void ShowSimulatorWindow();

  std::unique_ptr<Host> host_;
  std::unique_ptr<QObject> queue_;
  std::unique_ptr<MidiPortSet> midi_;
  std::unique_ptr<QtSimulatedKilnbox> simulator_;
  std::unique_ptr<SingleInstance> instance_;
  std::unique_ptr<QtSoundPlayer> player_;
  std::unique_ptr<QtMainWindow> window_;
  std::unique_ptr<QtDialogHost> dialogs_;
  std::map<HWND, Handle> handles_;
  uintptr_t nextHandle_ = 0;
  HWND main_ = nullptr;
  WindowEvents* events_ = nullptr;
  std::map<std::pair<HWND, UINT>, std::unique_ptr<QTimer>> timers_;
  int pendingEvents_ = 0;
  os::HandedFiles handedFiles_;
  bool quitPosted_ = false;
  bool quitDelivered_ = false;
  int exitCode_ = 0;

  friend class QtPlatformTestAccess;
};
