// The whole program with failures at the platform seam: memory that can't be
// had at start, MIDI ports that won't open, and every send of a Read or
// Program EPROM refused in turn, once or for good (the device has gone).
// Each run ends in the program's message, with the image and the EPROM as
// they were or as the operation completed them, and closes cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/headless/headless_kilnbox.h"
#include "resources/command_ids.h"
#include "shell/app_state.h"
#include "shell/device_controller.h"
#include "shell/image_model.h"
#include "shell/main_window.h"
#include "shell/core_session.h"
#include "tests/support/core_fixture.h"
#include "tests/support/fault_platform.h"

namespace {

using testsupport::Fault;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t size, int seed) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(i * 5 + static_cast<size_t>(seed));
  return out;
}

class FaultProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = plat::Install(faults_.Parts());
    core_.emplace();
    p_.SetCurrentDirectoryForTest(temp_.path());
    p_.SetConfigDirectory(temp_.path());
    kilnbox_ = std::make_unique<simport::HeadlessKilnbox>(p_);
  }
  void TearDown() override {
    if (p_.MainWindow() && !p_.QuitPosted()) p_.Close();
    EXPECT_TRUE(p_.QuitPosted());
    core_.reset();
    kilnbox_.reset();
    plat::Install(previous_);
  }
  void Start() {
    ASSERT_NE(plat::CreateMainWindow(szAppCaption, MainWindowEvents()), nullptr);
    p_.Pump();
  }
  bool HasBox(const std::string& text) const {
    return std::any_of(p_.messageBoxes.begin(), p_.messageBoxes.end(),
                       [&](const headless::MessageBoxRecord& b) { return b.text == text; });
  }
  bool HasCaption(const std::string& caption) const {
    return std::any_of(p_.messageBoxes.begin(), p_.messageBoxes.end(),
                       [&](const headless::MessageBoxRecord& b) { return b.caption == caption; });
  }
  DeviceController& Devices() { return *Session().devices; }
  // Lets the program run until no operation is under way.
  void RunToIdle() {
    p_.RunUntil([this] { return !Devices().Busy() && !Devices().ProgressShown(); }, 300000, 20);
    p_.AdvanceTime(1000);
  }
  Bytes Socket() {
    Bytes out;
    kilnbox_->WithModel([&](sim::Kilnbox& k) { out = k.GetSocket().contents; });
    return out;
  }

  // The session and the parts of it the tests set and read.
  CoreSession& Session() { return *core_; }
  ImageModel& Model() { return core_->image; }
  // The image's bytes.
  BYTE* ImageBytes() const { return core_->image.imgMemory.get(); }

  testsupport::TempDir temp_;
  headless::HeadlessPlatform p_;
  testsupport::FaultPlatform faults_{&p_};
  plat::Parts previous_;
  std::optional<CoreSession> core_;
  std::unique_ptr<simport::HeadlessKilnbox> kilnbox_;
};

// --- memory -------------------------------------------------------------------

class StartWithoutMemory : public FaultProgram, public ::testing::WithParamInterface<int> {};

TEST_P(StartWithoutMemory, EveryCommandReportsAndNothingCrashes) {
  faults_.FailCall(Fault::AllocMemory, GetParam());
  Start();
  EXPECT_TRUE(HasBox("Unable to allocate image memory"));
  testsupport::WriteBytes(temp_.File("in.bin"), Pattern(100, 1));
  p_.QueueFileDialogAnswer({true, temp_.File("in.bin"), 0, 0});
  p_.Command(IDM_LOAD_FILE);
  p_.QueueFileDialogAnswer({true, temp_.File("out.bin"), 0, 0});
  p_.Command(IDM_SAVE_FILE);
  if (ImageBytes() == nullptr) EXPECT_FALSE(testsupport::FileExists(temp_.File("out.bin")));
  for (int id : {IDM_READ_EPROM, IDM_VERIFY_EPROM, IDM_PROGRAM_EPROM, IDM_GET_DATA, IDM_SEND_DATA, IDM_BLANK_CHECK}) {
    p_.Command(id);
    RunToIdle();
  }
  p_.LeftClick(100, 100);
  p_.DropFiles({temp_.File("in.bin")}, POINT{100, 100});
  p_.InvalidateRect(p_.MainWindow(), true);
  p_.Pump();
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, StartWithoutMemory, ::testing::Values(1, 2, 3, 4, 5));

// --- ports that won't open ------------------------------------------------------

class PortsThatWontOpen : public FaultProgram, public ::testing::WithParamInterface<Fault> {};

