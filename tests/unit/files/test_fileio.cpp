// Loading and saving image sections: binary files, the choice of kind, the
// post-load fix-ups, the Load File and Save File commands and their dialogs,
// and saves that fail without harming the old file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "files/file_access.h"
#include "files/file_kind.h"
#include "files/file_load.h"
#include "files/file_save.h"
#include "files/file_settings.h"
#include "files/image/image_section.h"
#include "resources/dialog_templates.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/support/fault_platform.h"
#include "tests/unit/files/files_test_support.h"

namespace {

using filestest::Bytes;
using filestest::Show;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

class FileIo : public testsupport::CoreTest {
 protected:
  Bytes Section(UINT offset, UINT size) { return Bytes(ImageBytes() + offset, ImageBytes() + offset + size); }
  static std::string Extension(const char* path) {
    char ext[5];
    std::memset(ext, 'x', sizeof ext);
    GetFileExtension(ext, path);
    return ext;
  }
};

// --- binary files and the fix-ups ----------------------------------------------

TEST_F(FileIo, BinaryLoadFillsTheRestAndIgnoresTheExcess) {
  Model().cMemoryFillValue = 0x1FF;  // only the low byte fills
  std::memset(ImageBytes(), 0x11, IMAGE_SIZE);
  WriteBytes(Path("short.bin"), Bytes(100, 0x42));
  Show(LoadBinaryFile(Model(), Settings(), Path("short.bin").c_str(), 16384, 16384));
  EXPECT_EQ(Section(16384, 100), Bytes(100, 0x42));
  EXPECT_EQ(Section(16484, 16284), Bytes(16284, 0xFF));
  EXPECT_EQ(ImageBytes()[16383], 0x11);
  EXPECT_EQ(ImageBytes()[32768], 0x11);

  WriteBytes(Path("long.bin"), Bytes(20000, 0x24));
  Show(LoadBinaryFile(Model(), Settings(), Path("long.bin").c_str(), 0, 16384));
  EXPECT_EQ(ImageBytes()[16383], 0x24);
  EXPECT_EQ(ImageBytes()[16384], 0x42);
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(FileIo, BinaryFilesThatCantBeReadLeaveTheImage) {
  std::memset(ImageBytes(), 0x11, IMAGE_SIZE);
  Show(LoadBinaryFile(Model(), Settings(), Path("missing.bin").c_str(), 0, 16));
  Show(LoadBinaryFile(Model(), Settings(), temp_.path().c_str(), 0, 16));
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);  // nobody writes to it
  EXPECT_EQ(GuessFileType(Path("fifo").c_str()), FILE_KIND_BIN);
  Show(LoadBinaryFile(Model(), Settings(), Path("fifo").c_str(), 0, 16));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Unable to open input file " + Path("missing.bin"),
                                                  "Unable to open input file " + temp_.path(),
                                                  "Unable to open input file " + Path("fifo")}));
  EXPECT_EQ(Section(0, 16), Bytes(16, 0x11));
}

TEST_F(FileIo, BinarySaveWritesTheSectionUnchanged) {
  for (UINT i = 0; i < 8192; ++i) ImageBytes()[8192 + i] = static_cast<BYTE>(i * 3);
  Show(SaveBinaryFile(Model(), Path("out.bin").c_str(), 8192, 8192));
  EXPECT_EQ(ReadBytes(Path("out.bin")), Section(8192, 8192));
  EXPECT_FALSE(testsupport::FileExists(Path("out.bin") + kPartialSuffix));
}

