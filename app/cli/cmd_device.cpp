// talverine-cli's device commands: ports, and get, send, read, program,
// verify and blank, each the program's own device operation of the same
// name.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_args.h"
#include "app/cli/cli_commands.h"
#include "app/cli/cli_image.h"
#include "app/cli/cli_system.h"
#include "app/cli/device_run.h"
#include "platform/os/os_services.h"
#include "shell/device_controller.h"
#include "shell/eprom_compare.h"

namespace cli {
namespace {

// The first `limit` bytes of a regular file (a folder, a device or a pipe
// is no chip's contents, and reading a pipe could wait for ever), or
// nullopt when it can't be read.
std::optional<std::vector<uint8_t>> ReadFileUpTo(const std::string& path, size_t limit) {
  if (os::KindOfPath(path) != os::PathKind::Regular) return std::nullopt;
  FILE* in = os::OpenFile(path, "rb");
  if (in == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes(limit);
  bytes.resize(std::fread(bytes.data(), 1, limit, in));
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) return std::nullopt;
  return bytes;
}

const char kDeviceUsage[] =
    "usage: talverine-cli get|send|read|program|verify|blank [OPTIONS]\n"
    "\n"
    "  get      copy the Kilnbox's memory (block 1) into the image\n"
    "  send     send the image to the Kilnbox's memory (block 1)\n"
    "  read     have the Kilnbox read the EPROM in its socket into the image\n"
    "  program  read the EPROM and check that the image can be programmed\n"
    "           over what it holds; send the EPROM's part of the image and\n"
    "           have the Kilnbox program it; answer \"Was the EPROM programmed\n"
    "           OK?\"; after a yes, verify the EPROM against the image\n"
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
    "  --no-verify          program: trust the answer, do not verify after it\n"
    "  --no-check           program: send without reading the EPROM first\n"
    "  --force              program: program even an EPROM that already holds\n"
    "                       the image\n"
    "  --read               blank: read the EPROM and check here that every\n"
    "                       byte is 0xFF, instead of the Kilnbox's own check\n"
    "\n"
    "Progress is shown on stderr. A verify (also the one after program) ends\n"
    "with a summary line, e.g. \"2 of 8192 bytes differ, from 0x0123 to 0x1F00\"\n"
    "or \"all 8192 bytes match\"; blank --read with \"all 8192 bytes are blank\"\n"
    "or \"5 of 8192 bytes are programmed, from 0x0000 to 0x0004\".\n"
    "\n"
    "Before it sends anything, program reads the EPROM (as read does) and\n"
    "compares it with the image. Programming only clears bits (1 to 0); only\n"
    "erasing sets them back. When every byte already matches, it says \"the\n"
    "EPROM already holds the image\" and programs nothing (--force programs\n"
    "it again). When some byte has a 0 where the image has a 1, it sends\n"
    "nothing: \"3 bytes need a bit set back to 1, from 0x0010 to 0x0FFF: erase\n"
    "the EPROM first\". Otherwise it says how many bytes change, and\n"
    "programs. The electrically erasable Am9864 and 2864C take any image.\n"
    "--no-check skips the read, which takes its transfer (2 MIDI bytes a data\n"
    "byte and 46 more, at 3125 bytes/s) and 3 s of pauses:\n"
    "  2732, 2732A                      4 KB    5.6 s\n"
    "  2764, 2764A, Am9864, 2864C       8 KB    8.3 s\n"
    "  27128, 27128A                   16 KB   13.5 s\n"
    "  27256, 27256D                   32 KB   24.0 s\n"
    "  27512                           64 KB   45.0 s\n"
    "\n"
    "The exit code is 0 when the operation succeeded (\"Read OK\", every byte\n"
    "verified, the data sent, the EPROM programmed and verified or already\n"
    "holding the image, the blank check started, or with --read every byte\n"
    "blank), 1 when it failed or program refused, 2 for bad usage, 130 when\n"
    "Ctrl+C cancelled it: the operation ends as Cancel Operation ends it, the\n"
    "ports close, nothing is saved (a second Ctrl+C ends it at once).\n";

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
  DeviceOperation operation;
  bool checksPresence;
  uint64_t pausesMs;    // the fixed pauses between its messages
  bool awaitsReply;     // a data reply with its time-out
  bool sendsBlock;      // a block sent, then its estimate run down
  bool choosesEprom;    // works on one EPROM (--eprom)
  bool writesImage;     // -o saves what it read
};

const Operation kOperations[] = {
    {"get", DeviceOperation::GetData, true, 500, true, false, false, true},
    {"send", DeviceOperation::SendData, true, 500, false, true, false, false},
    {"read", DeviceOperation::ReadEprom, true, 3000, true, false, true, true},
    {"program", DeviceOperation::ProgramEprom, true, 1000, false, true, true, false},
    {"verify", DeviceOperation::VerifyEprom, true, 3000, true, false, true, false},
    {"blank", DeviceOperation::BlankCheck, false, 500, false, false, true, false},
};

// After a program the Kilnbox is known to answer.
const Operation kVerifyAfterProgram = {"verify", DeviceOperation::VerifyEprom, false, 3000, true, false, true, false};
// A read of the chosen EPROM, checked here: blank --read, and program's
// look before it sends.
const Operation kReadToCheck = {"read", DeviceOperation::ReadEprom, true, 3000, true, false, true, false};

const Operation* FindOperation(const std::string& name) {
  for (const Operation& op : kOperations)
    if (name == op.name) return &op;
  return nullptr;
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

// Runs `op` to its end within its time limit; whether it succeeded.
bool RunOperation(DeviceRun& run, const Operation& op, long sizeK) {
  const uint64_t limitMs = TimeLimitMs(op, sizeK);
  const std::optional<DeviceOutcome> outcome = run.Run(op.operation, limitMs);
  if (!outcome && !run.failed()) run.Problem("no result within " + std::to_string(limitMs / 1000) + " s; giving up");
  return outcome && outcome->kind == OutcomeKind::Succeeded && !run.failed();
}

std::string Hex4(DWORD value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value & 0xFFFF));
  return text;
}

