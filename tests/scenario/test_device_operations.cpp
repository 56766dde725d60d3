// Every device operation from its menu command or button to the Kilnbox and
// back: the bytes on the wire in order with the pauses between them, the
// status texts, the progress estimate, the time-outs, the marks and the
// image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "device/midi.h"
#include "resources/command_ids.h"
#include "resources/dialog_templates.h"
#include "shell/app_state.h"
#include "shell/device_controller.h"
#include "shell/image_model.h"
#include "tests/scenario/scenario_fixture.h"
#include "tests/support/fault_platform.h"

namespace scenario {
namespace {

const std::vector<uint8_t> kPresenceBlockSize = Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x06, 0x16, 0x01, 0x05, 0x16, 0x01, 0xF7});
const std::vector<uint8_t> kRequestBlock16 = Bytes({0xF0, 0x10, 0x05, 0x00, 0x0F, 0xF7});

std::vector<uint8_t> RequestTransfer(int block) { return Bytes({0xF0, 0x10, 0x05, 0x00, (block - 1) & 0x0F, 0xF7}); }
std::vector<uint8_t> ReadCommand(int block) { return Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, block, 0x21, 0x15, 0xF7}); }

// An output port with a slow wire of its own in front of the simulated
// Kilnbox, as a busy or slow interface has: each message leaves it after
// the ones before, at `bytesPerSecond`, and only then reaches the Kilnbox
// and is reported sent. A message longer than `failAbove` bytes fails on
// the wire instead.
class SlowWire : public MidiOutputDevice, public headless::TimeSource {
 public:
  struct Left {
    uint64_t ms;
    std::vector<uint8_t> bytes;
  };

  SlowWire(headless::HeadlessPlatform& platform, std::shared_ptr<simport::KilnboxLink> link, double bytesPerSecond,
           size_t failAbove = SIZE_MAX)
      : platform_(platform), link_(std::move(link)), bytesPerSecond_(bytesPerSecond), failAbove_(failAbove) {}

  std::string Name() const override { return "Slow wire"; }
  MidiResult Open(SentReport report) override {
    report_ = std::move(report);
    return {};
  }
  void Close() override {}
  MidiResult Send(const BYTE* data, size_t size) override {
    const uint64_t start = std::max(platform_.NowMs(), wireFree_);
    wireFree_ = start + static_cast<uint64_t>(std::ceil(static_cast<double>(size) * 1000 / bytesPerSecond_));
    onTheWire_.push_back({wireFree_, std::vector<uint8_t>(data, data + size)});
    return {};
  }

  std::optional<uint64_t> NextDue() const override {
    if (onTheWire_.empty()) return std::nullopt;
    return onTheWire_.front().ms;
  }
  void RunTo(uint64_t nowMs) override {
    while (!onTheWire_.empty() && onTheWire_.front().ms <= nowMs) {
      Left message = std::move(onTheWire_.front());
      onTheWire_.pop_front();
      if (message.bytes.size() > failAbove_) {
        report_({MMSYSERR_ERROR, "Write failed: cable unplugged"});
        continue;
      }
      link_->HostSend(message.bytes.data(), message.bytes.size());
      left.push_back(message);
      report_({});
    }
  }

  std::vector<Left> left;  // what left the wire, when

 private:
  headless::HeadlessPlatform& platform_;
  std::shared_ptr<simport::KilnboxLink> link_;
  double bytesPerSecond_;
  size_t failAbove_;
  SentReport report_;
  uint64_t wireFree_ = 0;
  std::deque<Left> onTheWire_;
};

class DeviceOperations : public ScenarioTest {
 protected:
  explicit DeviceOperations(double speed = 1.0) : ScenarioTest(speed) {}
  bool StatusIs(int part, const std::string& text) { return P().StatusText(part) == text; }
  bool WaitForStatus(int part, const std::string& text, uint64_t maxMs = 120000) {
    return RunUntil([&] { return StatusIs(part, text); }, maxMs);
  }
  // Makes the program know the Kilnbox, as after a first answered check.
  void Detect() {
    Devices().SetKilnboxDetected(true);
    ClearTraffic();
  }
  // Puts a slow wire in front of the Kilnbox and starts the program with
  // it as the output port.
  SlowWire& StartWithSlowWire(double bytesPerSecond, size_t failAbove = SIZE_MAX) {
    auto wire = std::make_unique<SlowWire>(P(), kilnbox_->Link(), bytesPerSecond, failAbove);
    SlowWire& added = *wire;
    P().AddTimeSource(&added);
    const UINT port = P().Midi().AddOutput(std::move(wire));
    testsupport::WriteText(Path("TALVERINE.CFG"), "MIDI_out_device = " + std::to_string(port) + "\n");
    StartProgram();
    return added;
  }
  // Starts the program with a configuration file naming this type and
  // arrangement, as after a user's earlier choice.
  void StartWith(etEnum type, eaEnum arrangement) {
    testsupport::WriteText(Path("TALVERINE.CFG"), "EPROM_type = " + std::to_string(type) +
                                                      "\nEPROM_Arrangement = " + std::to_string(arrangement) + "\n");
    StartProgram();
  }
};