TEST_F(FileIo, SampleRateDetectionNeedsTwoEqualCodesAtTheImageStart) {
  Settings().AutoDetectSampleRate = 1;
  const struct { Bytes head; UINT offset; UINT rate; } cases[] = {
      {{2, 2}, 0, 16000}, {{2, 3}, 0, 24000}, {{4, 4}, 0, 24000}, {{0, 0}, 0, 32000}, {{2, 2}, 16384, 24000},
  };
  for (const auto& c : cases) {
    Settings().sample_rate = 24000;
    WriteBytes(Path("r.bin"), c.head);
    Show(LoadBinaryFile(Model(), Settings(), Path("r.bin").c_str(), c.offset, 16384));
    EXPECT_EQ(Settings().sample_rate, c.rate) << int(c.head[0]) << " " << int(c.head[1]) << " at " << c.offset;
  }
  // Detection rebuilds the playback image at once, at the new rate.
  Settings().sample_rate = 24000;
  WriteBytes(Path("r.bin"), {3, 3});
  Show(LoadBinaryFile(Model(), Settings(), Path("r.bin").c_str(), 0, 8192));
  EXPECT_EQ(App().wavbuffer[0][24] | App().wavbuffer[0][25] << 8, 12000);
  Settings().AutoDetectSampleRate = 0;
  WriteBytes(Path("r.bin"), {1, 1});
  Show(LoadBinaryFile(Model(), Settings(), Path("r.bin").c_str(), 0, 8192));
  EXPECT_EQ(Settings().sample_rate, 12000u);
  // The load only reports the rate; the program takes it.
  Settings().AutoDetectSampleRate = 1;
  const FileReport report = LoadBinaryFile(Model(), Settings(), Path("r.bin").c_str(), 0, 8192);
  EXPECT_EQ(report.detectedRate, std::optional<uint32_t>(24000));
  EXPECT_EQ(Settings().sample_rate, 12000u);
  EXPECT_FALSE(report.failed());
}

TEST_F(FileIo, HeaderCleanupOnlyForAudioAtTheImageStart) {
  Settings().AutoCleanup = 1;
  WriteBytes(Path("c.bin"), {5, 1, 9});
  Show(LoadBinaryFile(Model(), Settings(), Path("c.bin").c_str(), 0, 3));
  EXPECT_EQ(Section(0, 3), (Bytes{0, 0, 9}));
  WriteBytes(Path("c.bin"), {3, 2, 9});
  Show(LoadBinaryFile(Model(), Settings(), Path("c.bin").c_str(), 0, 3));
  EXPECT_EQ(Section(0, 3), (Bytes{3, 2, 9}));
  Model().cMemoryFillValue = 0xFF;
  WriteBytes(Path("c.bin"), {5, 1, 9});
  Show(LoadBinaryFile(Model(), Settings(), Path("c.bin").c_str(), 0, 3));
  EXPECT_EQ(Section(0, 3), (Bytes{5, 1, 9}));
}

TEST_F(FileIo, SectionsOutsideTheImageOrWithoutOneAreRefused) {
  std::memset(ImageBytes(), 0x11, IMAGE_SIZE);
  WriteBytes(Path("x.bin"), Bytes(100, 0x42));
  Show(LoadBinaryFile(Model(), Settings(), Path("x.bin").c_str(), 65500, 100));
  Show(LoadBinaryFile(Model(), Settings(), Path("x.bin").c_str(), 0xFFFFFFFF, 2));  // no wrap-around
  Show(tvOpenFileName(Model(), Settings(), Path("x.bin").c_str(), 3, 32768, 32768));
  Show(tvOpenFileName(Model(), Settings(), Path("x.bin").c_str(), 0, 16, -1));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>(4, "Section outside the image"));
  EXPECT_EQ(Section(0, IMAGE_SIZE), Bytes(IMAGE_SIZE, 0x11));
  EXPECT_EQ(CheckImageSection(Model(), 65536 - 16, 16), SectionCheck::kOk);
  EXPECT_EQ(CheckImageSection(Model(), 65536, 0), SectionCheck::kOk);
  EXPECT_EQ(SaveHexFile(Model(), Path("x.hex").c_str(), 65536 - 15, 16).error, FileError::kOutsideImage);

  P().messageBoxes.clear();
  Session().FreeBuffers();
  Show(LoadBinaryFile(Model(), Settings(), Path("x.bin").c_str(), 0, 16));
  const FileReport report = SaveBinaryFile(Model(), Path("y.bin").c_str(), 0, 16);
  EXPECT_EQ(report.error, FileError::kNoImage);
  Show(report);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>(2, "Unable to allocate image memory"));
  EXPECT_FALSE(testsupport::FileExists(Path("y.bin")));
}

// --- the kind of a file ---------------------------------------------------------------

TEST_F(FileIo, ExtensionIsAtMostFourCharactersAfterTheLastDot) {
  EXPECT_EQ(Extension("C:\\drums.old\\kick"), "old\\");
  EXPECT_EQ(Extension("kick.wave"), "wave");
  EXPECT_EQ(Extension("/samples/kick.WAV"), "WAV");
  EXPECT_EQ(Extension("/my.drums/kick"), "drum");
  EXPECT_EQ(Extension("kick.b n"), "b");
  EXPECT_EQ(Extension("kick.w\xE4v"), "w");
  EXPECT_EQ(Extension("kick."), "");
  EXPECT_EQ(Extension("kick"), "");
  for (const char* ext : {"aif", "AIFF", "aifc", "Aif"}) EXPECT_EQ(FileKindOfExtension(ext), FILE_KIND_AIFF) << ext;
  for (const char* ext : {"aiffx", "ai", "aifs"}) EXPECT_EQ(FileKindOfExtension(ext), FILE_KIND_BIN) << ext;
}

