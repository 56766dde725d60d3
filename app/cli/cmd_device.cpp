// talverine-cli's device commands: ports, and get, send, read, program,
// verify and blank, each the menu command of the same name run through the
// program's own main window procedure.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "app/cli/cli_args.h"
#include "app/cli/cli_commands.h"
#include "app/cli/cli_image.h"
#include "app/cli/device_run.h"
#include "resources/command_ids.h"
#include "shell/device_ops.h"

namespace cli {
namespace {

const char kDeviceUsage[] =
    "usage: talverine-cli get|send|read|program|verify|blank [OPTIONS]\n"
    "\n"
    "  get      copy the Kilnbox's memory (block 1) into the image\n"
    "  send     send the image to the Kilnbox's memory (block 1)\n"
    "  read     have the Kilnbox read the EPROM in its socket into the image\n"
    "  program  send the EPROM's part of the image and have the Kilnbox\n"
    "           program it; then answer \"Was the EPROM programmed OK?\"\n"
    "  verify   have the Kilnbox read the EPROM and compare it with the image\n"
    "  blank    start the Kilnbox's blank check (the result is on its display)\n"
    "\n"
    "The port (one of):\n"
    "  --port NAME|NUMBER   the input and the output port of that name (or\n"
    "                       the only one containing it) or number, as\n"
    "                       talverine-cli ports lists them; default 0\n"
    "  --midi-device PATH   a raw MIDI device, serial port or pseudo-terminal\n"
    "  --simulator          the built-in simulated Kilnbox, with\n"
    "    --socket FILE        an EPROM holding FILE in its socket (else blank)\n"
    "    --socket-type NAME   of this type (default: --type)\n"
    "    --speed FACTOR       its wire rate and work sped up (default 1)\n"
    "\n"
    "The image and the operation:\n"
    "  --type NAME          EPROM type (default 2764)\n"
    "  --arrangement 0-3    0 one EPROM one sound, 1 one EPROM two sounds,\n"
    "                       2 two EPROMs one sound, 3 four EPROMs one sound\n"
    "  --eprom N            the EPROM to read, program, verify or blank-check\n"
    "                       (1 = the first; default 1)\n"
    "  --load FILE          load FILE into the image first (binary, Intel HEX\n"
    "                       or WAV); repeat for sections 2, 3, 4\n"
    "  -o, --output FILE    after a read or get, save what was read (binary,\n"
    "                       .hex Intel HEX or .wav WAV, by the extension)\n"
    "  --yes | --no         the answer to \"Was the EPROM programmed OK?\";\n"
    "                       without them it is asked on the terminal\n"
    "\n"
    "Progress is shown on stderr. The exit code is 0 when the operation\n"
    "succeeded (\"Read OK\", \"Verify OK\", the data sent, programming answered\n"
    "yes, the blank check started), 1 when it failed, 2 for bad usage.\n";

const char kPortsUsage[] =
    "usage: talverine-cli ports [--midi-device PATH]... [--simulator]\n"
    "\n"
    "Lists the MIDI input and output ports with the numbers --port takes:\n"
    "the system's ports, the raw MIDI devices found, each --midi-device PATH,\n"
    "and with --simulator the built-in simulated Kilnbox.\n";

// Milliseconds per timer tick of the device operations.
constexpr uint64_t kTickMs = 320;
// Added to every operation's own time-out before the command gives up.
constexpr uint64_t kMarginMs = 10000;

struct Operation {
  const char* name;
  int command;
  bool checksPresence;
  uint64_t pausesMs;    // the fixed pauses between its messages
  bool awaitsReply;     // a data reply with its time-out
  bool sendsBlock;      // a block sent, then its estimate run down
  bool choosesEprom;    // works on one EPROM (--eprom)
  bool writesImage;     // -o saves what it read
};

const Operation kOperations[] = {
    {"get", IDM_GET_DATA, true, 500, true, false, false, true},
    {"send", IDM_SEND_DATA, true, 500, false, true, false, false},
    {"read", IDM_READ_EPROM, true, 3000, true, false, true, true},
    {"program", IDM_PROGRAM_EPROM, true, 1000, false, true, true, false},
    {"verify", IDM_VERIFY_EPROM, true, 3000, true, false, true, false},
    {"blank", IDM_BLANK_CHECK, false, 500, false, false, true, false},
};

const Operation* FindOperation(const std::string& name) {
  for (const Operation& op : kOperations)
    if (name == op.name) return &op;
  return nullptr;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

UINT EpromCount(eaEnum arrangement) {
  return arrangement == eaFourEpromsOneSound ? 4 : arrangement == eaTwoEpromsOneSound ? 2 : 1;
}

UINT SectionCount(eaEnum arrangement) { return arrangement == eaOneEpromTwoSounds ? 2 : EpromCount(arrangement); }

// The longest the operation may take when the Kilnbox answers late or not
// at all: the presence check, the pauses, the reply time-out or the
// transfer estimate, and a margin.
uint64_t TimeLimitMs(const Operation& op, long sizeK) {
  uint64_t ms = op.pausesMs + kMarginMs;
  if (op.checksPresence) ms += 250 + PRESENCE_TIMEOUT_TICKS * kTickMs;
  if (op.awaitsReply) ms += ReplyTimeoutTicks(TransferBytes(sizeK)) * kTickMs;
  if (op.sendsBlock) ms += static_cast<uint64_t>(TransferBytes(sizeK) / BYTES_PER_TICK + 2) * kTickMs;
  return ms;
}

// Whether the operation has come to its end, and whether that end is a success.
struct Outcome {
  bool done;
  bool ok;
};

Outcome Judge(const Operation& op, const DeviceRun& run) {
  if (run.failed()) return {true, false};
  const std::string& result = run.LastResult();
  switch (op.command) {
    case IDM_GET_DATA:
    case IDM_READ_EPROM:
      if (EndsWith(result, " - Read OK.")) return {true, true};
      return {EndsWith(result, " - Error!"), false};
    case IDM_VERIFY_EPROM:
      if (EndsWith(result, " - Verify OK.")) return {true, true};
      return {EndsWith(result, " - Error!"), false};
    case IDM_SEND_DATA: {
      const bool sent = run.ClearedAfter(0, "Transferring data to Kilnbox...");
      return {sent, sent};
    }
    case IDM_PROGRAM_EPROM:
      return {run.programmedOk.has_value(), run.programmedOk.value_or(false)};
    default:
      return {run.blankCheckSent, run.blankCheckSent};
  }
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

// "-o FILE" is the one short option; the reader knows long ones only.
std::vector<std::string> LongOptions(const std::vector<std::string>& argv) {
  std::vector<std::string> out;
  for (const std::string& a : argv) out.push_back(a == "-o" ? "--output" : a);
  return out;
}

// Reads how the ports are chosen; "" or the problem.
std::string ReadPortChoice(const Args& args, etEnum type, PortChoice* choice) {
  const int ways = (args.Has("--port") ? 1 : 0) + (args.Has("--midi-device") ? 1 : 0) + (args.Has("--simulator") ? 1 : 0);
  if (ways > 1) return "give one of --port, --midi-device and --simulator";
  const bool simulatorOptions = args.Has("--socket") || args.Has("--socket-type") || args.Has("--speed");
  if (simulatorOptions && !args.Has("--simulator")) return "--socket, --socket-type and --speed go with --simulator";
  if (args.Has("--midi-device")) {
    choice->kind = PortChoice::Kind::Device;
    choice->devicePath = *args.Value("--midi-device");
    return "";
  }
  if (!args.Has("--simulator")) {
    choice->kind = PortChoice::Kind::System;
    choice->port = args.Value("--port").value_or("");
    return "";
  }
  choice->kind = PortChoice::Kind::Simulator;
  if (auto speed = args.Value("--speed")) {
    char* end = nullptr;
    choice->simulatorSpeed = std::strtod(speed->c_str(), &end);
    if (speed->empty() || *end != '\0' || !(choice->simulatorSpeed > 0 && choice->simulatorSpeed <= 10000))
      return "--speed needs a factor above 0, at most 10000";
  }
  etEnum socketType = type;
  if (auto name = args.Value("--socket-type"); name && !FindType(*name, &socketType))
    return "unknown EPROM type \"" + *name + "\" (types: " + TypeNames() + ")";
  choice->socketType = static_cast<int>(socketType);
  if (auto path = args.Value("--socket")) {
    choice->socket = ReadWholeFile(*path);
    if (!choice->socket) return "cannot read " + *path;
    if (choice->socket->size() > EPROM_info[socketType].etSizeK * 1024)
      return *path + " is larger than a " + EPROM_info[socketType].etName;
  }
  return "";
}

}  // namespace

bool IsDeviceCommand(const std::string& name) { return FindOperation(name) != nullptr; }

int DeviceCommand(const std::string& name, const std::vector<std::string>& argv) {
  const Operation* op = FindOperation(name);
  if (op == nullptr) return Usage("unknown command \"" + name + "\"", kDeviceUsage);
  Args args(LongOptions(argv), {"--simulator", "--yes", "--no", "--help"},
            {"--port", "--midi-device", "--socket", "--socket-type", "--speed", "--type", "--arrangement", "--eprom",
             "--load", "--output"});
  if (!args.ok()) return Usage(args.error(), kDeviceUsage);
  if (args.Has("--help")) {
    std::fputs(kDeviceUsage, stdout);
    return EXIT_OK;
  }
  if (!args.positional().empty()) return Usage("unexpected argument \"" + args.positional().front() + "\"", kDeviceUsage);

  etEnum type = et2764;
  eaEnum arrangement = eaOneEpromOneSound;
  if (const std::string problem = ReadLayout(args, &type, &arrangement); !problem.empty())
    return Usage(problem, kDeviceUsage);
  long eprom = 1;
  if (auto n = args.Value("--eprom")) {
    if (!op->choosesEprom) return Usage("--eprom goes with read, program, verify and blank", kDeviceUsage);
    auto parsed = ParseNumber(*n, 1, EpromCount(arrangement));
    if (!parsed) return Usage("--eprom must be a number from 1 to " + std::to_string(EpromCount(arrangement)) + " here", kDeviceUsage);
    eprom = *parsed;
  }
  const std::vector<std::string> loads = args.Values("--load");
  if (loads.size() > SectionCount(arrangement))
    return Usage("at most " + std::to_string(SectionCount(arrangement)) + " --load files for this arrangement", kDeviceUsage);
  const auto output = args.Value("--output");
  if (output && !op->writesImage) return Usage("-o goes with read and get", kDeviceUsage);
  if ((args.Has("--yes") || args.Has("--no")) && op->command != IDM_PROGRAM_EPROM)
    return Usage("--yes and --no answer the programming question", kDeviceUsage);
  if (args.Has("--yes") && args.Has("--no")) return Usage("give --yes or --no, not both", kDeviceUsage);
  PortChoice choice;
  if (const std::string problem = ReadPortChoice(args, type, &choice); !problem.empty())
    return Usage(problem, kDeviceUsage);

  DeviceRun run;
  if (!run.ChoosePorts(choice, type) || !run.Start(type, arrangement)) return EXIT_FAILED;
  if (!loads.empty() && !run.Load(loads)) return EXIT_FAILED;
  run.SelectEprom(static_cast<int>(eprom - 1));
  run.SetAnswer(args.Has("--yes") ? Answer::Yes : args.Has("--no") ? Answer::No : Answer::Ask);

  const long sizeK = static_cast<long>((op->choosesEprom ? EpromBytes() : myDataSize()) / 1024);
  const uint64_t limitMs = TimeLimitMs(*op, sizeK);
  const bool ended = run.Run(op->command, [&] { return Judge(*op, run).done; }, limitMs);
  if (!ended) run.Problem("no result within " + std::to_string(limitMs / 1000) + " s; giving up");
  if (!Judge(*op, run).ok) return EXIT_FAILED;
  if (output) {
    // What was read: the chosen EPROM, or the Kilnbox's block of one sound.
    const UINT offset = op->choosesEprom ? WhichEPROM * EpromBytes() : 0;
    SaveSection(*output, offset, static_cast<UINT>(sizeK * 1024));
  }
  run.Close();
  return run.failed() ? EXIT_FAILED : EXIT_OK;
}

int PortsCommand(const std::vector<std::string>& argv) {
  Args args(argv, {"--simulator", "--help"}, {"--midi-device"});
  if (!args.ok()) return Usage(args.error(), kPortsUsage);
  if (args.Has("--help")) {
    std::fputs(kPortsUsage, stdout);
    return EXIT_OK;
  }
  if (!args.positional().empty()) return Usage("unexpected argument \"" + args.positional().front() + "\"", kPortsUsage);
  const PortNames names = ListPorts(args.Values("--midi-device"), args.Has("--simulator"));
  auto list = [](const char* title, const std::vector<std::string>& ports) {
    std::printf("%s\n", title);
    if (ports.empty()) std::printf("  (none)\n");
    for (size_t i = 0; i < ports.size(); ++i) std::printf("  %zu  %s\n", i, ports[i].c_str());
  };
  list("Input ports:", names.inputs);
  list("Output ports:", names.outputs);
  return EXIT_OK;
}

}  // namespace cli
