// The conformance tests on the Win32 back end (under Wine on an X server,
// or on Windows): the user's clicks, keys, choices and drops are the
// messages Windows' own input sends, given by a timer that runs in each
// modal window's own loop; a second start is this program run again.
#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/win32/platform_win32.h"
#include "tests/conformance/conformance_fixture.h"
#include "tests/conformance/queued_driver.h"
#include "tests/conformance/user_win32.h"

namespace conformance {
namespace {

class Win32User : public DialogUser {
 public:
  explicit Win32User(void* dialog) : dialog_(dialog) {}
  void Click(int id) override { w32test::Click(dialog_, id); }
  void Pick(int id, int index) override { w32test::Pick(dialog_, id, index); }
  void Type(int id, const std::string& text) override { w32test::Type(dialog_, id, text); }
  void PressEnter() override { w32test::PressEnter(dialog_); }
  void PressEsc() override { w32test::PressEsc(dialog_); }
  void CloseBox() override { w32test::CloseBox(dialog_); }
  bool IsEnabled(int id) override { return w32test::IsEnabled(dialog_, id); }
  bool IsChecked(int id) override { return w32test::IsChecked(dialog_, id); }
  std::string Text(int id) override { return w32test::Text(dialog_, id); }

 private:
  void* dialog_;
};

class Win32Driver : public QueuedDriver {
 public:
  Win32Driver() {
    w32test::StartPolling([this] { AnswerModal(); });
  }
  ~Win32Driver() override {
    w32test::StopPolling();
    w32test::Destroy(Main());
  }
  plat::Parts Parts() override { return &platform_; }
  bool PumpUntil(const std::function<bool()>& done) override { return w32test::PumpUntil(done, kWaitLimitMs); }
  void PumpOnce() override { w32test::PumpOnce(); }
  void Idle(int ms) override { w32test::Idle(ms); }
  void SetClientSize(int width, int height) override { w32test::SetClientSize(Main(), width, height); }

  void DropFiles(const std::vector<std::string>& files, POINT at) override {
    w32test::DropFiles(Main(), files, at.x, at.y);
  }
  bool AcceptsDrops() override { return w32test::AcceptsDrops(Main()); }
  bool SecondInstanceAcquires(const char* name, const std::vector<std::string>& files) override {
    w32test::Minimize(Main());
    const int code = w32test::RunSecondInstance(name, files);
    EXPECT_TRUE(code == w32test::kAcquired || code == w32test::kRefused) << "the second start ended with " << code;
    return code == w32test::kAcquired;
  }
  bool MainWindowRaised() override { return !w32test::IsMinimized(Main()); }

 private:
  static void* Main() { return Win32Platform::MainWindow(); }

  // Answers the modal window that is up, once, with the next answer of its
  // kind; runs in the window's own loop.
  void AnswerModal() {
    void* modal = w32test::ModalWindow();
    if (answering_ || modal == nullptr || Answered(modal)) return;
    answering_ = true;
    if (modal == Win32Platform::ActiveDialog()) {
      if (!dialogs_.empty()) RunDialogScript(modal, Take(dialogs_));
    } else if (w32test::IsFileDialog(modal)) {
      if (!files_.empty()) AnswerFileDialog(modal, Take(files_));
    } else if (!boxes_.empty() && BoxReady(boxes_.front())) {
      AnswerBox(modal, Take(boxes_));
    }
    answering_ = false;
  }
  bool Answered(void* modal) const { return std::find(answered_.begin(), answered_.end(), modal) != answered_.end(); }
  // The box's loop goes on between two looks until the answer may be given.
  bool BoxReady(const BoxAnswer& answer) {
    if (!answer.ready || answer.ready()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (!boxWaitStart_) boxWaitStart_ = now;
    if (now - *boxWaitStart_ < std::chrono::milliseconds(kWaitLimitMs)) return false;
    ADD_FAILURE() << "the box's wait never ended";
    return true;
  }
  void AnswerBox(void* box, const BoxAnswer& answer) {
    answered_.push_back(box);
    boxWaitStart_.reset();
    const w32test::BoxView view = w32test::ReadMessageBox(box);
    seenBoxes_.push_back({view.caption, view.text, view.type});
    for (int action : answer.actions) {
      if (!w32test::IsOpen(box)) break;
      if (action == kPressEsc) {
        w32test::PressEsc(box);
      } else if (action == kCloseBox) {
        w32test::CloseBox(box);
      } else {
        w32test::Click(box, action);
      }
    }
    if (w32test::IsOpen(box)) {
      ADD_FAILURE() << "the message box stayed open";
      for (int button : {IDOK, IDYES, IDCANCEL}) w32test::Click(box, button);
    }
  }
  void AnswerFileDialog(void* dialog, const FileChoice& choice) {
    answered_.push_back(dialog);
    seenFiles_.push_back({w32test::FileFilters(dialog), w32test::ShownFilter(dialog)});
    if (choice.choose) {
      w32test::ChooseFile(dialog, choice.filterIndex, choice.name);
    } else {
      w32test::CancelFileDialog(dialog);
    }
    if (w32test::IsOpen(dialog)) {
      ADD_FAILURE() << "the file dialog stayed open";
      w32test::CancelFileDialog(dialog);
    }
  }
  void RunDialogScript(void* dialog, const std::function<void(DialogUser&)>& script) {
    answered_.push_back(dialog);
    Win32User user(dialog);
    script(user);
    if (Win32Platform::DialogRunning(static_cast<PlatWindow*>(dialog))) w32test::CloseBox(dialog);
  }

  Win32Platform platform_;
  std::vector<void*> answered_;
  std::optional<std::chrono::steady_clock::time_point> boxWaitStart_;
  bool answering_ = false;
};

std::unique_ptr<BackendDriver> MakeWin32Driver() { return std::make_unique<Win32Driver>(); }

TALVERINE_CONFORMANCE_TESTS(Win32, &MakeWin32Driver);

}  // namespace
}  // namespace conformance

// The tests, or the second start that SecondInstanceAcquires runs.
int main(int argc, char** argv) {
  std::string name;
  std::vector<std::string> files;
  if (w32test::IsSecondInstance(&name, &files)) {
    Win32Platform second;
    return second.LockSingleInstance(name.c_str(), files) ? w32test::kAcquired : w32test::kRefused;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