TEST_F(DeviceOperations, ReadEpromChecksPresenceFirstThenReadsIntoTheImage) {
  StartProgram();
  const auto eprom = Pattern(8192, 3);
  InsertEprom(et2764, eprom);
  Command(IDM_READ_EPROM);

  // The presence check: block 16 of 1 KB, 250 ms, then the request.
  auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].bytes, kPresenceBlockSize);
  EXPECT_EQ(sent[1].bytes, kRequestBlock16);
  EXPECT_EQ(sent[1].ms - sent[0].ms, 250u);
  // The read waits for the answer.
  EXPECT_TRUE(Devices().Busy());

  ASSERT_TRUE(WaitForStatus(2, "Kilnbox detected", 5000));
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Read OK."));
  sent = Sent();
  ASSERT_EQ(sent.size(), 6u);
  EXPECT_EQ(sent[2].bytes, Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x16, 0x00, 0x16, 0x08, 0xF7}));
  EXPECT_EQ(sent[3].bytes, Bytes({0xF0, 0x10, 0x05, 0x02, 0x24, 0x0D, 0xF7}));
  EXPECT_EQ(sent[4].bytes, ReadCommand(1));
  EXPECT_EQ(sent[5].bytes, RequestTransfer(1));
  EXPECT_EQ(sent[3].ms - sent[2].ms, 500u);
  EXPECT_EQ(sent[4].ms - sent[3].ms, 500u);
  EXPECT_EQ(sent[5].ms - sent[4].ms, 2000u);

  EXPECT_EQ(Image(0, 8192), eprom);
  EXPECT_EQ(P().StatusText(0), "");
  EXPECT_EQ(Devices().ReplyTicksLeft(), 0u);
  // The bar was made for 16 x 2048 + 45 raw bytes; 16429 / 1000 + 1 steps.
  const auto bars = P().ProgressBars();
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_EQ(bars[0].high, 17);
  EXPECT_EQ(bars[0].y, 480 - 44);
  EXPECT_EQ(bars[0].w, 600);
  EXPECT_EQ(bars[0].h, 24);
  EXPECT_EQ(App().MidiInInfo.uDeviceStatus, MIDI_IDLE);
}

TEST_F(DeviceOperations, StatusTextsOfAReadFollowTheSteps) {
  StartWith(et27128, eaOneEpromOneSound);
  InsertEprom(et27128, Pattern(16384));
  Detect();
  std::vector<std::string> part0;
  P().onStatus = [&](const headless::StatusRecord& r) {
    if (r.part == 0) part0.push_back(r.text);
  };
  Command(IDM_READ_EPROM);
  EXPECT_EQ(part0, (std::vector<std::string>{"Setting Kilnbox block size", "Setting EPROM type", "Reading EPROM",
                                             "Reading block 1..."}));
  // 16 K: 32813 raw bytes, a time-out of 43 ticks.
  EXPECT_EQ(Devices().ReplyTicksLeft(), 43u);
  Advance(320);
  EXPECT_EQ(P().StatusText(1), "Receiving: 31813 bytes remaining");
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  16384 bytes - Read OK."));
  EXPECT_EQ(Image(0, 16384), Pattern(16384));
}

