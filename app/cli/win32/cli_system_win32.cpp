// cli_system on Windows: UTF-8 arguments, the console, and COM ports as
// device paths.
#include <cstdio>

#include "app/cli/cli_system.h"
#include "app/cli/win32/console_win32.h"
#include "platform/os/os_services.h"
#include "platform/win32/serial_win32.h"
#include "platform/win32/system_win32.h"

namespace cli {

std::vector<std::string> CommandLine(int argc, char** argv) {
  std::vector<std::string> args = w32::CommandLineArguments();
  if (args.empty()) args.assign(argv, argv + argc);
  return args;
}

void WriteOut(const std::string& text) { win32::Write(stdout, text); }

void WriteErr(const std::string& text) { win32::Write(stderr, text); }

void CatchInterrupt() { win32::CatchCtrlC(); }

bool Interrupted() { return win32::CtrlCPressed(); }

bool StdinIsTerminal() { return win32::StdinIsConsole(); }

bool StderrRedraws() { return win32::StderrTakesEscapes(); }

int ReadTerminalByte(unsigned waitMs) { return win32::ReadConsoleByte(waitMs, kNoInputYet, kEndOfInput); }

MidiPortPair AddDevicePorts(MidiPortSet& ports, const std::string& path) {
  return w32::AddComPort(ports, path);
}

}  // namespace cli