std::string Span(const ByteOffsets& bytes) { return "from " + Hex4(bytes.first) + " to " + Hex4(bytes.last); }

// "N of M bytes <verb>, from A to B" or `allSame`; counted over the whole
// EPROM, not only up to the first difference.
std::string Summary(DWORD total, const ByteOffsets& bytes, const char* verb, const std::string& allSame) {
  if (bytes.count == 0) return allSame;
  return std::to_string(bytes.count) + " of " + std::to_string(total) + " bytes " + verb + ", " + Span(bytes);
}

// The verify's summary line; true when every byte matched.
bool ReportVerify(DeviceRun& run) {
  const EpromComparison& c = run.LastVerify();
  if (c.compared == 0) return false;  // no complete reply to compare
  run.Report(Summary(c.compared, c.differing, "differ", "all " + std::to_string(c.compared) + " bytes match"));
  return c.differing.count == 0;
}

// The chosen EPROM's part of the image.
BYTE* EpromSection(const ImageModel& image) {
  return image.imgMemory.get() + image.WhichEPROM * image.EpromBytes();
}

// Reads the chosen EPROM and compares it with `wanted`, one byte for each
// of its bytes; the image is put back as it was whatever the read did.
// nullopt when the read failed.
std::optional<EpromComparison> ReadAndCompare(DeviceRun& run, long sizeK, const std::vector<BYTE>& wanted) {
  BYTE* bytes = run.core().image.imgMemory.get();
  const std::vector<BYTE> image(bytes, bytes + IMAGE_SIZE);
  BYTE* section = EpromSection(run.core().image);
  // Should a reply hold fewer bytes than the EPROM, those it leaves alone
  // differ from the wanted ones in every bit: never taken for a match.
  for (size_t i = 0; i < wanted.size(); ++i) section[i] = static_cast<BYTE>(~wanted[i]);
  const bool read = RunOperation(run, kReadToCheck, sizeK);
  const EpromComparison comparison = CompareEprom(section, wanted.data(), static_cast<DWORD>(wanted.size()));
  std::copy(image.begin(), image.end(), bytes);
  if (!read) return std::nullopt;
  return comparison;
}

// blank --read: every byte of the chosen EPROM is 0xFF.
bool CheckBlank(DeviceRun& run, long sizeK) {
  const std::vector<BYTE> blank(run.core().image.EpromBytes(), 0xFF);
  const std::optional<EpromComparison> c = ReadAndCompare(run, sizeK, blank);
  if (!c) return false;
  const std::string allBlank = "all " + std::to_string(c->compared) + " bytes are blank";
  run.Report(Summary(c->compared, c->differing, "are programmed", allBlank));
  return c->differing.count == 0;
}

// Before program sends: whether the image can be programmed over what the
// EPROM holds. False when programming is not to go on: the EPROM holds the
// image already (and `force` is not given), or it can't hold it without
// being erased, or it could not be read.
bool CheckBeforeProgramming(DeviceRun& run, long sizeK, bool force) {
  run.Report("Reading the EPROM first, to check it (--no-check skips this)");
  const ImageModel& image = run.core().image;
  const BYTE* section = EpromSection(image);
  const std::optional<EpromComparison> c =
      ReadAndCompare(run, sizeK, std::vector<BYTE>(section, section + image.EpromBytes()));
  if (!c) {
    run.Problem("could not read the EPROM to check it: nothing was programmed");
    return false;
  }
  if (c->differing.count == 0) {
    run.Report("the EPROM already holds the image");
    if (force) run.Report("programming it again (--force)");
    return force;
  }
  if (c->needErasing.count != 0 && ProgrammingOnlyClearsBits(image.EPROM_type)) {
    run.Problem(std::to_string(c->needErasing.count) + " bytes need a bit set back to 1, " + Span(c->needErasing) +
                ": erase the EPROM first");
    return false;
  }
  run.Report(std::to_string(c->differing.count) + " of " + std::to_string(c->compared) + " bytes change, " +
             std::to_string(c->compared - c->differing.count) + " already hold their value");
  return true;
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
    const size_t room = EPROM_info[socketType].etSizeK * 1024;
    choice->socket = ReadFileUpTo(*path, room + 1);
    if (!choice->socket) return "cannot read " + *path;
    if (choice->socket->size() > room)
      return *path + " is larger than a " + EPROM_info[socketType].etName;
  }
  return "";
}