TEST_F(DeviceOperations, ReadOfTheThirdOfFourEpromsGoesToItsSectionAndBlank3) {
  StartWith(et27128, eaFourEpromsOneSound);
  InsertEprom(et27128, Pattern(16384, 9));
  Detect();
  Model().EpromFlags[0] = efProgrammed;
  P().QueueDialog([](headless::DialogDriver& d) {
    d.Click(103);
    d.PressOk();
  });
  Command(IDM_READ_EPROM);
  EXPECT_EQ(Model().WhichEPROM, 2);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 3:  16384 bytes - Read OK."));
  auto sent = SentBytes();
  EXPECT_EQ(sent[0], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x03, 0x16, 0x03, 0x02, 0x16, 0x01, 0x06, 0xF7}));
  EXPECT_EQ(sent[2], ReadCommand(3));
  EXPECT_EQ(sent[3], RequestTransfer(3));
  EXPECT_EQ(Image(32768, 16384), Pattern(16384, 9));
  EXPECT_EQ(Model().EpromFlags[0], 0u);  // a read clears every mark

  // The blank check that follows works on the same EPROM, without a presence check.
  ClearTraffic();
  Command(IDM_BLANK_CHECK);
  sent = SentBytes();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x03, 0x23, 0x15, 0xF7}));
  ASSERT_FALSE(P().messageBoxes.empty());
  EXPECT_EQ(P().messageBoxes.back().text, "See Kilnbox display for result");
  EXPECT_EQ(P().messageBoxes.back().caption, "Blank Checking...");
  EXPECT_EQ(P().messageBoxes.back().type, MB_ICONINFORMATION | MB_OK);
  EXPECT_EQ(P().StatusText(0), "");
}

TEST_F(DeviceOperations, CancellingTheWhichEpromDialogSendsNothing) {
  StartWith(et2764, eaTwoEpromsOneSound);
  Detect();
  P().QueueDialog([](headless::DialogDriver& d) { d.PressCancel(); });
  Command(IDM_VERIFY_EPROM);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Model().WhichEPROM, 0);
}

TEST_F(DeviceOperations, VerifyMarksTheEpromVerifiedOrFailedAtTheFirstDifference) {
  StartProgram();
  const auto eprom = Pattern(8192, 1);
  InsertEprom(et2764, eprom);
  std::copy(eprom.begin(), eprom.end(), ImageBytes());
  Detect();
  Command(IDM_VERIFY_EPROM);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Verify OK."));
  EXPECT_EQ(Model().EpromFlags[0], efVerified);
  EXPECT_TRUE(BoxTexts().empty());

  ImageBytes()[0x0123] = 0xCD;
  ImageBytes()[0x0200] ^= 0xFF;
  const BYTE fromEprom = eprom[0x0123];
  // While the box is open the window is repainted (a resize, say): the
  // paint formats its own texts.
  const int paintsBefore = P().paintCount;
  P().onMessageBox = [&](const headless::MessageBoxRecord&) {
    plat::InvalidateRect(App().MyWindow, true);
    P().Pump();
    return IDOK;
  };
  Command(IDM_VERIFY_SELECTED);
  ASSERT_TRUE(RunUntil([&] { return !P().messageBoxes.empty(); }));
  EXPECT_GT(P().paintCount, paintsBefore);
  char expected[80];
  std::snprintf(expected, sizeof expected, "Verify error at address 0x0123 (0x%02X vs 0xCD)", fromEprom);
  EXPECT_EQ(P().messageBoxes[0].text, expected);
  EXPECT_TRUE(P().messageBoxes[0].defaultCaption);
  EXPECT_EQ(P().messageBoxes.size(), 1u);  // only the first difference
  EXPECT_EQ(P().StatusText(1), std::string(expected) + " - Error!");
  EXPECT_EQ(Model().EpromFlags[0], efVerified | efVerifyFailed);
  EXPECT_EQ(ImageBytes()[0x0123], 0xCD);  // verify never writes the image
  // Every byte was compared, beyond the first difference the box reports.
  EXPECT_EQ(Devices().LastVerify().compared, 8192u);
  EXPECT_EQ(Devices().LastVerify().differing.count, 2u);
  EXPECT_EQ(Devices().LastVerify().differing.first, 0x0123u);
  EXPECT_EQ(Devices().LastVerify().differing.last, 0x0200u);
}

TEST_F(DeviceOperations, ATimeOutDuringTheVerifyBoxDoesNotCancelTwice) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192));
  Detect();
  // The user reads the difference for a minute; the reply time-out (27
  // ticks) would long have run out.
  P().QueueMessageBoxAnswer(IDOK, 60000);
  Command(IDM_VERIFY_EPROM);
  ASSERT_TRUE(RunUntil([&] { return P().messageBoxes.size() == 1; }));
  Advance(2000);
  EXPECT_NE(P().StatusText(2), "Kilnbox not responding!");
  EXPECT_TRUE(Devices().KilnboxDetected());
  EXPECT_TRUE(P().StatusText(1).find(" - Error!") != std::string::npos);
  EXPECT_EQ(App().MidiInInfo.Buffer.lpData, nullptr);
}

