// The MIDI layer between the program and the ports: its messages, results
// and the port record's state are what the device operations and the
// option dialogs build on, and the interrupted state keeps the clean-up
// after a refused request quiet.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/midi.h"
#include "platform/midi/memory_port.h"
#include "shell/app_state.h"
#include "tests/support/core_fixture.h"

namespace {

// What the ports report to the program, one line each.
struct Reports : MidiEvents {
  std::vector<std::string> log;
  void OnMidiLongData(LPMIDIINFO info) override {
    log.push_back("long data " + std::to_string(info->Buffer.dwBytesRecorded));
  }
  void OnMidiLongError(LPMIDIINFO) override { log.push_back("long error"); }
  void OnMidiOutputDone(LPMIDIINFO, UINT error) override { log.push_back("sent " + std::to_string(error)); }
};

class MidiLayerTest : public testsupport::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    App().MyWindow = plat::CreateMainWindow("T", idle_);
    MidiSetEvents(&reports);
  }
  void TearDown() override {
    MidiSetEvents(nullptr);
    CoreTest::TearDown();
  }

  WindowEvents idle_;

  // One input and one output port, both records initialised and opened.
  void OpenBoth() {
    mem = midimem::AddMemoryPorts(P().Midi(), "Kilnbox MIDI");
    ASSERT_EQ(MidiInit(&App().MidiInInfo, &App().MidiOutInfo), 1);
    App().MidiInInfo.uDeviceID = mem.inputId;
    App().MidiOutInfo.uDeviceID = mem.outputId;
    ASSERT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiInInfo, MIDI_OPEN), 0u);
    ASSERT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiOutInfo, MIDI_OPEN), 0u);
  }

  UINT ArmInput() {
    return MidiAssignBuffer(App().MyWindow, &App().MidiInInfo, reinterpret_cast<char*>(App().MIDIinBuffer.get()), BUFFER_SIZE, 1);
  }
  UINT Release(LPMIDIINFO info) { return MidiAssignBuffer(App().MyWindow, info, nullptr, 0, 0); }

  const headless::MessageBoxRecord& LastBox() { return P().messageBoxes.back(); }

  Reports reports;
  midimem::MemoryPorts mem;
};

TEST_F(MidiLayerTest, InitNamesTheMissingKindsFromTheCounts) {
  App().MidiInInfo.Buffer.dwBufferLength = 77;  // the buffer is not the layer's to clear
  EXPECT_EQ(MidiInit(&App().MidiInInfo, &App().MidiOutInfo), 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No MIDI input or output devices are present"});
  EXPECT_EQ(LastBox().caption, "MidiInit");
  EXPECT_EQ(LastBox().owner, nullptr);
  EXPECT_EQ(LastBox().type, MB_OK | MB_ICONERROR);
  EXPECT_EQ(App().MidiInInfo.uDeviceType, MIDI_INVALID);
  EXPECT_EQ(App().MidiInInfo.uDeviceID, MIDI_INVALID);
  EXPECT_EQ(App().MidiInInfo.Buffer.dwBufferLength, 77u);

  // Only an output port: the input record is unusable and says so.
  P().Midi().AddOutput(std::make_unique<midimem::MemoryOutput>("Out"));
  EXPECT_EQ(MidiInit(&App().MidiInInfo, &App().MidiOutInfo), 0);
  EXPECT_EQ(LastBox().text, "No MIDI input devices are present");
  EXPECT_EQ(TheMidiLayer().uMidiOutDevices, 1u);
  EXPECT_EQ(App().MidiOutInfo.uDeviceType, MIDI_OUTPUT);
  EXPECT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 1), MIDI_INVALID);
  EXPECT_EQ(LastBox().text, "Must use a MIDI input device");
  EXPECT_EQ(LastBox().caption, "MidiRecord");
  // Asking for the output record alone succeeds quietly.
  const size_t boxes = P().messageBoxes.size();
  EXPECT_EQ(MidiInit(nullptr, &App().MidiOutInfo), 1);
  EXPECT_EQ(P().messageBoxes.size(), boxes);
}

