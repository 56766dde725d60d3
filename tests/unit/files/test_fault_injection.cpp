// Failures at the platform seam, one call at a time: every open, rename,
// write and allocation a command makes is failed in turn, and every MIDI
// open and send. Each run must end in the program's message and leave the
// image, the user's files and the configuration as they were, or complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/file_commands.h"
#include "files/file_load.h"
#include "files/file_settings.h"
#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/support/fault_platform.h"
#include "tests/unit/files/files_test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Fault;
using filestest::Show;
using filestest::ShowCommand;
using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

const char kOldFile[] = "the user's old file";
const char kOldConfig[] = "# old\nEPROM_type = 4\nsample_rate = 16000\n";

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = plat::Install(faults_.Parts());
    core_.emplace(CoreSession::Setup::WithoutWindow);
    ASSERT_TRUE(core_->ready());
    p_.SetCurrentDirectoryForTest(temp_.path());
    p_.SetConfigDirectory(temp_.path());
    for (UINT i = 0; i < IMAGE_SIZE; ++i) ImageBytes()[i] = static_cast<BYTE>(i * 7 + 3);
    image_.assign(ImageBytes(), ImageBytes() + IMAGE_SIZE);
  }
  void TearDown() override {
    core_.reset();
    plat::Install(previous_);
  }

  std::string Path(const std::string& name) const { return temp_.File(name); }
  std::string ConfigFile() const { return Path(szCfgName); }
  bool ImageUnchanged() { return std::equal(image_.begin(), image_.end(), ImageBytes()); }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : p_.messageBoxes) texts.push_back(box.text);
    return texts;
  }
  // Files of the scratch folder other than `keep`: left-over temporaries.
  std::vector<std::string> Strays(const std::vector<std::string>& keep) const {
    std::vector<std::string> strays;
    for (const auto& entry : fs::directory_iterator(temp_.path())) {
      const std::string name = entry.path().filename().string();
      if (std::find(keep.begin(), keep.end(), name) == keep.end()) strays.push_back(name);
    }
    return strays;
  }
  // The old configuration: a hand-written file the program would rewrite.
  void WriteOldConfig() { testsupport::WriteText(ConfigFile(), kOldConfig); }

  // The session and the parts of it the tests set and read.
  ImageModel& Model() { return core_->image; }
  FileSettings& Settings() { return core_->fileSettings; }
  // The image's bytes.
  BYTE* ImageBytes() const { return core_->image.imgMemory.get(); }

  testsupport::TempDir temp_;
  headless::HeadlessPlatform p_;
  testsupport::FaultPlatform faults_{&p_};
  plat::Parts previous_;
  std::optional<CoreSession> core_;
  Bytes image_;
};

// --- Save File ------------------------------------------------------------

struct SaveOutcome {
  Bytes data;
  Bytes config;
};

class SaveFileFaults : public FaultInjection, public ::testing::WithParamInterface<const char*> {
 protected:
  std::string Name() const { return std::string("out.") + GetParam(); }
  // Runs Save File over an existing file and configuration.
  SaveOutcome Save() {
    testsupport::WriteText(Path(Name()), kOldFile);
    WriteOldConfig();
    p_.messageBoxes.clear();
    p_.QueueFileDialogAnswer({true, Path(Name()), 0, 0});
    ShowCommand(tvSaveFile(nullptr, Model(), Settings()));
    return {testsupport::ReadBytes(Path(Name())), testsupport::ReadBytes(ConfigFile())};
  }
  // Whatever failed: the image is untouched, each file is either its old
  // self or the complete new one, no temporary is left, and a data file
  // that kept its old contents was reported.
  void CheckOutcome(const SaveOutcome& good, const std::string& what) {
    SCOPED_TRACE(what);
    const SaveOutcome now{testsupport::ReadBytes(Path(Name())), testsupport::ReadBytes(ConfigFile())};
    const Bytes oldData = Text(kOldFile);
    EXPECT_TRUE(ImageUnchanged());
    EXPECT_TRUE(now.data == good.data || now.data == oldData);
    EXPECT_TRUE(now.config == good.config || now.config == Text(kOldConfig));
    EXPECT_EQ(Strays({Name(), szCfgName}), std::vector<std::string>{});
    if (now.data == oldData) {
      const std::vector<std::string> boxes = Boxes();
      ASSERT_EQ(boxes.size(), 1u);
      const std::string& box = boxes[0];
      EXPECT_TRUE(box == "Unable to open output file " + Path(Name()) ||
                  box == "Unable to open WAV output file: " + Path(Name()) ||
                  box == "Unable to write output file " + Path(Name()))
          << box;
    } else {
      EXPECT_EQ(Boxes(), std::vector<std::string>{});
    }
  }
};