TEST_F(DeviceOperations, ProgramSendsTheSectionThenStartsProgrammingWhenTheEstimateRunsOut) {
  StartWith(et2764, eaTwoEpromsOneSound);
  InsertEprom(et2764, std::vector<uint8_t>(8192, 0xFF));
  const auto image = Pattern(16384, 5);
  std::copy(image.begin(), image.end(), ImageBytes());
  Detect();
  P().QueueMessageBoxAnswer(IDYES);
  ASSERT_TRUE(P().ClickButton(IDB_PROGRAM_FIRST + 1));
  FinishPause();
  EXPECT_EQ(Model().WhichEPROM, 1);
  auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x02, 0x16, 0x08, 0x16, 0x08, 0xF7}));
  EXPECT_EQ(sent[2].size(), 8192u * 2 + 46);
  EXPECT_EQ(sent[2][4], 0x01);  // block 2
  // The send returned at once: the whole estimate is left to the bar.
  EXPECT_EQ(Devices().EstimateBytes(), 16429);
  EXPECT_TRUE(Devices().ProgressShown());
  ASSERT_EQ(P().ProgressBars().size(), 1u);
  EXPECT_EQ(P().ProgressBars()[0].high, 17);

  // 17 ticks bring the estimate below zero; then programming starts.
  Advance(16 * 320);
  EXPECT_EQ(SentBytes().size(), 3u);
  EXPECT_EQ(P().ProgressBars()[0].position, 16);  // a step a tick
  Advance(320);
  sent = SentBytes();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[3], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x02, 0x22, 0x15, 0x15, 0xF7}));
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().messageBoxes[0].text, "Watch Kilnbox display for progress...\nWas the EPROM programmed OK?");
  EXPECT_EQ(P().messageBoxes[0].caption, "Programming...");
  EXPECT_EQ(P().messageBoxes[0].type, MB_YESNO);
  EXPECT_EQ(Model().EpromFlags[1], efProgrammed);
  EXPECT_FALSE(P().ProgressBars()[0].alive);

  ASSERT_TRUE(RunUntil([&] { return Display(1) == "Program OK"; }, 20000));
  EXPECT_EQ(SocketContents(), std::vector<uint8_t>(image.begin() + 8192, image.end()));
}

TEST_F(DeviceOperations, TheProgrammingQuestionTakesYesOrNoAndNothingElse) {
  StartProgram();
  InsertEprom(et2764, std::vector<uint8_t>(8192, 0xFF));
  Detect();
  // Esc and the close box leave the question open.
  P().QueueMessageBoxAnswer(headless::kCloseBox);
  P().QueueMessageBoxAnswer(headless::kCloseBox, 1000);
  P().QueueMessageBoxAnswer(IDYES);
  Command(IDM_PROGRAM_EPROM);
  ASSERT_TRUE(RunUntil([&] { return !P().messageBoxes.empty(); }, 10000));
  EXPECT_EQ(P().messageBoxes[0].answer, IDYES);
  EXPECT_EQ(Model().EpromFlags[0], efProgrammed);

  P().QueueMessageBoxAnswer(IDNO);
  Command(IDM_PROGRAM_EPROM);
  ASSERT_TRUE(RunUntil([&] { return P().messageBoxes.size() == 2; }, 10000));
  EXPECT_EQ(Model().EpromFlags[0], efProgrammed | efProgramFailed);
}

TEST_F(DeviceOperations, ATransferAskedForWhileProgrammingWaitsForTheProgrammingAndItsAnswer) {
  StartProgram();
  InsertEprom(et2764, std::vector<uint8_t>(8192, 0xFF));
  const auto image = Pattern(8192, 8);
  std::copy(image.begin(), image.end(), ImageBytes());
  Detect();
  P().QueueMessageBoxAnswer(IDYES);
  Command(IDM_PROGRAM_EPROM);
  ASSERT_TRUE(Devices().ProgressShown());
  // A read before the estimate has run out waits: the programming starts
  // when it runs out, is asked about, and only then does the read begin.
  Command(IDM_READ_EPROM);
  EXPECT_EQ(Devices().Waiting(), 1u);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Read OK."));
  const auto startProgramming = Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x22, 0x15, 0x15, 0xF7});
  const auto sent = SentBytes();
  const auto started = std::find(sent.begin(), sent.end(), startProgramming);
  ASSERT_NE(started, sent.end());
  EXPECT_EQ(*(started + 3), ReadCommand(1));  // the read's block size and type come first
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().messageBoxes[0].caption, "Programming...");
  EXPECT_EQ(Image(0, 8192), image);  // what was programmed was read back
}