TEST_F(MidiLayerTest, OpenKeepsAnOpenPortAndAFailedOpenForgetsTheIndex) {
  OpenBoth();
  PlatMidiPort* handle = App().MidiInInfo.hMidi;
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiInInfo, MIDI_OPEN), 0u);
  EXPECT_EQ(App().MidiInInfo.hMidi, handle);
  EXPECT_TRUE(P().messageBoxes.empty());

  ASSERT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiOutInfo, MIDI_FORCE_CLOSE), 0u);
  App().MidiOutInfo.uDeviceID = 5;
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiOutInfo, MIDI_OPEN), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(App().MidiOutInfo.uDeviceID, MIDI_INVALID);
    EXPECT_EQ(App().MidiOutInfo.hMidi, nullptr);
    EXPECT_EQ(LastBox().text, "The specified device identifier is out of range.");
    EXPECT_EQ(LastBox().caption, "MIDI Output Error");
    EXPECT_EQ(LastBox().owner, App().MyWindow);
    EXPECT_EQ(LastBox().type, MB_OK | MB_ICONERROR | MB_TASKMODAL);
  }
  EXPECT_EQ(P().messageBoxes.size(), 2u);
}

TEST_F(MidiLayerTest, PlainCloseSparesABusyOrKeptPortAndForcedCloseStopsAndReleases) {
  OpenBoth();
  ASSERT_EQ(ArmInput(), 0u);
  ASSERT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 1), 0u);
  EXPECT_EQ(App().MidiInInfo.uDeviceStatus, MIDI_BUSY);
  EXPECT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiInInfo, MIDI_CLOSE), 0u);
  EXPECT_TRUE(mem.input->IsOpen());

  EXPECT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiInInfo, MIDI_FORCE_CLOSE), 0u);
  EXPECT_EQ(App().MidiInInfo.hMidi, nullptr);
  EXPECT_EQ(App().MidiInInfo.uDeviceStatus, MIDI_IDLE);
  EXPECT_EQ(App().MidiInInfo.Buffer.lpData, nullptr);
  EXPECT_EQ(App().MidiInInfo.Buffer.dwBufferLength, 0u);
  EXPECT_FALSE(mem.input->IsOpen());

  App().MidiOutInfo.fAlwaysKeepOpen = 1;
  EXPECT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiOutInfo, MIDI_CLOSE), 0u);
  EXPECT_TRUE(mem.output->IsOpen());
  App().MidiOutInfo.fAlwaysKeepOpen = 0;
  EXPECT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiOutInfo, MIDI_CLOSE), 0u);
  EXPECT_FALSE(mem.output->IsOpen());
  EXPECT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiOutInfo, MIDI_CLOSE), 0u);  // closed already
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(MidiLayerTest, ClosedOutputComplainsOnceThenItsReleasePassesAndReturnsToIdle) {
  mem = midimem::AddMemoryPorts(P().Midi());
  ASSERT_EQ(MidiInit(&App().MidiInInfo, &App().MidiOutInfo), 1);
  char data[4] = {};
  EXPECT_EQ(MidiAssignBuffer(App().MyWindow, &App().MidiOutInfo, data, 4, 1), MIDI_INVALID);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Must open MIDI output device first"});
  EXPECT_EQ(LastBox().caption, "MidiAssignBuffer");
  EXPECT_EQ(App().MidiOutInfo.uDeviceStatus, MIDI_INTERRUPTED);
  EXPECT_EQ(MidiSendLongMsg(App().MyWindow, &App().MidiOutInfo, 0), 0u);  // cancelling passes too
  EXPECT_EQ(Release(&App().MidiOutInfo), 0u);
  EXPECT_EQ(App().MidiOutInfo.uDeviceStatus, MIDI_IDLE);
  EXPECT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(Release(&App().MidiOutInfo), MIDI_INVALID);
  EXPECT_EQ(P().messageBoxes.size(), 2u);
  EXPECT_EQ(MidiSendLongMsg(App().MyWindow, &App().MidiOutInfo, 1), MIDI_INVALID);
  EXPECT_EQ(LastBox().caption, "MidiSendLongMsg");
  EXPECT_EQ(MidiSendShortMsg(App().MyWindow, &App().MidiOutInfo, 0x90, 1, 0x40, 0x7F), MIDI_INVALID);
  EXPECT_EQ(LastBox().text, "Must open MIDI output device first");
  EXPECT_EQ(LastBox().caption, "MidiSendShortMsg");
}

