#include "app/desktop/desktop_start.h"

#include <chrono>
#include <cstdint>

#include "app/cli/cli_args.h"
#include "platform/midi/traffic_log.h"
#include "platform/os/os_services.h"
#include "shell/core_session.h"
#include "shell/main_window.h"

namespace desktop {

namespace {

// The value of a valued option that must not be empty ("--midi-log=").
bool TakeNonEmpty(const cli::Args& args, const char* option, const char* what, std::vector<std::string>* values,
                  std::string* error) {
  *values = args.Values(option);
  for (const std::string& v : *values) {
    if (v.empty()) {
      *error = std::string("option ") + option + " needs a " + what;
      return false;
    }
  }
  return true;
}

uint64_t SteadyClockMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
  const cli::Args parsed(args, {"--help", "--version", "--simulator"}, {"--midi-log", "--midi-device"});
  if (!parsed.ok()) {
    *error = parsed.error();
    return std::nullopt;
  }
  Options o;
  o.help = parsed.Has("--help");
  o.version = parsed.Has("--version");
  o.simulator = parsed.Has("--simulator");
  std::vector<std::string> logs;
  if (!TakeNonEmpty(parsed, "--midi-log", "FILE", &logs, error) ||
      !TakeNonEmpty(parsed, "--midi-device", "NAME", &o.midiDevices, error))
    return std::nullopt;
  if (!logs.empty()) o.midiLog = logs.back();
  for (const std::string& arg : parsed.positional()) {
    if (arg == "-h" || arg == "/?")
      o.help = true;
    else
      o.others.push_back(arg);
  }
  return o;
}

std::string Usage(const char* deviceHelp, const char* footer) {
  return std::string(
             "usage: talverine [OPTIONS] [FILE...]\n"
             "\n"
             "Prepares and burns the voice EPROMs of a sampled drum machine with the\n"
             "Kilnbox EPROM programmer. FILEs load into the image as files dropped on\n"
             "the window do: the first into the first sound or EPROM, and so on.\n"
             "\n"
             "Options:\n"
             "  --simulator          add a simulated Kilnbox to the MIDI ports, to try\n"
             "                       every operation without hardware\n") +
         deviceHelp +
         "  --midi-log FILE      log every MIDI message sent and received to FILE\n"
         "  --help               this text\n"
         "  --version            the program's version\n" +
         footer;
}

bool TakeFiles(const std::vector<std::string>& rest, Options* options, std::string* error) {
  for (const std::string& arg : rest) {
    if (arg.rfind('-', 0) == 0) {
      *error = "unknown option \"" + arg + "\"";
      return false;
    }
    options->files.push_back(arg);
  }
  return true;
}

std::vector<std::string> AbsoluteFiles(const std::vector<std::string>& files) {
  const std::string folder = os::CurrentDirectory();
  std::vector<std::string> absolute;
  for (const std::string& file : files) absolute.push_back(os::ResolvePath(folder, file));
  return absolute;
}

int RunCore(plat::Parts parts, MidiPortSet& midi, const Options& options, std::string* error) {
  MidiTrafficLog trafficLog;
  if (options.midiLog) {
    const uint64_t start = SteadyClockMs();
    if (!trafficLog.Start(*options.midiLog, midi, [start] { return SteadyClockMs() - start; }, error))
      return kExitFailure;
  }
  const plat::Parts previous = plat::Install(parts);
  int code = 0;
  {
    CoreSession core;
    code = TalverineMain(core, nullptr, options.files);
  }
  trafficLog.Stop();
  plat::Install(previous);
  return code;
}

}  // namespace desktop
