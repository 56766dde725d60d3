// The desktop program started twice, as a user double-clicks it: the second
// start raises the first and leaves everything it was given alone.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/integration/integration_fixture.h"

namespace integration {
namespace {

class DesktopStart : public Integration {
 protected:
  // The program offscreen, with its lock, socket and settings in the scratch
  // folder so that no other run on this machine is in the way.
  std::unique_ptr<Child> StartTalverine(const std::vector<std::string>& args, const std::string& name) {
    std::vector<std::string> argv = {"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + temp_.path(),
                                     "TALVERINE_CONFIG_DIR=" + temp_.path(), TALVERINE_GUI};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Child>(argv, Path(name + ".out"), Path(name + ".err"));
  }

  // The first instance listens on its socket once it holds the lock.
  bool WaitForSocket(uint64_t timeoutMs) {
    const std::string socket = "talverine-TALVERINE-" + std::to_string(getuid()) + ".socket";
    for (uint64_t waited = 0; waited < timeoutMs; waited += 50) {
      if (Exists(socket)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
};

TEST_F(DesktopStart, ASecondStartLeavesTheLogFileItWasGivenAlone) {
  WriteImage("voice.bin", std::vector<uint8_t>(8192, 0x40));
  std::unique_ptr<Child> first = StartTalverine({Path("voice.bin")}, "first");  // a file to load is no error
  ASSERT_TRUE(WaitForSocket(kPatienceMs)) << ReadText(first->StderrPath());

  WriteImage("session.log", {'k', 'e', 'p', 't', '\n'});
  for (const std::string& log : {Path("session.log"), Path("no-such-folder/x.log")}) {
    std::unique_ptr<Child> second = StartTalverine({"--simulator", "--midi-log", log}, "second");
    EXPECT_EQ(second->WaitFor(kPatienceMs), std::optional<int>(0)) << ReadText(second->StderrPath());
  }
  EXPECT_EQ(FileBytes("session.log"), std::vector<uint8_t>({'k', 'e', 'p', 't', '\n'}));
  EXPECT_FALSE(Exists("no-such-folder"));
  EXPECT_EQ(first->WaitFor(0), std::nullopt);  // the first one still runs
  first->Stop(SIGTERM);
}

// What the command line asks for, answered before any window opens: each
// bad argument named with the usage, and no file made.
TEST_F(DesktopStart, TheCommandLineIsReadBeforeAnyWindow) {
  const struct {
    std::vector<std::string> args;
    int code;
    const char* said;  // on standard error, or on standard output for 0
  } cases[] = {
      {{"--version"}, 0, "talverine "},
      {{"-h"}, 0, "usage: talverine"},
      {{"--bogus"}, 2, "unknown option --bogus"},
      {{"--midi-log"}, 2, "option --midi-log needs a value"},
      {{"--midi-log="}, 2, "option --midi-log needs a FILE"},
      {{"--midi-device", ""}, 2, "option --midi-device needs a NAME"},
      {{"--simulator=yes"}, 2, "unknown option --simulator=yes"},
      {{"-nosuchqtoption"}, 2, "unknown option \"-nosuchqtoption\""},
      {{"--midi-log", Path("log.txt"), "stray.wav", "-stray"}, 2, "unknown option \"-stray\""},
  };
  for (const auto& c : cases) {
    std::unique_ptr<Child> run = StartTalverine(c.args, "args");
    EXPECT_EQ(run->WaitFor(kPatienceMs), std::optional<int>(c.code)) << c.said;
    const std::string said = ReadText(c.code == 0 ? run->StdoutPath() : run->StderrPath());
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    if (c.code != 0) EXPECT_NE(said.find("usage: talverine"), std::string::npos) << said;
  }
  EXPECT_FALSE(Exists("log.txt"));
}

}  // namespace
}  // namespace integration
