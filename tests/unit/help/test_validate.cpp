// The help check: intact help opens, any missing or altered file is caught,
// the digest rule matches an outside sha1sum, and the current directory
// always comes back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "help/validate.h"
#include "shell/app_state.h"
#include "tests/support/core_fixture.h"
#include "tests/support/fault_platform.h"

namespace {

namespace fs = std::filesystem;

const char kDamagedText[] = "One or more help files is missing or has been modified.\nPlease click OK for online help.";

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

std::string Hex(const uint32_t digest[5]) {
  char text[41];
  for (int i = 0; i < 5; ++i) std::snprintf(text + 8 * i, 9, "%08x", digest[i]);
  return text;
}

class HelpCheck : public testsupport::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    help_ = Path("help");
    fs::create_directory(help_);
    Write("style.css", "body {\r\n\tcolor: black;\r\n}\r\n");
    Write("help.htm", "<html><body>Talverine help \xE2\x80\x94 start</body></html>\r\n");
    Write("menus.htm", "<html><body>Menus</body></html>\n");
    testsupport::WriteBytes(HelpFile("shot.jpg"), RandomBytes(120000, 1));
    for (const char* name : {"style.css", "help.htm", "menus.htm", "shot.jpg"}) {
      SUPFILE row{};
      std::snprintf(row.name, sizeof row.name, "%s", name);
      row.text = std::strcmp(name, "shot.jpg") != 0;
      EXPECT_TRUE(SupportFileDigest(HelpFile(name), row.text != 0, row.hash));
      table.push_back(row);
    }
    P().SetCurrentDirectoryForTest(help_);
  }
  HWND Owner() { return App().hWndStatus; }  // any window will do
  std::string HelpFile(const std::string& name) const { return (fs::path(help_) / name).string(); }
  void Write(const std::string& name, const std::string& text) { testsupport::WriteText(HelpFile(name), text); }
  int Validate() { return ValidateSupportFileTable(Owner(), table.data(), static_cast<int>(table.size())); }
  std::string Digest(const std::string& path, bool text) {
    uint32_t digest[5] = {};
    EXPECT_TRUE(SupportFileDigest(path, text, digest)) << path;
    return Hex(digest);
  }
  // sha1sum of what a shell pipeline makes of `path`.
  std::string Oracle(const std::string& pipeline) {
    const std::string out = Path("sum.txt");
    EXPECT_EQ(testsupport::Run(pipeline + " | sha1sum > '" + out + "'"), 0);
    const std::vector<uint8_t> sum = testsupport::ReadBytes(out);
    return sum.size() >= 40 ? std::string(sum.begin(), sum.begin() + 40) : "";
  }

  std::string help_;  // the help folder
  std::vector<SUPFILE> table;
};

TEST_F(HelpCheck, DigestRuleMatchesSha1sumOfTheKeptBytes) {
  if (!testsupport::HaveTool("sha1sum")) GTEST_SKIP() << "sha1sum not installed";
  // A long text file: control characters are dropped before the limit is counted.
  std::string text;
  for (int i = 0; text.size() < 130000; ++i) text += "<p>line " + std::to_string(i) + "\t\xC3\xA9</p>\r\n";
  Write("long.htm", text);
  const std::string longText = HelpFile("long.htm"), shot = HelpFile("shot.jpg");
  EXPECT_EQ(Digest(longText, true), Oracle("tr -d '\\000-\\037' < '" + longText + "' | head -c 100000"));
  EXPECT_EQ(Digest(shot, false), Oracle("head -c 100000 '" + shot + "'"));
  EXPECT_EQ(Digest(HelpFile("help.htm"), false), Oracle("cat '" + HelpFile("help.htm") + "'"));
}

TEST_F(HelpCheck, LineEndsDoNotMatterInTextFilesButDoInBinaryOnes) {
  Write("crlf.htm", "<p>one</p>\r\n<p>two</p>\r\n");
  Write("lf.htm", "<p>one</p>\n<p>two</p>\n");
  EXPECT_EQ(Digest(HelpFile("crlf.htm"), true), Digest(HelpFile("lf.htm"), true));
  EXPECT_NE(Digest(HelpFile("crlf.htm"), false), Digest(HelpFile("lf.htm"), false));
}

TEST_F(HelpCheck, OnlyTheFirst100000KeptBytesCount) {
  const std::string head(1000, '\n');  // dropped, so not counted
  const std::string body(HELP_READ_LIMIT - 1, 'a');
  Write("a.htm", head + body + "b" + "X tail");
  Write("b.htm", head + body + "b" + "Y tail");
  Write("c.htm", head + body + "c" + "X tail");
  EXPECT_EQ(Digest(HelpFile("a.htm"), true), Digest(HelpFile("b.htm"), true));
  EXPECT_NE(Digest(HelpFile("a.htm"), true), Digest(HelpFile("c.htm"), true));
}

TEST_F(HelpCheck, IntactHelpPassesSilentlyEvenWithConvertedLineEnds) {
  Write("style.css", "body {\n\tcolor: black;\n}\n");
  EXPECT_EQ(Validate(), 0);
  EXPECT_TRUE(P().messageBoxes.empty());
  EXPECT_TRUE(P().shellOpened.empty());
}

