// One device operation from the command line: the program's own device
// controller on the headless platform and the wall clock, with the chosen
// MIDI ports; its status texts shown on stderr as they change; its
// questions answered from the options or the terminal.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_session.h"
#include "shell/device_controller.h"
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

class DeviceRun : private DeviceView {
 public:
  DeviceRun();
  ~DeviceRun() override;

  // Registers the ports and finds the chosen ones; false (message shown)
  // when they are missing.
  bool ChoosePorts(const PortChoice& choice, etEnum type);
  // Takes the type and the arrangement, opens the chosen ports and makes the
  // session's controller, with this run as its view; false when something
  // went wrong on the way.
  bool Start(etEnum type, eaEnum arrangement);
  // Loads files into sections 1, 2, ... as Load File loads each; false
  // when a load reported a problem.
  bool Load(const std::vector<std::string>& files);

  void SetAnswer(Answer answer) { answer_ = answer; }
  // The EPROM (from 0) the operations work on.
  void SelectEprom(int index);

  // Runs `operation` until it has ended, `limitMs` have passed (the time
  // the user takes to answer a question aside) or Ctrl+C was pressed; the
  // outcome, or nullopt on the time limit and after Ctrl+C.
  std::optional<DeviceOutcome> Run(DeviceOperation operation, uint64_t limitMs);
  const EpromComparison& LastVerify() { return core().devices->LastVerify(); }

  // Ends what runs and closes the ports.
  void Close();

  bool failed() const { return session_.failed(); }
  // Whether Ctrl+C cancelled an operation (and closed the ports).
  bool interrupted() const { return interrupted_; }
  // The core session the operations work on.
  CoreSession& core() { return session_.core(); }
  // Reports a problem of the command itself: stderr, and the run fails.
  void Problem(const std::string& text);
  // A line of the command's own after the controller's texts, on stderr.
  void Report(const std::string& text);

 private:
  // What the controller shows and asks.
  void ShowStatus(int part, const std::string& text) override;
  void ShowCountdown(const std::string& text) override;
  void ShowProgress(long) override {}
  void StepProgress() override {}
  void HideProgress() override {}
  void Ask(DeviceQuestion question, const std::string& text, std::function<void(bool)> answered) override;
  void ShowError(const std::string& text) override { Problem(text); }
  void MarksChanged() override {}
  void ImageChanged() override {}
  std::optional<BYTE> ChooseEprom(BYTE current) override { return current; }

  int OnMessageBox(const headless::MessageBoxRecord& box);
  void AskOnTerminal(const std::string& question, std::function<void(bool)> answered);
  void ReadAnswer();
  void Interrupt();
  void Progress(const std::string& text);
  void ProgressInPlace(const std::string& text);
  void EndInPlace();

  Session session_;
  std::unique_ptr<simport::HeadlessKilnbox> simulator_;
  UINT inPort_ = 0;
  UINT outPort_ = 0;
  BYTE eprom_ = 0;
  Answer answer_ = Answer::Ask;
  std::function<void(bool)> answering_;  // the terminal's answer is awaited
  std::string typed_;                    // what the user typed of it so far
  bool closing_ = false;
  bool interrupted_ = false;
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
