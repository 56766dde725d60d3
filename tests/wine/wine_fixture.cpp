#include "tests/wine/wine_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace wine {
namespace {

const char kWine[] = "/usr/lib/wine/wine64";

std::string g_prefix;

// The prefix is made once for the run, with an X server of the run's own
// (Xvfb) for every program, since Wine sets up its desktop with the first
// program of a session; both are stopped at the end.
class PrefixEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    xServer_ = std::make_unique<integration::Child>(
        std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten",
                                 "tcp"},
        temp_.File("xvfb.out"), temp_.File("xvfb.err"));
    ASSERT_TRUE(integration::WaitForText(temp_.File("xvfb.out"), "\n", integration::kPatienceMs))
        << "Xvfb did not start: " << integration::ReadText(temp_.File("xvfb.err"));
    const std::string number = integration::ReadText(temp_.File("xvfb.out"));
    setenv("DISPLAY", (":" + number.substr(0, number.find('\n'))).c_str(), 1);
    g_prefix = temp_.File("prefix");
    setenv("WINEPREFIX", g_prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no installer dialogs
    integration::Child boot({kWine, "wineboot", "--init"}, temp_.File("boot.out"), temp_.File("boot.err"));
    ASSERT_EQ(boot.WaitFor(300000), std::optional<int>(0)) << integration::ReadText(temp_.File("boot.err"));
    // Xvfb has no window manager: Wine's windows are its own to place, or
    // every window hidden would wait two seconds for the manager's word.
    integration::Child unmanaged(
        {kWine, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"},
        temp_.File("reg.out"), temp_.File("reg.err"));
    ASSERT_EQ(unmanaged.WaitFor(300000), std::optional<int>(0)) << integration::ReadText(temp_.File("reg.err"));
    // wineboot returns before the prefix is written out: its server's end says it is.
    integration::Child settle({"/usr/bin/wineserver", "-w"}, temp_.File("settle.out"), temp_.File("settle.err"));
    ASSERT_NE(settle.WaitFor(300000), std::nullopt);
  }
  void TearDown() override {
    integration::Child stop({"/usr/bin/wineserver", "-k"}, temp_.File("stop.out"), temp_.File("stop.err"));
    stop.WaitFor(60000);
    xServer_.reset();
  }

 private:
  testsupport::TempDir temp_;
  std::unique_ptr<integration::Child> xServer_;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new PrefixEnvironment);

}  // namespace

std::string WindowsProgram(const std::string& name) { return std::string(TALVERINE_WINDOWS_BUILD) + "/" + name; }

const std::string& Prefix() { return g_prefix; }

std::unique_ptr<integration::Child> WineTest::StartWindows(const std::string& exe, const std::vector<std::string>& args,
                                                           const std::string& name, const std::string& terminal) {
  std::vector<std::string> argv = {"/usr/bin/env", "-C", temp_.path(), kWine, WindowsProgram(exe)};
  argv.insert(argv.end(), args.begin(), args.end());
  if (!terminal.empty()) return std::make_unique<integration::Child>(argv, terminal, terminal, terminal);
  return std::make_unique<integration::Child>(argv, Path(name + ".out"), Path(name + ".err"));
}

integration::CliResult WineTest::RunWindows(const std::string& exe, const std::vector<std::string>& args,
                                            uint64_t limitMs) {
  const std::string name = "win" + std::to_string(++windowsRuns_);
  std::unique_ptr<integration::Child> child = StartWindows(exe, args, name);
  integration::CliResult result;
  const std::optional<int> code = child->WaitFor(limitMs);
  if (!code) child->Stop(SIGKILL);
  result.code = code.value_or(-2);
  result.out = integration::ReadText(child->StdoutPath());
  result.err = integration::ReadText(child->StderrPath());
  return result;
}

std::string WineTest::MapComPort(int number, const std::string& device) {
  const std::string port = "com" + std::to_string(number);
  const std::filesystem::path link = std::filesystem::path(g_prefix) / "dosdevices" / port;
  std::error_code ignored;
  std::filesystem::remove(link, ignored);
  std::filesystem::create_symlink(device, link);
  return "COM" + std::to_string(number);
}

}  // namespace wine