TEST_F(DeviceOperations, GetDataFetchesTheKilnboxMemoryAndSendDataSendsTheImage) {
  StartProgram();
  Detect();
  const auto image = Pattern(8192, 11);
  std::copy(image.begin(), image.end(), ImageBytes());
  Command(IDM_SEND_DATA);
  auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x16, 0x00, 0x16, 0x08, 0xF7}));
  EXPECT_EQ(sent[1].size(), 16430u);
  ASSERT_TRUE(RunUntil([&] { return P().ProgressBars().size() == 1 && !P().ProgressBars()[0].alive; }, 20000));
  EXPECT_EQ(P().StatusText(0), "");

  std::fill(ImageBytes(), ImageBytes() + 8192, 0);
  Model().SoundFileLoaded[0] = 1;
  Model().EpromFlags[2] = efVerified;
  ClearTraffic();
  Command(IDM_GET_DATA);
  EXPECT_EQ(Model().SoundFileLoaded[0], 0u);
  EXPECT_EQ(Model().EpromFlags[2], 0u);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Read OK."));
  EXPECT_EQ(Image(0, 8192), image);
  EXPECT_EQ(SentBytes()[1], RequestTransfer(1));
}

TEST_F(DeviceOperations, SendDataThatTookSecondsCreditsThemToTheEstimate) {
  StartProgram();
  Detect();
  // A port whose hand-over blocks for 3 s, as a slow driver would.
  P().Midi().SetMonitor([this](bool outgoing, const BYTE*, size_t size) {
    if (outgoing && size > 1000) plat::Sleep(3000);
  });
  Command(IDM_SEND_DATA);
  EXPECT_EQ(Devices().EstimateBytes(), 16429 - 3 * 3125);
  ASSERT_EQ(P().ProgressBars().size(), 1u);
  EXPECT_EQ(P().ProgressBars()[0].high, 8);
}

TEST_F(DeviceOperations, NoAnswerToThePresenceCheckTimesOutAfterFifteenTicks) {
  StartProgram();
  kilnbox_->WithModel([](sim::Kilnbox& k) {
    sim::FaultKnobs knobs;
    knobs.noReply = true;
    knobs.allReplies = true;
    k.SetFaults(knobs);
  });
  Command(IDM_GET_DATA);
  Advance(14 * 320);
  EXPECT_EQ(P().StatusText(2), "");
  Advance(320);
  EXPECT_EQ(P().StatusText(2), "Kilnbox not responding!");
  EXPECT_FALSE(Devices().Busy());
  EXPECT_EQ(App().MidiInInfo.Buffer.lpData, nullptr);
  EXPECT_EQ(Sent().size(), 2u);  // the Get data waiting for the answer never went on
}

TEST_F(DeviceOperations, ADamagedReplyToThePresenceCheckStillShowsTheKilnboxAnswers) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192, 6));
  // The first reply, the presence check's, has a broken pair and a wrong
  // length; the read's reply after it is whole.
  kilnbox_->WithModel([](sim::Kilnbox& k) {
    sim::FaultKnobs knobs;
    knobs.corruptOffset = 45 + 20;
    knobs.corruptValue = 0x2A;
    k.SetFaults(knobs);
  });
  Command(IDM_READ_EPROM);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Read OK.", 20000)) << P().StatusText(2);
  EXPECT_EQ(P().StatusText(2), "Kilnbox detected");
  EXPECT_EQ(Image(0, 8192), Pattern(8192, 6));
}

