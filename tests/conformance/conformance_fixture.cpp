#include "tests/conformance/conformance_fixture.h"

namespace conformance {

void BackEnd::SetUp() {
  driver_ = GetParam().makeDriver();
  testsupport::RecordInto(&recorder_);
  previous_ = plat::Install(driver_->Parts());
  window_ = plat::CreateMainWindow("TALVERINE", "Caption", testsupport::RecordingWindowProc);
  ASSERT_NE(window_, nullptr);
  driver_->SetClientSize(600, 480);
}

void BackEnd::TearDown() {
  plat::Install(previous_);
  driver_.reset();
  testsupport::RecordInto(nullptr);
}

}  // namespace conformance
