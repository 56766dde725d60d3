// talverine.exe: the desktop application on Windows.
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/system_ports.h"
#include "platform/midi/traffic_log.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/system_win32.h"
#include "shell/app_state.h"
#include "shell/core_session.h"
#include "shell/main_window.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

const char kUsage[] =
    "usage: talverine [OPTIONS]\n"
    "\n"
    "Prepares and burns the voice EPROMs of a sampled drum machine with the\n"
    "Kilnbox EPROM programmer.\n"
    "\n"
    "Options:\n"
    "  --simulator          add a simulated Kilnbox to the MIDI ports, to try\n"
    "                       every operation without hardware\n"
    "  --midi-device NAME   a serial port (COM3) or other byte-stream device\n"
    "                       carrying MIDI; may be repeated\n"
    "  --midi-log FILE      log every MIDI message sent and received to FILE\n"
    "  --help               this text\n"
    "  --version            the program's version\n";

struct Options {
  bool help = false;
  bool version = false;
  bool simulator = false;
  std::optional<std::string> midiLog;
  std::vector<std::string> midiDevices;
};

bool IsOption(const std::string& arg, const std::string& name) {
  return arg == name || arg.rfind(name + "=", 0) == 0;
}

// "--name VALUE" or "--name=VALUE"; advances `i` past what it used; "" when
// the value is missing or empty.
std::string TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name) {
  const std::string& arg = args[i];
  if (arg.size() > name.size()) return arg.substr(name.size() + 1);
  return i + 1 < args.size() ? args[++i] : "";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
  Options o;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--simulator") {
      o.simulator = true;
    } else if (IsOption(arg, "--midi-log")) {
      const std::string value = TakeValue(args, i, "--midi-log");
      if (value.empty()) {
        *error = "option --midi-log needs a FILE";
        return std::nullopt;
      }
      o.midiLog = value;
    } else if (IsOption(arg, "--midi-device")) {
      const std::string value = TakeValue(args, i, "--midi-device");
      if (value.empty()) {
        *error = "option --midi-device needs a NAME";
        return std::nullopt;
      }
      o.midiDevices.push_back(value);
    } else {
      *error = (arg.rfind("-", 0) == 0 ? "unknown option \"" : "unexpected argument \"") + arg + "\"";
      return std::nullopt;
    }
  }
  return o;
}

// Text for the user: on the console the program was started from, or in a
// box when there is none.
int Tell(const std::string& text, FILE* stream, int code) {
  if (w32::UseParentConsole()) {
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
  } else {
    w32::ShowMessage("Talverine", text);
  }
  return code;
}

uint64_t WallClockMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

int main() {
  std::string error;
  const std::optional<Options> options = ParseOptions(w32::CommandLineArguments(), &error);
  if (!options) return Tell("talverine: " + error + "\n\n" + kUsage, stderr, kExitUsage);
  if (options->help) return Tell(kUsage, stdout, 0);
  if (options->version) return Tell(std::string("talverine ") + TALVERINE_VERSION + "\n", stdout, 0);

  Win32Platform platform;
  // Taken here, ahead of the core, because a second start that only raises
  // the running window must not start a simulator or empty a log file first.
  if (!platform.AcquireSingleInstance(szAppName)) return 0;
  // The port list, in its order: the system's MIDI ports, the devices given
  // with --midi-device, then the simulated Kilnbox.
  RegisterSystemPorts(platform.Midi(), options->midiDevices);
  if (options->simulator) platform.StartSimulator();
  MidiTrafficLog trafficLog;
  if (options->midiLog) {
    const uint64_t start = WallClockMs();
    if (!trafficLog.Start(*options->midiLog, platform.Midi(), [start] { return WallClockMs() - start; }, &error))
      return Tell("talverine: " + error + "\n", stderr, kExitFailure);
  }
  const plat::Parts previous = plat::Install(&platform);
  int code = 0;
  {
    CoreSession core;
    code = TalverineMain(nullptr);
  }
  trafficLog.Stop();
  plat::Install(previous);
  return code;
}
