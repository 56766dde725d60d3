// The main window's life and everything it routes besides the device
// operations: start and close, resizing, the menu commands, clicks on the
// panels, files dropped on them, the help, and the MIDI traffic log.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "device/midi.h"
#include "platform/midi/memory_port.h"
#include "platform/midi/traffic_log.h"
#include "resources/command_ids.h"
#include "resources/dialog_templates.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "shell/main_window.h"
#include "tests/scenario/scenario_fixture.h"

namespace scenario {
namespace {

class MainWindow : public ScenarioTest {
 protected:
  void StartWith(etEnum type, eaEnum arrangement) {
    testsupport::WriteText(Path("TALVERINE.CFG"), "EPROM_type = " + std::to_string(type) +
                                                      "\nEPROM_Arrangement = " + std::to_string(arrangement) + "\n");
    StartProgram();
  }
  int SoundPlayed() {
    if (P().soundsPlayed.empty()) return -1;
    const void* last = P().soundsPlayed.back();
    return last == App().wavbuffer[0].get() ? 0 : last == App().wavbuffer[1].get() ? 1 : 9;
  }
  void WriteFile(const std::string& name, size_t size, uint8_t value) {
    testsupport::WriteBytes(Path(name), std::vector<uint8_t>(size, value));
  }
};

TEST_F(MainWindow, StartsWithItsPartsAndClosesCleanlyThroughExit) {
  StartProgram();
  EXPECT_EQ(P().StatusParts(), (std::vector<int>{145, 435, -1}));
  EXPECT_TRUE(P().TimerRunning(200));
  EXPECT_TRUE(P().acceptsDrops);
  EXPECT_EQ(App().bMidiInit, 1u);
  EXPECT_NE(App().MidiInInfo.hMidi, nullptr);
  EXPECT_NE(App().MidiOutInfo.hMidi, nullptr);
  ASSERT_EQ(P().Buttons().size(), 2u);
  EXPECT_TRUE(BoxTexts().empty());

  P().SetClientSize(820, 500);
  EXPECT_EQ(P().StatusParts(), (std::vector<int>{200, 600, -1}));

  Command(IDM_EXIT);
  EXPECT_TRUE(P().QuitPosted());
  EXPECT_EQ(P().ExitCode(), 0);
  EXPECT_FALSE(P().TimerRunning(200));
  EXPECT_FALSE(P().acceptsDrops);
  EXPECT_EQ(App().MidiInInfo.hMidi, nullptr);
  EXPECT_EQ(App().MidiOutInfo.hMidi, nullptr);
  EXPECT_EQ(ImageBytes(), nullptr);
}

TEST(MainWindowWithoutMidi, SaysSoAndStillEndsWithExitCodeZero) {
  testsupport::TempDir temp;
  headless::ScopedHeadless p;
  CoreSession core;
  p->SetConfigDirectory(temp.path());
  ASSERT_NE(plat::CreateMainWindow(szAppCaption, MainWindowEvents()), nullptr);
  ASSERT_FALSE(p->messageBoxes.empty());
  EXPECT_EQ(p->messageBoxes[0].text, "No MIDI input or output devices are present");
  EXPECT_EQ(p->messageBoxes[0].caption, "MidiInit");
  EXPECT_EQ(core.app.bMidiInit, 0u);
  const size_t boxes = p->messageBoxes.size();
  p->Close();
  EXPECT_EQ(p->messageBoxes.size(), boxes);  // no device calls, no complaints
  EXPECT_TRUE(p->QuitPosted());
  EXPECT_EQ(p->ExitCode(), 0);
}

// What one run of the program showed and which of its ports it opened,
// as "001/001" (inputs, then outputs).
struct ProgramRun {
  std::vector<std::string> boxes;
  std::string opened;
};

// Runs the program with the configuration in `folder` and a MIDI interface
// for each of `interfaces` ("<name> In" and "<name> Out"); `during` runs
// before it is closed.
ProgramRun RunWithInterfaces(const std::string& folder, const std::vector<std::string>& interfaces,
                      const std::function<void(headless::HeadlessPlatform&)>& during = {}) {
  headless::ScopedHeadless p;
  CoreSession core;
  p->SetConfigDirectory(folder);
  std::vector<midimem::MemoryInput*> inputs;
  std::vector<midimem::MemoryOutput*> outputs;
  for (const std::string& name : interfaces) {
    inputs.push_back(new midimem::MemoryInput(name + " In"));
    p->Midi().AddInput(std::unique_ptr<MidiInputDevice>(inputs.back()));
    outputs.push_back(new midimem::MemoryOutput(name + " Out"));
    p->Midi().AddOutput(std::unique_ptr<MidiOutputDevice>(outputs.back()));
  }
  ProgramRun run;
  EXPECT_NE(plat::CreateMainWindow(szAppCaption, MainWindowEvents()), nullptr);
  if (during) during(*p);
  for (const headless::MessageBoxRecord& box : p->messageBoxes) run.boxes.push_back(box.text);
  for (const midimem::MemoryInput* input : inputs) run.opened += input->IsOpen() ? '1' : '0';
  run.opened += '/';
  for (const midimem::MemoryOutput* output : outputs) run.opened += output->IsOpen() ? '1' : '0';
  p->Close();
  return run;
}

// Interfaces are renumbered when one is unplugged or moved: the ports chosen
// are found again by their names, and an absent one is named, not swapped
// for whatever took its number.
TEST(MainWindowAcrossRuns, OpensTheChosenPortsByNameWhereverTheyStandNow) {
  testsupport::TempDir temp;
  RunWithInterfaces(temp.path(), {"Keys", "USB MIDI Interface"}, [](headless::HeadlessPlatform& p) {
    p.QueueDialog([](headless::DialogDriver& d) {
      d.SelectListEntry(101, 1);
      d.SelectListEntry(102, 1);
      d.PressOk();
    });
    p.Command(IDM_MIDI_DEVICES);
  });

  const ProgramRun moved = RunWithInterfaces(temp.path(), {"Synth", "Keys", "USB MIDI Interface"});
  EXPECT_EQ(moved.opened, "001/001");
  EXPECT_TRUE(moved.boxes.empty());

  const ProgramRun unplugged = RunWithInterfaces(temp.path(), {"Synth", "Keys"});
  EXPECT_EQ(unplugged.opened, "00/00");
  EXPECT_EQ(unplugged.boxes,
            (std::vector<std::string>{
                "The MIDI input \"USB MIDI Interface In\" is not connected: choose a port in Options, MIDI Devices.",
                "The MIDI output \"USB MIDI Interface Out\" is not connected: choose a port in Options, MIDI "
                "Devices."}));
}

TEST_F(MainWindow, UnknownCommandsAndTheAboutBox) {
  StartProgram();
  for (int id : {114, 214, 100, 224, 150}) P().Command(id);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>(5, "Undefined Menu Command!"));
  P().messageBoxes.clear();
  P().Command(IDM_ABOUT);
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  const auto& about = P().messageBoxes[0];
  EXPECT_EQ(about.caption, "About");
  EXPECT_EQ(about.type, MB_ICONINFORMATION | MB_OK);
  EXPECT_EQ(about.text.rfind("TALVERINE \n", 0), 0u);
  const std::string tail = "\n\nVersion 1.02 (Mar 24 2012)\n";
  EXPECT_EQ(about.text.substr(about.text.size() - tail.size()), tail);
}

TEST_F(MainWindow, TheFirstEpromOptionsDialogRebuildsButtonsAndClearsMarksEvenOnCancel) {
  StartProgram();
  Model().EpromFlags[0] = efProgrammed;
  P().QueueDialog([](headless::DialogDriver& d) { d.PressCancel(); });
  Command(IDM_EPROM_TYPE);
  EXPECT_EQ(Model().EpromFlags[0], 0u);
  EXPECT_EQ(Model().Old_EPROM_Arrangement, eaOneEpromOneSound);

  // A change of type alone keeps the marks.
  Model().EpromFlags[0] = efVerified;
  P().QueueDialog([](headless::DialogDriver& d) {
    d.SelectListEntry(11, et27128);
    d.PressOk();
  });
  Command(IDM_EPROM_TYPE);
  EXPECT_EQ(Model().EPROM_type, et27128);
  EXPECT_EQ(Model().EpromFlags[0], efVerified);

  // Four EPROMs: four button pairs, marks cleared.
  P().QueueDialog([](headless::DialogDriver& d) {
    d.Click(16);
    d.PressOk();
  });
  Command(IDM_EPROM_TYPE);
  EXPECT_EQ(P().Buttons().size(), 8u);
  EXPECT_EQ(Model().EpromFlags[0], 0u);
}

TEST_F(MainWindow, LoadFileClearsTheMarksAlsoWhenCancelled) {
  StartProgram();
  Model().EpromFlags[1] = efProgrammed | efProgramFailed;
  Command(IDM_LOAD_FILE);  // no answer scripted: the dialog is cancelled
  EXPECT_EQ(Model().EpromFlags[1], 0u);
  EXPECT_TRUE(P().invalidated || P().paintCount > 0);
}

TEST_F(MainWindow, ClicksPlayTheSoundUnderThePointer) {
  StartWith(et2764, eaOneEpromTwoSounds);
  P().LeftClick(100, 50);
  EXPECT_EQ(SoundPlayed(), -1);  // nothing computed yet: nothing to play
  Command(IDM_AUDIO_SETTINGS);   // closing the dialog builds the sounds
  P().LeftClick(299, 50);
  EXPECT_EQ(SoundPlayed(), 0);
  P().LeftClick(300, 50);
  EXPECT_EQ(SoundPlayed(), 1);
  const size_t played = P().soundsPlayed.size();
  P().LeftClick(100, 4);
  P().LeftClick(100, 480 / 3 - 4);
  P().LeftClick(100, 50, MK_LBUTTON | MK_SHIFT);
  P().LeftClick(100, 50, MK_LBUTTON | MK_CONTROL);
  EXPECT_EQ(P().soundsPlayed.size(), played);
  P().LeftClick(100, 5);
  EXPECT_EQ(SoundPlayed(), 0);

  // An odd width's last column and a one-pixel window stay within the two sounds.
  P().SetClientSize(601, 480);
  P().LeftClick(600, 50);
  EXPECT_EQ(SoundPlayed(), 1);
  P().SetClientSize(1, 480);
  P().LeftClick(0, 50);
  EXPECT_EQ(SoundPlayed(), 0);
}

TEST_F(MainWindow, DroppedFilesLoadFromTheSectionUnderThePoint) {
  StartWith(et2764, eaTwoEpromsOneSound);
  WriteFile("a.bin", 20000, 0xA1);
  WriteFile("b.bin", 20000, 0xB2);
  WriteFile("c.bin", 20000, 0xC3);
  Model().EpromFlags[0] = efVerified;
  P().DropFiles({Path("a.bin"), Path("b.bin"), Path("c.bin")}, {450, 50});
  // Two sections: the first file goes to EPROM 2 with the room left in the sound.
  EXPECT_EQ(Image(8192, 8192), std::vector<uint8_t>(8192, 0xA1));
  EXPECT_EQ(ImageBytes()[0], 0);
  EXPECT_EQ(Model().SoundFile[1], Path("a.bin"));
  EXPECT_EQ(Model().SoundFileLoaded[2], 0u);
  EXPECT_EQ(Model().EpromFlags[0], 0u);

  // Below the panels: section 0, and the second file to section 1.
  P().DropFiles({Path("b.bin"), Path("c.bin")}, {450, 300});
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0xB2));
  EXPECT_EQ(Image(8192, 8192), std::vector<uint8_t>(8192, 0xC3));
}

