#include "app/cli/device_run.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>

#include "app/cli/cli_args.h"
#include "app/cli/cli_system.h"
#include "device/midi.h"
#include "platform/headless/headless_kilnbox.h"
#include "platform/midi/system_ports.h"
#include "shell/app_state.h"
#include "shell/file_outcome.h"
#include "shell/pointer_input.h"

namespace cli {
namespace {

// The controller runs in steps of this length; while the programming
// question waits for the terminal, the terminal is read between them.
constexpr uint64_t kStepMs = 50;

bool ContainsIgnoringCase(const std::string& haystack, const std::string& needle) {
  if (needle.size() > haystack.size()) return false;
  for (size_t at = 0; at + needle.size() <= haystack.size(); ++at)
    if (strncasecmp(haystack.c_str() + at, needle.c_str(), needle.size()) == 0) return true;
  return false;
}

// The port called `name`: the one of exactly that name, else the only one
// whose name contains it (in any case). "" or the problem.
std::string FindPortByName(const std::vector<std::string>& names, const std::string& name, const char* direction,
                           UINT* index) {
  for (UINT i = 0; i < names.size(); ++i) {
    if (names[i] == name) {
      *index = i;
      return "";
    }
  }
  std::vector<UINT> matches;
  for (UINT i = 0; i < names.size(); ++i)
    if (ContainsIgnoringCase(names[i], name)) matches.push_back(i);
  if (matches.size() == 1) {
    *index = matches.front();
    return "";
  }
  if (matches.empty()) return std::string("no MIDI ") + direction + " port called \"" + name + "\" (see talverine-cli ports)";
  std::string problem = std::string("\"") + name + "\" names several MIDI " + direction + " ports:";
  for (UINT i : matches) problem += "\n  " + std::to_string(i) + "  " + names[i];
  return problem;
}

// The programming question's answer from a terminal line; nullopt when the
// line is neither yes nor no.
std::optional<bool> YesOrNo(std::string line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  while (!line.empty() && line.front() == ' ') line.erase(line.begin());
  if (strcasecmp(line.c_str(), "y") == 0 || strcasecmp(line.c_str(), "yes") == 0) return true;
  if (strcasecmp(line.c_str(), "n") == 0 || strcasecmp(line.c_str(), "no") == 0) return false;
  return std::nullopt;
}

}  // namespace

DeviceRun::DeviceRun() : terminalProgress_(StderrRedraws()) {
  headless::HeadlessPlatform& platform = session_.platform();
  platform.onMessageBox = [this](const headless::MessageBoxRecord& box) { return OnMessageBox(box); };
  // The controller's timers come to the thread.
  platform.onThreadTimer = [this](UINT id) {
    if (DeviceController* controller = core().devices.get()) controller->Timer(id);
  };
}

DeviceRun::~DeviceRun() {
  Close();
  EndInPlace();
  session_.platform().onThreadTimer = nullptr;
  core().devices.reset();
  simulator_.reset();
}

// --- ports -------------------------------------------------------------------

bool DeviceRun::ChoosePorts(const PortChoice& choice, etEnum type) {
  MidiPortSet& ports = session_.platform().Midi();
  switch (choice.kind) {
    case PortChoice::Kind::Device: {
      const MidiPortPair indices = AddDevicePorts(ports, choice.devicePath);
      inPort_ = indices.input;
      outPort_ = indices.output;
      return true;
    }
    case PortChoice::Kind::Simulator: {
      simulator_ = std::make_unique<simport::HeadlessKilnbox>(session_.platform(), choice.simulatorSpeed);
      const etEnum programType = choice.socketType >= 0 ? static_cast<etEnum>(choice.socketType) : type;
      const int socketType = sim::TypeByName(EPROM_info[programType].etName);
      simulator_->WithModel([&](sim::Kilnbox& kilnbox) {
        if (choice.socket) {
          kilnbox.InsertEprom(socketType, *choice.socket);
        } else {
          kilnbox.InsertBlankEprom(socketType);
        }
      });
      inPort_ = simulator_->Ports().input;
      outPort_ = simulator_->Ports().output;
      return true;
    }
    case PortChoice::Kind::System:
      break;
  }
  RegisterSystemPorts(ports, {});
  const std::vector<std::string> inputs = ports.InputNames();
  const std::vector<std::string> outputs = ports.OutputNames();
  std::string problem;
  if (inputs.empty() || outputs.empty()) {
    problem = "no MIDI ports to use: give --midi-device PATH, or --simulator";
  } else if (auto number = ParseNumber(choice.port.empty() ? "0" : choice.port, 0, 65535)) {
    if (*number >= static_cast<long>(inputs.size()) || *number >= static_cast<long>(outputs.size()))
      problem = "no MIDI port number " + choice.port + " (see talverine-cli ports)";
    inPort_ = outPort_ = static_cast<UINT>(*number);
  } else {
    problem = FindPortByName(inputs, choice.port, "input", &inPort_);
    if (problem.empty()) problem = FindPortByName(outputs, choice.port, "output", &outPort_);
  }
  if (problem.empty()) return true;
  Problem(problem);
  return false;
}

PortNames ListPorts(const std::vector<std::string>& devicePaths, bool simulator) {
  headless::ScopedHeadless platform;
  RegisterSystemPorts(platform->Midi(), devicePaths);
  std::unique_ptr<simport::HeadlessKilnbox> kilnbox;
  if (simulator) kilnbox = std::make_unique<simport::HeadlessKilnbox>(*platform);
  return {platform->Midi().InputNames(), platform->Midi().OutputNames()};
}

// --- the operation -------------------------------------------------------------

bool DeviceRun::Start(etEnum type, eaEnum arrangement) {
  if (!session_.ready()) {
    Problem("Unable to allocate image memory");
    return false;
  }
  session_.platform().UseRealClock();
  ImageModel& image = core().image;
  image.EPROM_type = type;
  image.EPROM_Arrangement = arrangement;
  if (MidiInit(&core().app.MidiInInfo, &core().app.MidiOutInfo)) core().app.bMidiInit = 1;
  core().app.MidiInInfo.uDeviceID = inPort_;
  core().app.MidiOutInfo.uDeviceID = outPort_;
  MidiActivateDevice(nullptr, &core().app.MidiInInfo, MIDI_OPEN);
  MidiActivateDevice(nullptr, &core().app.MidiOutInfo, MIDI_OPEN);
  DeviceView& view = *this;
  core().devices = std::make_unique<DeviceController>(view, nullptr, image, core().app);
  session_.platform().Pump();
  return !failed();
}

bool DeviceRun::Load(const std::vector<std::string>& files) {
  LoadIntoSections(core(), files, 0, [this](const FileReport& report) {
    // Whatever a load has to say is a reason not to go on.
    for (const FileText& t : report.texts) Problem(t.caption.empty() ? t.text : t.caption + ": " + t.text);
    TakeFileResult(core(), report);
  });
  return !failed();
}

void DeviceRun::SelectEprom(int index) {
  eprom_ = static_cast<BYTE>(index);
  core().image.WhichEPROM = eprom_;
}

std::optional<DeviceOutcome> DeviceRun::Run(DeviceOperation operation, uint64_t limitMs) {
  if (interrupted_) return std::nullopt;
  headless::HeadlessPlatform& platform = session_.platform();
  DeviceController& controller = *core().devices;
  std::optional<DeviceOutcome>& outcome = controller.LastOutcome();
  outcome.reset();
  controller.Request(RequestFor(core().image, operation, eprom_));
  uint64_t deadline = platform.NowMs() + limitMs;
  while (!outcome && !failed()) {
    if (Interrupted()) {
      Interrupt();
      return std::nullopt;
    }
    if (answering_) {
      // The time the user takes to answer is no delay of the Kilnbox's.
      const uint64_t asked = platform.NowMs();
      ReadAnswer();
      deadline += platform.NowMs() - asked;
      continue;
    }
    const uint64_t now = platform.NowMs();
    if (now >= deadline) break;
    platform.AdvanceTime(std::min(kStepMs, deadline - now));
  }
  return outcome;
}

// Ctrl+C: the operation ends as the program's own Cancel ends it, then the
// ports close; nothing more is said, sent or saved.
void DeviceRun::Interrupt() {
  if (answering_) WriteErr("\n");  // off the question's line
  EndInPlace();
  session_.Fail("interrupted: the operation was cancelled");
  interrupted_ = true;
  answering_ = nullptr;
  core().devices->Cancel();
  session_.platform().Pump();
  Close();
}

void DeviceRun::Close() {
  if (!core().devices || closing_) return;
  closing_ = true;
  answering_ = nullptr;
  core().devices->Shutdown();
  if (core().app.bMidiInit == 1) {
    MidiAssignBuffer(nullptr, &core().app.MidiInInfo, nullptr, 0, 0);
    MidiActivateDevice(nullptr, &core().app.MidiInInfo, MIDI_FORCE_CLOSE);
    MidiActivateDevice(nullptr, &core().app.MidiOutInfo, MIDI_FORCE_CLOSE);
  }
  session_.platform().Pump();
}

// --- what the controller shows --------------------------------------------------

void DeviceRun::Progress(const std::string& text) {
  EndInPlace();
  WriteErr(text + "\n");
}

void DeviceRun::ProgressInPlace(const std::string& text) {
  WriteErr("\r\033[K" + text);
  inPlaceShown_ = true;
}

void DeviceRun::EndInPlace() {
  if (!inPlaceShown_) return;
  WriteErr("\r\033[K");
  inPlaceShown_ = false;
}

void DeviceRun::Report(const std::string& text) {
  if (!interrupted_) Progress(text);
}

void DeviceRun::Problem(const std::string& text) {
  if (interrupted_) return;  // its reason has been given
  EndInPlace();
  session_.Fail(text);
}

void DeviceRun::ShowStatus(int part, const std::string& text) {
  // Only changes: the reply's text is shown before its data is looked at
  // and again after, often unchanged.
  std::string& shown = shown_[part % 3];
  if (text == shown) return;
  shown = text;
  if (!text.empty()) Progress(text);
}

// The countdown changes every tick: shown in place on a terminal only.
void DeviceRun::ShowCountdown(const std::string& text) {
  if (text == shown_[1]) return;
  shown_[1] = text;
  if (terminalProgress_) ProgressInPlace(text);
}

void DeviceRun::Ask(DeviceQuestion question, const std::string& text, std::function<void(bool)> answered) {
  switch (question) {
    case DeviceQuestion::ProgrammedOk:
      if (answer_ != Answer::Ask) {
        Progress(text + (answer_ == Answer::Yes ? " yes (--yes)" : " no (--no)"));
        answered(answer_ == Answer::Yes);
      } else if (!StdinIsTerminal()) {
        Progress(text);
        Problem("no terminal to answer on: taken as No (give --yes or --no)");
        answered(false);
      } else {
        AskOnTerminal(text, std::move(answered));
      }
      return;
    case DeviceQuestion::BlankCheckNotice: Progress(text); break;
    case DeviceQuestion::VerifyDifference: Problem(text); break;
  }
  answered(true);
}

int DeviceRun::OnMessageBox(const headless::MessageBoxRecord& box) {
  // After a failure, closing complains about the ports that never opened:
  // the reason has been shown already.
  if (!(closing_ && failed())) Problem(box.defaultCaption ? box.text : box.caption + ": " + box.text);
  return (box.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

void DeviceRun::AskOnTerminal(const std::string& question, std::function<void(bool)> answered) {
  EndInPlace();
  WriteErr(question + " [y/n] ");
  typed_.clear();
  answering_ = std::move(answered);
}

// One step of waiting for the answer: the controller goes on with its timer
// and MIDI input meanwhile.
void DeviceRun::ReadAnswer() {
  session_.platform().AdvanceTime(kStepMs);
  const int c = ReadTerminalByte(static_cast<unsigned>(kStepMs));
  if (c == kNoInputYet) return;
  std::optional<bool> yes;
  if (c == kEndOfInput) {
    WriteErr("\n");
    Problem("no answer: taken as No");
    yes = false;
  } else if (c != '\n') {
    typed_ += static_cast<char>(c);
    return;
  } else {
    yes = YesOrNo(typed_);
    typed_.clear();
    if (!yes) {
      WriteErr("Please answer y or n: ");
      return;
    }
  }
  std::exchange(answering_, nullptr)(*yes);
}

}  // namespace cli
