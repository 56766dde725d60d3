// talverine-cli and kilnbox-sim as a user runs them: separate processes, a
// pseudo-terminal between them, files in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/integration/process_support.h"
#include "tests/support/core_fixture.h"

namespace integration {

// A recognisable EPROM image: byte i of `size` is (i * 13 + seed) & 0xFF.
std::vector<uint8_t> Pattern(size_t size, int seed = 0);

struct CliResult {
  int code = -2;      // -2: still running at the limit (then killed)
  std::string err;
  std::string out;
};

class Integration : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return temp_.File(name); }

  // Starts kilnbox-sim with `args`; returns the path of its pseudo-terminal
  // ("" when it did not come up).
  std::string StartSim(const std::vector<std::string>& args);
  std::string SimOutput() const { return ReadText(Path("sim.out")); }
  // Waits for the simulator's display to have shown `text`.
  bool SimShowed(const std::string& text) const { return WaitForText(Path("sim.out"), text, kPatienceMs); }

  // Starts talverine-cli with `args` and leaves it running.
  std::unique_ptr<Child> StartCli(const std::vector<std::string>& args, const std::string& stdinPath = "/dev/null");
  // Waits (at most `limitMs`) for a talverine-cli started by StartCli.
  CliResult Finish(Child& cli, uint64_t limitMs);
  // Runs talverine-cli to its end, at most `limitMs`.
  CliResult Cli(const std::vector<std::string>& args, uint64_t limitMs = kPatienceMs);

  void WriteImage(const std::string& name, const std::vector<uint8_t>& bytes) {
    testsupport::WriteBytes(Path(name), bytes);
  }
  std::vector<uint8_t> FileBytes(const std::string& name) const { return testsupport::ReadBytes(Path(name)); }
  bool Exists(const std::string& name) const { return testsupport::FileExists(Path(name)); }

  testsupport::TempDir temp_;
  std::unique_ptr<Child> sim_;
  int cliRuns_ = 0;
};

}  // namespace integration
