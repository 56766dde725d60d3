// Child processes for the integration tests: talverine-cli and kilnbox-sim
// started as a user would start them, every wait bounded, and whatever is
// still running killed when its owner goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace integration {

class Child {
 public:
  // Starts `argv` with stdin from `stdinPath` and stdout and stderr into files.
  Child(const std::vector<std::string>& argv, const std::string& stdoutPath, const std::string& stderrPath,
        const std::string& stdinPath = "/dev/null");
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // The exit code once it has ended within `timeoutMs`; -1 when a signal
  // ended it; nullopt while it still runs (it is left running).
  std::optional<int> WaitFor(uint64_t timeoutMs);
  // Sends `signal` and reaps it (SIGKILL after a second).
  void Stop(int signal);
  // CPU time it has used so far, in clock ticks (user and system).
  long CpuTicks() const;
  const std::string& StdoutPath() const { return stdoutPath_; }
  const std::string& StderrPath() const { return stderrPath_; }

 private:
  std::string stdoutPath_;
  std::string stderrPath_;
  pid_t pid_ = -1;
  std::optional<int> exit_;
};

// How long a test waits for something that comes within seconds: only a
// fault comes near it, however loaded the machine.
constexpr uint64_t kPatienceMs = 120000;

std::string ReadText(const std::string& path);
// Waits until `path` holds `text` (at most `timeoutMs`); true when it does.
bool WaitForText(const std::string& path, const std::string& text, uint64_t timeoutMs);

}  // namespace integration
