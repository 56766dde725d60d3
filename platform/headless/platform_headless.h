// The headless back end: no window system, no sound, no real time.
//
// Implements:
// - a virtual clock: Sleep advances it; timers tick as it advances, and
//   ticks missed during a Sleep are not made up;
// - the main window's queue (commands, timer ticks, close requests) that
//   the caller pumps (Pump, AdvanceTime), and a paint once it was
//   invalidated;
// - message boxes, file dialogs and option dialogs answered from a script
//   (an answer may let virtual time pass first, so that a nested loop still
//   delivers ticks and MIDI input);
// - every effect recorded: status texts, message boxes, painted strokes,
//   buttons, progress bars, sounds played, documents opened;
// - MIDI ports through a MidiPortSet, on which tests register in-memory
//   ports or the simulated Kilnbox;
// - the single instance among the platforms of this process, so that tests
//   and talverine-cli runs never keep each other out.
// Files, folders and memory are the system's (os::SystemServices); only the
// clock is its own. Tests and talverine-cli run the core on it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/ports.h"
#include "platform/os/hand_over.h"
#include "platform/os/system_services.h"
#include "platform/platform.h"
#include "resources/dialog_templates.h"

namespace headless {

// Something outside the program that acts as virtual time passes (the
// simulated Kilnbox, a scripted device).
class TimeSource {
 public:
  virtual ~TimeSource() = default;
  // The next time, in ms, at which it has something to do; nullopt: none.
  virtual std::optional<uint64_t> NextDue() const = 0;
  // Does everything due up to `nowMs`.
  virtual void RunTo(uint64_t nowMs) = 0;
};

// A scripted answer that is no button: the user pressed Esc or the box's
// close button. An OK box takes it as OK, an OK/Cancel box as Cancel; a
// Yes/No box takes a button and nothing else, so it stays open for the next
// answer.
constexpr int kCloseBox = -1;

struct MessageBoxRecord {
  HWND owner = nullptr;
  std::string text;
  std::string caption;     // "Error" when the default caption was asked for
  bool defaultCaption = false;
  UINT type = 0;
  int answer = 0;
  uint64_t timeMs = 0;
};

struct StatusRecord {
  int part = 0;
  std::string text;
  uint64_t timeMs = 0;
};

// One recorded canvas call.
struct CanvasOp {
  enum Kind { Pen, MoveTo, LineTo, Bitmap, Font, Align, Text } kind;
  int a = 0, b = 0, c = 0, d = 0, e = 0;  // pen: width, colour, inside; bitmap: id, x, y, w, h
  std::string text;
};

struct FileDialogAnswer {
  bool chosen = false;        // false: cancelled (or failed, with `error`)
  std::string path;           // as chosen; a bare name is in the dialog's folder
  DWORD filterIndex = 0;      // 0: leave the index as the caller set it
  DWORD error = 0;            // the error number of a dialog that failed
};

struct FileDialogRecord {
  bool save = false;
  OPENFILENAME request;       // what the caller asked for
  DWORD openedOnFilter = 0;   // the filter shown first (1-based); 0: none offered
};

class HeadlessPlatform;

// What a dialog script can do with an open dialog, as a user would.
class DialogDriver {
 public:
  DialogDriver(HeadlessPlatform& platform, HWND dialog) : platform_(platform), dialog_(dialog) {}
  int TemplateId() const;
  // Clicks a button, radio button or check box (nothing when disabled);
  // returns false when the control is disabled or absent.
  bool Click(int id);
  bool SelectListEntry(int id, int index);
  // Replaces the text key by key, each key a notification.
  bool Type(int id, const std::string& text);
  // Enter: the default push button.
  void PressEnter();
  void PressOk() { Command(IDOK); }
  void PressCancel() { Command(IDCANCEL); }
  void PressEsc() { Command(IDCANCEL); }
  void CloseBox() { Command(IDCANCEL); }
  void AdvanceTime(uint64_t ms);
  bool IsChecked(int id) const;
  bool IsEnabled(int id) const;
  std::string Text(int id) const;
  std::vector<std::string> ListItems(int id) const;
  int ListSelection(int id) const;
  bool Ended() const;
  HWND Handle() const { return dialog_; }

 private:
  void Command(int id);
  void Report(int id, DialogEvent event);
  HeadlessPlatform& platform_;
  HWND dialog_;
};

using DialogScript = std::function<void(DialogDriver&)>;

struct DialogRecord {
  int templateId = 0;
  INT_PTR result = 0;
  bool endedByScript = true;   // false: the host had to close it
};

class HeadlessPlatform : public WindowSystem, public os::SystemServices {
 public:
  HeadlessPlatform();
  ~HeadlessPlatform() override;

  // --- driving the program --------------------------------------------------
  uint64_t NowMs() const;
  // From now on the clock follows the wall clock: Sleep really sleeps,
  // AdvanceTime waits, and MIDI input wakes the loop. For talverine-cli's
  // device commands against real ports.
  void UseRealClock();
  // Dispatches queued messages (and MIDI input, and a pending paint) until
  // the queue is empty; no time passes.
  void Pump();
  // Lets `ms` of virtual time pass, delivering timer ticks, time-source
  // events and messages in time order.
  void AdvanceTime(uint64_t ms);
  // Advances in steps until `done` holds or `maxMs` have passed; returns
  // whether it holds.
  bool RunUntil(const std::function<bool()>& done, uint64_t maxMs, uint64_t stepMs = 10);
  bool QuitPosted() const { return quit_; }
  int ExitCode() const { return exitCode_; }