// The exit code once the command has done what it could; `ok`: it succeeded
// as far as it went.
int Finish(DeviceRun& run, bool ok) {
  run.Close();
  if (run.interrupted()) return EXIT_INTERRUPTED;
  return ok && !run.failed() ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

bool IsDeviceCommand(const std::string& name) { return FindOperation(name) != nullptr; }

int DeviceCommand(const std::string& name, const std::vector<std::string>& argv) {
  const Operation* op = FindOperation(name);
  if (op == nullptr) return Usage("unknown command \"" + name + "\"", kDeviceUsage);
  Args args(LongOptions(argv),
            {"--simulator", "--yes", "--no", "--no-verify", "--no-check", "--force", "--read", "--help"},
            {"--port", "--midi-device", "--socket", "--socket-type", "--speed", "--type", "--arrangement", "--eprom",
             "--load", "--output"});
  if (!args.ok()) return Usage(args.error(), kDeviceUsage);
  if (args.Has("--help")) {
    WriteOut(kDeviceUsage);
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
  if ((args.Has("--yes") || args.Has("--no")) && op->operation != DeviceOperation::ProgramEprom)
    return Usage("--yes and --no answer the programming question", kDeviceUsage);
  if (args.Has("--yes") && args.Has("--no")) return Usage("give --yes or --no, not both", kDeviceUsage);
  for (const char* option : {"--no-verify", "--no-check", "--force"})
    if (args.Has(option) && op->operation != DeviceOperation::ProgramEprom)
      return Usage(std::string(option) + " goes with program", kDeviceUsage);
  if (args.Has("--read") && op->operation != DeviceOperation::BlankCheck) return Usage("--read goes with blank", kDeviceUsage);
  PortChoice choice;
  if (const std::string problem = ReadPortChoice(args, type, &choice); !problem.empty())
    return Usage(problem, kDeviceUsage);

  CatchInterrupt();
  DeviceRun run;
  if (!run.ChoosePorts(choice, type) || !run.Start(type, arrangement)) return EXIT_FAILED;
  if (!loads.empty() && !run.Load(loads)) return EXIT_FAILED;
  run.SelectEprom(static_cast<int>(eprom - 1));
  run.SetAnswer(args.Has("--yes") ? Answer::Yes : args.Has("--no") ? Answer::No : Answer::Ask);

  const ImageModel& image = run.core().image;
  const long sizeK = static_cast<long>((op->choosesEprom ? image.EpromBytes() : image.DataSize()) / 1024);
  if (op->operation == DeviceOperation::BlankCheck && args.Has("--read"))
    return Finish(run, CheckBlank(run, sizeK));
  if (op->operation == DeviceOperation::ProgramEprom && !args.Has("--no-check") &&
      !CheckBeforeProgramming(run, sizeK, args.Has("--force")))
    return Finish(run, true);
  if (!RunOperation(run, *op, sizeK)) {
    if (op->operation == DeviceOperation::VerifyEprom) ReportVerify(run);
    return Finish(run, false);
  }
  if (op->operation == DeviceOperation::VerifyEprom && !ReportVerify(run)) return Finish(run, false);
  // The programmer says it programmed; the EPROM itself tells whether it did.
  if (op->operation == DeviceOperation::ProgramEprom && !args.Has("--no-verify")) {
    const bool verified = RunOperation(run, kVerifyAfterProgram, sizeK);
    if (!ReportVerify(run) || !verified) return Finish(run, false);
  }
  if (output) {
    // What was read: the chosen EPROM, or the Kilnbox's block of one sound.
    const UINT offset = op->choosesEprom ? image.WhichEPROM * image.EpromBytes() : 0;
    SaveSection(run.core(), *output, offset, static_cast<UINT>(sizeK * 1024));
  }
  return Finish(run, true);
}

int PortsCommand(const std::vector<std::string>& argv) {
  Args args(argv, {"--simulator", "--help"}, {"--midi-device"});
  if (!args.ok()) return Usage(args.error(), kPortsUsage);
  if (args.Has("--help")) {
    WriteOut(kPortsUsage);
    return EXIT_OK;
  }
  if (!args.positional().empty()) return Usage("unexpected argument \"" + args.positional().front() + "\"", kPortsUsage);
  const PortNames names = ListPorts(args.Values("--midi-device"), args.Has("--simulator"));
  auto list = [](const char* title, const std::vector<std::string>& ports) {
    WriteOut(std::string(title) + "\n");
    if (ports.empty()) WriteOut("  (none)\n");
    for (size_t i = 0; i < ports.size(); ++i) WriteOut("  " + std::to_string(i) + "  " + ports[i] + "\n");
  };
  list("Input ports:", names.inputs);
  list("Output ports:", names.outputs);
  return EXIT_OK;
}

}  // namespace cli
