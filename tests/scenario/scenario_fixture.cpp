#include "tests/scenario/scenario_fixture.h"

#include "shell/app_state.h"
#include "shell/image_model.h"
#include "shell/main_window.h"
#include "shell/core_session.h"
#include "shell/device_controller.h"

namespace scenario {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

std::vector<uint8_t> Pattern(size_t size, int seed) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(seed)) & 0xFF);
  return out;
}

void ScenarioTest::SetUp() {
  core_.emplace();
  P().SetCurrentDirectoryForTest(temp_.path());
  P().SetConfigDirectory(temp_.path());
  kilnbox_ = std::make_unique<simport::HeadlessKilnbox>(P(), speed_);
  P().Midi().SetMonitor([this](bool outgoing, const BYTE* data, size_t size) {
    traffic_.push_back({P().NowMs(), outgoing, std::vector<uint8_t>(data, data + size)});
  });
}

void ScenarioTest::StartProgram() {
  ASSERT_NE(plat::CreateMainWindow(szAppCaption, MainWindowEvents()), nullptr);
  plat::DragAcceptFiles(App().MyWindow, true);
  P().Pump();
}

void ScenarioTest::TearDown() {
  P().Midi().SetMonitor(nullptr);
  FinishPause();
  if (P().MainWindow() && !P().QuitPosted()) P().Close();
  core_.reset();
  kilnbox_.reset();
}

void ScenarioTest::FinishPause() {
  // A millisecond at a time, so that the clock stops where the sequence
  // ends, as it did after the sleeps the pauses stand for.
  for (int ms = 0; ms < 10000 && Pausing(); ++ms) P().AdvanceTime(1);
  ASSERT_FALSE(Pausing()) << "a device operation paused for more than 10 s";
}

DeviceController& ScenarioTest::Devices() { return *Session().devices; }

bool ScenarioTest::Pausing() const {
  const DeviceController* devices = core_->devices.get();
  return devices && devices->Pausing();
}

void ScenarioTest::InsertEprom(int type, const std::vector<uint8_t>& contents) {
  kilnbox_->WithModel([&](sim::Kilnbox& k) { k.InsertEprom(type, contents); });
}

std::vector<uint8_t> ScenarioTest::SocketContents() {
  std::vector<uint8_t> out;
  kilnbox_->WithModel([&](sim::Kilnbox& k) { out = k.GetSocket().contents; });
  return out;
}

std::string ScenarioTest::Display(int line) {
  std::string text;
  kilnbox_->WithModel([&](sim::Kilnbox& k) { text = k.DisplayLine(line); });
  return text;
}

std::vector<Traffic> ScenarioTest::Sent() const {
  std::vector<Traffic> out;
  for (const Traffic& t : traffic_)
    if (t.outgoing) out.push_back(t);
  return out;
}

std::vector<std::vector<uint8_t>> ScenarioTest::SentBytes() const {
  std::vector<std::vector<uint8_t>> out;
  for (const Traffic& t : Sent()) out.push_back(t.bytes);
  return out;
}

std::vector<uint8_t> ScenarioTest::Image(size_t offset, size_t size) const {
  return std::vector<uint8_t>(ImageBytes() + offset, ImageBytes() + offset + size);
}

std::vector<std::string> ScenarioTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : platform_->messageBoxes) texts.push_back(box.text);
  return texts;
}

}  // namespace scenario
