// talverine-cli: the program's core without a window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/cli/cli_system.h"

namespace {

const char kUsage[] =
    "usage: talverine-cli COMMAND [OPTIONS] [ARGS]\n"
    "\n"
    "Commands:\n"
    "  convert   load a WAV, AIFF, Intel HEX or binary file into the EPROM image\n"
    "            (resampled to the playback rate with --resample) and save that\n"
    "            section as WAV, Intel HEX or binary\n"
    "  hash      print the SHA-1 digests the help check computes\n"
    "  ports     list the MIDI input and output ports\n"
    "  get       copy the Kilnbox's memory into the image (and save it, -o)\n"
    "  send      send the image to the Kilnbox's memory\n"
    "  read      read the EPROM in the Kilnbox's socket (and save it, -o)\n"
    "  program   program the EPROM in the Kilnbox's socket from the image\n"
    "  verify    compare the EPROM in the Kilnbox's socket with the image\n"
    "  blank     start the Kilnbox's blank check\n"
    "\n"
    "Options:\n"
    "  --midi-log FILE  log every MIDI message sent and received to FILE\n"
    "  --help           this text (after a command: that command's help)\n"
    "  --version        the program's version\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = cli::CommandLine(argc, argv);
  if (!args.empty()) args.erase(args.begin());
  while (!args.empty() && args.front().rfind("--midi-log", 0) == 0) {
    std::string path;
    if (args.front().rfind("--midi-log=", 0) == 0) {
      path = args.front().substr(11);
      args.erase(args.begin());
    } else if (args.size() >= 2 && args.front() == "--midi-log") {
      path = args[1];
      args.erase(args.begin(), args.begin() + 2);
    } else {
      return cli::Usage("option --midi-log needs a FILE", kUsage);
    }
    cli::SetMidiLogPath(path);
  }
  if (args.empty()) return cli::Usage("no command given", kUsage);
  const std::string command = args.front();
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "--help" || command == "-h" || command == "help") {
    cli::WriteOut(kUsage);
    return cli::EXIT_OK;
  }
  if (command == "--version") {
    cli::WriteOut(std::string("talverine-cli ") + TALVERINE_VERSION + "\n");
    return cli::EXIT_OK;
  }
  if (command == "convert") return cli::ConvertCommand(rest);
  if (command == "hash") return cli::HashCommand(rest);
  if (command == "ports") return cli::PortsCommand(rest);
  if (cli::IsDeviceCommand(command)) return cli::DeviceCommand(command, rest);
  return cli::Usage("unknown command \"" + command + "\"", kUsage);
}
