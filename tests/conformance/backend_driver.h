// What a conformance test does from outside the program, on one back end:
// what the user, the desktop or a second start of the program does. The
// tests (test_*.cpp here) are the same for every back end; each back end has
// one driver (driver_*.cpp) that makes these things happen on it and
// instantiates the tests with its factory.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace conformance {

// How long a wait goes on, in the back end's own time, before it counts as
// failed: only a fault comes near it.
constexpr int kWaitLimitMs = 60000;

// What a message box showed.
struct SeenBox {
  std::string caption;
  std::string text;
  UINT type = 0;  // its buttons and icon, as MB_* flags
};

// The user's actions on a message box besides its buttons (IDOK, IDCANCEL,
// IDYES, IDNO).
constexpr int kPressEsc = -1;
constexpr int kCloseBox = -2;


// The user in an open dialog built from a template.
class DialogUser {
 public:
  virtual ~DialogUser() = default;
  // Clicks a control as with the mouse: nothing happens on a disabled one.
  virtual void Click(int id) = 0;
  // Chooses entry `index` of drop-down list `id`.
  virtual void Pick(int id, int index) = 0;
  // Replaces the text of edit control `id`, one key at a time.
  virtual void Type(int id, const std::string& text) = 0;
  virtual void PressEnter() = 0;
  virtual void PressEsc() = 0;
  // The close button of the dialog's frame.
  virtual void CloseBox() = 0;
  virtual bool IsEnabled(int id) = 0;
  virtual bool IsChecked(int id) = 0;
  // What control `id` shows: its text, or a list's chosen entry.
  virtual std::string Text(int id) = 0;
};

// The user in a file dialog.
struct FileChoice {
  bool choose = true;     // false: cancels
  std::string name;       // a file of the folder shown, typed in
  DWORD filterIndex = 0;  // the filter chosen first (1-based); 0: the one shown
};

// What a file dialog offered.
struct SeenFileDialog {
  std::vector<std::string> filters;  // as shown, in order
  DWORD shownFilter = 0;             // the filter shown when it opened, 1-based
};

class BackendDriver {
 public:
  virtual ~BackendDriver() = default;

  // The back end's three parts; the fixture installs them.
  virtual plat::Parts Parts() = 0;

  // The loop ------------------------------------------------------------------
  // Runs the message loop, letting time pass, until `done` holds; false when
  // it still doesn't after kWaitLimitMs.
  virtual bool PumpUntil(const std::function<bool()>& done) = 0;
  // One pass of the loop: what is due now is delivered; no time is waited for.
  virtual void PumpOnce() = 0;
  // Lets `ms` pass with the loop running.
  virtual void Idle(int ms) = 0;
  // Makes the main window's client area `width` x `height` and waits for its
  // resize and paint.
  virtual void SetClientSize(int width, int height) = 0;

  // Modal windows: each answer is for the next window of its kind, and is
  // given before that window opens. ----------------------------------------------
  // Once `ready` holds (checked as the box's own loop runs; empty: at once),
  // takes `actions` in turn; the box must close with the last of them.
  virtual void AnswerNextMessageBox(std::vector<int> actions, std::function<bool()> ready = {}) = 0;
  // Every message box answered so far, in order.
  virtual std::vector<SeenBox> MessageBoxesSeen() = 0;
  // Runs `script` once the dialog's loop runs (never, when the dialog ends
  // before it shows); a dialog still open after it gets the close box.
  virtual void AnswerNextDialog(std::function<void(DialogUser&)> script) = 0;
  virtual void AnswerNextFileDialog(FileChoice choice) = 0;
  // Every file dialog answered so far, in order.
  virtual std::vector<SeenFileDialog> FileDialogsSeen() = 0;

  // The desktop -------------------------------------------------------------------
  // Drops `files` on the main window's client area at `at`, as a file manager
  // does.
  virtual void DropFiles(const std::vector<std::string>& files, POINT at) = 0;
  // Whether the main window takes dropped files now.
  virtual bool AcceptsDrops() = 0;
  // Puts the main window out of the way and starts a second instance of the
  // program, which asks for single instance `name` with `files` on its
  // command line; returns whether it got the lock. The second instance then
  // ends.
  virtual bool SecondInstanceAcquires(const char* name, const std::vector<std::string>& files) = 0;
  // True once the main window has been brought back to the front since
  // SecondInstanceAcquires put it out of the way.
  virtual bool MainWindowRaised() = 0;
};

// A back end as the tests are given it: its name and its driver's factory.
struct Backend {
  const char* name;
  std::unique_ptr<BackendDriver> (*makeDriver)();
  friend std::ostream& operator<<(std::ostream& out, const Backend& b) { return out << b.name; }
};

}  // namespace conformance
