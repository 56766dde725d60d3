// The Load File and Save File commands as a user drives them: the file
// dialogs, the Choose Sound question, the remembered folders.
#include <gtest/gtest.h>

#include <cstring>

#include "files/file_commands.h"
#include "files/file_settings.h"
#include "resources/dialog_templates.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/unit/files/files_test_support.h"

namespace {

using filestest::Bytes;
using filestest::ShowCommand;
using headless::DialogDriver;
using headless::FileDialogAnswer;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

class FileCommands : public testsupport::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    window_ = plat::CreateMainWindow("T", idle_);
    std::memset(ImageBytes(), 0x11, IMAGE_SIZE);
  }
  void Choose(const std::string& path, DWORD filterIndex = 0) {
    P().QueueFileDialogAnswer(FileDialogAnswer{true, path, filterIndex, 0});
  }
  // Answers the Choose Sound dialog by clicking `button` (0: none) and OK.
  void AnswerChooseSound(int button) {
    P().QueueDialog([button](DialogDriver& d) {
      if (button) d.Click(button);
      d.PressOk();
    });
  }
  std::string ConfigText() {
    const Bytes b = ReadBytes(Path("TALVERINE.CFG"));
    return std::string(b.begin(), b.end());
  }
  WindowEvents idle_;
  HWND window_ = nullptr;
};

