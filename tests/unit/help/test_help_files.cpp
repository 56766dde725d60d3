// The help delivered with the program: the digest table agrees with the
// files in resources/help, every byte of a screenshot takes part in the
// check, and the Help command opens a copy of the delivered folder, or
// offers the online help once one byte of a screenshot has changed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "help/validate.h"
#include "resources/command_ids.h"
#include "shell/app_state.h"
#include "shell/main_window.h"
#include "tests/support/core_fixture.h"

namespace {

namespace fs = std::filesystem;

const std::string kDeliveredHelp = std::string(TALVERINE_SOURCE_DIR) + "/resources/help";
const char kDamagedText[] = "One or more help files is missing or has been modified.\nPlease click OK for online help.";
const char* const kScreenshots[] = {"screen_1_1.jpg", "screen_1_2.jpg", "screen_4_1.jpg"};

std::string Hex(const uint32_t digest[5]) {
  char text[41];
  for (int i = 0; i < 5; ++i) std::snprintf(text + 8 * i, 9, "%08x", digest[i]);
  return text;
}

class DeliveredHelp : public testsupport::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    start = Path("start");
    work = Path("work");
    fs::create_directories(work);
    CopyHelpTo(start);
    App().helpPath = ResolveHelpPath(start);
    P().SetCurrentDirectoryForTest(work);
  }
  static void CopyHelpTo(const std::string& folder) {
    fs::create_directories(folder);
    fs::copy(kDeliveredHelp, folder + "/help");
  }
  std::string HelpFile(const std::string& name) const { return start + "/help/" + name; }
  // The Help command as the menu sends it.
  void Help() { MainWindowEvents().Command(IDM_HELP); }

  std::string start;  // the folder the program was started in, with the help
  std::string work;   // the current folder when Help is chosen
};

TEST_F(DeliveredHelp, TheDigestTableMatchesTheFiles) {
  for (const SUPFILE& row : support_file) {
    const std::string path = kDeliveredHelp + "/" + row.name;
    uint32_t digest[5] = {};
    ASSERT_TRUE(SupportFileDigest(path, row.text != 0, digest)) << path << " is missing";
    EXPECT_EQ(Hex(digest), Hex(row.hash))
        << row.name << " and its digest in help/help_digests.cpp differ: run scripts/make_help_digests";
  }
}

TEST_F(DeliveredHelp, EveryByteOfTheScreenshotsCounts) {
  for (const char* name : kScreenshots) {
    const std::vector<uint8_t> jpeg = testsupport::ReadBytes(kDeliveredHelp + "/" + name);
    ASSERT_GE(jpeg.size(), 4u) << name;
    EXPECT_LT(jpeg.size(), HELP_READ_LIMIT) << name << ": bytes past the limit would go unchecked";
    EXPECT_EQ((std::vector<uint8_t>{jpeg[0], jpeg[1]}), (std::vector<uint8_t>{0xFF, 0xD8})) << name;
    EXPECT_EQ((std::vector<uint8_t>{jpeg[jpeg.size() - 2], jpeg.back()}), (std::vector<uint8_t>{0xFF, 0xD9})) << name;
  }
}

TEST_F(DeliveredHelp, IntactFilesOpenTheStartPageAndTheFolderComesBack) {
  ASSERT_EQ(App().helpPath, start + "/help");
  Help();
  EXPECT_TRUE(BoxTexts().empty());
  ASSERT_EQ(P().shellOpened.size(), 1u);
  EXPECT_EQ(P().shellOpened[0], HelpFile("help.htm"));
  EXPECT_EQ(plat::GetCurrentDirectory(), work);

  // Pages saved with the other line ends are still the delivered pages.
  for (const char* name : {"help.htm", "talverin.css"}) {
    std::string crlf;
    for (uint8_t byte : testsupport::ReadBytes(HelpFile(name))) {
      if (byte == '\n') crlf += '\r';
      crlf += static_cast<char>(byte);
    }
    testsupport::WriteText(HelpFile(name), crlf);
  }
  Help();
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(P().shellOpened.size(), 2u);
}

TEST_F(DeliveredHelp, OneChangedByteOfAScreenshotOffersTheOnlineHelp) {
  const std::string online = ContactInfo(1);
  for (const char* name : kScreenshots) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> intact = testsupport::ReadBytes(HelpFile(name));
    std::vector<uint8_t> altered = intact;
    altered[altered.size() / 2] ^= 0x01;
    testsupport::WriteBytes(HelpFile(name), altered);
    P().shellOpened.clear();
    P().messageBoxes.clear();
    Help();  // answered OK
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kDamagedText});
    ASSERT_EQ(P().shellOpened.size(), 1u);
    EXPECT_EQ(P().shellOpened[0].substr(P().shellOpened[0].size() - online.size()), online);
    EXPECT_EQ(plat::GetCurrentDirectory(), work);
    testsupport::WriteBytes(HelpFile(name), intact);
  }
}

TEST_F(DeliveredHelp, WithoutAHelpFolderAtTheStartTheInstalledCopyOpens) {
  const std::string installed = Path("prefix/share/talverine");
  CopyHelpTo(installed);
  P().SetDataDirectory(installed);
  EXPECT_EQ(ResolveHelpPath(start), start + "/help");  // the start-up folder's own help comes first
  App().helpPath = ResolveHelpPath(work);
  EXPECT_EQ(App().helpPath, installed + "/help");
  Help();
  EXPECT_TRUE(BoxTexts().empty());
  ASSERT_EQ(P().shellOpened.size(), 1u);
  EXPECT_EQ(P().shellOpened[0], installed + "/help/help.htm");

  // Started in a source tree, whose "help" folder holds code, not pages.
  fs::create_directories(work + "/help");
  testsupport::WriteText(work + "/help/validate.cpp", "// not a help page\n");
  EXPECT_EQ(ResolveHelpPath(work), installed + "/help");

  P().SetDataDirectory("");
  EXPECT_EQ(ResolveHelpPath(work), work + "/help");
}

}  // namespace