TEST_F(DeviceOperations, ALatePresenceReplyIsIgnored) {
  StartProgram();
  kilnbox_->WithModel([](sim::Kilnbox& k) {
    sim::FaultKnobs knobs;
    knobs.lateMs = 6000;
    k.SetFaults(knobs);
  });
  Command(IDM_GET_DATA);
  Advance(10000);
  EXPECT_EQ(P().StatusText(2), "Kilnbox not responding!");
  EXPECT_FALSE(Devices().KilnboxDetected());
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(DeviceOperations, CancelDuringATransferStopsListeningButLetsTheBarRunOut) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192));
  Detect();
  std::fill(ImageBytes(), ImageBytes() + 8192, 0x55);
  Command(IDM_READ_EPROM);
  Advance(1000);
  Command(IDM_CANCEL);
  EXPECT_EQ(Devices().ReplyTicksLeft(), 0u);
  EXPECT_EQ(App().MidiInInfo.Buffer.lpData, nullptr);
  EXPECT_EQ(P().StatusText(0), "");
  EXPECT_EQ(P().StatusText(1), "");
  Advance(20000);
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0x55));
  EXPECT_FALSE(P().ProgressBars()[0].alive);
  EXPECT_NE(P().StatusText(2), "Kilnbox not responding!");
}

TEST_F(DeviceOperations, CancelEndsTheOperationAtOnceAndSaysWhatWillNotHappen) {
  StartWith(et2764, eaTwoEpromsOneSound);
  InsertEprom(et2764, Pattern(8192));
  Detect();
  P().ClickButton(IDB_VERIFY_FIRST + 1);
  ASSERT_TRUE(Pausing());
  // Asked for while the first waits (twice: it waits once), then dropped
  // by the Cancel with it.
  P().ClickButton(IDB_PROGRAM_FIRST);
  P().ClickButton(IDB_PROGRAM_FIRST);
  EXPECT_EQ(Devices().Waiting(), 1u);
  P().Command(IDM_CANCEL);
  EXPECT_EQ(P().StatusText(0), "");
  EXPECT_EQ(P().StatusText(1), "Not started: Program EPROM 1");
  ASSERT_TRUE(Devices().LastOutcome().has_value());
  EXPECT_EQ(Devices().LastOutcome()->kind, OutcomeKind::Cancelled);
  Advance(20000);
  EXPECT_EQ(Sent().size(), 1u);  // the block size; nothing after it
  EXPECT_FALSE(Devices().Busy());

  // Cancelled while its block drains, programming never starts.
  ClearTraffic();
  P().ClickButton(IDB_PROGRAM_FIRST);
  FinishPause();
  ASSERT_TRUE(Devices().ProgressShown());
  Command(IDM_CANCEL);
  EXPECT_EQ(P().StatusText(1), "Programming of EPROM 1 not started");
  Advance(20000);
  EXPECT_EQ(Sent().size(), 3u);  // block size, type, the block
  EXPECT_TRUE(P().messageBoxes.empty());
  EXPECT_EQ(Model().EpromFlags[0], 0u);
}

// The faults of operations that could interleave: each asked-for operation
// runs whole, in turn, on the EPROM it was asked for.
TEST_F(DeviceOperations, AVerifyAskedForDuringABlankCheckStaysAVerify) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192, 2));
  Detect();
  Command(IDM_READ_EPROM);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Read OK."));
  std::fill(ImageBytes(), ImageBytes() + 8192, 0x33);
  // The notice is read for a second and a half; the verify finds the
  // difference and reports it.
  P().QueueMessageBoxAnswer(IDOK, 1500);
  P().Command(IDM_BLANK_CHECK);
  ASSERT_TRUE(Pausing());
  P().Command(IDM_VERIFY_EPROM);
  ASSERT_TRUE(WaitForStatus(1, "Verify error at address 0x0000 (0x02 vs 0x33) - Error!"));
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0x33));
  EXPECT_EQ(Model().EpromFlags[0], efVerified | efVerifyFailed);
  EXPECT_EQ(P().messageBoxes.size(), 2u);
}

