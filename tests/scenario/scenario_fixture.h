// The whole program on the headless platform, with a simulated Kilnbox on
// MIDI ports 0: menu commands in; SysEx, status texts, marks and image out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/headless_kilnbox.h"
#include "shell/core_session.h"
#include "shell/device_controller.h"
#include "tests/support/core_fixture.h"

namespace scenario {

struct Traffic {
  uint64_t ms;
  bool outgoing;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> values);
// A recognisable EPROM image: byte i of `size` is (i * 7 + seed) & 0xFF.
std::vector<uint8_t> Pattern(size_t size, int seed = 0);

class ScenarioTest : public ::testing::Test {
 protected:
  // `speed` scales the simulated Kilnbox's wire and its own work.
  explicit ScenarioTest(double speed = 1.0) : speed_(speed) {}
  void SetUp() override;
  void TearDown() override;

  headless::HeadlessPlatform& P() { return *platform_; }
  // The session and the parts of it the tests set and read.
  CoreSession& Session() { return *core_; }
  ImageModel& Model() { return core_->image; }
  const ImageModel& Model() const { return core_->image; }
  FileSettings& Settings() { return core_->fileSettings; }
  AppState& App() { return core_->app; }
  // The image's bytes.
  BYTE* ImageBytes() const { return core_->image.imgMemory.get(); }
  simport::HeadlessKilnbox& Kilnbox() { return *kilnbox_; }
  std::string Path(const std::string& name) const { return temp_.File(name); }

  // Starts the program (the main window and everything its creation does).
  void StartProgram();
  // A menu command, with the pauses of the sequence it starts (the virtual
  // clock goes on through them, as through the sleeps they stand for).
  void Command(int id) {
    P().Command(id);
    FinishPause();
  }
  // Lets virtual time pass until no device operation pauses any more.
  void FinishPause();
  bool Pausing() const;
  // The main window's device operations.
  DeviceController& Devices();
  // Lets virtual time pass until `done` holds (at most `maxMs`).
  bool RunUntil(const std::function<bool()>& done, uint64_t maxMs = 120000) { return P().RunUntil(done, maxMs, 20); }
  void Advance(uint64_t ms) { P().AdvanceTime(ms); }

  void InsertEprom(int type, const std::vector<uint8_t>& contents);
  std::vector<uint8_t> SocketContents();
  std::string Display(int line);

  std::vector<Traffic> Sent() const;
  std::vector<std::vector<uint8_t>> SentBytes() const;
  std::vector<uint8_t> Image(size_t offset, size_t size) const;
  std::vector<std::string> BoxTexts() const;
  void ClearTraffic() { traffic_.clear(); }

  testsupport::TempDir temp_;
  headless::ScopedHeadless platform_;
  std::optional<CoreSession> core_;
  std::unique_ptr<simport::HeadlessKilnbox> kilnbox_;
  std::vector<Traffic> traffic_;
  double speed_;
};

}  // namespace scenario
