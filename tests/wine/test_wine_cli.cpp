// talverine-cli.exe under Wine: its conversions give the Linux build's bytes,
// file names beyond ASCII load and save, and it reads, programs and
// verifies against kilnbox-sim (the Linux program) on a pseudo-terminal
// that Wine maps to a COM port, where Ctrl+C cancels cleanly.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "tests/wine/wine_fixture.h"

#include <pwd.h>
#include <unistd.h>

namespace wine {
namespace {

using integration::CliResult;
using integration::Pattern;

class WineCli : public WineTest {};

// A pseudo-terminal in raw mode, as a terminal emulator keeps it: Wine makes
// it the console of a program started on it.
class Terminal {
 public:
  Terminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    const int slave = open(path_.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    close(slave);
  }
  ~Terminal() {
    if (master_ >= 0) close(master_);
  }
  const std::string& path() const { return path_; }
  // Reads what the terminal shows until it has shown `text`; false after
  // kPatienceMs without it.
  bool Showed(const std::string& text) {
    const auto start = std::chrono::steady_clock::now();
    while (shown_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(integration::kPatienceMs)) return false;
      pollfd ready{master_, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      char bytes[4096];
      const ssize_t got = read(master_, bytes, sizeof bytes);
      if (got > 0) shown_.append(bytes, static_cast<size_t>(got));
    }
    return true;
  }
  void Type(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
  const std::string& shown() const { return shown_; }

 private:
  int master_ = -1;
  std::string path_;
  std::string shown_;
};

TEST_F(WineCli, ConversionsGiveTheLinuxBytesAndNamesBeyondAsciiLoadAndSave) {
  WriteImage("sound.bin", Pattern(8192, 5));
  ASSERT_EQ(Cli({"convert", Path("sound.bin"), Path("sound.wav")}).code, 0);
  ASSERT_EQ(Cli({"convert", Path("sound.bin"), Path("sound.hex")}).code, 0);
  struct Case {
    std::vector<std::string> options;
    std::string input, output;
  };
  const std::vector<Case> cases = {
      {{}, "sound.bin", "Kl\xC3\xA4nge \xE2\x82\xAC.hex"},
      {{}, "sound.bin", "\xC3\xBC.wav"},
      {{"--auto-scale"}, "sound.wav", "wav-\xC3\xB8.bin"},
      {{"--type", "27128", "--arrangement", "1", "--sound", "2"}, "sound.hex", "s\xC3\xA9" "cond.hex"},
      {{"--fill", "data"}, "sound.hex", "data-\xE6\x97\xA5.bin"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::vector<std::string> windows = args;
    windows.insert(windows.end(), {c.input, c.output});
    const CliResult w = RunWindows("talverine-cli.exe", windows);
    ASSERT_EQ(w.code, 0) << c.output << ": " << w.err;
    const std::string linux = "linux-" + std::to_string(&c - cases.data()) + c.output.substr(c.output.rfind('.'));
    args.insert(args.end(), {Path(c.input), Path(linux)});
    ASSERT_EQ(Cli(args).code, 0) << c.output;
    EXPECT_EQ(FileBytes(c.output), FileBytes(linux)) << c.output;
  }
  // And back: the file with the name beyond ASCII loads.
  const CliResult back = RunWindows("talverine-cli.exe", {"convert", "Kl\xC3\xA4nge \xE2\x82\xAC.hex", "back.bin"});
  ASSERT_EQ(back.code, 0) << back.err;
  EXPECT_EQ(FileBytes("back.bin"), Pattern(8192, 5));
}

TEST_F(WineCli, ReadsProgramsAndVerifiesOverACOMPort) {
  const std::string pty = StartSim({"--speed", "20"});  // a blank 2764 in the socket
  ASSERT_FALSE(pty.empty());
  const std::string port = MapComPort(7, pty);
  WriteImage("image.bin", Pattern(8192, 11));

  const CliResult program =
      RunWindows("talverine-cli.exe", {"program", "--midi-device", port, "--load", "image.bin", "--yes"});
  ASSERT_EQ(program.code, 0) << program.err;
  EXPECT_NE(program.err.find("all 8192 bytes match"), std::string::npos) << program.err;

  const CliResult verify = RunWindows("talverine-cli.exe", {"verify", "--midi-device", port, "--load", "image.bin"});
  EXPECT_EQ(verify.code, 0) << verify.err;
  EXPECT_NE(verify.err.find("all 8192 bytes match"), std::string::npos) << verify.err;

  const CliResult read =
      RunWindows("talverine-cli.exe", {"read", "--midi-device", port, "-o", "gelesen-\xC3\xA4.bin"});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_EQ(FileBytes("gelesen-\xC3\xA4.bin"), Pattern(8192, 11));

  // A different image fails the verify, with the count of bytes.
  WriteImage("other.bin", Pattern(8192, 12));
  const CliResult differs = RunWindows("talverine-cli.exe", {"verify", "--midi-device", port, "--load", "other.bin"});
  EXPECT_EQ(differs.code, 1) << differs.err;
  EXPECT_NE(differs.err.find("bytes differ"), std::string::npos) << differs.err;
}

}  // namespace
}  // namespace wine

namespace wine {
namespace {

class WineInstaller : public WineTest {
 protected:
  // Runs `args` under Wine; the exit code and what it wrote.
  CliResult RunUnderWine(const std::vector<std::string>& args, const std::string& name) {
    std::vector<std::string> command = {"/usr/lib/wine/wine64"};
    command.insert(command.end(), args.begin(), args.end());
    integration::Child child(command, Path(name + ".out"), Path(name + ".err"));
    const std::optional<int> code = child.WaitFor(integration::kPatienceMs);
    return {code.value_or(-1), integration::ReadText(Path(name + ".err")), integration::ReadText(Path(name + ".out"))};
  }

