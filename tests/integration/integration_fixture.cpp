#include "tests/integration/integration_fixture.h"

#include <signal.h>

namespace integration {

std::vector<uint8_t> Pattern(size_t size, int seed) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>((i * 13 + static_cast<size_t>(seed)) & 0xFF);
  return out;
}

std::string Integration::StartSim(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {KILNBOX_SIM};
  argv.insert(argv.end(), args.begin(), args.end());
  sim_ = std::make_unique<Child>(argv, Path("sim.out"), Path("sim.err"));
  if (!sim_->Started() || !WaitForText(Path("sim.out"), "\n", kPatienceMs)) {
    ADD_FAILURE() << "kilnbox-sim did not start: " << ReadText(Path("sim.err"));
    return "";
  }
  const std::string out = SimOutput();
  return out.substr(0, out.find('\n'));
}

std::unique_ptr<Child> Integration::StartCli(const std::vector<std::string>& args, const std::string& stdinPath) {
  std::vector<std::string> argv = {TALVERINE_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  ++cliRuns_;
  const std::string name = "cli" + std::to_string(cliRuns_);
  return std::make_unique<Child>(argv, Path(name + ".out"), Path(name + ".err"), stdinPath);
}

CliResult Integration::Finish(Child& cli, uint64_t limitMs) {
  CliResult result;
  if (auto code = cli.WaitFor(limitMs)) {
    result.code = *code;
  } else {
    cli.Stop(SIGKILL);
    ADD_FAILURE() << "talverine-cli was still running after " << limitMs << " ms";
  }
  result.err = ReadText(cli.StderrPath());
  result.out = ReadText(cli.StdoutPath());
  return result;
}

CliResult Integration::Cli(const std::vector<std::string>& args, uint64_t limitMs) {
  std::unique_ptr<Child> cli = StartCli(args);
  return Finish(*cli, limitMs);
}

}  // namespace integration