TEST_P(SaveFileFaults, EveryOpenRenameAndWriteFailedInTurn) {
  const SaveOutcome good = Save();
  ASSERT_NE(good.data, Bytes{}) << "the clean run wrote nothing";
  const int opens = faults_.Calls(Fault::OpenFile);
  const int renames = faults_.Calls(Fault::RenameOver);
  ASSERT_GE(opens, 2);  // the file and the configuration
  ASSERT_GE(renames, 2);
  for (int n = 1; n <= opens; ++n) {
    faults_.ResetCounts();
    faults_.FailCall(Fault::OpenFile, n);
    Save();
    CheckOutcome(good, "open " + std::to_string(n) + " failed");
  }
  for (int n = 1; n <= renames; ++n) {
    faults_.ResetCounts();
    faults_.FailCall(Fault::RenameOver, n);
    Save();
    CheckOutcome(good, "rename " + std::to_string(n) + " failed");
  }
  const long sizes[] = {0, 1, static_cast<long>(good.config.size() / 2), static_cast<long>(good.data.size() / 2),
                        static_cast<long>(good.data.size()) - 1};
  for (long bytes : sizes) {
    faults_.ResetCounts();
    faults_.LimitWrites(bytes);
    Save();
    CheckOutcome(good, "disk full after " + std::to_string(bytes) + " bytes");
  }
  faults_.ResetCounts();
  faults_.WriteToDevFull(true);
  Save();
  CheckOutcome(good, "/dev/full");
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveFileFaults, ::testing::Values("bin", "hex", "wav"));

// --- Load File --------------------------------------------------------------

TEST_F(FaultInjection, LoadFileWithEveryOpenFailedInTurn) {
  // A file without extension: its kind is guessed from its content first.
  testsupport::WriteText(Path("sound"), ":0400000001020304F2\r\n:00000001FF\r\n");
  auto load = [&] {
    WriteOldConfig();
    std::copy(image_.begin(), image_.end(), ImageBytes());
    p_.messageBoxes.clear();
    p_.QueueFileDialogAnswer({true, Path("sound"), 0, 0});
    ShowCommand(tvOpenFile(nullptr, Model(), Settings()));
  };
  load();
  const Bytes loaded(ImageBytes(), ImageBytes() + IMAGE_SIZE);
  const Bytes config = testsupport::ReadBytes(ConfigFile());
  ASSERT_EQ(Bytes(loaded.begin(), loaded.begin() + 4), (Bytes{1, 2, 3, 4}));
  const int opens = faults_.Calls(Fault::OpenFile);
  ASSERT_GE(opens, 3);  // the guess, the load, the configuration
  // When the guess can't read the file, the kind is binary, as for any
  // file whose content can't be looked at.
  std::copy(image_.begin(), image_.end(), ImageBytes());
  Show(LoadBinaryFile(Model(), Settings(), Path("sound").c_str(), 0, Model().DataSize()));
  const Bytes asBinary(ImageBytes(), ImageBytes() + IMAGE_SIZE);
  for (int n = 1; n <= opens; ++n) {
    SCOPED_TRACE("open " + std::to_string(n) + " failed");
    faults_.ResetCounts();
    faults_.FailCall(Fault::OpenFile, n);
    load();
    const bool imageLoaded = std::equal(loaded.begin(), loaded.end(), ImageBytes()) ||
                             (n == 1 && std::equal(asBinary.begin(), asBinary.end(), ImageBytes()));
    EXPECT_TRUE(imageLoaded || ImageUnchanged());
    if (!imageLoaded) EXPECT_EQ(Boxes(), std::vector<std::string>{"Unable to open input file " + Path("sound")});
    const Bytes now = testsupport::ReadBytes(ConfigFile());
    EXPECT_TRUE(now == config || now == Text(kOldConfig));
    EXPECT_EQ(Strays({"sound", szCfgName}), std::vector<std::string>{});
  }
}