  std::string UserPath() { return RunUnderWine({"reg", "query", "HKCU\\Environment", "/v", "Path"}, "path").out; }

  // The text of `value` under `key` ("" for the key's (Default)), as
  // `reg query` shows it; nullopt when there is no such value.
  std::optional<std::string> RegValue(const std::string& key, const std::string& value) {
    std::vector<std::string> query = {"reg", "query", key};
    if (value.empty()) {
      query.push_back("/ve");
    } else {
      query.insert(query.end(), {"/v", value});
    }
    const CliResult shown = RunUnderWine(query, "reg");
    const size_t type = shown.out.find("REG_SZ");
    if (shown.code != 0 || type == std::string::npos) return std::nullopt;
    const size_t data = shown.out.find_first_not_of(' ', type + 6);
    const size_t end = shown.out.find_first_of("\r\n", type);
    return data < end ? shown.out.substr(data, end - data) : "";
  }

  // Whether `key` exists at all.
  bool RegKeyExists(const std::string& key) { return RunUnderWine({"reg", "query", key}, "reg").code == 0; }

  void SetReg(const std::string& key, const std::vector<std::string>& value) {
    std::vector<std::string> add = {"reg", "add", key};
    add.insert(add.end(), value.begin(), value.end());
    add.push_back("/f");
    const CliResult added = RunUnderWine(add, "reg");
    ASSERT_EQ(added.code, 0) << key << "\n" << added.out << added.err;
  }
};

// What "Open with" registers under a root's Software\Classes: each
// extension names our type beside any other program's, and our program's
// entry lists it as a type it supports.
struct OpenWithEntry {
  std::string extension, type;
};
const std::vector<OpenWithEntry> kOpenWith = {{".wav", "Talverine.Sound"},
                                              {".aif", "Talverine.Sound"},
                                              {".aiff", "Talverine.Sound"},
                                              {".hex", "Talverine.Image"},
                                              {".bin", "Talverine.Image"}};
const char kApplication[] = "Applications\\talverine.exe";

// The installer scripts/build-windows makes, run silently: for the user
// alone (no administrator rights needed) into the user's own programs
// folder, the command-line program optionally on the user's PATH and taken
// off it again by the uninstaller; for everyone into Program Files. Each
// offers "Open with" for its own kind (the user's file types or the
// machine's) without taking a default, and the uninstaller takes back only
// its own entries.
TEST_F(WineInstaller, InstallsForTheUserOrForEveryoneAndUninstallsCleanly) {
  const std::string installer = "talverine-" TALVERINE_VERSION "-win64.exe";
  ASSERT_TRUE(testsupport::FileExists(WindowsProgram(installer))) << "no " << installer << " (scripts/build-windows)";
  // Wine names the profile after the Unix user.
  const std::string user = getpwuid(getuid())->pw_name;
  const std::string userFolder = "C:\\users\\" + user + "\\AppData\\Local\\Programs\\Talverine";
  struct Case {
    std::vector<std::string> switches;
    std::string folder;
    std::string classes;        // where its file types go
    std::string windowsFolder;  // the folder as Windows names it
  };
  const std::vector<Case> cases = {
      {{"/S", "/AddToPath"}, Prefix() + "/drive_c/users/" + user + "/AppData/Local/Programs/Talverine",
       "HKCU\\Software\\Classes\\", userFolder},
      {{"/S", "/AllUsers"}, Prefix() + "/drive_c/Program Files/Talverine", "HKLM\\Software\\Classes\\",
       "C:\\Program Files\\Talverine"},
  };
  // Another program owns .wav for everyone and for this user (and is
  // offered for it too), and .aif for this user: it stays the default and
  // on the list, whoever installs or uninstalls.
  const std::string userWav = "HKCU\\Software\\Classes\\.wav", userAif = "HKCU\\Software\\Classes\\.aif";
  const std::string machineWav = "HKLM\\Software\\Classes\\.wav";
  SetReg(userWav, {"/ve", "/d", "OtherApp.Sound"});
  SetReg(userWav + "\\OpenWithProgids", {"/v", "OtherApp.Sound"});
  SetReg(userAif, {"/ve", "/d", "OtherApp.Sound"});
  SetReg(machineWav, {"/ve", "/d", "OtherApp.Sound"});
  const auto offersOpenWith = [&](const Case& c) {
    for (const OpenWithEntry& entry : kOpenWith) {
      const std::string where = c.classes + entry.extension;
      EXPECT_EQ(RegValue(where + "\\OpenWithProgids", entry.type), "") << where;
      EXPECT_EQ(RegValue(c.classes + kApplication + "\\SupportedTypes", entry.extension), "") << where;
    }
    const std::string command = "\"" + c.windowsFolder + "\\talverine.exe\" \"%1\"";
    for (const std::string opener : {"Talverine.Sound", "Talverine.Image", kApplication})
      EXPECT_EQ(RegValue(c.classes + opener + "\\shell\\open\\command", ""), command) << c.classes << opener;
  };
  const auto othersUntouched = [&] {
    EXPECT_EQ(RegValue(userWav, ""), "OtherApp.Sound");
    EXPECT_EQ(RegValue(userAif, ""), "OtherApp.Sound");
    EXPECT_EQ(RegValue(userWav + "\\OpenWithProgids", "OtherApp.Sound"), "");
    EXPECT_EQ(RegValue(machineWav, ""), "OtherApp.Sound");
  };
  for (const Case& c : cases) {
    std::vector<std::string> setup = {WindowsProgram(installer)};
    setup.insert(setup.end(), c.switches.begin(), c.switches.end());
    const CliResult installed = RunUnderWine(setup, "setup");
    ASSERT_EQ(installed.code, 0) << c.folder << ": " << installed.err;
    const std::string& folder = c.folder;
    EXPECT_TRUE(testsupport::FileExists(folder + "/help/help.htm")) << folder;
    EXPECT_TRUE(testsupport::FileExists(folder + "/Uninstall.exe")) << folder;
    const CliResult version = RunUnderWine({folder + "/talverine-cli.exe", "--version"}, "version");
    ASSERT_EQ(version.code, 0) << folder;
    EXPECT_EQ(version.out, "talverine-cli " TALVERINE_VERSION "\r\n");  // a Windows text line
    offersOpenWith(c);
    othersUntouched();
  }
  EXPECT_NE(UserPath().find(userFolder), std::string::npos) << UserPath();

  // Uninstalled in place (_?=: the uninstaller waits instead of copying
  // itself away), the user's installation leaves nothing but the
  // uninstaller, which cannot remove itself, and PATH as it was.
  const CliResult removed = RunUnderWine({userFolder + "\\Uninstall.exe", "/S", "_?=" + userFolder}, "uninstall");
  ASSERT_EQ(removed.code, 0) << removed.err;
  const std::string& folder = cases[0].folder;
  EXPECT_FALSE(testsupport::FileExists(folder + "/talverine.exe"));
  EXPECT_FALSE(testsupport::FileExists(folder + "/help/help.htm"));
  EXPECT_EQ(UserPath().find(userFolder), std::string::npos) << UserPath();
  // Of "Open with" only what others wrote is left for the user (a key of
  // ours emptied goes too); the installation for everyone keeps its own.
  for (const OpenWithEntry& entry : kOpenWith)
    EXPECT_EQ(RegValue(cases[0].classes + entry.extension + "\\OpenWithProgids", entry.type), std::nullopt)
        << entry.extension;
  for (const std::string ours : {"Talverine.Sound", "Talverine.Image", kApplication, ".aiff"})
    EXPECT_FALSE(RegKeyExists(cases[0].classes + ours)) << ours;
  othersUntouched();
  offersOpenWith(cases[1]);
}

TEST_F(WineCli, CtrlCInMidReplyCancelsTheReadAndSavesNothing) {
  WriteImage("eprom.bin", Pattern(65536, 8));
  const std::string pty = StartSim({"--socket", Path("eprom.bin")});  // a 45-second reply
  ASSERT_FALSE(pty.empty());
  const std::string port = MapComPort(8, pty);
  std::unique_ptr<integration::Child> cli =
      StartWindows("talverine-cli.exe", {"read", "--midi-device", port, "--type", "27512", "-o", "read.bin"}, "read");
  ASSERT_TRUE(SimShowed("display: Sending block 1 |"));
  // Wine hands a SIGINT to the program's console control handlers as Ctrl+C.
  kill(cli->Pid(), SIGINT);

  const CliResult read = Finish(*cli, integration::kPatienceMs);
  EXPECT_EQ(read.code, 130) << read.err;
  EXPECT_NE(read.err.find("talverine-cli: interrupted: the operation was cancelled"), std::string::npos) << read.err;
  for (const auto& entry : std::filesystem::directory_iterator(temp_.path()))
    EXPECT_NE(entry.path().filename().string().rfind("read.bin", 0), 0u) << entry.path();
}

TEST_F(WineCli, OnAConsoleTextIsUnicodeAndTheAnswerIsOneLine) {
  Terminal terminal;
  ASSERT_FALSE(terminal.path().empty());
  std::unique_ptr<integration::Child> convert =
      StartWindows("talverine-cli.exe", {"convert", "Kl\xC3\xA4nge \xE2\x82\xAC.bin", "out.bin"}, "", terminal.path());
  EXPECT_TRUE(terminal.Showed("cannot read Kl\xC3\xA4nge \xE2\x82\xAC.bin")) << terminal.shown();
  EXPECT_EQ(convert->WaitFor(integration::kPatienceMs), std::optional<int>(1));

  WriteImage("image.bin", Pattern(4096, 3));
  std::unique_ptr<integration::Child> program = StartWindows(
      "talverine-cli.exe", {"program", "--simulator", "--type", "2732", "--speed", "50", "--load", "image.bin"}, "",
      terminal.path());
  ASSERT_TRUE(terminal.Showed("[y/n]")) << terminal.shown();
  terminal.Type("y\r");  // Enter, once
  EXPECT_TRUE(terminal.Showed("all 4096 bytes match")) << terminal.shown();
  EXPECT_EQ(program->WaitFor(integration::kPatienceMs), std::optional<int>(0)) << terminal.shown();
}

}  // namespace
}  // namespace wine
