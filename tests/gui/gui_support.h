// Helpers of the main window's GUI tests: answering modal windows as a user
// would, sizing the client area, waiting for the loop to settle.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QtPlatform;

namespace guitest {

struct SeenBox {
  std::string caption;
  std::string text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// Watches for message boxes while it lives and answers each with the next
// button from its list (the last one again when the list runs out), after
// `delayMs` during which the box's nested loop keeps running.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::vector<QMessageBox::StandardButton> answers, int delayMs = 0);
  ~BoxAnswerer();
  const std::vector<SeenBox>& Seen() const { return seen_; }

 private:
  void Check();
  std::vector<QMessageBox::StandardButton> answers_;
  int delayMs_;
  QTimer timer_;
  QMessageBox* pending_ = nullptr;
  std::vector<SeenBox> seen_;
};

// Once a modal window is up, runs `act` on it (within that window's loop).
void WhenModal(std::function<void(QWidget*)> act);

// A user's click on a control; on buttons with an indicator, far right of
// the text, where the control still takes it. A missing control (null) is a
// failed test.
void ClickControl(QWidget* control);
// Opens drop-down list `list` and chooses entry `index` with the keyboard.
void PickEntry(QWidget* list, int index);
// Replaces the text of line edit `edit`, one key at a time.
void TypeInto(QWidget* edit, const std::string& text);
// What a dialog's control shows: its text or title, or a list's chosen entry.
std::string ShownText(QWidget* control);

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// How long a wait goes on before it counts as failed: only a fault comes
// near it, whatever the load on the machine.
constexpr int kSettleLimitMs = 60000;

// Runs the event loop until `done` holds or `timeoutMs` pass.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = kSettleLimitMs);
// Lets queued messages and the scheduled paint run.
void Settle(QtPlatform& platform);
// Resizes the main window so that its client area is `w` x `h`, and waits
// for the resize and its paint.
void SetClientSize(QtPlatform& platform, int w, int h);
// The same without waiting.
void ResizeClient(QtPlatform& platform, int w, int h);

}  // namespace guitest