TEST_F(MainWindow, FilesNamedAtStartLoadAsADropFromTheFirstEprom) {
  testsupport::WriteText(Path("TALVERINE.CFG"), "EPROM_type = " + std::to_string(et2764) +
                                                    "\nEPROM_Arrangement = " + std::to_string(eaTwoEpromsOneSound) + "\n");
  WriteFile("a.bin", 8192, 0x11);
  WriteFile("b.bin", 8192, 0x22);
  P().Quit(0);  // the loop ends at once; the files are loaded before it runs
  EXPECT_EQ(TalverineMain(Session(), nullptr, {Path("a.bin"), Path("b.bin"), Path("a.bin")}), 0);
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0x11));
  EXPECT_EQ(Image(8192, 8192), std::vector<uint8_t>(8192, 0x22));
  EXPECT_EQ(Model().SoundFile[1], Path("b.bin"));
  EXPECT_TRUE(P().acceptsDrops);
}

TEST_F(MainWindow, DropsOnFourEpromsAndOnOddOrTinyWindows) {
  StartWith(et2764, eaFourEpromsOneSound);
  WriteFile("a.bin", 40000, 0x11);
  WriteFile("b.bin", 40000, 0x22);
  P().DropFiles({Path("a.bin"), Path("b.bin")}, {100, 50});
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0x11));
  EXPECT_EQ(Image(8192, 8192 * 3), std::vector<uint8_t>(8192 * 3, 0x22));

  P().SetClientSize(601, 480);
  Model().EpromFlags[3] = efProgrammed;
  const int paints = P().paintCount;
  P().DropFiles({Path("a.bin")}, {600, 50});  // section 4 does not exist
  EXPECT_EQ(Image(8192, 8192), std::vector<uint8_t>(8192, 0x22));
  EXPECT_EQ(Model().EpromFlags[3], 0u);
  EXPECT_GT(P().paintCount, paints);

  P().SetClientSize(3, 480);
  P().DropFiles({Path("b.bin")}, {2, 50});
  EXPECT_EQ(Image(0, 8192), std::vector<uint8_t>(8192, 0x22));
}

