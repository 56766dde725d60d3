// The fixture of every conformance test: the back end a driver gives,
// installed, with a main window whose procedure records what reaches it.
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

class BackEnd : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override;
  void TearDown() override;
  int Count(UINT msg) const { return recorder_.Count(msg); }
  std::vector<UINT> Messages(std::initializer_list<UINT> only) const { return recorder_.Messages(only); }

  std::unique_ptr<BackendDriver> driver_;
  testsupport::WindowRecorder recorder_;
  HWND window_ = nullptr;
  testsupport::TempDir temp_;

 private:
  plat::Parts previous_;
};

// The fixture of the dialog tests (test_dialogs.cpp).
class Dialogs : public BackEnd {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Opens dialog `templateId` on a procedure that records what it is sent,
  // with `script` for the user.
  INT_PTR Open(int templateId, const std::function<void(DialogUser&)>& script, LPARAM param = 0);
};

// Runs every conformance test on the back end `factory` drives, the tests
// named with `name`: the one line a driver adds.
#define TALVERINE_CONFORMANCE_TESTS(name, factory)                                   \
  INSTANTIATE_TEST_SUITE_P(name, BackEnd, ::testing::Values(Backend{#name, factory})); \
  INSTANTIATE_TEST_SUITE_P(name, Dialogs, ::testing::Values(Backend{#name, factory}))

}  // namespace conformance
