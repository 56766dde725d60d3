// The part of a driver that keeps the tests' answers in queues, one for each
// kind of modal window, until such a window comes up; and what each window
// showed, for the tests to read.
#pragma once

#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "tests/conformance/backend_driver.h"

namespace conformance {

class QueuedDriver : public BackendDriver {
 public:
  void AnswerNextMessageBox(std::vector<int> actions, std::function<bool()> ready) override {
    boxes_.push_back({std::move(actions), std::move(ready)});
  }
  std::vector<SeenBox> MessageBoxesSeen() override { return seenBoxes_; }
  void AnswerNextDialog(std::function<void(DialogUser&)> script) override { dialogs_.push_back(std::move(script)); }
  void AnswerNextFileDialog(FileChoice choice) override { files_.push_back(std::move(choice)); }
  std::vector<SeenFileDialog> FileDialogsSeen() override { return seenFiles_; }

 protected:
  struct BoxAnswer {
    std::vector<int> actions;
    std::function<bool()> ready;
  };

  template <typename T>
  static T Take(std::deque<T>& answers) {
    T next = std::move(answers.front());
    answers.pop_front();
    return next;
  }

  std::deque<BoxAnswer> boxes_;
  std::deque<std::function<void(DialogUser&)>> dialogs_;
  std::deque<FileChoice> files_;
  std::vector<SeenBox> seenBoxes_;
  std::vector<SeenFileDialog> seenFiles_;
};

}  // namespace conformance
