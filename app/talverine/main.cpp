// talverine: the desktop application.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/midi/system_ports.h"
#include "platform/midi/traffic_log.h"
#include "platform/qt/platform_qt.h"
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
    "  --midi-device PATH   a raw MIDI byte-stream device (a serial port, a\n"
    "                       pseudo-terminal, /dev/snd/midiC*D*); may be repeated\n"
    "  --midi-log FILE      log every MIDI message sent and received to FILE\n"
    "  --help               this text\n"
    "  --version            the program's version\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are passed on to Qt.\n";

struct Options {
  bool help = false;
  bool version = false;
  bool simulator = false;
  std::optional<std::string> midiLog;
  std::vector<std::string> midiDevices;
  std::vector<std::string> qtArgs;  // argv[0] and Qt's own options
};

// "--name VALUE" or "--name=VALUE"; advances `i` past what it used.
std::optional<std::string> TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
                                     std::string* error) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) return arg.substr(name.size() + 1);
  if (i + 1 < args.size()) return args[++i];
  *error = "option " + name + " needs a value";
  return std::nullopt;
}

bool IsOption(const std::string& arg, const std::string& name) {
  return arg == name || arg.rfind(name + "=", 0) == 0;
}

// Reads our options; single-dash arguments are left for Qt, which says
// whether it knows them.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
  Options o;
  o.qtArgs.push_back(args.empty() ? "talverine" : args[0]);
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--simulator") {
      o.simulator = true;
    } else if (IsOption(arg, "--midi-log")) {
      const auto value = TakeValue(args, i, "--midi-log", error);
      if (!value || value->empty()) {
        if (error->empty()) *error = "option --midi-log needs a FILE";
        return std::nullopt;
      }
      o.midiLog = *value;
    } else if (IsOption(arg, "--midi-device")) {
      const auto value = TakeValue(args, i, "--midi-device", error);
      if (!value || value->empty()) {
        if (error->empty()) *error = "option --midi-device needs a PATH";
        return std::nullopt;
      }
      o.midiDevices.push_back(*value);
    } else if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
      // Qt's own options, with their value when one follows.
      o.qtArgs.push_back(arg);
      if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') o.qtArgs.push_back(args[++i]);
    } else if (arg.rfind("--", 0) == 0) {
      *error = "unknown option \"" + arg + "\"";
      return std::nullopt;
    } else {
      *error = "unexpected argument \"" + arg + "\"";
      return std::nullopt;
    }
  }
  return o;
}

int Usage(const std::string& error) {
  std::fprintf(stderr, "talverine: %s\n\n%s", error.c_str(), kUsage);
  return kExitUsage;
}

// The port list, in its order: the system's MIDI ports and the raw devices
// (found on the system and given with --midi-device) first, then the
// simulated Kilnbox.
void RegisterMidiPorts(QtPlatform& platform, const Options& o) {
  RegisterSystemPorts(platform.Midi(), o.midiDevices);
  if (o.simulator) platform.StartSimulator();
}

uint64_t WallClockMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::optional<Options> options = ParseOptions(std::vector<std::string>(argv, argv + argc), &error);
  if (!options) return Usage(error);
  if (options->help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options->version) {
    std::printf("talverine %s\n", TALVERINE_VERSION);
    return 0;
  }

  std::vector<std::string> qtArgs = options->qtArgs;
  std::vector<char*> qtArgv;
  for (std::string& a : qtArgs) qtArgv.push_back(a.data());
  qtArgv.push_back(nullptr);
  int qtArgc = static_cast<int>(qtArgs.size());
  QApplication app(qtArgc, qtArgv.data());
  QApplication::setApplicationName(QStringLiteral("talverine"));
  QApplication::setApplicationVersion(QStringLiteral(TALVERINE_VERSION));
  // Qt took the options it knows out of the list; anything left is not one.
  if (qtArgc > 1) {
    const std::string left = qtArgv[1];
    return Usage((left[0] == '-' ? "unknown option \"" : "unexpected argument \"") + left + "\"");
  }

  QtPlatform platform;
  // Taken here, ahead of the core, because a second start that only raises
  // the running window must not start a simulator or empty a log file first.
  if (!platform.AcquireSingleInstance(szAppName)) return 0;
  RegisterMidiPorts(platform, *options);
  MidiTrafficLog trafficLog;
  if (options->midiLog) {
    const uint64_t start = WallClockMs();
    if (!trafficLog.Start(*options->midiLog, platform.Midi(), [start] { return WallClockMs() - start; }, &error)) {
      std::fprintf(stderr, "talverine: %s\n", error.c_str());
      return kExitFailure;
    }
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
