// Every device operation from its menu command or button to the Kilnbox and
// back: the bytes on the wire in order with the pauses between them, the
// status texts, the progress estimate, the time-outs, the marks and the
// image.
#include <gtest/gtest.h>

#include "device/midi.h"
#include "resources/command_ids.h"
#include "resources/dialog_templates.h"
#include "shell/app_state.h"
#include "shell/device_ops.h"
#include "shell/image_model.h"
#include "tests/scenario/scenario_fixture.h"
#include "tests/support/fault_platform.h"

namespace scenario {
namespace {

const std::vector<uint8_t> kPresenceBlockSize = Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x06, 0x16, 0x01, 0x05, 0x16, 0x01, 0xF7});
const std::vector<uint8_t> kRequestBlock16 = Bytes({0xF0, 0x10, 0x05, 0x00, 0x0F, 0xF7});

std::vector<uint8_t> RequestTransfer(int block) { return Bytes({0xF0, 0x10, 0x05, 0x00, (block - 1) & 0x0F, 0xF7}); }
std::vector<uint8_t> ReadCommand(int block) { return Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, block, 0x21, 0x15, 0xF7}); }

class DeviceOperations : public ScenarioTest {
 protected:
  bool StatusIs(int part, const std::string& text) { return P().StatusText(part) == text; }
  bool WaitForStatus(int part, const std::string& text, uint64_t maxMs = 120000) {
    return RunUntil([&] { return StatusIs(part, text); }, maxMs);
  }
  // Makes the program know the Kilnbox, as after a first answered check.
  void Detect() {
    kilnbox_detected = 1;
    ClearTraffic();
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
  EXPECT_EQ(PendingMsg, static_cast<UINT>(IDM_READ_SELECTED));

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
  EXPECT_EQ(response_timeout, 0u);
  // The bar was made for 16 x 2048 + 45 raw bytes; 16429 / 1000 + 1 steps.
  const auto bars = P().ProgressBars();
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_EQ(bars[0].high, 17);
  EXPECT_EQ(bars[0].y, 480 - 44);
  EXPECT_EQ(bars[0].w, 600);
  EXPECT_EQ(bars[0].h, 24);
  EXPECT_EQ(MidiInInfo.uDeviceStatus, MIDI_IDLE);
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
  EXPECT_EQ(response_timeout, 43u);
  Advance(320);
  EXPECT_EQ(P().StatusText(1), "Receiving: 31813 bytes remaining");
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  16384 bytes - Read OK."));
  EXPECT_EQ(Image(0, 16384), Pattern(16384));
}

TEST_F(DeviceOperations, ReadOfTheThirdOfFourEpromsGoesToItsSectionAndBlank3) {
  StartWith(et27128, eaFourEpromsOneSound);
  InsertEprom(et27128, Pattern(16384, 9));
  Detect();
  EpromFlags[0] = efProgrammed;
  P().QueueDialog([](headless::DialogDriver& d) {
    d.Click(103);
    d.PressOk();
  });
  Command(IDM_READ_EPROM);
  EXPECT_EQ(WhichEPROM, 2);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 3:  16384 bytes - Read OK."));
  auto sent = SentBytes();
  EXPECT_EQ(sent[0], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x03, 0x16, 0x03, 0x02, 0x16, 0x01, 0x06, 0xF7}));
  EXPECT_EQ(sent[2], ReadCommand(3));
  EXPECT_EQ(sent[3], RequestTransfer(3));
  EXPECT_EQ(Image(32768, 16384), Pattern(16384, 9));
  EXPECT_EQ(EpromFlags[0], 0u);  // a read clears every mark

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
  EXPECT_EQ(WhichEPROM, 0);
}

