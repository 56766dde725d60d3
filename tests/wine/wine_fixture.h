// The Windows programs under Wine, as a user on Linux would run them beside
// the Linux ones: one Wine prefix for the whole run (made once, in a
// scratch folder), Wine's debug output off, every wait bounded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/integration/integration_fixture.h"

namespace wine {

// The Windows build: talverine.exe, talverine-cli.exe, gui_probe.exe.
std::string WindowsProgram(const std::string& name);
// The prefix of this run.
const std::string& Prefix();

class WineTest : public integration::Integration {
 protected:
  // Starts a Windows program in the scratch folder (relative names are
  // files there) and leaves it running; with a `terminal`, that is its
  // input and output (Wine makes it the program's console).
  std::unique_ptr<integration::Child> StartWindows(const std::string& exe, const std::vector<std::string>& args,
                                                   const std::string& name, const std::string& terminal = "");
  // Runs a Windows program in the scratch folder to its end.
  integration::CliResult RunWindows(const std::string& exe, const std::vector<std::string>& args,
                                    uint64_t limitMs = integration::kPatienceMs);
  // Maps COM<number> of the prefix to `device`; "COM<number>".
  std::string MapComPort(int number, const std::string& device);

  int windowsRuns_ = 0;
};

}  // namespace wine
