// The conformance tests on the headless back end: virtual time, and the
// platform's scripts for the user.
#include <memory>
#include <utility>

#include "platform/headless/platform_headless.h"
#include "tests/conformance/conformance_fixture.h"

namespace conformance {
namespace {

class HeadlessUser : public DialogUser {
 public:
  explicit HeadlessUser(headless::DialogDriver& d) : d_(d) {}
  void Click(int id) override { d_.Click(id); }
  void Pick(int id, int index) override { d_.SelectListEntry(id, index); }
  void Type(int id, const std::string& text) override { d_.Type(id, text); }
  void PressEnter() override { d_.PressEnter(); }
  void PressEsc() override { d_.PressEsc(); }
  void CloseBox() override { d_.CloseBox(); }
  bool IsEnabled(int id) override { return d_.IsEnabled(id); }
  bool IsChecked(int id) override { return d_.IsChecked(id); }
  std::string Text(int id) override {
    const int selected = d_.ListSelection(id);
    return selected >= 0 ? d_.ListItems(id)[static_cast<size_t>(selected)] : d_.Text(id);
  }

 private:
  headless::DialogDriver& d_;
};

class HeadlessDriver : public BackendDriver {
 public:
  plat::Parts Parts() override { return &p_; }
  bool PumpUntil(const std::function<bool()>& done) override { return p_.RunUntil(done, kWaitLimitMs); }
  void PumpOnce() override { p_.Pump(); }
  void Idle(int ms) override { p_.AdvanceTime(static_cast<uint64_t>(ms)); }
  void SetClientSize(int width, int height) override { p_.SetClientSize(width, height); }

  void AnswerNextMessageBox(std::vector<int> actions, std::function<bool()> ready) override {
    for (int action : actions) {
      // The platform has one answer for Esc and the close box.
      const int answer = action == kPressEsc || action == kCloseBox ? headless::kCloseBox : action;
      if (ready) {
        p_.QueueMessageBoxAnswerWhen(answer, std::exchange(ready, nullptr), kWaitLimitMs);
      } else {
        p_.QueueMessageBoxAnswer(answer);
      }
    }
  }
  std::vector<SeenBox> MessageBoxesSeen() override {
    std::vector<SeenBox> seen;
    for (const headless::MessageBoxRecord& r : p_.messageBoxes) seen.push_back({r.caption, r.text, r.type});
    return seen;
  }
  void AnswerNextDialog(std::function<void(DialogUser&)> script) override {
    p_.QueueDialog([script = std::move(script)](headless::DialogDriver& d) {
      HeadlessUser user(d);
      script(user);
      if (!d.Ended()) d.CloseBox();
    });
  }
  void AnswerNextFileDialog(FileChoice choice) override {
    p_.QueueFileDialogAnswer({choice.choose, choice.name, choice.filterIndex, 0});
  }
  std::vector<SeenFileDialog> FileDialogsSeen() override {
    std::vector<SeenFileDialog> seen;
    for (const headless::FileDialogRecord& r : p_.fileDialogs) {
      SeenFileDialog dialog{{}, r.openedOnFilter};
      for (const FileFilter& f : r.request.filters) dialog.filters.push_back(f.description);
      seen.push_back(dialog);
    }
    return seen;
  }

  void DropFiles(const std::vector<std::string>& files, POINT at) override { p_.DropFiles(files, at); }
  bool AcceptsDrops() override { return p_.acceptsDrops; }
  bool SecondInstanceAcquires(const char* name, const std::vector<std::string>& files) override {
    raisedBefore_ = p_.timesRaised;
    headless::HeadlessPlatform second;
    return second.LockSingleInstance(name, files) != nullptr;
  }
  bool MainWindowRaised() override { return p_.timesRaised > raisedBefore_; }

 private:
  headless::HeadlessPlatform p_;
  int raisedBefore_ = 0;
};

std::unique_ptr<BackendDriver> MakeHeadlessDriver() { return std::make_unique<HeadlessDriver>(); }

TALVERINE_CONFORMANCE_TESTS(Headless, &MakeHeadlessDriver);

}  // namespace
}  // namespace conformance
