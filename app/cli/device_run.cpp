#include "app/cli/device_run.h"

#include <strings.h>

#include <cstdio>

#include "app/cli/cli_args.h"
#include "app/cli/cli_system.h"
#include "device/midi.h"
#include "platform/headless/headless_kilnbox.h"
#include "platform/midi/system_ports.h"
#include "resources/dialog_templates.h"
#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/main_window.h"

namespace cli {
namespace {

// While the programming question waits for the terminal, the window goes on
// handling its timer and MIDI input in steps of this length.
constexpr uint64_t kAnswerStepMs = 50;

std::string PortName(MidiPortSet& ports, bool input, UINT index) {
  MIDICAPS caps;
  const UINT error = input ? ports.midiInGetDevCaps(index, &caps) : ports.midiOutGetDevCaps(index, &caps);
  return error == MMSYSERR_NOERROR ? caps.szPname : "";
}

std::vector<std::string> PortNamesOf(MidiPortSet& ports, bool input) {
  std::vector<std::string> names;
  const UINT count = input ? ports.midiInGetNumDevs() : ports.midiOutGetNumDevs();
  for (UINT i = 0; i < count; ++i) names.push_back(PortName(ports, input, i));
  return names;
}

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

// The Which EPROM dialog's radio buttons, in order, from its template.
std::vector<int> WhichEpromButtons() {
  std::vector<int> ids;
  if (const DialogTemplate* tpl = FindDialogTemplate(IDD_WHICH_EPROM)) {
    for (const DialogControl& c : tpl->controls)
      if (c.kind == ControlKind::AutoRadioButton) ids.push_back(c.id);
  }
  return ids;
}

}  // namespace

DeviceRun::DeviceRun() : terminalProgress_(StderrRedraws()) {
  headless::HeadlessPlatform& platform = session_.platform();
  platform.onStatus = [this](const headless::StatusRecord& status) { ShowStatus(status); };
  platform.onMessageBox = [this](const headless::MessageBoxRecord& box) { return OnMessageBox(box); };
}

DeviceRun::~DeviceRun() {
  Close();
  EndInPlace();
  simulator_.reset();
  RemoveConfigFolder();
}

void DeviceRun::RemoveConfigFolder() {
  if (configDir_.empty()) return;
  cli::RemoveFolder(configDir_);
  configDir_.clear();
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
  const std::vector<std::string> inputs = PortNamesOf(ports, true);
  const std::vector<std::string> outputs = PortNamesOf(ports, false);
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
  return {PortNamesOf(platform->Midi(), true), PortNamesOf(platform->Midi(), false)};
}

// --- the window --------------------------------------------------------------

bool DeviceRun::MakeConfigFolder() {
  std::string tried;
  configDir_ = MakePrivateFolder(&tried);
  if (!configDir_.empty()) return true;
  Problem("cannot make a temporary folder in " + tried);
  return false;
}

bool DeviceRun::WriteConfig(etEnum type, eaEnum arrangement) {
  const std::string path = configDir_ + "/" + szCfgName;
  FILE* out = plat::OpenFile(path, "w");
  const bool written = out != nullptr && std::fprintf(out,
                                                      "MIDI_in_device = %u\n"
                                                      "MIDI_out_device = %u\n"
                                                      "EPROM_type = %u\n"
                                                      "EPROM_Arrangement = %u\n",
                                                      inPort_, outPort_, static_cast<UINT>(type),
                                                      static_cast<UINT>(arrangement)) > 0;
  const bool closed = out != nullptr && std::fclose(out) == 0;
  if (written && closed) return true;
  Problem("cannot write " + path);
  return false;
}

bool DeviceRun::Start(etEnum type, eaEnum arrangement) {
  headless::HeadlessPlatform& platform = session_.platform();
  if (!MakeConfigFolder() || !WriteConfig(type, arrangement)) return false;
  platform.SetConfigDirectory(configDir_);
  platform.UseRealClock();
  const HWND window = plat::CreateMainWindow(szAppName, szAppCaption, BaseMsgProc);
  // The settings have been read; nothing the device commands do writes
  // them, so the folder can go now rather than linger after an interrupt.
  RemoveConfigFolder();
  if (window == nullptr) {
    Problem("the main window could not be created");
    return false;
  }
  platform.Pump();
  return !failed();
}

bool DeviceRun::Load(const std::vector<std::string>& files) {
  headless::HeadlessPlatform& platform = session_.platform();
  for (const std::string& file : files) {
    if (platform.GetPathKind(file) != Platform::PathKind::Regular) {
      Problem("cannot read " + file);
      return false;
    }
  }
  const RECT client = platform.GetClientRect(platform.MainWindow());
  // On the first sound panel: the files go into sections 1, 2, ...
  loading_ = true;
  platform.DropFiles(files, POINT{1, (client.bottom - client.top) / 6});
  loading_ = false;
  return !failed();
}

void DeviceRun::SelectEprom(int index) {
  WhichEPROM = static_cast<BYTE>(index);
  // The question comes only when the sound spans several EPROMs.
  if (EPROM_Arrangement != eaTwoEpromsOneSound && EPROM_Arrangement != eaFourEpromsOneSound) return;
  const std::vector<int> buttons = WhichEpromButtons();
  if (index < 0 || index >= static_cast<int>(buttons.size())) return;
  const int button = buttons[index];
  session_.platform().QueueDialog([button](headless::DialogDriver& dialog) {
    dialog.Click(button);
    dialog.PressOk();
  });
}

std::optional<DeviceOutcome> DeviceRun::Run(int command, uint64_t limitMs) {
  headless::HeadlessPlatform& platform = session_.platform();
  std::optional<DeviceOutcome>& outcome = TheDeviceSession().outcome;
  outcome.reset();
  platform.Command(command);
  platform.RunUntil([&] { return outcome.has_value() || failed(); }, limitMs, 50);
  return outcome;
}

void DeviceRun::Close() {
  headless::HeadlessPlatform& platform = session_.platform();
  if (platform.MainWindow() == nullptr || platform.QuitPosted()) return;
  // A sequence cut off by the time limit ends its pause first: the window
  // takes its close only after it.
  platform.RunUntil([] { return !DeviceSequencePaused(); }, 10000, 50);
  closing_ = true;
  platform.Send(WM_CLOSE);
  platform.Pump();
}

// --- what the window shows ---------------------------------------------------

void DeviceRun::Progress(const std::string& text) {
  EndInPlace();
  std::fprintf(stderr, "%s\n", text.c_str());
}

void DeviceRun::ProgressInPlace(const std::string& text) {
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  inPlaceShown_ = true;
}

void DeviceRun::EndInPlace() {
  if (!inPlaceShown_) return;
  std::fputs("\r\033[K", stderr);
  inPlaceShown_ = false;
}

void DeviceRun::Problem(const std::string& text) {
  EndInPlace();
  session_.Fail(text);
}

void DeviceRun::ShowStatus(const headless::StatusRecord& status) {
  // Only changes: the reply handler shows its text before it looks at the
  // data and again after, often unchanged.
  std::string& shown = shown_[status.part % 3];
  if (status.text == shown) return;
  shown = status.text;
  if (status.text.empty()) return;
  if (status.part == 1 && TheDeviceSession().showingCountdown) {
    // The countdown changes every tick: shown in place on a terminal only.
    if (terminalProgress_) ProgressInPlace(status.text);
    return;
  }
  // A load reports its problems in part 1.
  if (status.part == 1 && loading_) {
    Problem(status.text);
    return;
  }
  Progress(status.text);
}

int DeviceRun::OnMessageBox(const headless::MessageBoxRecord& box) {
  switch (TheDeviceSession().asking) {
    case DeviceQuestion::ProgrammedOk: return AskProgrammedOk(box.text) ? IDYES : IDNO;
    case DeviceQuestion::BlankCheckNotice: Progress(box.text); return IDOK;
    default: break;
  }
  // After a failure, closing the window complains about the ports that
  // never opened: the reason has been shown already.
  if (!(closing_ && failed())) Problem(box.defaultCaption ? box.text : box.caption + ": " + box.text);
  return (box.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

bool DeviceRun::AskProgrammedOk(const std::string& question) {
  if (answer_ != Answer::Ask) {
    Progress(question + (answer_ == Answer::Yes ? " yes (--yes)" : " no (--no)"));
    return answer_ == Answer::Yes;
  }
  if (!StdinIsTerminal()) {
    Progress(question);
    Problem("no terminal to answer on: taken as No (give --yes or --no)");
    return false;
  }
  EndInPlace();
  std::fprintf(stderr, "%s [y/n] ", question.c_str());
  std::string line;
  for (;;) {
    // The box is modal: the window keeps handling its timer and MIDI input.
    session_.platform().AdvanceTime(kAnswerStepMs);
    const int c = ReadTerminalByte(static_cast<unsigned>(kAnswerStepMs));
    if (c == kNoInputYet) continue;
    if (c == kEndOfInput) {
      std::fputc('\n', stderr);
      Problem("no answer: taken as No");
      return false;
    }
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    if (const auto yes = YesOrNo(line)) return *yes;
    line.clear();
    std::fputs("Please answer y or n: ", stderr);
  }
}

}  // namespace cli
