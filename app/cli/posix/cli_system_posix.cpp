// cli_system on Linux: POSIX calls and the raw byte-stream devices.
#include <poll.h>
#include <unistd.h>

#include "app/cli/cli_system.h"
#include "platform/midi/rawdev/ports_rawdev.h"

namespace cli {

std::vector<std::string> CommandLine(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool StderrRedraws() { return isatty(STDERR_FILENO) == 1; }

int ReadTerminalByte(unsigned waitMs) {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, static_cast<int>(waitMs)) <= 0) return kNoInputYet;
  unsigned char c = 0;
  return read(STDIN_FILENO, &c, 1) == 1 ? c : kEndOfInput;
}

MidiPortPair AddDevicePorts(MidiPortSet& ports, const std::string& path) {
  return rawdev::AddRawDevice(ports, path);
}

}  // namespace cli