TEST_F(FileIo, GuessingByContent) {
  WriteBytes(Path("riff"), {'R', 'I', 'F', 'F', 0});
  WriteBytes(Path("hex"), {':', '1', '0', '0'});
  WriteBytes(Path("hexletter"), {':', '0', 'A', '0'});
  WriteBytes(Path("tiny"), {':', '1', '0'});
  const Bytes form{'F', 'O', 'R', 'M', 0, 0, 0, 4};
  for (const char* type : {"AIFF", "AIFC", "8SVX", "aiff", "AIF"}) {
    Bytes file = form;
    file.insert(file.end(), type, type + std::strlen(type));
    WriteBytes(Path("form"), file);
    const bool aiff = std::strcmp(type, "AIFF") == 0 || std::strcmp(type, "AIFC") == 0;
    EXPECT_EQ(GuessFileType(Path("form").c_str()), aiff ? FILE_KIND_AIFF : FILE_KIND_BIN) << type;
  }
  EXPECT_EQ(GuessFileType(Path("riff").c_str()), FILE_KIND_WAV);
  EXPECT_EQ(GuessFileType(Path("hex").c_str()), FILE_KIND_HEX);
  EXPECT_EQ(GuessFileType(Path("hexletter").c_str()), FILE_KIND_BIN);
  EXPECT_EQ(GuessFileType(Path("tiny").c_str()), FILE_KIND_BIN);
  EXPECT_EQ(GuessFileType(Path("missing").c_str()), FILE_KIND_BIN);
}

TEST_F(FileIo, LoadingDispatchesByExtensionThenContent) {
  const Bytes wav = filestest::Wav16({1000});
  WriteBytes(Path("kick"), wav);          // no extension: content says WAV
  WriteBytes(Path("kick.wave"), wav);     // "wave" is not "wav": binary
  Show(tvOpenFileName(Model(), Settings(), Path("kick").c_str(), 0, 16, 16));
  EXPECT_EQ(ImageBytes()[0], 0xB2);
  Show(tvOpenFileName(Model(), Settings(), Path("kick.wave").c_str(), 1, 16, 16));
  EXPECT_EQ(Section(16, 4), (Bytes{'R', 'I', 'F', 'F'}));
  testsupport::WriteText(Path("snare.HEX"), ":0100000077\n");
  Show(tvOpenFileName(Model(), Settings(), Path("snare.HEX").c_str(), 2, 16, 16));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Record too short at line 1"});
  EXPECT_EQ(Model().SoundFile[2], Path("snare.HEX"));
  EXPECT_EQ((std::vector<UINT>(Model().SoundFileLoaded, Model().SoundFileLoaded + 4)), (std::vector<UINT>{1, 1, 1, 0}));
}

TEST_F(FileIo, AFailedLoadStillNamesTheFile) {
  const FileReport report = tvOpenFileName(Model(), Settings(), Path("gone.bin").c_str(), 1, 8192, 8192);
  EXPECT_EQ(report.error, FileError::kCannotOpen);
  Show(report);
  EXPECT_EQ(Model().SoundFile[1], Path("gone.bin"));
  EXPECT_EQ(Model().SoundFileLoaded[1], 1u);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Unable to open input file " + Path("gone.bin")});
}

// --- saves that fail -----------------------------------------------------------------

// Saves on a disk that fills up, or whose rename fails.
class FailedSave : public FileIo {
 protected:
  void SetUp() override {
    FileIo::SetUp();
    previous_ = plat::Install(faults_.Parts());
    WriteBytes(Path("old.bin"), Bytes(300, 0x77));
  }
  void TearDown() override {
    plat::Install(previous_);
    FileIo::TearDown();
  }
  void ExpectOldFileIntact(const std::vector<std::string>& boxes) {
    EXPECT_EQ(ReadBytes(Path("old.bin")), Bytes(300, 0x77));
    EXPECT_FALSE(testsupport::FileExists(Path("old.bin") + kPartialSuffix));
    EXPECT_EQ(BoxTexts(), boxes);
  }
  testsupport::FaultPlatform faults_{&P()};
  plat::Parts previous_;
};