TEST_F(DeviceOperations, VerifyMarksTheEpromVerifiedOrFailedAtTheFirstDifference) {
  StartProgram();
  const auto eprom = Pattern(8192, 1);
  InsertEprom(et2764, eprom);
  std::copy(eprom.begin(), eprom.end(), imgMemory);
  Detect();
  Command(IDM_VERIFY_EPROM);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Verify OK."));
  EXPECT_EQ(EpromFlags[0], efVerified);
  EXPECT_TRUE(BoxTexts().empty());

  imgMemory[0x0123] = 0xCD;
  imgMemory[0x0200] ^= 0xFF;
  const BYTE fromEprom = eprom[0x0123];
  // While the box is open the window is repainted (a resize, say): the
  // paint formats its own texts.
  const int paintsBefore = P().paintCount;
  P().onMessageBox = [&](const headless::MessageBoxRecord&) {
    plat::InvalidateRect(MyWindow, true);
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
  EXPECT_EQ(EpromFlags[0], efVerified | efVerifyFailed);
  EXPECT_EQ(imgMemory[0x0123], 0xCD);  // verify never writes the image
  // Every byte was compared, beyond the first difference the box reports.
  EXPECT_EQ(LastVerify.compared, 8192u);
  EXPECT_EQ(LastVerify.differing, 2u);
  EXPECT_EQ(LastVerify.first, 0x0123u);
  EXPECT_EQ(LastVerify.last, 0x0200u);
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
  EXPECT_EQ(kilnbox_detected, 1);
  EXPECT_TRUE(P().StatusText(1).find(" - Error!") != std::string::npos);
  EXPECT_EQ(MidiInInfo.MidiHdr.lpData, nullptr);
}

TEST_F(DeviceOperations, ProgramSendsTheSectionThenStartsProgrammingWhenTheEstimateRunsOut) {
  StartWith(et2764, eaTwoEpromsOneSound);
  InsertEprom(et2764, std::vector<uint8_t>(8192, 0xFF));
  const auto image = Pattern(16384, 5);
  std::copy(image.begin(), image.end(), imgMemory);
  Detect();
  P().QueueMessageBoxAnswer(IDYES);
  ASSERT_TRUE(P().ClickButton(IDB_PROGRAM_FIRST + 1));
  FinishPause();
  EXPECT_EQ(WhichEPROM, 1);
  auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x02, 0x16, 0x08, 0x16, 0x08, 0xF7}));
  EXPECT_EQ(sent[2].size(), 8192u * 2 + 46);
  EXPECT_EQ(sent[2][4], 0x01);  // block 2
  // The send returned at once: the whole estimate is left to the bar.
  EXPECT_EQ(rawbytecount, 16429);
  EXPECT_EQ(PendingProgressCommand, static_cast<UINT>(IDM_START_PROGRAMMING));
  ASSERT_EQ(P().ProgressBars().size(), 1u);
  EXPECT_EQ(P().ProgressBars()[0].high, 17);

  // 17 ticks bring the estimate below zero; then programming starts.
  Advance(16 * 320);
  EXPECT_EQ(SentBytes().size(), 3u);
  Advance(320);
  sent = SentBytes();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[3], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x02, 0x22, 0x15, 0x15, 0xF7}));
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().messageBoxes[0].text, "Watch Kilnbox display for progress...\nWas the EPROM programmed OK?");
  EXPECT_EQ(P().messageBoxes[0].caption, "Programming...");
  EXPECT_EQ(P().messageBoxes[0].type, MB_YESNO);
  EXPECT_EQ(EpromFlags[1], efProgrammed);
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
  EXPECT_EQ(EpromFlags[0], efProgrammed);

  P().QueueMessageBoxAnswer(IDNO);
  Command(IDM_PROGRAM_EPROM);
  ASSERT_TRUE(RunUntil([&] { return P().messageBoxes.size() == 2; }, 10000));
  EXPECT_EQ(EpromFlags[0], efProgrammed | efProgramFailed);
}

TEST_F(DeviceOperations, ANewTransferTakesTheWaitingStartOfProgrammingDownWithTheOldBar) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192, 8));
  Detect();
  Command(IDM_PROGRAM_EPROM);
  ASSERT_EQ(PendingProgressCommand, static_cast<UINT>(IDM_START_PROGRAMMING));
  // A read before the estimate has run out: the Kilnbox's memory now holds
  // the EPROM read, and programming must not start at the end of the read.
  Command(IDM_READ_EPROM);
  EXPECT_EQ(PendingProgressCommand, 0u);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Read OK."));
  Advance(30000);
  EXPECT_FALSE(P().ProgressBars().back().alive);
  EXPECT_TRUE(P().messageBoxes.empty());
  const auto startProgramming = Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x22, 0x15, 0x15, 0xF7});
  for (const auto& bytes : SentBytes()) EXPECT_NE(bytes, startProgramming);
}