TEST_F(FaultInjection, AReadThatFailsPartWayIsReportedAndStaysInItsSection) {
  // Every loader: what was read before the failure stays (as a file that
  // ended there would), the rest of the section keeps the fill byte, and
  // the user is told the file couldn't be read.
  Bytes bin(3000);
  for (size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<uint8_t>(i * 3 + 1);
  testsupport::WriteBytes(Path("a.bin"), bin);
  std::string hex;
  for (int line = 0; line < 100; ++line) hex += ":0400000001020304F2\r\n";
  testsupport::WriteText(Path("a.hex"), hex);
  Bytes wav{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
            0xC0, 0x5D, 0, 0, 0x80, 0xBB, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0xD0, 0x07, 0, 0};
  wav.resize(wav.size() + 2000, 0x10);
  testsupport::WriteBytes(Path("a.wav"), wav);
  for (const char* name : {"a.bin", "a.hex", "a.wav"}) {
    for (long bytes : {0L, 1L, 100L, 1000L}) {
      SCOPED_TRACE(std::string(name) + " failing after " + std::to_string(bytes) + " bytes");
      std::copy(image_.begin(), image_.end(), ImageBytes());
      p_.messageBoxes.clear();
      faults_.ResetCounts();
      faults_.LimitReads(bytes);
      const FileReport report = tvOpenFileName(Model(), Settings(), Path(name).c_str(), 1, 4096, 4096);
      EXPECT_EQ(report.error, FileError::kCannotRead);
      Show(report);
      EXPECT_EQ(Boxes(), std::vector<std::string>{"Unable to read input file " + Path(name)});
      EXPECT_TRUE(std::equal(image_.begin(), image_.begin() + 4096, ImageBytes()));
      EXPECT_TRUE(std::equal(image_.begin() + 8192, image_.end(), ImageBytes() + 8192));
      if (std::string(name) == "a.bin")
        EXPECT_TRUE(std::equal(bin.begin(), bin.begin() + std::min(bytes, 3000L), ImageBytes() + 4096));
    }
  }
}

// --- the configuration ------------------------------------------------------

TEST_F(FaultInjection, SaveConfigKeepsTheOldFileWhateverFails) {
  WriteOldConfig();
  SaveConfig(szCfgName, Model(), Settings());
  const Bytes good = testsupport::ReadBytes(ConfigFile());
  auto check = [&](const std::string& what) {
    SCOPED_TRACE(what);
    const Bytes now = testsupport::ReadBytes(ConfigFile());
    EXPECT_TRUE(now == Text(kOldConfig) || now == good);
    EXPECT_EQ(Strays({szCfgName}), std::vector<std::string>{});
    EXPECT_EQ(Boxes(), std::vector<std::string>{});  // the settings stay in effect, silently
  };
  for (Fault fault : {Fault::OpenFile, Fault::RenameOver}) {
    WriteOldConfig();
    faults_.ResetCounts();
    faults_.FailCall(fault, 1);
    SaveConfig(szCfgName, Model(), Settings());
    check(fault == Fault::OpenFile ? "open failed" : "rename failed");
    EXPECT_EQ(testsupport::ReadBytes(ConfigFile()), Text(kOldConfig));
  }
  for (long bytes = 0; bytes <= static_cast<long>(good.size()); bytes += 7) {
    WriteOldConfig();
    faults_.ResetCounts();
    faults_.LimitWrites(bytes);
    SaveConfig(szCfgName, Model(), Settings());
    check("disk full after " + std::to_string(bytes) + " bytes");
  }
  WriteOldConfig();
  faults_.ResetCounts();
  faults_.WriteToDevFull(true);
  SaveConfig(szCfgName, Model(), Settings());
  check("/dev/full");
  EXPECT_EQ(testsupport::ReadBytes(ConfigFile()), Text(kOldConfig));
}

TEST_F(FaultInjection, AConfigurationFolderThatCantBeWrittenChangesNothing) {
  // A regular file where the folder should be: nothing under it can be made.
  testsupport::WriteText(Path("not-a-folder"), "x");
  p_.SetConfigDirectory(Path("not-a-folder"));
  Model().EPROM_type = et27128;
  Settings().sample_rate = 32000;
  SaveConfig(szCfgName, Model(), Settings());
  EXPECT_EQ(Boxes(), std::vector<std::string>{});
  EXPECT_EQ(testsupport::ReadBytes(Path("not-a-folder")), Text("x"));
  EXPECT_EQ(Model().EPROM_type, et27128);
  EXPECT_EQ(Settings().sample_rate, 32000u);
  LoadConfig(szCfgName, Model(), Settings());  // nothing to read: the defaults of a first start
  EXPECT_EQ(Model().EPROM_type, et2764);
  EXPECT_EQ(Strays({"not-a-folder"}), std::vector<std::string>{});
}

}  // namespace