TEST_F(FileCommands, OpenDialogIsAskedWithTheFiltersAndTheRememberedFolder) {
  Settings().DefaultFileFormat = 2;
  Settings().RecentLoadPath = "/samples";
  ShowCommand(tvOpenFile(window_, Model(), Settings()), window_);
  ASSERT_EQ(P().fileDialogs.size(), 1u);
  const OPENFILENAME& asked = P().fileDialogs[0].request;
  EXPECT_FALSE(P().fileDialogs[0].save);
  EXPECT_EQ(asked.hwndOwner, window_);
  // AIFF after the four the default format's index counts on.
  ASSERT_EQ(asked.filters.size(), 5u);
  const std::pair<std::string, std::string> filters[] = {{"Binary files (*.BIN)", "*.BIN"},
                                                         {"Wave files (*.WAV)", "*.WAV"},
                                                         {"Intel Hex files", "*.HEX"},
                                                         {"All  files", "*.*"},
                                                         {"AIFF files", "*.AIF;*.AIFF;*.AIFC"}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(asked.filters[i].description, filters[i].first);
    EXPECT_EQ(asked.filters[i].pattern, filters[i].second);
  }
  EXPECT_EQ(asked.nFilterIndex, 3u);
  EXPECT_EQ(asked.initialDir, "/samples");
  EXPECT_EQ(asked.flags, OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);

  Settings().DefaultFileFormat = 7;  // from a hand-edited configuration
  ShowCommand(tvOpenFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(P().fileDialogs[1].request.nFilterIndex, 1u);
}

TEST_F(FileCommands, LoadFileLoadsTheSoundAndRemembersItsFolder) {
  Model().EPROM_type = et27128;
  WriteBytes(Path("kick.bin"), Bytes(20000, 0x42));
  Choose(Path("kick.bin"));
  ShowCommand(tvOpenFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(Bytes(ImageBytes(), ImageBytes() + 16384), Bytes(16384, 0x42));
  EXPECT_EQ(ImageBytes()[16384], 0x11);
  EXPECT_EQ(Model().SoundFile[0], Path("kick.bin"));
  EXPECT_EQ(Model().SoundFileLoaded[0], 1u);
  EXPECT_EQ(Settings().RecentLoadPath, temp_.path());
  EXPECT_NE(ConfigText().find(temp_.path()), std::string::npos);
  EXPECT_TRUE(P().dialogs.empty());  // no Choose Sound with one sound
}

TEST_F(FileCommands, ARelativeChoiceIsInTheCurrentFolder) {
  WriteBytes(Path("rel.bin"), {1});
  Choose("rel.bin");
  ShowCommand(tvOpenFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(ImageBytes()[0], 1);
  EXPECT_EQ(Settings().RecentLoadPath, temp_.path());
}

TEST_F(FileCommands, CancelAndFailureOfTheOpenDialog) {
  Model().SoundFileLoaded[0] = Model().SoundFileLoaded[1] = Model().SoundFileLoaded[2] = 1;
  const FileReport cancelled = tvOpenFile(window_, Model(), Settings());
  EXPECT_TRUE(cancelled.texts.empty());
  EXPECT_FALSE(cancelled.failed() || cancelled.settingsChanged);
  ShowCommand(cancelled, window_);
  EXPECT_TRUE(P().messageBoxes.empty());
  EXPECT_EQ((std::vector<UINT>(Model().SoundFileLoaded, Model().SoundFileLoaded + 3)), (std::vector<UINT>{0, 0, 1}));
  EXPECT_FALSE(testsupport::FileExists(Path("TALVERINE.CFG")));

  P().QueueFileDialogAnswer(FileDialogAnswer{false, "", 0, 0x3002});
  const FileReport failed = tvOpenFile(window_, Model(), Settings());
  EXPECT_EQ(failed.error, FileError::kDialogFailed);
  ShowCommand(failed, window_);
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().messageBoxes[0].text, "Unable to open dialog: 3002");
  EXPECT_EQ(P().messageBoxes[0].caption, "Error!");
  EXPECT_EQ(P().messageBoxes[0].owner, window_);
}

// --- one EPROM, two sounds --------------------------------------------------------

class TwoSounds : public FileCommands {
 protected:
  void SetUp() override {
    FileCommands::SetUp();
    Model().EPROM_type = et27128;
    Model().EPROM_Arrangement = eaOneEpromTwoSounds;
    WriteBytes(Path("both.bin"), Bytes(16384, 0x42));
  }
};

TEST_F(TwoSounds, ChooseSoundShowsTheFileAndStartsOnSoundOne) {
  Choose(Path("both.bin"));
  P().QueueDialog([this](DialogDriver& d) {
    EXPECT_EQ(d.TemplateId(), IDD_CHOOSE_SOUND);
    EXPECT_EQ(d.Text(104), Path("both.bin"));
    EXPECT_TRUE(d.IsChecked(101));
    d.PressEsc();  // no way out but OK
    d.CloseBox();
    EXPECT_FALSE(d.Ended());
    d.PressOk();
  });
  ShowCommand(tvOpenFile(window_, Model(), Settings()), window_);
  ASSERT_EQ(P().dialogs.size(), 1u);
  EXPECT_TRUE(P().dialogs[0].endedByScript);
  EXPECT_EQ(P().dialogs[0].result, CHOOSE_SOUND_1);
  EXPECT_EQ(Bytes(ImageBytes(), ImageBytes() + 8192), Bytes(8192, 0x42));
  EXPECT_EQ(ImageBytes()[8192], 0x11);
}

TEST_F(TwoSounds, SoundTwoLoadsTheUpperHalf) {
  Choose(Path("both.bin"));
  AnswerChooseSound(102);
  ShowCommand(tvOpenFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(ImageBytes()[8191], 0x11);
  EXPECT_EQ(Bytes(ImageBytes() + 8192, ImageBytes() + 16384), Bytes(8192, 0x42));
  EXPECT_EQ(ImageBytes()[16384], 0x11);
  EXPECT_EQ(Model().SoundFile[1], Path("both.bin"));
  EXPECT_EQ(Model().SoundFileLoaded[1], 1u);
}

TEST_F(TwoSounds, BothSoundsLoadTheWholeEprom) {
  Model().SoundFileLoaded[1] = 1;
  Choose(Path("both.bin"));
  AnswerChooseSound(103);
  ShowCommand(tvOpenFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(P().dialogs[0].result, CHOOSE_BOTH_SOUNDS);
  EXPECT_EQ(Bytes(ImageBytes(), ImageBytes() + 16384), Bytes(16384, 0x42));
  EXPECT_EQ(ImageBytes()[16384], 0x11);
  EXPECT_EQ(Model().SoundFileLoaded[0], 1u);
  EXPECT_EQ(Model().SoundFileLoaded[1], 0u);
}

TEST_F(TwoSounds, SavingSoundTwoWritesTheUpperHalf) {
  std::memset(ImageBytes() + 8192, 0x99, 8192);
  Choose(Path("upper.bin"));
  AnswerChooseSound(102);
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(ReadBytes(Path("upper.bin")), Bytes(8192, 0x99));
  EXPECT_EQ(Model().SoundFile[1], Path("upper.bin"));

  Model().SoundFileLoaded[1] = 1;
  Choose(Path("whole.bin"));
  AnswerChooseSound(103);
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(ReadBytes(Path("whole.bin")).size(), 16384u);
  EXPECT_EQ(Model().SoundFileLoaded[1], 1u);  // a save leaves the second sound's name
}

// --- Save File ----------------------------------------------------------------------

TEST_F(FileCommands, SaveDialogIsAskedLikeTheOpenDialog) {
  Settings().DefaultFileFormat = 1;
  Settings().RecentSavePath = "/out";
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  ASSERT_EQ(P().fileDialogs.size(), 1u);
  EXPECT_TRUE(P().fileDialogs[0].save);
  EXPECT_EQ(P().fileDialogs[0].request.nFilterIndex, 2u);
  EXPECT_EQ(P().fileDialogs[0].request.initialDir, "/out");
  EXPECT_EQ(P().fileDialogs[0].request.flags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  EXPECT_EQ(P().fileDialogs[0].request.filters.size(), 4u);  // AIFF isn't written
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(FileCommands, ANameWithoutExtensionTakesTheFiltersOrTheDefaultFormats) {
  Model().EPROM_type = et2732;
  Choose(Path("snare"), 2);
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(Model().SoundFile[0], Path("snare.wav"));
  EXPECT_EQ(ReadBytes(Path("snare.wav")).size(), 44u + 2 * 4096);

  Settings().DefaultFileFormat = 2;
  Choose(Path("snare"), 4);
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  const Bytes hex = ReadBytes(Path("snare.hex"));
  EXPECT_EQ(std::string(hex.end() - 13, hex.end()), ":00000001FF\r\n");

  Settings().DefaultFileFormat = 9;
  Choose(Path("snare"), 4);
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(ReadBytes(Path("snare.bin")), Bytes(4096, 0x11));

  Choose(Path("tom.HEX"), 1);  // a typed extension wins over the filter
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(ReadBytes(Path("tom.HEX"))[0], ':');
  EXPECT_FALSE(testsupport::FileExists(Path("snare")));
  EXPECT_EQ(Settings().RecentSavePath, temp_.path());
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(FileCommands, AnAppendedExtensionThatNamesAnExistingFileAsksFirst) {
  Model().EPROM_type = et2732;
  testsupport::WriteText(Path("kick.wav"), "keep me");
  P().QueueMessageBoxAnswer(IDNO);
  Choose(Path("kick"), 2);
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().messageBoxes[0].text, Path("kick.wav") + " already exists.\nDo you want to replace it?");
  EXPECT_EQ(ReadBytes(Path("kick.wav")), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  EXPECT_EQ(Model().SoundFileLoaded[0], 0u);

  P().QueueMessageBoxAnswer(IDYES);
  Choose(Path("kick"), 2);
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(ReadBytes(Path("kick.wav")).size(), 44u + 2 * 4096);
}

TEST_F(FileCommands, SavedWavLoadsBackThroughTheReader) {
  Model().EPROM_type = et2732;
  for (UINT i = 0; i < 4096; ++i) ImageBytes()[i] = static_cast<BYTE>(0x80 + i % 128);
  Choose(Path("round.wav"));
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  std::memset(ImageBytes(), 0, 4096);
  Choose(Path("round.wav"));
  ShowCommand(tvOpenFile(window_, Model(), Settings()), window_);
  // Decoding and encoding aren't inverses: the codes come back no lower.
  for (UINT i = 0; i < 4096; ++i) ASSERT_GE(ImageBytes()[i], 0x80 + i % 128) << i;
  EXPECT_EQ(ImageBytes()[0], 0x8F);
}

TEST_F(FileCommands, CancelledSaveTouchesNothing) {
  Model().SoundFileLoaded[0] = Model().SoundFileLoaded[1] = 1;
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  P().QueueFileDialogAnswer(FileDialogAnswer{false, "", 0, 0xFFFF});
  ShowCommand(tvSaveFile(window_, Model(), Settings()), window_);
  EXPECT_EQ(Model().SoundFileLoaded[0], 1u);
  EXPECT_EQ(Model().SoundFileLoaded[1], 1u);
  EXPECT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().messageBoxes[0].text, "Unable to open dialog: FFFF");
}

}  // namespace
