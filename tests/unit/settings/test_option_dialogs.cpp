#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/midi.h"
#include "files/file_settings.h"
#include "platform/midi/memory_port.h"
#include "resources/dialog_templates.h"
#include "settings/config.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/support/core_fixture.h"

namespace {

using headless::DialogDriver;
using Script = headless::DialogScript;

class OptionDialogsTest : public testsupport::CoreTest {
 protected:
  INT_PTR Open(int templateId, DLGPROC proc, Script script, LPARAM param = 0) {
    P().QueueDialog(std::move(script));
    SettingsContext settings = Session().Settings();
    return ShowSettingsDialog(nullptr, templateId, proc, settings, param);
  }
  bool ConfigSaved() const { return testsupport::FileExists(Path(szCfgName)); }
  void ExpectConfigLine(const std::string& line) const {
    EXPECT_NE(testsupport::ReadTextFile(Path(szCfgName)).find(line + "\n"), std::string::npos) << line;
  }
};

// Which of the buttons first..last are checked, as "0100".
std::string Checks(const DialogDriver& d, int first, int last) {
  std::string s;
  for (int id = first; id <= last; ++id) s += d.IsChecked(id) ? '1' : '0';
  return s;
}
std::string Arrangement(const DialogDriver& d) { return Checks(d, 13, 16); }

TEST_F(OptionDialogsTest, EpromSizeLimitsFollowTheChosenType) {
  Model().EPROM_type = et27128;
  Model().EPROM_Arrangement = eaFourEpromsOneSound;
  Open(IDD_EPROM_OPTIONS, EPROMDialog, [](DialogDriver& d) {
    d.SelectListEntry(11, et27256);  // four EPROMs give way to two
    EXPECT_EQ(Arrangement(d), "0010");
    EXPECT_FALSE(d.IsEnabled(16));
    EXPECT_TRUE(d.IsEnabled(15));
    d.SelectListEntry(11, et27128);
    d.Click(16);
    d.SelectListEntry(11, et27512);  // from four EPROMs straight to one
    EXPECT_EQ(Arrangement(d), "1000");
    EXPECT_FALSE(d.IsEnabled(15));
    EXPECT_FALSE(d.IsEnabled(16));
    d.SelectListEntry(11, et2764);  // both back, the check stays
    EXPECT_TRUE(d.IsEnabled(15) && d.IsEnabled(16));
    EXPECT_EQ(Arrangement(d), "1000");
    d.PressEsc();
  });
  EXPECT_EQ(Model().EPROM_type, et27128);
  EXPECT_EQ(Model().EPROM_Arrangement, eaFourEpromsOneSound);
  EXPECT_FALSE(ConfigSaved());
}

TEST_F(OptionDialogsTest, EpromDialogShowsTheCurrentSettings) {
  Model().EPROM_type = et27256D;
  Model().EPROM_Arrangement = eaTwoEpromsOneSound;
  Model().cMemoryFillValue = 0xFF;
  Open(IDD_EPROM_OPTIONS, EPROMDialog, [](DialogDriver& d) {
    const std::vector<std::string> items = d.ListItems(11);
    ASSERT_EQ(items.size(), 11u);
    EXPECT_EQ(items[0], "2732 (  4K)");
    EXPECT_EQ(items[8], "27512 ( 64K)");
    EXPECT_EQ(d.ListSelection(11), et27256D);
    EXPECT_EQ(Arrangement(d), "0010");
    EXPECT_FALSE(d.IsEnabled(16));
    EXPECT_EQ(Checks(d, 17, 18), "01");
    d.PressCancel();
  });
  // Out of range: shown as one EPROM, one sound.
  Model().EPROM_type = et2764;
  Model().EPROM_Arrangement = static_cast<eaEnum>(7);
  Open(IDD_EPROM_OPTIONS, EPROMDialog, [](DialogDriver& d) { EXPECT_EQ(Arrangement(d), "1000"); d.CloseBox(); });
  EXPECT_EQ(Model().EPROM_Arrangement, static_cast<eaEnum>(7));

  // Too large for the image (a hand-edited configuration): reduced, not kept.
  Model().EPROM_type = et27512;
  Model().EPROM_Arrangement = eaFourEpromsOneSound;
  Open(IDD_EPROM_OPTIONS, EPROMDialog, [](DialogDriver& d) {
    EXPECT_EQ(Arrangement(d), "1000");
    d.PressOk();
  });
  EXPECT_EQ(Model().EPROM_Arrangement, eaOneEpromOneSound);
}

TEST_F(OptionDialogsTest, EpromOkStoresAndSavesTheChoices) {
  HWND dialog = nullptr;
  const INT_PTR result = Open(IDD_EPROM_OPTIONS, EPROMDialog, [&](DialogDriver& d) {
    dialog = d.Handle();
    d.SelectListEntry(11, et27128);
    d.Click(16);
    d.Click(18);
    EXPECT_EQ(Arrangement(d), "0001");
    EXPECT_EQ(Checks(d, 17, 18), "01");
    d.Click(9);
    EXPECT_FALSE(d.Ended());
    d.PressOk();
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Model().EPROM_type, et27128);
  EXPECT_EQ(Model().EPROM_Arrangement, eaFourEpromsOneSound);
  EXPECT_EQ(Model().cMemoryFillValue, 0xFFu);
  ExpectConfigLine("EPROM_type = 4");
  ExpectConfigLine("EPROM_Arrangement = 3");
  ExpectConfigLine("cMemoryFillValue = 255");

  ASSERT_EQ(P().messageBoxes.size(), 1u);
  const headless::MessageBoxRecord& help = P().messageBoxes[0];
  EXPECT_EQ(help.owner, dialog);
  EXPECT_EQ(help.caption, "EPROM Options Help");
  EXPECT_EQ(help.type, MB_OK);
  EXPECT_EQ(help.text.rfind("EPROM Type:  Select the type of EPROM you want to use in the Kilnbox\n\n", 0), 0u);
  EXPECT_NE(help.text.find("\n   Four EPROMs, One Sound -- DMX Crash or Ride\n\n"), std::string::npos);
}

TEST_F(OptionDialogsTest, AudioRateIsReadAsAnUnsignedNumberAndClamped) {
  const struct { const char* typed; UINT stored; } cases[] = {
      {"abc", 1200},    {"500", 1200},     {"", 1200},          {"-44100", 1200},     {"12k", 1200},
      {" 44100 ", 44100}, {"200000", 96000}, {"99999999999", 96000}, {"4294967297", 96000},
  };
  for (const auto& c : cases) {
    Settings().sample_rate = 22050;
    Open(IDD_AUDIO_OPTIONS, AudioOptionsDialog, [&](DialogDriver& d) { d.Type(11, c.typed); d.PressOk(); });
    EXPECT_EQ(Settings().sample_rate, c.stored) << '"' << c.typed << '"';
  }
}

TEST_F(OptionDialogsTest, AudioSavesOnlyWhenAValueChanged) {
  Settings().AutoDetectSampleRate = 1;
  Open(IDD_AUDIO_OPTIONS, AudioOptionsDialog, [](DialogDriver& d) {
    EXPECT_EQ(d.Text(11), "24000");
    EXPECT_EQ(Checks(d, 12, 14), "010");
    d.PressOk();
  });
  Settings().sample_rate = 1200;  // 500 clamps back to the old rate: no change either
  Open(IDD_AUDIO_OPTIONS, AudioOptionsDialog, [](DialogDriver& d) { d.Type(11, "500"); d.PressOk(); });
  Open(IDD_AUDIO_OPTIONS, AudioOptionsDialog, [](DialogDriver& d) {
    d.Type(11, "48000");
    d.Click(12);
    d.PressCancel();
  });
  EXPECT_EQ(Settings().sample_rate, 1200u);
  EXPECT_EQ(Settings().AutoScale, 0u);
  EXPECT_FALSE(ConfigSaved());

  Open(IDD_AUDIO_OPTIONS, AudioOptionsDialog, [](DialogDriver& d) {
    d.Click(12);
    d.Click(13);
    d.Click(14);
    d.PressOk();
  });
  EXPECT_EQ(Settings().AutoScale, 1u);
  EXPECT_EQ(Settings().AutoDetectSampleRate, 0u);
  EXPECT_EQ(Settings().AutoCleanup, 1u);
  ExpectConfigLine("AutoScale = 1");
  ExpectConfigLine("AutoCleanup = 1");

  // The resampling check box alone is a change too.
  testsupport::WriteText(Path(szCfgName), "");
  Open(IDD_AUDIO_OPTIONS, AudioOptionsDialog, [](DialogDriver& d) {
    EXPECT_FALSE(d.IsChecked(16));
    d.Click(16);
    d.PressOk();
  });
  EXPECT_EQ(Settings().ResampleToPlaybackRate, 1u);
  ExpectConfigLine("ResampleToPlaybackRate = 1");
  Open(IDD_AUDIO_OPTIONS, AudioOptionsDialog, [](DialogDriver& d) { EXPECT_TRUE(d.IsChecked(16)); d.PressOk(); });
}

TEST_F(OptionDialogsTest, FileOptionsShowStoreAndSaveTheFormat) {
  Settings().DefaultFileFormat = 1;
  Open(IDD_FILE_OPTIONS, FilePrefsDialog, [](DialogDriver& d) {
    EXPECT_EQ(Checks(d, 11, 13), "010");
    d.Click(13);
    d.PressCancel();
  });
  EXPECT_EQ(Settings().DefaultFileFormat, 1u);
  EXPECT_FALSE(ConfigSaved());

  Settings().DefaultFileFormat = 9;  // beyond the table: shown as Intel HEX
  Open(IDD_FILE_OPTIONS, FilePrefsDialog, [](DialogDriver& d) {
    EXPECT_EQ(Checks(d, 11, 13), "001");
    d.Click(11);
    EXPECT_EQ(Checks(d, 11, 13), "100");
    d.PressOk();
  });
  EXPECT_EQ(Settings().DefaultFileFormat, 0u);
  ExpectConfigLine("DefaultFileFormat = 0");
}

TEST_F(OptionDialogsTest, WhichEpromClampsDisablesAndCancels) {
  auto which = [&](LPARAM param, Script script) {
    return Open(IDD_WHICH_EPROM, WhichEPROMDialog, std::move(script), param);
  };
  Model().EPROM_Arrangement = eaFourEpromsOneSound;
  EXPECT_EQ(which(2, [](DialogDriver& d) {
              EXPECT_EQ(Checks(d, 101, 104), "0010");
              d.Click(104);
              d.Click(9);  // Help does nothing
              d.PressOk();
            }), 3);
  EXPECT_EQ(which(9, [](DialogDriver& d) { EXPECT_EQ(Checks(d, 101, 104), "0001"); d.PressOk(); }), 3);
  EXPECT_EQ(which(-5, [](DialogDriver& d) { d.PressOk(); }), 0);
  EXPECT_EQ(which(1, [](DialogDriver& d) { d.Click(103); d.PressCancel(); }), -1);
  EXPECT_EQ(which(1, [](DialogDriver& d) { d.PressEsc(); }), -1);
  EXPECT_EQ(which(1, [](DialogDriver& d) { d.CloseBox(); }), -1);

  Model().EPROM_Arrangement = eaTwoEpromsOneSound;
  EXPECT_EQ(which(3, [](DialogDriver& d) {
              EXPECT_EQ(Checks(d, 101, 104), "0100");
              EXPECT_FALSE(d.IsEnabled(103) || d.IsEnabled(104));
              EXPECT_FALSE(d.Click(103));
              d.PressOk();
            }), 1);
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(OptionDialogsTest, MidiOptionsWithoutDevicesStoreNoPort) {
  MidiInit(&App().MidiInInfo, &App().MidiOutInfo);
  Open(IDD_MIDI_OPTIONS, PrefsDialog, [](DialogDriver& d) {
    EXPECT_TRUE(d.ListItems(101).empty() && d.ListItems(102).empty());
    EXPECT_EQ(d.ListSelection(101), -1);
    d.PressOk();
  });
  EXPECT_EQ(TheConfigState().cMidiInDevice, 0xFFFFFFFFu);
  EXPECT_EQ(TheConfigState().cMidiOutDevice, 0xFFFFFFFFu);
  ExpectConfigLine("MIDI_in_device = -1");
  ExpectConfigLine("MIDI_out_device = -1");
}

class MidiOptionsWithPortsTest : public OptionDialogsTest {
 protected:
  void SetUp() override {
    OptionDialogsTest::SetUp();
    for (const char* name : {"In A", "In B"}) {
      inputs.push_back(new midimem::MemoryInput(name));
      P().Midi().AddInput(std::unique_ptr<MidiInputDevice>(inputs.back()));
    }
    for (const char* name : {"Out A", "Out B"}) {
      outputs.push_back(new midimem::MemoryOutput(name));
      P().Midi().AddOutput(std::unique_ptr<MidiOutputDevice>(outputs.back()));
    }
    ASSERT_EQ(MidiInit(&App().MidiInInfo, &App().MidiOutInfo), 1);
    // As at start-up, with input port 2 and output port 1.
    TheConfigState().cMidiInDevice = App().MidiInInfo.uDeviceID = 1;
    TheConfigState().cMidiOutDevice = App().MidiOutInfo.uDeviceID = 0;
    MidiActivateDevice(App().MyWindow, &App().MidiInInfo, MIDI_OPEN);
    MidiActivateDevice(App().MyWindow, &App().MidiOutInfo, MIDI_OPEN);
  }
  // Which inputs and outputs are open, as "01/10".
  std::string OpenPorts() const {
    return std::string{inputs[0]->IsOpen() ? '1' : '0', inputs[1]->IsOpen() ? '1' : '0', '/',
                       outputs[0]->IsOpen() ? '1' : '0', outputs[1]->IsOpen() ? '1' : '0'};
  }
  // Picks input 1 and output 2, then leaves with `exit`.
  void ChoosePortsAndLeave(const std::function<void(DialogDriver&)>& exit) {
    Open(IDD_MIDI_OPTIONS, PrefsDialog, [&](DialogDriver& d) {
      EXPECT_EQ(OpenPorts(), "00/00");
      EXPECT_EQ(d.ListItems(101), (std::vector<std::string>{"In A", "In B"}));
      EXPECT_EQ(d.ListItems(102), (std::vector<std::string>{"Out A", "Out B"}));
      EXPECT_EQ(d.ListSelection(101), 1);
      EXPECT_EQ(d.ListSelection(102), 0);
      d.SelectListEntry(101, 0);
      d.SelectListEntry(102, 1);
      exit(d);
    });
  }
  std::vector<midimem::MemoryInput*> inputs;
  std::vector<midimem::MemoryOutput*> outputs;
};

TEST_F(MidiOptionsWithPortsTest, CancelReopensTheOldPortsAndOkTheChosenOnes) {
  ASSERT_EQ(OpenPorts(), "01/10");
  ChoosePortsAndLeave([](DialogDriver& d) { d.PressCancel(); });
  ChoosePortsAndLeave([](DialogDriver& d) { d.CloseBox(); });
  EXPECT_EQ(OpenPorts(), "01/10");
  EXPECT_FALSE(ConfigSaved());

  ChoosePortsAndLeave([](DialogDriver& d) { d.PressOk(); });
  EXPECT_EQ(TheConfigState().cMidiInDevice, 0u);
  EXPECT_EQ(TheConfigState().cMidiOutDevice, 1u);
  EXPECT_EQ(OpenPorts(), "10/01");
  EXPECT_TRUE(P().messageBoxes.empty());
  ExpectConfigLine("MIDI_in_device = 0");
  ExpectConfigLine("MIDI_out_device = 1");
  ExpectConfigLine("InPortName = In A");
  ExpectConfigLine("OutPortName = Out B");
}

TEST_F(MidiOptionsWithPortsTest, TheRememberedNamesChooseAndAnAbsentPortIsNamedAndKept) {
  TheConfigState().midiInName = "In A";  // its number still says In B
  TheConfigState().midiOutName = "Out C";
  Open(IDD_MIDI_OPTIONS, PrefsDialog, [](DialogDriver& d) {
    EXPECT_EQ(d.ListSelection(101), 0);
    EXPECT_EQ(d.ListSelection(102), -1);
    d.PressOk();
  });
  EXPECT_EQ(OpenPorts(), "10/00");
  ExpectConfigLine("InPortName = In A");
  ExpectConfigLine("OutPortName = Out C");  // for when it is back
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().messageBoxes[0].text,
            "The MIDI output \"Out C\" is not connected: choose a port in Options, MIDI Devices.");
  EXPECT_EQ(P().messageBoxes[0].caption, "MIDI Output Error");

  auto* back = new midimem::MemoryOutput("Out C");
  P().Midi().AddOutput(std::unique_ptr<MidiOutputDevice>(back));
  Open(IDD_MIDI_OPTIONS, PrefsDialog, [](DialogDriver& d) { d.PressCancel(); });
  EXPECT_TRUE(back->IsOpen());
  EXPECT_EQ(P().messageBoxes.size(), 1u);
}

}  // namespace
