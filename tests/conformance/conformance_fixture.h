// The fixture of every conformance test: the back end a driver gives,
// installed, with a main window that records what reaches it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "tests/conformance/backend_driver.h"
#include "tests/support/core_fixture.h"
#include "tests/support/window_recorder.h"

namespace conformance {

using testsupport::Received;
using Ev = testsupport::Event;

class BackEnd : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override;
  void TearDown() override;
  int Count(Ev event) const { return recorder_.Count(event); }
  std::vector<Ev> Events(std::initializer_list<Ev> only) const { return recorder_.Events(only); }

  std::unique_ptr<BackendDriver> driver_;
  testsupport::WindowRecorder recorder_;
  HWND window_ = nullptr;
  testsupport::TempDir temp_;

 private:
  plat::Parts previous_;
};

// The fixture of the dialog tests (test_dialogs.cpp): the window system's
// side of a dialog, with the program's side played by the test.
class Dialogs : public BackEnd {
 protected:
  struct Event {
    int id;
    DialogEvent event;
    DialogItem item;  // the control's state as the event reported it
    bool operator==(const Event& o) const { return id == o.id && event == o.event; }
  };
  // Shows dialog `templateId` over `state_`, with `script` for the user.
  // Each event is recorded in `events_`, then handed to `react_` (if set);
  // a click on OK or Cancel ends the dialog with that id.
  INT_PTR Open(int templateId, const std::function<void(DialogUser&)>& script);
  // The state of a dialog as the template has it.
  static DialogState StateOf(int templateId);

  DialogState state_;
  std::vector<Event> events_;
  std::function<void(int id, DialogEvent event)> react_;
};

// Runs every conformance test on the back end `factory` drives, the tests
// named with `name`: the one line a driver adds.
#define TALVERINE_CONFORMANCE_TESTS(name, factory)                                   \
  INSTANTIATE_TEST_SUITE_P(name, BackEnd, ::testing::Values(Backend{#name, factory})); \
  INSTANTIATE_TEST_SUITE_P(name, Dialogs, ::testing::Values(Backend{#name, factory}))

}  // namespace conformance