TEST_F(DeviceOperations, GetDataFetchesTheKilnboxMemoryAndSendDataSendsTheImage) {
  StartProgram();
  Detect();
  const auto image = Pattern(8192, 11);
  std::copy(image.begin(), image.end(), imgMemory);
  Command(IDM_SEND_DATA);
  auto sent = SentBytes();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], Bytes({0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x16, 0x00, 0x16, 0x08, 0xF7}));
  EXPECT_EQ(sent[1].size(), 16430u);
  ASSERT_TRUE(RunUntil([&] { return P().ProgressBars().size() == 1 && !P().ProgressBars()[0].alive; }, 20000));
  EXPECT_EQ(P().StatusText(0), "");

  std::fill(imgMemory, imgMemory + 8192, 0);
  SoundFileLoaded[0] = 1;
  EpromFlags[2] = efVerified;
  ClearTraffic();
  Command(IDM_GET_DATA);
  EXPECT_EQ(SoundFileLoaded[0], 0u);
  EXPECT_EQ(EpromFlags[2], 0u);
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
  EXPECT_EQ(rawbytecount, 16429 - 3 * 3125);
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
  EXPECT_EQ(PendingMsg, 0u);
  EXPECT_EQ(MidiInInfo.MidiHdr.lpData, nullptr);
  EXPECT_EQ(Sent().size(), 2u);  // the deferred Get data never ran
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
  EXPECT_EQ(kilnbox_detected, 0);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(DeviceOperations, CancelDuringATransferStopsListeningButLetsTheBarRunOut) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192));
  Detect();
  std::fill(imgMemory, imgMemory + 8192, 0x55);
  Command(IDM_READ_EPROM);
  Advance(1000);
  Command(IDM_CANCEL);
  EXPECT_EQ(response_timeout, 0u);
  EXPECT_EQ(MidiInInfo.MidiHdr.lpData, nullptr);
  EXPECT_EQ(P().StatusText(0), "");
  EXPECT_EQ(P().StatusText(1), "");
  Advance(20000);
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0x55));
  EXPECT_FALSE(P().ProgressBars()[0].alive);
  EXPECT_NE(P().StatusText(2), "Kilnbox not responding!");
}

TEST_F(DeviceOperations, WhatComesDuringAPauseWaitsForTheEndOfTheSequence) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192));
  Detect();
  P().Command(IDM_READ_EPROM);
  ASSERT_TRUE(DeviceSequencePaused());
  // Chosen while the Kilnbox is told the block size: it runs once the read
  // has sent its request.
  P().Command(IDM_CANCEL);
  EXPECT_EQ(P().StatusText(0), "Setting Kilnbox block size");
  FinishPause();
  EXPECT_EQ(SentBytes().back(), RequestTransfer(1));
  EXPECT_EQ(MidiInInfo.MidiHdr.lpData, nullptr);
  ASSERT_TRUE(TheDeviceSession().outcome.has_value());
  EXPECT_EQ(TheDeviceSession().outcome->kind, OutcomeKind::Cancelled);
  // The periodic timer stood still through three seconds of pauses.
  EXPECT_EQ(rawbytecount, TransferBytes(8));
}

class BadReplies : public DeviceOperations, public ::testing::WithParamInterface<int> {};

// A reply that is cut short, or whose bytes were changed on the way, never
// lands in the image as a good read.
TEST_P(BadReplies, LeaveTheImageAloneAndSayError) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192, 2));
  Detect();
  std::fill(imgMemory, imgMemory + 8192, 0x33);
  kilnbox_->WithModel([](sim::Kilnbox& k) {
    sim::FaultKnobs knobs;
    switch (GetParam()) {
      case 0: knobs.truncateAfter = 9000; break;       // then a status byte ends it
      case 1: knobs.corruptOffset = 45 + 200; knobs.corruptValue = 0x2A; break;  // a broken pair
      case 2: knobs.corruptOffset = 11; knobs.corruptValue = 0x40; break;        // length LSB
      default: knobs.statusByteAt = 500; break;
    }
    k.SetFaults(knobs);
  });
  Command(IDM_READ_EPROM);
  Advance(30000);
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0x33));
  // A complete but damaged packet is reported; one that never ends times out.
  const bool complete = GetParam() == 1 || GetParam() == 2;
  if (complete) {
    EXPECT_EQ(P().StatusText(1), "Received Block 1:  8192 bytes - Error!");
  } else {
    EXPECT_EQ(P().StatusText(2), "Kilnbox not responding!");
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, BadReplies, ::testing::Values(0, 1, 2, 3));

TEST_F(DeviceOperations, ClockBytesInsideTheReplyDoNotDisturbIt) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192, 4));
  Detect();
  kilnbox_->WithModel([](sim::Kilnbox& k) {
    sim::FaultKnobs knobs;
    knobs.realTimeEvery = 97;
    k.SetFaults(knobs);
  });
  Command(IDM_READ_EPROM);
  ASSERT_TRUE(WaitForStatus(1, "Received Block 1:  8192 bytes - Read OK."));
  EXPECT_EQ(Image(0, 8192), Pattern(8192, 4));
}

TEST_F(DeviceOperations, AnotherDevicesPacketEndsTheReceptionAndTheReadTimesOut) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192, 4));
  Detect();
  std::fill(imgMemory, imgMemory + 8192, 0x77);
  kilnbox_->WithModel([](sim::Kilnbox& k) {
    sim::FaultKnobs knobs;
    knobs.foreignMfrPackets = 1;
    k.SetFaults(knobs);
  });
  Command(IDM_READ_EPROM);
  ASSERT_TRUE(WaitForStatus(2, "Kilnbox not responding!"));
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0x77));
  EXPECT_EQ(kilnbox_detected, 0);
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