TEST_F(MidiLayerTest, ClosedInputComplainsOnceAndEveryLaterReleaseOrStopPasses) {
  mem = midimem::AddMemoryPorts(P().Midi());
  ASSERT_EQ(MidiInit(&App().MidiInInfo, &App().MidiOutInfo), 1);
  EXPECT_EQ(ArmInput(), MIDI_INVALID);
  EXPECT_EQ(LastBox().text, "Must open MIDI input device first");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 0), 0u);
    EXPECT_EQ(Release(&App().MidiInInfo), 0u);
  }
  EXPECT_EQ(App().MidiInInfo.uDeviceStatus, MIDI_INTERRUPTED);
  EXPECT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 1), MIDI_INVALID);
  EXPECT_EQ(LastBox().caption, "MidiRecord");
}

TEST_F(MidiLayerTest, AttachingWithoutBufferOrLengthLeavesTheBufferAlone) {
  OpenBoth();
  char data[4] = {};
  EXPECT_EQ(MidiAssignBuffer(App().MyWindow, &App().MidiOutInfo, nullptr, 4, 1), MIDI_INVALID);
  EXPECT_EQ(MidiAssignBuffer(App().MyWindow, &App().MidiOutInfo, data, 0, 1), MIDI_INVALID);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>(2, "Must specify a buffer and size")));
  EXPECT_EQ(LastBox().caption, "MidiAssignBuffer");
  EXPECT_EQ(App().MidiOutInfo.Buffer.lpData, nullptr);
  EXPECT_EQ(App().MidiOutInfo.Buffer.dwBufferLength, 0u);
  EXPECT_FALSE(App().MidiOutInfo.Buffer.fDone);
}

TEST_F(MidiLayerTest, SendingReleasesToIdleAndCancelFollowsTheBuffer) {
  OpenBoth();
  std::memcpy(App().MIDIoutBuffer.get(), "\xF0\x10\x05\x02\x1F\xF7", 6);
  ASSERT_EQ(MidiAssignBuffer(App().MyWindow, &App().MidiOutInfo, reinterpret_cast<char*>(App().MIDIoutBuffer.get()), 6, 1), 0u);
  ASSERT_EQ(MidiSendLongMsg(App().MyWindow, &App().MidiOutInfo, 1), 0u);
  EXPECT_EQ(App().MidiOutInfo.uDeviceStatus, MIDI_BUSY);
  ASSERT_EQ(mem.output->Messages().size(), 1u);
  EXPECT_EQ(mem.output->Messages()[0].size(), 6u);

  // Sent but still attached: cancelling marks the send interrupted.
  EXPECT_EQ(MidiSendLongMsg(App().MyWindow, &App().MidiOutInfo, 0), 0u);
  EXPECT_EQ(App().MidiOutInfo.uDeviceStatus, MIDI_INTERRUPTED);
  EXPECT_EQ(Release(&App().MidiOutInfo), 0u);
  EXPECT_EQ(App().MidiOutInfo.uDeviceStatus, MIDI_IDLE);
  EXPECT_TRUE(App().MidiOutInfo.Buffer.fDone);
  EXPECT_EQ(App().MidiOutInfo.Buffer.lpData, nullptr);
  // Sent and released: cancelling only returns to idle.
  App().MidiOutInfo.uDeviceStatus = MIDI_BUSY;
  EXPECT_EQ(MidiSendLongMsg(App().MyWindow, &App().MidiOutInfo, 0), 0u);
  EXPECT_EQ(App().MidiOutInfo.uDeviceStatus, MIDI_IDLE);
  EXPECT_EQ(mem.output->Messages().size(), 1u);
  EXPECT_TRUE(P().messageBoxes.empty());
  EXPECT_TRUE(reports.log.empty());  // reported from the message loop only
  P().Pump();
  EXPECT_EQ(reports.log, std::vector<std::string>{"sent 0"});
}

