// kilnbox-sim: the simulated Kilnbox EPROM programmer as a program of its
// own, on a new pseudo-terminal or on a given byte-stream device.
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_args.h"
#include "app/kilnbox-sim/sim_endpoint.h"
#include "app/kilnbox-sim/sim_loop.h"
#include "sim/kilnbox.h"

namespace {

constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: kilnbox-sim [OPTIONS]\n"
    "\n"
    "The Kilnbox EPROM programmer, simulated. Without --device it opens a new\n"
    "pseudo-terminal and prints the path of the end to connect to as the first\n"
    "line of its output, e.g. talverine-cli read --midi-device /dev/pts/7.\n"
    "Then it prints its two-line display whenever it changes:\n"
    "  display: Reading 27128 | Read OK\n"
    "It runs until interrupted (SIGINT, SIGTERM, SIGHUP). When the host closes\n"
    "the pseudo-terminal, it waits for the next one to open it (or ends, with\n"
    "--exit-on-close); a --device that is closed or fails ends it.\n"
    "\n"
    "Options:\n"
    "  --device PATH         use this device (raw MIDI, serial, a terminal)\n"
    "  --speed FACTOR        wire rate and the device's own times, 1 = real\n"
    "                        (3125 bytes/s); 50 sends 64 KB in about a second\n"
    "  --socket FILE         an EPROM holding FILE in the socket; the type is\n"
    "                        --socket-type, else the plain type of the file's\n"
    "                        size (4, 8, 16, 32 or 64 KB: 2732, 2764, 27128,\n"
    "                        27256, 27512), else 2764; a shorter file is padded\n"
    "                        with 0xFF (erased cells)\n"
    "  --socket-type NAME    the socket EPROM's type (default 2764, blank when\n"
    "                        no --socket is given)\n"
    "  --empty-socket        no EPROM in the socket\n"
    "  --save-socket FILE    write the socket EPROM to FILE after programming\n"
    "                        and at exit\n"
    "  --exit-on-close       end when the host closes the pseudo-terminal\n"
    "  --midi-log FILE       log every message received and sent to FILE\n"
    "  --help, --version\n"
    "\n"
    "Faults, for tests; they act on the next reply (a data block answering a\n"
    "transfer request), or on every reply with --all-replies:\n"
    "  --fault-reply N           start with reply N (1 = the first, the default)\n"
    "  --all-replies             keep the faults for every later reply\n"
    "  --no-reply                swallow the request\n"
    "  --truncate-reply N        send only the first N bytes\n"
    "  --corrupt-reply OFF:VAL   replace reply byte OFF (0..44 header) by VAL\n"
    "  --late-reply MS           start the reply MS ms late (not scaled)\n"
    "  --foreign-packets N       send N copies with another maker's id first\n"
    "  --other-type-packets N    send N copies of another packet type first\n"
    "  --realtime-every K        put a timing clock byte after every K bytes\n"
    "  --status-byte-at N[:VAL]  insert a status byte (0x90) at offset N\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "kilnbox-sim: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = write(g_stopPipe[1], &byte, 1);
  errno = saved;
}

