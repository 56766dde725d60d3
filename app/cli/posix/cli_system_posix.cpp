// cli_system on Linux: POSIX calls and the raw byte-stream devices.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/cli/cli_system.h"
#include "platform/midi/rawdev/ports_rawdev.h"

namespace cli {
namespace {

volatile sig_atomic_t g_interrupted = 0;

void NoteInterrupt(int) { g_interrupted = 1; }

}  // namespace

std::vector<std::string> CommandLine(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void WriteOut(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void WriteErr(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

void CatchInterrupt() {
  struct sigaction action{};
  action.sa_handler = NoteInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait for the terminal returns at once. The handler
  // goes after its first use, so that a second Ctrl+C ends the program.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
}

bool Interrupted() { return g_interrupted != 0; }

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool StderrRedraws() { return isatty(STDERR_FILENO) == 1; }

int ReadTerminalByte(unsigned waitMs) {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, static_cast<int>(waitMs)) <= 0) return kNoInputYet;
  unsigned char c = 0;
  const ssize_t got = read(STDIN_FILENO, &c, 1);
  if (got < 0 && errno == EINTR) return kNoInputYet;
  return got == 1 ? c : kEndOfInput;
}

MidiPortPair AddDevicePorts(MidiPortSet& ports, const std::string& path) {
  return rawdev::AddRawDevice(ports, path);
}

}  // namespace cli