TEST_F(MidiLayerTest, AFailedSendShowsTheDevicesTextAndKeepsTheStatus) {
  OpenBoth();
  mem.output->FailNextSend(MMSYSERR_NOMEM, "Kilnbox MIDI: output queue full");
  std::memcpy(App().MIDIoutBuffer.get(), "\xF0\xF7", 2);
  ASSERT_EQ(MidiAssignBuffer(App().MyWindow, &App().MidiOutInfo, reinterpret_cast<char*>(App().MIDIoutBuffer.get()), 2, 1), 0u);
  EXPECT_EQ(MidiSendLongMsg(App().MyWindow, &App().MidiOutInfo, 1), MMSYSERR_NOMEM);
  EXPECT_EQ(App().MidiOutInfo.uDeviceStatus, MIDI_IDLE);
  EXPECT_EQ(LastBox().text, "Kilnbox MIDI: output queue full");
  EXPECT_EQ(LastBox().caption, "MIDI Output Error");
  // No buffer attached: nothing to send.
  EXPECT_EQ(Release(&App().MidiOutInfo), 0u);
  EXPECT_EQ(MidiSendLongMsg(App().MyWindow, &App().MidiOutInfo, 1), MIDI_INVALID);
  EXPECT_EQ(LastBox().text, "Must specify a buffer and size");
  EXPECT_EQ(LastBox().caption, "MidiSendLongMsg");
  EXPECT_EQ(P().messageBoxes.size(), 2u);
}

TEST_F(MidiLayerTest, ReceivingOneReplyThenReleasingTwiceIsHarmless) {
  OpenBoth();
  ASSERT_EQ(ArmInput(), 0u);
  ASSERT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 1), 0u);
  mem.input->Feed({0xF0, 0x10, 0x05, 0x01, 0x00, 0x40, 0x00, 0xF7});
  P().Pump();
  EXPECT_EQ(reports.log, std::vector<std::string>{"long data 8"});
  EXPECT_EQ(App().MidiInInfo.Buffer.dwBytesRecorded, 8u);
  EXPECT_EQ(App().MIDIinBuffer[7], 0xF7);

  EXPECT_EQ(Release(&App().MidiInInfo), 0u);
  EXPECT_EQ(App().MidiInInfo.uDeviceStatus, MIDI_IDLE);
  EXPECT_TRUE(App().MidiInInfo.Buffer.fDone);
  EXPECT_EQ(Release(&App().MidiInInfo), 0u);
  EXPECT_TRUE(P().messageBoxes.empty());

  // Released: a later reply lands nowhere and is reported to nobody.
  mem.input->Feed({0xF0, 0x10, 0xF7});
  P().Pump();
  EXPECT_EQ(reports.log.size(), 1u);
}

TEST_F(MidiLayerTest, AReplyTooLongOrCutShortIsAnErrorAndTheBufferWaitsOn) {
  OpenBoth();
  char small[4] = {'x', 'x', 'x', 'x'};
  ASSERT_EQ(MidiAssignBuffer(App().MyWindow, &App().MidiInInfo, small, sizeof small, 1), 0u);
  ASSERT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 1), 0u);
  mem.input->Feed({0xF0, 1, 2, 3, 0xF7});       // 5 bytes for a 4-byte buffer
  mem.input->Feed({0xF0, 1, 0x90, 0x40, 0x00});  // cut short by a note
  P().Pump();
  EXPECT_EQ(reports.log, (std::vector<std::string>{"long error", "long error"}));
  EXPECT_EQ(std::string(small, 4), "xxxx");
  // Still armed, so a message that fits is taken.
  mem.input->Feed({0xF0, 9, 0xF7});
  P().Pump();
  EXPECT_EQ(reports.log.back(), "long data 3");
  EXPECT_EQ(small[1], 9);
}

TEST_F(MidiLayerTest, CancelledReceptionLeavesNoStaleReplyForTheNextOne) {
  OpenBoth();
  ASSERT_EQ(ArmInput(), 0u);
  ASSERT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 1), 0u);
  mem.input->Feed({0xF0, 0x10, 0x05, 0x01, 0x0F, 0xF7});  // arrives, not yet pumped
  ASSERT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 0), 0u);
  ASSERT_EQ(Release(&App().MidiInInfo), 0u);
  ASSERT_EQ(ArmInput(), 0u);
  ASSERT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 1), 0u);
  P().Pump();
  EXPECT_TRUE(reports.log.empty());
  mem.input->Feed({0xF0, 0x10, 0x05, 0x01, 0x02, 0x40, 0x00, 0xF7});
  P().Pump();
  EXPECT_EQ(reports.log, std::vector<std::string>{"long data 8"});
  EXPECT_EQ(App().MIDIinBuffer[4], 0x02);
}

