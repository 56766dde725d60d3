#include "tests/conformance/conformance_fixture.h"

namespace conformance {

void BackEnd::SetUp() {
  driver_ = GetParam().makeDriver();
  previous_ = plat::Install(driver_->Parts());
  window_ = plat::CreateMainWindow("Caption", recorder_);
  ASSERT_NE(window_, nullptr);
  driver_->SetClientSize(600, 480);
}

void BackEnd::TearDown() {
  plat::Install(previous_);
  driver_.reset();
}

}  // namespace conformance
