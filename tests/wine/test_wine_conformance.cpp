// The back-end conformance suite (tests/conformance) on the Win32 back end:
// conformance_win32.exe under Wine, on the run's X server.
#include <cstdio>

#include "tests/wine/wine_fixture.h"

namespace wine {
namespace {

class WineConformance : public WineTest {};

TEST_F(WineConformance, TheWin32BackEndPassesTheSuite) {
  // Each file dialog of the suite starts Wine's shell view: minutes at most.
  const integration::CliResult run = RunWindows("conformance_win32.exe", {}, 10 * integration::kPatienceMs);
  EXPECT_EQ(run.code, 0) << run.out << run.err;
  const std::string::size_type passed = run.out.find("[  PASSED  ]");
  ASSERT_NE(passed, std::string::npos) << run.out << run.err;
  std::printf("conformance_win32: %s\n", run.out.substr(passed, run.out.find('\n', passed) - passed).c_str());
}

}  // namespace
}  // namespace wine
