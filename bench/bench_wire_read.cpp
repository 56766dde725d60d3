// A full read of a 2764 at the true MIDI wire rate: talverine-cli and
// kilnbox-sim as two processes over a pseudo-terminal, timed from the start
// of talverine-cli to its exit, against the ideal: every byte of the
// exchange at 3125 bytes a second plus the pauses the operation must make.
//
// The exchange: the presence check (block-size command, request, the 1 KB
// block 16 back), then the block-size, type and read commands, the request
// and the 8 KB block back. Pauses: 250 ms in the presence check, then 500,
// 500 and 2000 ms. Reported: the time per read, the ideal and their ratio.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr double kWireBytesPerSecond = 3125;
constexpr double kPausesMs = 250 + 500 + 500 + 2000;

// The bytes of the exchange, both directions.
constexpr size_t kPresenceBytes = 13 + 6 + (46 + 2 * 1024);
constexpr size_t kReadBytes = 11 + 7 + 9 + 6 + (46 + 2 * 8192);
constexpr double kIdealMs = (kPresenceBytes + kReadBytes) * 1000.0 / kWireBytesPerSecond + kPausesMs;

pid_t Spawn(const std::vector<std::string>& argv, const std::string& out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit code, or -1 when it had to be killed after `limit`.
int WaitWithin(pid_t pid, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::string FirstLine(const std::string& path, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (const auto newline = text.find('\n'); newline != std::string::npos) return text.substr(0, newline);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

void BM_Read2764AtTheWireRate(benchmark::State& state) {
  char folder[] = "/tmp/talverine-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string simOut = std::string(folder) + "/sim.out";
  const pid_t sim = Spawn({KILNBOX_SIM, "--socket-type", "2764"}, simOut);
  const std::string pty = sim > 0 ? FirstLine(simOut, std::chrono::seconds(5)) : "";
  if (pty.empty()) state.SkipWithError("kilnbox-sim did not start");

  const std::string cliOut = std::string(folder) + "/cli.out";
  double totalMs = 0;
  int reads = 0;
  for (auto _ : state) {
    if (pty.empty()) break;
    const auto start = std::chrono::steady_clock::now();
    const pid_t cli = Spawn({TALVERINE_CLI, "read", "--midi-device", pty, "--type", "2764"}, cliOut);
    const int code = cli > 0 ? WaitWithin(cli, std::chrono::seconds(60)) : -1;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (code != 0) {
      state.SkipWithError("the read failed");
      break;
    }
    state.SetIterationTime(took.count());
    totalMs += took.count() * 1000;
    ++reads;
  }
  if (sim > 0) {
    kill(sim, SIGTERM);
    WaitWithin(sim, std::chrono::seconds(5));
  }
  std::remove(simOut.c_str());
  std::remove(cliOut.c_str());
  rmdir(folder);
  state.counters["ideal_ms"] = kIdealMs;
  if (reads > 0) state.counters["ratio"] = totalMs / reads / kIdealMs;
}

}  // namespace

// Each read takes about ten seconds of wall time.
BENCHMARK(BM_Read2764AtTheWireRate)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
