// The configuration file: what a save writes, what a load makes of files
// written by us and by hand, and that a failed save never costs the old file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/file_settings.h"
#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "shell/core_session.h"
#include "tests/support/core_fixture.h"

namespace {

namespace fs = std::filesystem;

class ConfigFile : public testsupport::CoreTest {
 protected:
  std::string CfgPath() const { return Path(szCfgName); }
  std::string TempPath() const { return CfgPath() + CONFIG_TEMP_SUFFIX; }
  std::string Contents() const { return testsupport::ReadTextFile(CfgPath()); }
  void Load(const std::string& text) {
    testsupport::WriteText(CfgPath(), text);
    EXPECT_EQ(LoadConfig(szCfgName, Model(), Settings()), 1);
  }
  // A new session: every setting forgotten.
  void Forget() {
    core_.reset();
    core_.emplace(CoreSession::Setup::WithoutWindow);
  }
  // Saves, forgets everything, loads again.
  void RoundTrip() {
    SaveConfig(szCfgName, Model(), Settings());
    Forget();
    LoadConfig(szCfgName, Model(), Settings());
  }
};

// The twelve lines of the first versions; later keys follow them.
const char kDefaultFile[] =
    "# Configuration file for TALVERINE\n\n"
    "MIDI_in_device = 0\nMIDI_out_device = 0\nEPROM_type = 2\nEPROM_Arrangement = 0\n"
    "cMemoryFillValue = 0\nsample_rate = 24000\nAutoScale = 0\nAutoDetectSampleRate = 0\n"
    "AutoCleanup = 0\nDefaultFileFormat = 0\nRecentLoadPath = \nRecentSavePath = \n";
const char kLaterKeys[] = "ResampleToPlaybackRate = 0\nInPortName = \nOutPortName = \n";

TEST_F(ConfigFile, FirstStartHasTheDefaultsAndTheFirstSaveWritesEveryLine) {
  EXPECT_EQ(LoadConfig(szCfgName, Model(), Settings()), 1);
  EXPECT_EQ(TheConfigState().cMidiInDevice, 0u);
  EXPECT_EQ(TheConfigState().cMidiOutDevice, 0u);
  EXPECT_EQ(Model().EPROM_type, et2764);
  EXPECT_EQ(Model().EPROM_Arrangement, eaOneEpromOneSound);
  EXPECT_EQ(Model().cMemoryFillValue, 0u);
  EXPECT_EQ(Settings().sample_rate, 24000u);
  const FileSettings& f = Settings();
  EXPECT_EQ(f.AutoScale + f.AutoDetectSampleRate + f.AutoCleanup + f.DefaultFileFormat, 0u);
  EXPECT_TRUE(Settings().RecentLoadPath.empty() && Settings().RecentSavePath.empty());

  EXPECT_EQ(Settings().ResampleToPlaybackRate, 0u);
  EXPECT_TRUE(TheConfigState().midiInName.empty() && TheConfigState().midiOutName.empty());

  SaveConfig(szCfgName, Model(), Settings());
  EXPECT_EQ(Contents(), std::string(kDefaultFile) + kLaterKeys);
  EXPECT_FALSE(testsupport::FileExists(TempPath()));
  EXPECT_TRUE(P().messageBoxes.empty());
}

// Older versions find keys as parts of lines and ignore the lines no key
// of theirs stands in; a file they wrote loads with the later settings off.
TEST_F(ConfigFile, LaterKeysAndOlderFilesPassEachOtherBy) {
  const std::vector<std::string> keys = {
      "MIDI_in_device", "MIDI_out_device", "EPROM_type", "EPROM_Arrangement", "cMemoryFillValue",
      "sample_rate", "AutoScale", "AutoDetectSampleRate", "AutoCleanup", "DefaultFileFormat",
      "RecentLoadPath", "RecentSavePath", "ResampleToPlaybackRate", "InPortName", "OutPortName"};
  const size_t firstLater = 12;
  for (size_t later = firstLater; later < keys.size(); ++later) {
    for (size_t other = 0; other < keys.size(); ++other) {
      if (other == later) continue;
      UINT value = 7;
      EXPECT_EQ(ReadUInt((keys[later] + " = 1").c_str(), keys[other].c_str(), &value), 0) << keys[other];
      EXPECT_EQ(ReadUInt((keys[other] + " = 1").c_str(), keys[later].c_str(), &value), 0) << keys[later];
    }
  }
  Load(kDefaultFile);
  EXPECT_EQ(Settings().ResampleToPlaybackRate, 0u);
  Settings().ResampleToPlaybackRate = 1;
  RoundTrip();
  EXPECT_EQ(Settings().ResampleToPlaybackRate, 1u);
}

TEST_F(ConfigFile, EverySettingSurvivesASaveAndALoad) {
  TheConfigState().cMidiInDevice = 0xFFFFFFFFu;  // no port chosen
  TheConfigState().cMidiOutDevice = 2;
  Model().EPROM_type = et27128A;
  Model().EPROM_Arrangement = eaFourEpromsOneSound;
  Model().cMemoryFillValue = 255;
  Settings().sample_rate = 44100;
  Settings().AutoScale = 1;
  Settings().AutoDetectSampleRate = 1;
  Settings().AutoCleanup = 1;
  Settings().DefaultFileFormat = 2;
  Settings().RecentLoadPath = "/home/ana/Drum Sounds/kicks (old)=1";
  Settings().RecentSavePath = "/home/ana/Mu\xCC\x88sik/Tambours \xC3\xA0 main";
  TheConfigState().midiInName = "USB MIDI Interface";
  TheConfigState().midiOutName = "Out 2 = A (\xC3\xA9t\xC3\xA9) #1 %s";

  SaveConfig(szCfgName, Model(), Settings());
  EXPECT_NE(Contents().find("\nMIDI_in_device = -1\n"), std::string::npos);
  Forget();
  LoadConfig(szCfgName, Model(), Settings());

  EXPECT_EQ(TheConfigState().cMidiInDevice, 0xFFFFFFFFu);
  EXPECT_EQ(TheConfigState().cMidiOutDevice, 2u);
  EXPECT_EQ(Model().EPROM_type, et27128A);
  EXPECT_EQ(Model().EPROM_Arrangement, eaFourEpromsOneSound);
  EXPECT_EQ(Model().cMemoryFillValue, 255u);
  EXPECT_EQ(Settings().sample_rate, 44100u);
  EXPECT_EQ(Settings().AutoScale, 1u);
  EXPECT_EQ(Settings().AutoDetectSampleRate, 1u);
  EXPECT_EQ(Settings().AutoCleanup, 1u);
  EXPECT_EQ(Settings().DefaultFileFormat, 2u);
  EXPECT_EQ(Settings().RecentLoadPath, "/home/ana/Drum Sounds/kicks (old)=1");
  EXPECT_EQ(Settings().RecentSavePath, "/home/ana/Mu\xCC\x88sik/Tambours \xC3\xA0 main");
  EXPECT_EQ(TheConfigState().midiInName, "USB MIDI Interface");
  EXPECT_EQ(TheConfigState().midiOutName, "Out 2 = A (\xC3\xA9t\xC3\xA9) #1 %s");
  const std::string text = Contents();
  EXPECT_LT(text.find("\nResampleToPlaybackRate = "), text.find("\nInPortName = USB MIDI Interface\n"));
  EXPECT_LT(text.find("\nInPortName = "), text.find("\nOutPortName = "));
}

TEST_F(ConfigFile, LivesInTheConfigFolderAndLeavesTheCurrentDirectoryAlone) {
  fs::create_directory(Path("work"));
  P().SetCurrentDirectoryForTest(Path("work"));
  SaveConfig(szCfgName, Model(), Settings());
  LoadConfig(szCfgName, Model(), Settings());
  EXPECT_EQ(plat::GetCurrentDirectory(), Path("work"));
  EXPECT_TRUE(testsupport::FileExists(CfgPath()));
  EXPECT_FALSE(testsupport::FileExists(Path("work/") + szCfgName));
}

TEST_F(ConfigFile, MissingKeysOneToFiveAndThePortNamesResetAndTheOthersKeepTheirValues) {
  TheConfigState().midiInName = "In";
  TheConfigState().midiOutName = "Out";
  TheConfigState().cMidiInDevice = 4;
  TheConfigState().cMidiOutDevice = 5;
  Model().EPROM_type = et27256;
  Model().EPROM_Arrangement = eaTwoEpromsOneSound;
  Model().cMemoryFillValue = 255;
  Settings().sample_rate = 8000;
  Settings().AutoScale = 1;
  Settings().DefaultFileFormat = 1;
  Settings().RecentLoadPath = "/kept";
  Load("# nothing but a comment\n\n");
  EXPECT_EQ(TheConfigState().cMidiInDevice, 0u);
  EXPECT_EQ(TheConfigState().cMidiOutDevice, 0u);
  EXPECT_TRUE(TheConfigState().midiInName.empty() && TheConfigState().midiOutName.empty());
  EXPECT_EQ(Model().EPROM_type, et2764);
  EXPECT_EQ(Model().EPROM_Arrangement, eaOneEpromOneSound);
  EXPECT_EQ(Model().cMemoryFillValue, 0u);
  EXPECT_EQ(Settings().sample_rate, 8000u);
  EXPECT_EQ(Settings().AutoScale, 1u);
  EXPECT_EQ(Settings().DefaultFileFormat, 1u);
  EXPECT_EQ(Settings().RecentLoadPath, "/kept");
}

TEST_F(ConfigFile, OutOfRangeTypeOrArrangementFallsBack) {
  for (const char* type : {"11", "99", "-1", "4294967295"}) {
    Load(std::string("EPROM_type = ") + type + "\nEPROM_Arrangement = 1\n");
    EXPECT_EQ(Model().EPROM_type, et2764) << type;
    EXPECT_EQ(Model().EPROM_Arrangement, eaOneEpromTwoSounds);
  }
  for (const char* arrangement : {"4", "-1"}) {
    Load(std::string("EPROM_type = 4\nEPROM_Arrangement = ") + arrangement + "\n");
    EXPECT_EQ(Model().EPROM_type, et27128);
    EXPECT_EQ(Model().EPROM_Arrangement, eaOneEpromOneSound) << arrangement;
  }
}

TEST_F(ConfigFile, ArrangementTooLargeForTheImageIsReducedAsTheEpromDialogWould) {
  struct Case { etEnum type; eaEnum stored, loaded; };
  for (const Case& c : {Case{et27512, eaFourEpromsOneSound, eaOneEpromOneSound},
                        Case{et27256D, eaFourEpromsOneSound, eaTwoEpromsOneSound},
                        Case{et27512, eaTwoEpromsOneSound, eaOneEpromOneSound},
                        Case{et27128, eaFourEpromsOneSound, eaFourEpromsOneSound},
                        Case{et27256, eaTwoEpromsOneSound, eaTwoEpromsOneSound},
                        Case{et27512, eaOneEpromTwoSounds, eaOneEpromTwoSounds}}) {
    Load("EPROM_type = " + std::to_string(c.type) + "\nEPROM_Arrangement = " + std::to_string(c.stored) + "\n");
    EXPECT_EQ(Model().EPROM_Arrangement, c.loaded) << "type " << c.type << ", arrangement " << c.stored;
    EXPECT_LE(Model().DataSize() * (Model().EPROM_Arrangement == eaOneEpromTwoSounds ? 2 : 1), IMAGE_SIZE);
  }
}

TEST_F(ConfigFile, SampleRateIsClampedToTheAudioOptionsRange) {
  for (auto [text, rate] : {std::pair{"0", 1200u}, {"500", 1200u}, {"200000", 96000u}, {"22050", 22050u}}) {
    Load(std::string("sample_rate = ") + text + "\n");
    EXPECT_EQ(Settings().sample_rate, rate) << text;
  }
}

TEST_F(ConfigFile, HandEditedLines) {
  Load("   EPROM_type=5\r\n"
       "# EPROM_Arrangement = 2\r\n"
       "\t  xMIDI_out_device = 7 \r\n"
       "eprom_arrangement = 3\n"
       "RecentLoadPath = \"/music/my kicks\"\n"
       "RecentSavePath='/music/out'\n"
       "cMemoryFillValue = 1\n"
       "cMemoryFillValue = +255\n"
       "InPortName = \"" + std::string(300, 'n') + "\"\n"
       "OutPortName = 'USB MIDI Interface'\n"
       "what is this = 3\n");
  EXPECT_EQ(Model().EPROM_type, et27128A);
  EXPECT_EQ(Model().EPROM_Arrangement, eaOneEpromOneSound);  // the comment and the wrong case are ignored
  EXPECT_EQ(TheConfigState().cMidiOutDevice, 7u);
  EXPECT_EQ(Settings().RecentLoadPath, "/music/my kicks");
  EXPECT_EQ(Settings().RecentSavePath, "/music/out");
  EXPECT_EQ(Model().cMemoryFillValue, 255u);  // the last of several lines wins
  EXPECT_EQ(TheConfigState().midiInName, std::string(MAX_MIDI_PORT_NAME, 'n'));  // cut to a port name's length
  EXPECT_EQ(TheConfigState().midiOutName, "USB MIDI Interface");
}

TEST_F(ConfigFile, ALineLongerThan255CharactersIsReadInPieces) {
  // The first piece is a comment; the rest, read as a line of its own, sets the type.
  Load("#" + std::string(254, 'x') + "EPROM_type = 6\n");
  EXPECT_EQ(Model().EPROM_type, et27256);
}

TEST_F(ConfigFile, ANumericKeyWithoutANumberKeepsItsValue) {
  Settings().AutoScale = 1;
  Settings().sample_rate = 32000;
  Load("AutoScale = yes\nsample_rate = 99999999999\n");
  EXPECT_EQ(Settings().AutoScale, 1u);
  EXPECT_EQ(Settings().sample_rate, 32000u);

  UINT value = 9;
  EXPECT_EQ(ReadUInt("AutoCleanup = on", "AutoCleanup", &value), 1);  // matched all the same
  EXPECT_EQ(value, 9u);
  EXPECT_EQ(ReadUInt("AutoCleanup 1", "AutoCleanup", &value), 0);
  EXPECT_EQ(ReadUInt("= 1 AutoCleanup", "AutoCleanup", &value), 0);
  EXPECT_EQ(value, 9u);
}

TEST_F(ConfigFile, ReadStringStopsAtQuotesAndControlCharactersButKeepsUtf8) {
  char value[8];
  EXPECT_EQ(ReadString(value, "k = abcdefghij", "k", 7), 1);
  EXPECT_STREQ(value, "abcdefg");
  EXPECT_EQ(ReadString(value, "k= \"ab\"cd", "k", 7), 1);
  EXPECT_STREQ(value, "ab");
  EXPECT_EQ(ReadString(value, "k = a\tb", "k", 7), 1);
  EXPECT_STREQ(value, "a");
  EXPECT_EQ(ReadString(value, "k = \xC3\xA9t\xC3\xA9", "k", 7), 1);
  EXPECT_STREQ(value, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(ReadString(value, "k abc", "k", 7), 0);
}

TEST_F(ConfigFile, ARecentPathOrAPortNameIsSavedOnlyWhenItReadsBackUnchanged) {
  const std::string prefix = "RecentLoadPath = ";
  const std::string longest = "/" + std::string(255 - prefix.size() - 1, 'd');  // the line is 255 long
  Settings().RecentLoadPath = longest;
  RoundTrip();
  EXPECT_EQ(Settings().RecentLoadPath, longest);

  for (const std::string& path : {longest + "d", std::string("/it's here"), std::string("/say \"hi\""),
                                  std::string(" /leading blank"), std::string("/tab\there"),
                                  std::string("/odd/MIDI_in_device=3")}) {
    Settings().RecentLoadPath = path;
    Settings().RecentSavePath = path;
    TheConfigState().midiOutName = path;
    TheConfigState().cMidiInDevice = 1;
    RoundTrip();
    EXPECT_EQ(Settings().RecentLoadPath, "") << path;
    EXPECT_EQ(Settings().RecentSavePath, "") << path;
    EXPECT_EQ(TheConfigState().midiOutName, "") << path;
    EXPECT_EQ(TheConfigState().cMidiInDevice, 1u) << path;
  }
}

TEST_F(ConfigFile, AFailedSaveKeepsTheOldFileAndShowsNothing) {
  SaveConfig(szCfgName, Model(), Settings());
  const std::string old = Contents();
  Model().EPROM_type = et27512;

  fs::create_directory(TempPath());  // the temporary file can't be made
  SaveConfig(szCfgName, Model(), Settings());
  EXPECT_EQ(Contents(), old);
  fs::remove(TempPath());

  fs::remove(CfgPath());
  fs::create_directory(CfgPath());  // the rename fails
  testsupport::WriteText(CfgPath() + "/keep", "x");
  SaveConfig(szCfgName, Model(), Settings());
  EXPECT_FALSE(testsupport::FileExists(TempPath()));
  EXPECT_EQ(fs::status(CfgPath()).type(), fs::file_type::directory);

  P().SetConfigDirectory(Path("keep-me.txt"));  // a file where the folder should be
  testsupport::WriteText(Path("keep-me.txt"), "mine");
  SaveConfig(szCfgName, Model(), Settings());
  EXPECT_EQ(testsupport::ReadBytes(Path("keep-me.txt")).size(), 4u);

  EXPECT_TRUE(P().messageBoxes.empty());
  EXPECT_EQ(P().debugTraces.size(), 3u);
}

TEST_F(ConfigFile, AFullDiskLeavesTheOldFileWhole) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  SaveConfig(szCfgName, Model(), Settings());
  const std::string old = Contents();
  fs::create_symlink("/dev/full", TempPath());  // every write of the new file fails
  Settings().DefaultFileFormat = 2;
  SaveConfig(szCfgName, Model(), Settings());
  EXPECT_EQ(Contents(), old);
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(TempPath())));
  EXPECT_TRUE(P().messageBoxes.empty());
  EXPECT_EQ(P().debugTraces.size(), 1u);
}

}  // namespace