TEST_F(FailedSave, FullDiskKeepsTheOldFileForEveryFormat) {
  faults_.WriteToDevFull(true);
  const std::string old = Path("old.bin");
  Show(SaveBinaryFile(Model(), old.c_str(), 0, 16384));
  Show(SaveHexFile(Model(), old.c_str(), 0, 16384));
  Show(SaveWavFile(Model(), Settings(), old.c_str(), 0, 16384));
  ExpectOldFileIntact(std::vector<std::string>(3, "Unable to write output file " + old));
}

TEST_F(FailedSave, FailedRenameKeepsTheOldFile) {
  faults_.FailCall(testsupport::Fault::RenameOver, 1, true);
  Show(SaveBinaryFile(Model(), Path("old.bin").c_str(), 0, 16));
  ExpectOldFileIntact({"Unable to write output file " + Path("old.bin")});
}

TEST_F(FailedSave, UnopenableTemporaryKeepsTheOldFile) {
  ASSERT_EQ(testsupport::Run("mkdir '" + Path("old.bin") + kPartialSuffix + "'"), 0);
  Show(SaveBinaryFile(Model(), Path("old.bin").c_str(), 0, 16));
  ASSERT_EQ(testsupport::Run("rmdir '" + Path("old.bin") + kPartialSuffix + "'"), 0);
  ExpectOldFileIntact({"Unable to open output file " + Path("old.bin")});
}

TEST_F(FileIo, ReadOnlyFolderKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions don't bind root";
  ASSERT_EQ(testsupport::Run("mkdir -p '" + Path("ro") + "' && printf abc > '" + Path("ro/old.bin") + "' && chmod 555 '" +
                             Path("ro") + "'"),
            0);
  Show(SaveBinaryFile(Model(), Path("ro/old.bin").c_str(), 0, 16));
  testsupport::Run("chmod 755 '" + Path("ro") + "'");
  EXPECT_EQ(ReadBytes(Path("ro/old.bin")), (Bytes{'a', 'b', 'c'}));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Unable to open output file " + Path("ro/old.bin")});
}

TEST_F(FileIo, ReplacingAFileKeepsItsPermissionsAndItsLink) {
  WriteBytes(Path("kept.bin"), Bytes(4, 1));
  ASSERT_EQ(chmod(Path("kept.bin").c_str(), 0640), 0);
  ASSERT_EQ(symlink("kept.bin", Path("link.bin").c_str()), 0);
  ImageBytes()[0] = 0x42;
  Show(SaveBinaryFile(Model(), Path("link.bin").c_str(), 0, 1));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});

  struct stat st {};
  ASSERT_EQ(lstat(Path("link.bin").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadBytes(Path("kept.bin")), Bytes{0x42});
  ASSERT_EQ(stat(Path("kept.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Root writes anything, so the save runs in a child that has become nobody.
TEST_F(FileIo, AWriteProtectedFileIsRefusedThoughItsFolderIsWritable) {
  WriteBytes(Path("protected.bin"), Bytes(3, 7));
  ASSERT_EQ(chmod(Path("protected.bin").c_str(), 0444), 0);
  ASSERT_EQ(chmod(temp_.path().c_str(), 0777), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    Show(SaveBinaryFile(Model(), Path("protected.bin").c_str(), 0, 16));
    _exit(BoxTexts() == std::vector<std::string>{"Unable to open output file " + Path("protected.bin")} ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "no user to run as";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the refusal wasn't shown";
  EXPECT_EQ(ReadBytes(Path("protected.bin")), Bytes(3, 7));
  EXPECT_FALSE(testsupport::FileExists(Path("protected.bin") + kPartialSuffix));
  struct stat st {};
  ASSERT_EQ(stat(Path("protected.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
}

TEST_F(FileIo, DevicesAreWrittenDirectly) {
  Show(SaveBinaryFile(Model(), "/dev/full", 0, 16384));
  Show(SaveHexFile(Model(), "/dev/null", 0, 16384));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Unable to write output file /dev/full"});
  EXPECT_FALSE(testsupport::FileExists(std::string("/dev/full") + kPartialSuffix));
  EXPECT_FALSE(testsupport::FileExists(std::string("/dev/null") + kPartialSuffix));
}

}  // namespace
