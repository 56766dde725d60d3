// What the two desktop programs (Qt on Linux, Win32 on Windows) share:
// their options, their usage text and the start of the window program once
// a back end exists.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/midi/system_ports.h"
#include "platform/platform.h"
#include "shell/app_state.h"

namespace desktop {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

struct Options {
  bool help = false;
  bool version = false;
  bool simulator = false;
  std::optional<std::string> midiLog;
  std::vector<std::string> midiDevices;
  // Arguments that are not ours (not starting with "--"), in their order:
  // the toolkit may take its own (-platform NAME); what is left is files
  // (TakeFiles).
  std::vector<std::string> others;
  // Files to load at start, as a drop beside the sound panels loads them.
  std::vector<std::string> files;
};

// Reads the arguments after the program's name. "-h" and "/?" ask for help
// as "--help" does.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error);

// The usage text; `deviceHelp` describes --midi-device on this system and
// `footer` ends the text.
std::string Usage(const char* deviceHelp, const char* footer = "");

// Takes the arguments no option took as `options`' files; false, with the
// error, for the first that looks like an option.
bool TakeFiles(const std::vector<std::string>& rest, Options* options, std::string* error);

// Starts the traffic log on `midi` and runs the window program on `parts`
// with `options`' files, which must be absolute. A log that can't start
// returns kExitFailure with `error` set, before the window opens.
int RunCore(plat::Parts parts, MidiPortSet& midi, const Options& options, std::string* error);

// `files` made absolute against the current folder, so that another
// instance, or this one once it has changed folder, finds them.
std::vector<std::string> AbsoluteFiles(const std::vector<std::string>& files);

// Runs the window program on `platform`, unless another instance runs: that
// one is raised, loads this start's files and this start ends with 0. The
// instance is taken first, because a second start must not start a
// simulator or empty a log file. Then the MIDI ports in their order: the
// system's ports, the devices given with --midi-device, then the simulated
// Kilnbox.
template <typename Platform>
int Run(Platform& platform, Options options, std::string* error) {
  // While this is still the folder the program was started in: loading the
  // configuration changes it.
  options.files = AbsoluteFiles(options.files);
  const std::unique_ptr<InstanceLock> only = platform.LockSingleInstance(szAppName, options.files);
  if (!only) return 0;
  RegisterSystemPorts(platform.Midi(), options.midiDevices);
  if (options.simulator) platform.StartSimulator();
  return RunCore(&platform, platform.Midi(), options, error);
}

}  // namespace desktop