bool InstallStopSignals() {
  if (pipe2(g_stopPipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int stop : {SIGINT, SIGTERM, SIGHUP})
    if (sigaction(stop, &action, nullptr) != 0) return false;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  return sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

int TypeByName(const std::string& name) {
  for (int t = 0; t < sim::kTypeCount; ++t)
    if (strcasecmp(sim::TypeInfo(t)->name, name.c_str()) == 0) return t;
  return -1;
}

int PlainTypeOfSize(size_t bytes) {
  switch (bytes) {
    case 4096: return TypeByName("2732");
    case 8192: return TypeByName("2764");
    case 16384: return TypeByName("27128");
    case 32768: return TypeByName("27256");
    case 65536: return TypeByName("27512");
    default: return -1;
  }
}

// A whole number in C notation (0x.. allowed) within [low, high].
std::optional<long> ParseInteger(const std::string& text, long low, long high) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

// "N:VALUE" with VALUE a byte.
bool ParseOffsetAndByte(const std::string& text, long maxOffset, int* offset, uint8_t* value) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  const auto n = ParseInteger(text.substr(0, colon), 0, maxOffset);
  const auto v = ParseInteger(text.substr(colon + 1), 0, 255);
  if (!n || !v) return false;
  *offset = static_cast<int>(*n);
  *value = static_cast<uint8_t>(*v);
  return true;
}

constexpr long kMaxReplyBytes = 46 + 2 * 65536;

// Reads the fault options into `knobs`; "" or the problem.
std::string ReadFaults(const cli::Args& args, sim::FaultKnobs* knobs, bool* any) {
  auto count = [&](const char* option, long high, int* target) -> bool {
    auto text = args.Value(option);
    if (!text) return true;
    auto n = ParseInteger(*text, 0, high);
    if (!n) return false;
    *target = static_cast<int>(*n);
    *any = true;
    return true;
  };
  if (!count("--truncate-reply", kMaxReplyBytes, &knobs->truncateAfter)) return "--truncate-reply needs a byte count";
  if (!count("--foreign-packets", 16, &knobs->foreignMfrPackets)) return "--foreign-packets needs a number 0..16";
  if (!count("--other-type-packets", 16, &knobs->otherTypePackets)) return "--other-type-packets needs a number 0..16";
  if (!count("--realtime-every", kMaxReplyBytes, &knobs->realTimeEvery)) return "--realtime-every needs a byte count";
  if (auto late = args.Value("--late-reply")) {
    auto ms = ParseInteger(*late, 0, 600000);
    if (!ms) return "--late-reply needs milliseconds (0..600000)";
    knobs->lateMs = static_cast<uint32_t>(*ms);
    *any = true;
  }
  if (auto corrupt = args.Value("--corrupt-reply")) {
    if (!ParseOffsetAndByte(*corrupt, kMaxReplyBytes, &knobs->corruptOffset, &knobs->corruptValue))
      return "--corrupt-reply needs OFFSET:VALUE (VALUE 0..255)";
    *any = true;
  }
  if (auto status = args.Value("--status-byte-at")) {
    uint8_t value = knobs->statusByte;
    int offset = 0;
    if (status->find(':') != std::string::npos) {
      if (!ParseOffsetAndByte(*status, kMaxReplyBytes, &offset, &value) || value < 0x80 || value >= 0xF8)
        return "--status-byte-at needs OFFSET[:VALUE], VALUE a status byte 0x80..0xF7";
    } else {
      auto n = ParseInteger(*status, 0, kMaxReplyBytes);
      if (!n) return "--status-byte-at needs an offset";
      offset = static_cast<int>(*n);
    }
    knobs->statusByteAt = offset;
    knobs->statusByte = value;
    *any = true;
  }
  if (args.Has("--no-reply")) {
    knobs->noReply = true;
    *any = true;
  }
  knobs->allReplies = args.Has("--all-replies");
  return "";
}

// Puts the EPROM the options describe into the socket; "" or the problem.
std::string FillSocket(const cli::Args& args, sim::Kilnbox& model) {
  if (args.Has("--empty-socket")) {
    if (args.Has("--socket") || args.Has("--socket-type")) return "--empty-socket goes without --socket and --socket-type";
    model.RemoveEprom();
    return "";
  }
  int type = -1;
  if (auto name = args.Value("--socket-type")) {
    type = TypeByName(*name);
    if (type < 0) return "unknown EPROM type \"" + *name + "\"";
  }
  auto path = args.Value("--socket");
  if (!path) {
    model.InsertBlankEprom(type < 0 ? TypeByName("2764") : type);
    return "";
  }
  std::ifstream in(*path, std::ios::binary);
  if (!in) return "cannot read " + *path;
  std::vector<uint8_t> contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return "cannot read " + *path;
  if (type < 0) type = PlainTypeOfSize(contents.size());
  if (type < 0) type = TypeByName("2764");
  const size_t room = sim::TypeInfo(type)->sizeK * 1024;
  if (contents.size() > room) {
    return *path + " holds " + std::to_string(contents.size()) + " bytes, more than a " + sim::TypeInfo(type)->name +
           " (" + std::to_string(room) + "); give --socket-type";
  }
  model.InsertEprom(type, std::move(contents));
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> argList(argv + 1, argv + argc);
  cli::Args args(argList, {"--help", "--version", "--all-replies", "--no-reply", "--exit-on-close", "--empty-socket"},
                 {"--device", "--speed", "--socket", "--socket-type", "--save-socket", "--midi-log", "--fault-reply",
                  "--truncate-reply", "--corrupt-reply", "--late-reply", "--foreign-packets", "--other-type-packets",
                  "--realtime-every", "--status-byte-at"});
  if (!args.ok()) return Usage(args.error());
  if (args.Has("--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.Has("--version")) {
    std::printf("kilnbox-sim %s\n", TALVERINE_VERSION);
    return 0;
  }
  if (!args.positional().empty()) return Usage("unexpected argument \"" + args.positional().front() + "\"");

  double speed = 1.0;
  if (auto text = args.Value("--speed")) {
    char* end = nullptr;
    speed = std::strtod(text->c_str(), &end);
    if (text->empty() || *end != '\0' || !std::isfinite(speed) || speed <= 0 || speed > 10000)
      return Usage("--speed needs a factor above 0, at most 10000");
  }
  sim::Kilnbox model(speed);
  if (const std::string problem = FillSocket(args, model); !problem.empty()) return Usage(problem);

  kilnsim::LoopOptions options;
  if (const std::string problem = ReadFaults(args, &options.faults, &options.hasFaults); !problem.empty())
    return Usage(problem);
  if (auto from = args.Value("--fault-reply")) {
    auto n = ParseInteger(*from, 1, 1000000);
    if (!n) return Usage("--fault-reply needs a reply number from 1");
    options.faultFromReply = static_cast<uint32_t>(*n);
  }
  options.saveSocketPath = args.Value("--save-socket").value_or("");
  options.midiLogPath = args.Value("--midi-log").value_or("");
  options.exitOnClose = args.Has("--exit-on-close");

  if (!InstallStopSignals()) {
    std::fprintf(stderr, "kilnbox-sim: cannot install signal handlers: %s\n", std::strerror(errno));
    return 1;
  }
  kilnsim::Endpoint endpoint;
  std::string error;
  const auto device = args.Value("--device");
  if (!(device ? endpoint.OpenDevice(*device, &error) : endpoint.OpenPseudoTerminal(&error))) {
    std::fprintf(stderr, "kilnbox-sim: %s\n", error.c_str());
    return 1;
  }
  kilnsim::SimLoop loop(model, endpoint, options);
  if (!loop.Start(&error)) {
    std::fprintf(stderr, "kilnbox-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", endpoint.Path().c_str());
  std::fflush(stdout);
  return loop.Run(g_stopPipe[0]);
}
