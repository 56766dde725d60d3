// cli_system on Windows: UTF-8 arguments, the console, and COM ports as
// device paths.
#include <cstdio>

#include "app/cli/cli_system.h"
#include "app/cli/win32/console_win32.h"
#include "platform/os/os_services.h"
#include "platform/win32/comport_win32.h"
#include "platform/win32/system_win32.h"

namespace cli {

std::vector<std::string> CommandLine(int argc, char** argv) {
  std::vector<std::string> args = w32::CommandLineArguments();
  if (args.empty()) args.assign(argv, argv + argc);
  return args;
}

bool StdinIsTerminal() { return win32::StdinIsConsole(); }

bool StderrRedraws() { return win32::StderrTakesEscapes(); }

int ReadTerminalByte(unsigned waitMs) { return win32::ReadConsoleByte(waitMs, kNoInputYet, kEndOfInput); }

std::string MakePrivateFolder(std::string* tried) {
  const std::string parent = w32::TempDirectory();
  const std::string folder = w32::MakeUniqueFolder(parent, "talverine-cli-");
  if (folder.empty()) *tried = parent;
  return folder;
}

void RemoveFolder(const std::string& path) { w32::RemoveTree(path); }

DevicePortIndices AddDevicePorts(MidiPortSet& ports, const std::string& path) {
  const comport::PortIndices added = comport::AddComPort(ports, path);
  return {added.input, added.output};
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
  FILE* in = os::OpenFile(path, "rb");
  if (in == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) return std::nullopt;
  return bytes;
}

}  // namespace cli