TEST_F(MainWindow, HelpWithDamagedFilesOffersTheOnlineHelpAndRestoresTheFolder) {
  StartProgram();
  const std::string before = P().CurrentDirectory();
  P().QueueMessageBoxAnswer(IDCANCEL);
  Command(IDM_HELP);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{
                            "One or more help files is missing or has been modified.\nPlease click OK for online help."});
  EXPECT_TRUE(P().shellOpened.empty());
  EXPECT_EQ(P().CurrentDirectory(), before);
  Command(IDM_HELP);
  ASSERT_EQ(P().shellOpened.size(), 1u);
  EXPECT_NE(P().shellOpened[0].find("talverine.example"), std::string::npos);
}

TEST_F(MainWindow, TheTrafficLogHasEveryMessageWithItsTimeAndDirection) {
  StartProgram();
  InsertEprom(et2764, Pattern(8192));
  MidiTrafficLog log;
  std::string error;
  ASSERT_TRUE(log.Start(Path("midi.log"), P().Midi(), [this] { return P().NowMs(); }, &error)) << error;
  Command(IDM_READ_EPROM);
  ASSERT_TRUE(RunUntil([&] { return P().StatusText(1).find("Read OK") != std::string::npos; }));
  log.Stop();
  std::ifstream in(Path("midi.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 8u);  // six out, two replies in
  EXPECT_EQ(lines[0], "        0.000 out F0 10 05 02 14 01 06 16 01 05 16 01 F7");
  EXPECT_EQ(lines[1], "        0.250 out F0 10 05 00 0F F7");
  EXPECT_EQ(lines[2].substr(13, 19), " in  F0 10 05 01 0F");
  EXPECT_EQ(lines.back().size(), 17u + 16430u * 3);
}

}  // namespace
}  // namespace scenario