TEST_F(HelpCheck, OneChangedByteFailsAndOkOffersTheOnlineHelp) {
  std::vector<uint8_t> shot = testsupport::ReadBytes(HelpFile("shot.jpg"));
  shot[70000] ^= 1;
  testsupport::WriteBytes(HelpFile("shot.jpg"), shot);
  EXPECT_EQ(Validate(), 2);
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  const headless::MessageBoxRecord& box = P().messageBoxes[0];
  EXPECT_EQ(box.text, kDamagedText);
  EXPECT_TRUE(box.defaultCaption);
  EXPECT_EQ(box.type, MB_OKCANCEL);
  EXPECT_EQ(box.owner, Owner());
  ASSERT_EQ(P().shellOpened.size(), 1u);
  const std::string online = ContactInfo(1);
  EXPECT_EQ(P().shellOpened[0].substr(P().shellOpened[0].size() - online.size()), online);
}

TEST_F(HelpCheck, ChangedLetterWithCancelOpensNothing) {
  Write("menus.htm", "<html><body>Menu$</body></html>\n");
  P().QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(Validate(), 2);
  EXPECT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_TRUE(P().shellOpened.empty());
}

TEST_F(HelpCheck, AMissingFileStopsTheCheckThere) {
  fs::remove(HelpFile("help.htm"));
  Write("menus.htm", "altered too, but never looked at");
  P().QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(Validate(), 1);
  EXPECT_EQ(P().messageBoxes.size(), 1u);
}

TEST_F(HelpCheck, NoReadBufferMeansNoCheckAndNoMessage) {
  testsupport::ScopedFaults faults;
  faults.FailCall(testsupport::Fault::AllocMemory, 1);
  EXPECT_EQ(Validate(), 3);
  EXPECT_TRUE(P().messageBoxes.empty());
  EXPECT_TRUE(P().shellOpened.empty());
}

TEST_F(HelpCheck, TheHelpCommandOpensTheStartPageAndRestoresTheDirectory) {
  P().SetCurrentDirectoryForTest(Path(""));
  const std::string before = plat::GetCurrentDirectory();
  ShowHelpFromTable(Owner(), help_, table.data(), static_cast<int>(table.size()));
  EXPECT_TRUE(P().messageBoxes.empty());
  ASSERT_EQ(P().shellOpened.size(), 1u);
  EXPECT_EQ(P().shellOpened[0], HelpFile("help.htm"));
  EXPECT_EQ(plat::GetCurrentDirectory(), before);

  Write("help.htm", "replaced");
  ShowHelpFromTable(Owner(), help_, table.data(), static_cast<int>(table.size()));
  EXPECT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().shellOpened.size(), 2u);  // the online help, not the local page
  EXPECT_EQ(plat::GetCurrentDirectory(), before);
}

TEST_F(HelpCheck, APageNoProgramCouldOpenIsReportedAndTheDirectoryStillRestored) {
  P().SetCurrentDirectoryForTest(Path(""));
  const std::string before = plat::GetCurrentDirectory();
  P().shellOpenFails = true;
  ShowHelpFromTable(Owner(), help_, table.data(), static_cast<int>(table.size()));
  ASSERT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_EQ(P().messageBoxes[0].text, "Unable to open the help page:\nhelp.htm");
  EXPECT_EQ(P().messageBoxes[0].caption, "Help");
  EXPECT_EQ(P().messageBoxes[0].owner, Owner());
  EXPECT_EQ(plat::GetCurrentDirectory(), before);

  AltMessageBox(Owner());  // OK: the online help
  ASSERT_EQ(P().messageBoxes.size(), 3u);
  EXPECT_EQ(P().messageBoxes[2].text, std::string("Unable to open the online help:\n") + ContactInfo(1));
}

TEST_F(HelpCheck, WithoutAHelpFolderTheOnlineHelpIsOffered) {
  P().SetCurrentDirectoryForTest(Path(""));
  const std::string before = plat::GetCurrentDirectory();
  P().QueueMessageBoxAnswer(IDCANCEL);
  ShowHelp(Owner(), Path("no-such-folder"));
  EXPECT_EQ(P().messageBoxes.size(), 1u);
  EXPECT_TRUE(P().shellOpened.empty());
  EXPECT_EQ(plat::GetCurrentDirectory(), before);
}

TEST(ContactInfo, TheTwoStoredTextsAndNothingElse) {
  const std::string contact = ContactInfo(0);
  EXPECT_EQ(contact.size(), 137u);
  EXPECT_NE(contact.find("Talverine"), std::string::npos);
  const std::string online = ContactInfo(1);
  EXPECT_EQ(online.size(), 57u);
  EXPECT_EQ(online.rfind("https://", 0), 0u);
  EXPECT_STREQ(ContactInfo(2), "");
  EXPECT_STREQ(ContactInfo(-1), "");
  EXPECT_EQ(ContactInfo(0), ContactInfo(1));  // one buffer, overwritten by each call
}

}  // namespace
