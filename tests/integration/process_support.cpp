#include "tests/integration/process_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace integration {
namespace {

constexpr auto kPollStep = std::chrono::milliseconds(20);

uint64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::string& stdoutPath, const std::string& stderrPath,
             const std::string& stdinPath)
    : stdoutPath_(stdoutPath), stderrPath_(stderrPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, stdinPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() {
  if (Started() && !exit_) Stop(SIGKILL);
}

std::optional<int> Child::WaitFor(uint64_t timeoutMs) {
  if (exit_ || !Started()) return exit_;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return exit_;
    }
    if (done < 0) {
      exit_ = -1;
      return exit_;
    }
    if (ElapsedMs(start) >= timeoutMs) return std::nullopt;
    std::this_thread::sleep_for(kPollStep);
  }
}

void Child::Stop(int signal) {
  if (!Started() || exit_) return;
  kill(pid_, signal);
  if (!WaitFor(1000)) {
    kill(pid_, SIGKILL);
    WaitFor(5000);
  }
}

long Child::CpuTicks() const {
  std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // After the command name in parentheses: state is field 3, utime 14, stime 15.
  const auto close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WaitForText(const std::string& path, const std::string& text, uint64_t timeoutMs) {
  const auto start = std::chrono::steady_clock::now();
  while (ReadText(path).find(text) == std::string::npos) {
    if (ElapsedMs(start) >= timeoutMs) return false;
    std::this_thread::sleep_for(kPollStep);
  }
  return true;
}

}  // namespace integration
