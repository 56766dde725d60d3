// One device operation from the command line: the program's own main window
// on the headless platform, on the wall clock, with the chosen MIDI ports;
// the command posted as the menu would post it; the status texts shown on
// stderr as they change; the message boxes answered from the options or the
// terminal.
//
// The settings the window starts with are written to a private, temporary
// configuration folder, so a device command never reads or changes the
// user's own settings file.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_session.h"
#include "shell/device_ops.h"
#include "shell/image_model.h"

namespace simport {
class HeadlessKilnbox;
}

namespace cli {

// How the ports are chosen.
struct PortChoice {
  enum class Kind { System, Device, Simulator } kind = Kind::System;
  std::string port;          // System: a name or a number; "" = port 0
  std::string devicePath;    // Device
  double simulatorSpeed = 1.0;
  std::optional<std::vector<uint8_t>> socket;  // Simulator: the EPROM's contents
  int socketType = -1;                         //   and type (-1: --type's)
};

// The answer to "Was the EPROM programmed OK?".
enum class Answer { Ask, Yes, No };

class DeviceRun {
 public:
  DeviceRun();
  ~DeviceRun();

  // Registers the ports and finds the chosen ones; false (message shown)
  // when they are missing.
  bool ChoosePorts(const PortChoice& choice, etEnum type);
  // Starts the main window with the type, the arrangement and the chosen
  // ports; false when something went wrong on the way.
  bool Start(etEnum type, eaEnum arrangement);
  // Loads files as if dropped on the first sound panel: into sections
  // 1, 2, ...; false when a load reported a problem.
  bool Load(const std::vector<std::string>& files);

  void SetAnswer(Answer answer) { answer_ = answer; }
  // Picks the EPROM (0-based) for the operation and for the Which EPROM
  // question, should it be asked.
  void SelectEprom(int index);

  // Posts the menu command and runs until its operation has ended or
  // `limitMs` have passed; the outcome, or nullopt on the time limit.
  std::optional<DeviceOutcome> Run(int command, uint64_t limitMs);

  // Closes the main window as the user would.
  void Close();

  bool failed() const { return session_.failed(); }
  // Reports a problem of the command itself: stderr, and the run fails.
  void Problem(const std::string& text);
  // A line of the command's own after the window's texts, on stderr.
  void Report(const std::string& text) { Progress(text); }

 private:
  void ShowStatus(const headless::StatusRecord& status);
  int OnMessageBox(const headless::MessageBoxRecord& box);
  bool AskProgrammedOk(const std::string& question);
  void Progress(const std::string& text);
  void ProgressInPlace(const std::string& text);
  void EndInPlace();
  bool MakeConfigFolder();
  bool WriteConfig(etEnum type, eaEnum arrangement);
  void RemoveConfigFolder();

  Session session_{CoreSession::Setup::ForWindow};
  std::unique_ptr<simport::HeadlessKilnbox> simulator_;
  std::string configDir_;
  UINT inPort_ = 0;
  UINT outPort_ = 0;
  Answer answer_ = Answer::Ask;
  bool loading_ = false;
  bool closing_ = false;
  bool inPlaceShown_ = false;
  bool terminalProgress_ = false;
  std::string shown_[3];
};

// Port listings for `ports`: every input and output port name, in order.
struct PortNames {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
};
PortNames ListPorts(const std::vector<std::string>& devicePaths, bool simulator);

}  // namespace cli
