// What talverine-cli needs of the operating system beyond the platform
// seam: its arguments, the terminal, Ctrl+C and the ports of a device path.
// posix/ and win32/ implement it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/ports.h"
#include "platform/platform.h"

namespace cli {

// The command line as UTF-8 strings, the program's name first.
std::vector<std::string> CommandLine(int argc, char** argv);

// Text (UTF-8) to stdout or stderr: a console shows its characters,
// anything else gets its bytes.
void WriteOut(const std::string& text);
void WriteErr(const std::string& text);

// From now on the first Ctrl+C only sets Interrupted(), for the command to
// end what runs cleanly; a second one ends the program at once.
void CatchInterrupt();
bool Interrupted();

bool StdinIsTerminal();
// True when stderr is a terminal that takes "\r\033[K" to redraw a line.
bool StderrRedraws();
// A byte typed on the terminal within `waitMs`: the byte, kNoInputYet when
// none came in time (or Ctrl+C came), kEndOfInput when the input has ended.
constexpr int kNoInputYet = -1;
constexpr int kEndOfInput = -2;
int ReadTerminalByte(unsigned waitMs);

// The input and the output port on a device path (a serial port, a raw
// MIDI device, a pseudo-terminal), added at the end of the lists.
MidiPortPair AddDevicePorts(MidiPortSet& ports, const std::string& path);

}  // namespace cli