  HWND MainWindow() const;
  void SetClientSize(int width, int height);  // the window is told when it exists
  void Close();                               // the close box, at once
  void FireTimer(UINT id);                    // a tick of the window's timer `id`, at once
  void Command(int id);                       // a menu command, queued and pumped
  bool ClickButton(int id);                   // a child push button of the main window
  void LeftClick(int x, int y, WPARAM keys = MK_LBUTTON);
  void DropFiles(const std::vector<std::string>& files, POINT at, bool inClient = true);

  void AddTimeSource(TimeSource* source);
  void RemoveTimeSource(TimeSource* source);
  MidiPortSet& Midi() { return *midi_; }

  // --- scripts ---------------------------------------------------------------
  // Answers the next message box with `button` (or kCloseBox) after
  // `waitMs` of virtual time (the nested loop runs meanwhile).
  void QueueMessageBoxAnswer(int button, uint64_t waitMs = 0);
  // The same once `ready` holds, letting virtual time pass up to `maxMs`.
  void QueueMessageBoxAnswerWhen(int button, std::function<bool()> ready, uint64_t maxMs = 600000);
  // Called for every message box that has no scripted answer; the default
  // answers the first button (OK, Yes).
  std::function<int(const MessageBoxRecord&)> onMessageBox;
  void QueueFileDialogAnswer(FileDialogAnswer answer);
  void QueueDialog(DialogScript script);
  // Called for every status text set; may be empty.
  std::function<void(const StatusRecord&)> onStatus;
  // Ticks of timers set without a window (the thread's own) go here; may
  // be empty.
  std::function<void(UINT id)> onThreadTimer;

  // --- recorded effects ------------------------------------------------------
  std::vector<MessageBoxRecord> messageBoxes;
  std::vector<StatusRecord> statusLog;
  std::string StatusText(int part) const;
  std::vector<int> StatusParts() const;
  std::vector<FileDialogRecord> fileDialogs;
  std::vector<DialogRecord> dialogs;
  std::vector<CanvasOp> lastPaint;   // the canvas calls of the latest paint
  int paintCount = 0;
  bool invalidated = false;
  std::vector<const void*> soundsPlayed;
  std::vector<std::string> shellOpened;
  bool shellOpenFails = false;       // ShellOpen records the file and reports it not opened
  std::vector<std::string> debugTraces;
  std::vector<uint64_t> sleeps;      // every Sleep, in ms
  bool acceptsDrops = false;
  int timesRaised = 0;               // the main window brought to the front

  struct ButtonInfo { int id; std::string label; int x, y, w, h; };
  std::vector<ButtonInfo> Buttons() const;
  struct ProgressInfo { int x, y, w, h, high, position; bool alive; };
  std::vector<ProgressInfo> ProgressBars() const;  // every bar created, in order
  bool TimerRunning(UINT id) const;

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

  // --- the clock (virtual, or the wall clock after UseRealClock) -------------
  void Sleep(UINT ms) override;
  int64_t TimeSeconds() override;
  uint64_t MonotonicMs() override { return NowMs(); }

  // Sets the current directory without asking whether it exists.
  void SetCurrentDirectoryForTest(const std::string& dir) { SetCurrentDirectoryUnchecked(dir); }

 private:
  friend class DialogDriver;
  struct Window;
  struct Timer { HWND window; UINT id; UINT period; uint64_t due; };
  struct Queued {
    HWND window;
    enum Kind { Command, Timer, Close } kind;
    UINT id;  // the command's or the timer's
  };
  struct BoxAnswer { int button; uint64_t waitMs; std::function<bool()> ready; uint64_t maxMs; };
  class RecordingCanvas;

  Window* Find(HWND h) const;
  HWND NewWindow(std::unique_ptr<Window> w);
  void ToWindow(const std::function<void(WindowEvents&)>& event);
  void Deliver(const Queued& q);
  bool DispatchOne();
  void DeliverHandedFiles();
  void PaintIfNeeded();
  void RunTimeSourcesTo(uint64_t t);
  std::optional<uint64_t> NextEventTime() const;
  void FireDueTimers();
  // Control `id` of an open dialog, or null.
  const DialogControl* DialogControlOf(HWND hDlg, int id) const;
  DialogItem* DialogItemOf(HWND hDlg, int id) const;
  void SyncClock();
  void WaitForWakeup(uint64_t maxMs);
  void AdvanceRealTime(uint64_t ms);
  FileDialogAnswer NextFileDialogAnswer();

  uint64_t now_ = 0;
  std::deque<Queued> queue_;
  std::vector<Timer> timers_;
  std::vector<std::unique_ptr<Window>> windows_;
  std::vector<TimeSource*> timeSources_;
  std::deque<BoxAnswer> boxAnswers_;
  std::deque<FileDialogAnswer> fileAnswers_;
  std::deque<DialogScript> dialogScripts_;
  std::unique_ptr<MidiPortSet> midi_;
  std::unique_ptr<RecordingCanvas> canvas_;
  HWND main_ = nullptr;
  WindowEvents* events_ = nullptr;
  int clientWidth_ = 600;
  int clientHeight_ = 480;
  bool quit_ = false;
  int exitCode_ = 0;
  os::HandedFiles handedFiles_;  // what later starts handed over, for the loop
  bool realClock_ = false;
  std::chrono::steady_clock::time_point epoch_;
  uint64_t epochMs_ = 0;
  std::mutex wakeMutex_;
  std::condition_variable wakeCv_;
  bool woken_ = false;
};

// Installs a fresh headless platform for the life of the object.
class ScopedHeadless {
 public:
  ScopedHeadless();
  ~ScopedHeadless();
  HeadlessPlatform& operator*() { return *platform_; }
  HeadlessPlatform* operator->() { return platform_.get(); }
  const HeadlessPlatform* operator->() const { return platform_.get(); }

 private:
  std::unique_ptr<HeadlessPlatform> platform_;
  plat::Parts previous_;
};

}  // namespace headless