TEST_F(DeviceOperations, AnEpromChosenDuringAnotherOperationGetsAWholeSequenceOfItsOwn) {
  StartWith(et2764, eaTwoEpromsOneSound);
  InsertEprom(et2764, Pattern(8192, 5));
  Detect();
  const auto second = Pattern(8192, 5);
  std::copy(second.begin(), second.end(), ImageBytes() + 8192);
  P().QueueDialog([](headless::DialogDriver& d) {
    d.Click(101);
    d.PressOk();
  });
  P().Command(IDM_READ_EPROM);
  ASSERT_TRUE(Pausing());
  // EPROM 2 is chosen for a verify while the read of EPROM 1 pauses.
  P().QueueDialog([](headless::DialogDriver& d) {
    d.Click(102);
    d.PressOk();
  });
  P().Command(IDM_VERIFY_EPROM);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 2:  8192 bytes - Verify OK."));
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 8u);
  EXPECT_EQ(sent[2], ReadCommand(1));
  EXPECT_EQ(sent[3], RequestTransfer(1));
  EXPECT_EQ(sent[4], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x02, 0x16, 0x08, 0x16, 0x08, 0xF7}));
  EXPECT_EQ(sent[6], ReadCommand(2));
  EXPECT_EQ(sent[7], RequestTransfer(2));
  EXPECT_EQ(Image(0, 8192), Pattern(8192, 5));
  EXPECT_EQ(Model().EpromFlags[1], efVerified);
}

TEST_F(DeviceOperations, AReplyGoesToTheEpromThatAskedForItWhateverIsChosenSince) {
  StartWith(et2764, eaTwoEpromsOneSound);
  InsertEprom(et2764, Pattern(8192, 6));
  Detect();
  std::fill(ImageBytes(), ImageBytes() + 16384, 0x44);
  P().QueueDialog([](headless::DialogDriver& d) {
    d.Click(101);
    d.PressOk();
  });
  Command(IDM_READ_EPROM);
  ASSERT_EQ(SentBytes().back(), RequestTransfer(1));
  // While the reply travels, EPROM 2's Program button.
  P().QueueMessageBoxAnswer(IDNO);
  ASSERT_TRUE(P().ClickButton(IDB_PROGRAM_FIRST + 1));
  EXPECT_EQ(Model().WhichEPROM, 1);
  // Then EPROM 2 is programmed from its own, untouched section.
  ASSERT_TRUE(RunUntil([&] { return !P().messageBoxes.empty(); }));
  EXPECT_TRUE(std::any_of(P().statusLog.begin(), P().statusLog.end(), [](const headless::StatusRecord& r) {
    return r.part == 1 && r.text == "Received Block 1:  8192 bytes - Read OK.";
  }));
  EXPECT_EQ(Image(0, 8192), Pattern(8192, 6));
  EXPECT_EQ(Image(8192, 8192), std::vector<uint8_t>(8192, 0x44));
  const auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 8u);
  EXPECT_EQ(sent[6][4], 0x01);  // block 2
  EXPECT_EQ(sent[6][45], 0x44);  // 0x44 travels as 0x44 0x04
  EXPECT_EQ(Model().EpromFlags[1], efProgrammed | efProgramFailed);
}

// However early its timer fires (a coarse timer may fire 5 % early), a
// pause lasts its whole length.
TEST_F(DeviceOperations, APauseNeverEndsBeforeItsTime) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192));
  Detect();
  P().Command(IDM_READ_EPROM);
  ASSERT_TRUE(Pausing());
  Advance(475);
  P().FireTimer(ID_PAUSE_TIMER);
  P().Pump();
  EXPECT_EQ(Sent().size(), 1u);
  FinishPause();
  const auto sent = Sent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[1].ms - sent[0].ms, 500u);
}

// A port slower than the MIDI wire (a busy interface), in front of a quick
// Kilnbox, so that the port's own wire is what takes the time.
class SlowPort : public DeviceOperations {
 protected:
  SlowPort() : DeviceOperations(50) {}
};

// The pause after a command counts from when it has left, and so does the
// reply's time-out, so a Get data after a long Send data still gets its reply.
TEST_F(SlowPort, PausesAndTimeOutsCountFromWhenACommandHasLeftThePort) {
  SlowWire& wire = StartWithSlowWire(1500);
  Detect();
  const auto image = Pattern(8192, 12);
  std::copy(image.begin(), image.end(), ImageBytes());
  Command(IDM_SEND_DATA);  // 16430 bytes: 11 s on this wire
  P().Command(IDM_GET_DATA);
  std::fill(ImageBytes(), ImageBytes() + 8192, 0);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Read OK.", 60000)) << P().StatusText(2);
  EXPECT_EQ(Image(0, 8192), image);
  ASSERT_EQ(wire.left.size(), 4u);
  EXPECT_EQ(wire.left[1].bytes.size(), 16430u);
  EXPECT_GE(wire.left[3].ms - wire.left[2].ms, 500u);  // Get's block size, its pause, its request
}