TEST_P(PortsThatWontOpen, TheDriversTextIsShownAndAReadChangesNothing) {
  faults_.FailCall(GetParam(), 1, false, MMSYSERR_ALLOCATED);
  Start();
  EXPECT_TRUE(HasCaption(GetParam() == Fault::MidiOpenInput ? "MIDI Input Error" : "MIDI Output Error"));
  EXPECT_TRUE(HasBox("The specified resource is already allocated."));
  kilnbox_->WithModel([](sim::Kilnbox& k) { k.InsertEprom(et2764, Pattern(8192, 7)); });
  const Bytes before(ImageBytes(), ImageBytes() + IMAGE_SIZE);
  p_.Command(IDM_READ_EPROM);
  RunToIdle();
  EXPECT_TRUE(std::equal(before.begin(), before.end(), ImageBytes()));
  EXPECT_FALSE(Devices().KilnboxDetected());
  if (GetParam() == Fault::MidiOpenInput) {
    // Nothing can answer: the presence check times out.
    EXPECT_EQ(p_.StatusText(2), "Kilnbox not responding!");
  } else {
    // Nothing can be sent: the read ends at its first command, with the reason.
    EXPECT_TRUE(HasBox("Must open MIDI output device first"));
    ASSERT_TRUE(Devices().LastOutcome().has_value());
    EXPECT_EQ(Devices().LastOutcome()->kind, OutcomeKind::Refused);
  }
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, PortsThatWontOpen,
                         ::testing::Values(Fault::MidiOpenInput, Fault::MidiOpenOutput));

// --- sends the driver refuses -------------------------------------------------------

// (operation, the send refused, refused from then on)
class RefusedSends : public FaultProgram, public ::testing::WithParamInterface<std::tuple<int, int, bool>> {};

TEST_P(RefusedSends, EndInTheDriversMessageWithoutAStaleImageOrEprom) {
  const auto [operation, n, gone] = GetParam();
  Start();
  // A read finds data; programming needs a blank (erased) part.
  const Bytes eprom = operation == IDM_READ_EPROM ? Pattern(8192, 3) : Bytes(8192, 0xFF);
  const Bytes image = Pattern(8192, 11);
  kilnbox_->WithModel([&](sim::Kilnbox& k) { k.InsertEprom(et2764, eprom); });
  std::copy(image.begin(), image.end(), ImageBytes());
  faults_.FailCall(Fault::MidiSend, n, gone);
  p_.Command(operation);
  RunToIdle();
  p_.AdvanceTime(120000);  // the programmer finishes whatever it was told to do

  EXPECT_TRUE(HasCaption("MIDI Output Error"));
  const Bytes now(ImageBytes(), ImageBytes() + 8192);
  if (operation == IDM_READ_EPROM) {
    // The image is what it was, or what the EPROM holds: never the
    // programmer's memory from before the read.
    EXPECT_TRUE(now == image || now == eprom);
    if (now == eprom) EXPECT_EQ(p_.StatusText(1), "Received Block 1:  8192 bytes - Read OK.");
    // Sends 3 to 5 set the block, the type and the read up: without any of
    // them the programmer would send other memory, so nothing is asked for.
    if (n >= 3 && n <= 5) EXPECT_EQ(now, image);
  } else {
    EXPECT_EQ(now, image);
    const Bytes socket = Socket();
    EXPECT_TRUE(socket == eprom || socket == image);
    // The EPROM is marked programmed only when it was.
    if (Model().EpromFlags[0] & efProgrammed) EXPECT_EQ(socket, image);
    // Send 6 starts the programming: refused, there is nothing to ask about.
    if (n == 6) EXPECT_FALSE(HasCaption("Programming..."));
  }
  EXPECT_EQ(core_->app.MidiInInfo.uDeviceStatus, MIDI_IDLE);
}

TEST_F(FaultProgram, AReadRefusedAfterAProgrammingLeavesThatProgrammingWhole) {
  Start();
  kilnbox_->WithModel([](sim::Kilnbox& k) { k.InsertEprom(et2764, Bytes(8192, 0xFF)); });
  p_.Command(IDM_PROGRAM_EPROM);
  p_.RunUntil([this] { return Devices().ProgressShown(); }, 60000, 20);
  ASSERT_TRUE(Devices().Busy());

  // Asked for while the block drains, the read waits for the programming
  // and its question; its first command is then refused.
  faults_.ResetCounts();
  faults_.FailCall(Fault::MidiSend, 2);  // 1: the start of programming
  p_.Command(IDM_READ_EPROM);
  EXPECT_FALSE(HasCaption("MIDI Output Error"));
  RunToIdle();
  EXPECT_TRUE(HasCaption("Programming..."));
  EXPECT_EQ(Model().EpromFlags[0], efProgrammed);
  EXPECT_TRUE(HasCaption("MIDI Output Error"));
  ASSERT_TRUE(Devices().LastOutcome().has_value());
  EXPECT_EQ(Devices().LastOutcome()->operation, DeviceOperation::ReadEprom);
  EXPECT_EQ(Devices().LastOutcome()->kind, OutcomeKind::Refused);
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, RefusedSends,
                         ::testing::Combine(::testing::Values(IDM_READ_EPROM, IDM_PROGRAM_EPROM),
                                            ::testing::Range(1, 7), ::testing::Bool()));

}  // namespace
