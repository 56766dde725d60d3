// Files on Windows as a user's PC treats them: a fresh file held for a
// moment by another program (an antivirus, an indexer) is waited for, a
// second at most; paths beyond 260 characters work like any other.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/os/os_services.h"
#include "platform/win32/system_win32.h"
#include "platform/win32/text_win32.h"

namespace {

// A scratch folder of the test's own, gone with what it holds.
class Scratch {
 public:
  Scratch() {
    static int made = 0;
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    path_ = w32::Utf8(base) + "talverine-files-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
    os::MakeDirectories(path_);
  }
  ~Scratch() { std::filesystem::remove_all(w32::Wide(path_)); }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

void Write(const std::string& path, const std::string& text) {
  FILE* fp = os::OpenFile(path, "wb");
  ASSERT_NE(fp, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), fp);
  std::fclose(fp);
}

std::string Read(const std::string& path) {
  FILE* fp = os::OpenFile(path, "rb");
  if (fp == nullptr) return "<unreadable>";
  std::string text(4096, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), fp));
  std::fclose(fp);
  return text;
}

// Holds `path` open as another program would, sharing nothing.
HANDLE Hold(const std::string& path) {
  return CreateFileW(w32::FilePath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

class HeldFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Write(temp_.File("new.tmp"), "new");
    Write(temp_.File("saved.bin"), "old");
  }
  Scratch temp_;
  std::vector<unsigned> pauses_;
};

TEST_F(HeldFiles, ASaveWaitsForTheProgramHoldingTheFileToLetGo) {
  for (const char* held : {"saved.bin", "new.tmp"}) {
    SCOPED_TRACE(held);
    SetUp();
    pauses_.clear();
    HANDLE holder = Hold(temp_.File(held));
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    // The other program lets go during the first wait.
    const bool replaced = w32::RenameOverWaiting(temp_.File("new.tmp"), temp_.File("saved.bin"), [&](unsigned ms) {
      if (pauses_.empty()) CloseHandle(holder);
      pauses_.push_back(ms);
    });
    EXPECT_TRUE(replaced);
    EXPECT_EQ(pauses_.size(), 1u);
    EXPECT_EQ(Read(temp_.File("saved.bin")), "new");
  }
}

TEST_F(HeldFiles, AFileHeldForMoreThanASecondFailsTheSaveAndKeepsBothFiles) {
  HANDLE holder = Hold(temp_.File("saved.bin"));
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  unsigned waited = 0;
  const bool replaced = w32::RenameOverWaiting(temp_.File("new.tmp"), temp_.File("saved.bin"),
                                               [&](unsigned ms) { waited += ms; });
  CloseHandle(holder);
  EXPECT_FALSE(replaced);
  EXPECT_EQ(waited, 1000u);
  EXPECT_EQ(Read(temp_.File("saved.bin")), "old");
  EXPECT_EQ(Read(temp_.File("new.tmp")), "new");
}

TEST_F(HeldFiles, OtherFailuresAreNotWaitedFor) {
  const bool replaced = w32::RenameOverWaiting(temp_.File("missing.tmp"), temp_.File("saved.bin"),
                                               [&](unsigned ms) { pauses_.push_back(ms); });
  EXPECT_FALSE(replaced);
  EXPECT_TRUE(pauses_.empty());
}

TEST(LongPaths, OnlyLongPathsTakeThePrefixMadeAbsoluteWithBackslashes) {
  const std::string deep = "C:\\" + std::string(250, 'd') + "\\file.bin";
  const struct {
    std::string path;
    std::wstring expected;
  } cases[] = {
      {"C:\\short\\file.bin", L"C:\\short\\file.bin"},
      {"\\\\.\\COM12", L"\\\\.\\COM12"},
      {deep, L"\\\\?\\" + w32::Wide(deep)},
      {"C:/" + std::string(250, 'd') + "/x/../file.bin", L"\\\\?\\" + w32::Wide(deep)},
      {"\\\\server\\share\\" + std::string(250, 'u'), L"\\\\?\\UNC\\server\\share\\" + std::wstring(250, L'u')},
      {"\\\\?\\" + deep, L"\\\\?\\" + w32::Wide(deep)},
  };
  for (const auto& c : cases) EXPECT_EQ(w32::FilePath(c.path), c.expected) << c.path;
}

TEST(LongPaths, AFolderDeeperThan260CharactersTakesASaveLikeAnyOther) {
  Scratch temp;
  std::string folder = temp.path();
  while (folder.size() < 300) folder += "\\" + std::string(40, 'f');
  ASSERT_TRUE(os::MakeDirectories(folder));
  EXPECT_EQ(os::KindOfPath(folder), os::PathKind::Directory);
  const std::string saved = folder + "\\sound.wav";
  Write(folder + "\\sound.wav.tmp", "image");
  ASSERT_TRUE(os::RenameOver(folder + "\\sound.wav.tmp", saved));
  EXPECT_EQ(os::KindOfPath(saved), os::PathKind::Regular);
  EXPECT_EQ(Read(saved), "image");
  EXPECT_TRUE(os::Remove(saved));
  EXPECT_EQ(os::KindOfPath(saved), os::PathKind::Missing);
  // Left empty, so that the scratch folder goes with the test.
  for (std::string f = folder; f.size() > temp.path().size(); f = f.substr(0, f.find_last_of('\\')))
    RemoveDirectoryW(w32::FilePath(f).c_str());
}

}  // namespace