TEST_F(SlowPort, ABlockThatFailsOnItsWayOutEndsTheOperationWithThePortsMessage) {
  StartWithSlowWire(3125, 1000);
  Detect();
  Command(IDM_SEND_DATA);
  ASSERT_TRUE(RunUntil([&] { return Devices().LastOutcome().has_value(); }, 20000));
  EXPECT_EQ(Devices().LastOutcome()->kind, OutcomeKind::Refused);
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().messageBoxes[0].caption, "MIDI Output Error");
  EXPECT_EQ(P().messageBoxes[0].text, "Write failed: cable unplugged");
  EXPECT_FALSE(Devices().ProgressShown());
}

class BadReplies : public DeviceOperations, public ::testing::WithParamInterface<int> {};

// A reply that is cut short, or whose bytes were changed on the way, never
// lands in the image as a good read.
TEST_P(BadReplies, LeaveTheImageAloneAndSayError) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192, 2));
  Detect();
  std::fill(ImageBytes(), ImageBytes() + 16384, 0x33);
  int received = 8192;  // the data bytes of a complete but damaged packet
  kilnbox_->WithModel([&](sim::Kilnbox& k) {
    sim::FaultKnobs knobs;
    switch (GetParam()) {
      case 0: knobs.truncateAfter = 9000; break;       // then a status byte ends it
      case 1: knobs.corruptOffset = 45 + 200; knobs.corruptValue = 0x2A; break;  // a broken pair
      case 2: knobs.corruptOffset = 11; knobs.corruptValue = 0x40; break;        // length LSB
      case 3: knobs.statusByteAt = 500; break;
      // Well formed, but not the block asked for: longer (it would run into
      // the next EPROM's part of the image) or shorter.
      case 4: knobs.sizeDelta = 1024; received += 1024; break;
      default: knobs.sizeDelta = -1024; received -= 1024; break;
    }
    k.SetFaults(knobs);
  });
  Command(IDM_READ_EPROM);
  Advance(30000);
  EXPECT_EQ(Image(0, 16384), std::vector<uint8_t>(16384, 0x33));
  // A complete but damaged packet is reported; one that never ends times out.
  const bool complete = GetParam() != 0 && GetParam() != 3;
  if (complete) {
    EXPECT_EQ(P().StatusText(1), "Received Block 1:  " + std::to_string(received) + " bytes - Error!");
  } else {
    EXPECT_EQ(P().StatusText(2), "Kilnbox not responding!");
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, BadReplies, ::testing::Values(0, 1, 2, 3, 4, 5));

// Clock bytes inside the reply, notes of another device before it.
TEST_F(DeviceOperations, OtherTrafficOnTheCableDoesNotDisturbAReply) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192, 4));
  Detect();
  for (const sim::FaultKnobs knobs : {sim::FaultKnobs{.realTimeEvery = 97}, sim::FaultKnobs{.notesBefore = 2}}) {
    std::fill(ImageBytes(), ImageBytes() + 8192, 0);
    kilnbox_->WithModel([&](sim::Kilnbox& k) { k.SetFaults(knobs); });
    Command(IDM_READ_EPROM);
    ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Read OK."));
    EXPECT_EQ(Image(0, 8192), Pattern(8192, 4));
    P().statusLog.clear();
    plat::StatusSetText(App().hWndStatus, 1, "");
  }
}

TEST_F(DeviceOperations, AnotherDevicesPacketEndsTheReceptionAndTheReadTimesOut) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192, 4));
  Detect();
  std::fill(ImageBytes(), ImageBytes() + 8192, 0x77);
  kilnbox_->WithModel([](sim::Kilnbox& k) {
    sim::FaultKnobs knobs;
    knobs.foreignMfrPackets = 1;
    k.SetFaults(knobs);
  });
  Command(IDM_READ_EPROM);
  ASSERT_TRUE(WaitForStatus(2, "Kilnbox not responding!"));
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0x77));
  EXPECT_FALSE(Devices().KilnboxDetected());
}

TEST_F(DeviceOperations, AnOperationWithoutItsBuffersIsRefused) {
  testsupport::ScopedFaults faults;
  faults.FailCall(testsupport::Fault::AllocMemory, 1);
  StartProgram();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Unable to allocate image memory"});
  Command(IDM_GET_DATA);
  EXPECT_EQ(BoxTexts().size(), 2u);
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace scenario