TEST_F(MidiLayerTest, DeviceNamesAreCopiedVerbatimAndErrorsGoToTheRightCaption) {
  P().Midi().AddInput(std::make_unique<midimem::MemoryInput>("50% Kilnbox %s %n port"));
  ASSERT_EQ(MidiInit(&App().MidiInInfo, nullptr), 1);
  char name[256];
  std::memset(name, 'z', sizeof name);
  EXPECT_EQ(MidiGetDeviceName(App().MyWindow, MIDI_INPUT, 0, name), 0u);
  EXPECT_STREQ(name, "50% Kilnbox %s %n port");

  EXPECT_EQ(MidiGetDeviceName(App().MyWindow, MIDI_OUTPUT, 0, name), MMSYSERR_BADDEVICEID);
  EXPECT_STREQ(name, "50% Kilnbox %s %n port");
  EXPECT_EQ(LastBox().caption, "MIDI Output Error");

  EXPECT_EQ(MidiGetDeviceName(App().MyWindow, 3, 0, name), MIDI_INVALID);
  EXPECT_EQ(P().debugTraces.back(), "\r\nMidiGetDeviceName: uDeviceType bad");
  EXPECT_EQ(P().messageBoxes.size(), 1u);
}

TEST_F(MidiLayerTest, RecordsOfNeitherKindLeaveOnlyTracesAndBadModesNothing) {
  ASSERT_EQ(MidiInit(&App().MidiInInfo, &App().MidiOutInfo), 0);
  P().messageBoxes.clear();
  EXPECT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiInInfo, MIDI_OPEN), MIDI_INVALID);
  EXPECT_EQ(MidiAssignBuffer(App().MyWindow, &App().MidiOutInfo, nullptr, 0, 0), MIDI_INVALID);
  MidiShowError(App().MyWindow, MMSYSERR_ERROR, MIDI_INVALID);
  EXPECT_EQ(P().debugTraces,
            (std::vector<std::string>{"\r\nMidiActivateDevice: uDeviceType bad", "\r\nMidiAssignBuffer: uDeviceType bad",
                                      "MidiShowError: Bad MIDI device type\r\n"}));
  EXPECT_TRUE(P().messageBoxes.empty());

  OpenBoth();
  const size_t traces = P().debugTraces.size();
  EXPECT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiInInfo, 0x42), MIDI_INVALID);
  EXPECT_EQ(P().debugTraces.size(), traces);
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(MidiLayerTest, UnknownErrorNumbersShowWhyTheLookupFailed) {
  MidiShowError(nullptr, 0x1234, MIDI_INPUT);
  EXPECT_EQ(LastBox().text, "The specified error number is out of range.");
  EXPECT_EQ(LastBox().caption, "MIDI Input Error");
}

TEST_F(MidiLayerTest, ShortMessagesAreSentPackedAndExitClosesBothPorts) {
  OpenBoth();
  EXPECT_EQ(MidiSendShortMsg(App().MyWindow, &App().MidiOutInfo, 0x90, 0x03, 0x40, 0x7F), 0u);
  EXPECT_EQ(mem.output->Messages(), (std::vector<std::vector<BYTE>>{{0x93, 0x40, 0x7F}}));
  EXPECT_EQ(MidiSendShortMsg(App().MyWindow, &App().MidiInInfo, 0x90, 0, 0, 0), MIDI_INVALID);
  EXPECT_EQ(LastBox().text, "Must use a MIDI output device");
  EXPECT_EQ(LastBox().caption, "MidiSendShortMsg");

  ASSERT_EQ(ArmInput(), 0u);
  ASSERT_EQ(MidiRecord(App().MyWindow, &App().MidiInInfo, 1), 0u);
  EXPECT_EQ(MidiExit(App().MyWindow, &App().MidiInInfo, &App().MidiOutInfo), 1);
  EXPECT_EQ(App().MidiInInfo.hMidi, nullptr);
  EXPECT_EQ(App().MidiOutInfo.hMidi, nullptr);
  EXPECT_FALSE(mem.input->IsOpen());
  EXPECT_FALSE(mem.output->IsOpen());
  P().Pump();
  // The short message's report comes when the port is already gone.
  EXPECT_EQ(reports.log, std::vector<std::string>{"sent 0"});
}

}  // namespace
