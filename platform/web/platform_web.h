// The browser back end: the program in a web page, compiled with Emscripten.
//
// Implements:
// - WebPlatform: window handles as numbers the page script knows its
//   elements by; the main window's queue (menu commands, close requests),
//   timers and the loop over the browser's event loop (Asyncify lets a
//   loop, and every nested loop of a message box or a dialog, wait for the
//   page's next event or the next timer without blocking the page);
// - the main window drawn by the core's paint code on a <canvas>, the
//   buttons, status bar and progress bar as page elements where the core
//   places them, the menus from the program's table;
// - message boxes, the option dialogs and the file dialogs as modal page
//   dialogs; a chosen file is copied into the in-memory file system first,
//   a saved one is handed to the browser as a download;
// - the configuration folder kept in the browser's storage;
// - MIDI: a port set of Web MIDI ports and, on request, the simulated
//   Kilnbox, driven from the loop.
// The page's side is platform/web/site/talverine-page.js.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi/ports.h"
#include "platform/os/system_services.h"
#include "platform/platform.h"

namespace simport {
class KilnboxLink;
}
namespace simview {
class SimulatorView;
}

class WebPlatform : public WindowSystem, public os::SystemServices {
 public:
  WebPlatform();
  ~WebPlatform() override;
  WebPlatform(const WebPlatform&) = delete;
  WebPlatform& operator=(const WebPlatform&) = delete;

  MidiPortSet& Midi() { return *midi_; }
  // Adds the simulated Kilnbox's ports after the Web MIDI ones.
  void StartSimulator();
  // Adds the ports the page's Web MIDI access lists.
  void RegisterWebMidiPorts();

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

  // --- OsServices: a finished file in the configuration folder is stored in
  // the browser, one in the download folder is handed to the browser.
  bool RenameOver(const std::string& from, const std::string& to) override;
  void Sleep(UINT ms) override;

  // Folders of the in-memory file system.
  static constexpr const char* kConfigFolder = "/config";
  static constexpr const char* kUploadFolder = "/files";
  static constexpr const char* kDownloadFolder = "/downloads";
  static constexpr const char* kDataFolder = "/data";

 private:
  enum class Kind { Main, Button, Status, Progress, Dialog };
  struct Timer {
    HWND window;
    UINT id;
    UINT period;
    uint64_t due;
  };
  // What the main window's queue holds: a menu command or a close request.
  using Queued = std::function<void(WindowEvents&)>;
  struct PageEvent;
  class WebCanvas;

  HWND AddHandle(Kind kind);
  bool Is(HWND h, Kind kind) const;
  // One round of the loop: the queue, due timers, MIDI, the simulator, a
  // paint; then waits for the page or the next due time.
  void PumpOnce();
  bool DispatchQueued();
  void FireDueTimers();
  void PaintIfNeeded();
  void WaitForPage();
  void HandlePageEvent(const PageEvent& e);
  // Tells the main window at once; nothing once it is gone or the program quit.
  void ToWindow(const Queued& event);

  std::unique_ptr<MidiPortSet> midi_;
  std::shared_ptr<simport::KilnboxLink> simulator_;
  // The simulator's panel in the page, refreshed from the loop.
  std::unique_ptr<simview::SimulatorView> simView_;
  uint64_t simShownAt_ = 0;
  void ShowSimulator(bool now);
  std::unique_ptr<WebCanvas> canvas_;
  std::map<HWND, Kind> handles_;
  uintptr_t nextHandle_ = 0;
  HWND main_ = nullptr;
  WindowEvents* events_ = nullptr;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  std::deque<Queued> queue_;
  std::vector<Timer> timers_;
  bool invalidated_ = false;
  bool eraseWanted_ = false;
  bool quit_ = false;
  int exitCode_ = 0;
  bool acceptsDrops_ = false;
  // Answers the page has given to the open modal boxes and file dialogs.
  int boxAnswer_ = 0;
  struct FileAnswer {
    bool done = false;
    bool chosen = false;
    int filterIndex = 0;
    std::string path;
  } fileAnswer_;
  struct DialogRun;
  DialogRun* dialog_ = nullptr;  // the innermost open option dialog
  // Web MIDI inputs by the page's index, while open.
  std::map<int, MidiByteSink> webInputs_;
  // Web MIDI outputs by the page's index, while open: told when each
  // message has left the wire.
  std::map<int, std::function<void(const MidiResult&)>> webOutputs_;
  friend class WebMidiInput;
  friend class WebMidiOutput;
};
