// talverine-cli's device commands on their own: the built-in simulated
// Kilnbox, the options, the programming question on a terminal and off one,
// and the exit codes a script relies on.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/integration/integration_fixture.h"

namespace integration {
namespace {

TEST_F(Integration, BadUsageExitsTwoBeforeAnyDeviceWork) {
  ASSERT_EQ(mkfifo(Path("socket.fifo").c_str(), 0600), 0);
  const std::vector<std::vector<std::string>> cases = {
      {"read", "--eprom", "2"},                            // one EPROM only
      {"get", "--eprom", "1"},                             // get and send use block 1
      {"verify", "-o", "x.bin"},                           // nothing read to save
      {"read", "--yes"},                                   // no question to answer
      {"program", "--yes", "--no"},
      {"read", "--port", "1", "--simulator"},              // two ways to a port
      {"read", "--socket", "x.bin"},                       // a socket needs the simulator
      {"read", "--simulator", "--socket", temp_.path()},   // a folder is no chip's contents
      {"read", "--simulator", "--socket", Path("socket.fifo")},  // nor is a pipe nobody writes
      {"read", "--simulator", "--speed", "0"},
      {"blank", "--type", "9999"},
      {"read", "--type", "27256", "--arrangement", "3"},   // four of them exceed 64 KB
      {"program", "--load", "a.bin", "--load", "b.bin"},   // one section
      {"read", "stray"},
      {"verify", "--no-verify"},                           // program only
      {"verify", "--force"},
      {"read", "--no-check"},
      {"read", "--read"},                                  // blank only
      {"ports", "--frobnicate"},
  };
  for (const auto& args : cases) {
    const CliResult result = Cli(args);
    EXPECT_EQ(result.code, 2) << args[0] << " " << args[1] << ": " << result.err;
  }
}

TEST_F(Integration, MissingAndRefusedPortsFailWithTheirReason) {
  const CliResult missing = Cli({"read", "--port", "No Such Kilnbox"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("talverine-cli: no MIDI"), std::string::npos) << missing.err;

  const CliResult refused = Cli({"read", "--midi-device", Path("no-such-device")});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("no-such-device"), std::string::npos) << refused.err;

  const CliResult listed = Cli({"ports", "--simulator", "--midi-device", Path("dev")});
  EXPECT_EQ(listed.code, 0) << listed.err;
  EXPECT_NE(listed.out.find("Kilnbox Simulator In"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("Kilnbox Simulator Out"), std::string::npos) << listed.out;
}

TEST_F(Integration, ThirdOfFourEpromsIsReadFromBlock3AndSavedAsIntelHex) {
  const auto eprom = Pattern(16384, 4);
  WriteImage("eprom.bin", eprom);
  const CliResult read = Cli({"--midi-log", Path("cli.log"), "read", "--simulator", "--speed", "50", "--socket",
                              Path("eprom.bin"), "--type", "27128", "--arrangement", "3", "--eprom", "3", "-o",
                              Path("third.hex")});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_NE(read.err.find("Received Block 3:  16384 bytes - Read OK."), std::string::npos) << read.err;
  // The read command names block 3.
  EXPECT_NE(ReadText(Path("cli.log")).find(" out F0 10 05 02 14 03 21 15 F7"), std::string::npos);
  ASSERT_EQ(Cli({"convert", "--type", "27128", Path("third.hex"), Path("third.bin")}).code, 0);
  EXPECT_EQ(FileBytes("third.bin"), eprom);
}

TEST_F(Integration, BlankCheckShowsTheNoticeAndSucceeds) {
  const CliResult blank = Cli({"blank", "--simulator"});
  EXPECT_EQ(blank.code, 0) << blank.err;
  EXPECT_NE(blank.err.find("Blank Checking EPROM"), std::string::npos) << blank.err;
  EXPECT_NE(blank.err.find("See Kilnbox display for result"), std::string::npos) << blank.err;

  // Read and checked here: every byte of the second of two EPROMs.
  const CliResult read = Cli({"blank", "--read", "--simulator", "--speed", "50", "--arrangement", "2", "--eprom", "2"});
  EXPECT_EQ(read.code, 0) << read.err;
  EXPECT_NE(read.err.find("Received Block 2:  8192 bytes - Read OK.\nall 8192 bytes are blank\n"), std::string::npos)
      << read.err;
}

TEST_F(Integration, ProgrammingQuestionWithoutATerminalIsNo) {
  WriteImage("image.bin", Pattern(4096));
  const CliResult program =
      Cli({"program", "--simulator", "--type", "2732", "--speed", "50", "--load", Path("image.bin")});
  EXPECT_EQ(program.code, 1);
  EXPECT_NE(program.err.find("Was the EPROM programmed OK?"), std::string::npos) << program.err;
  EXPECT_NE(program.err.find("taken as No"), std::string::npos) << program.err;
}

TEST_F(Integration, ProgrammingQuestionIsAnsweredOnTheTerminalOrCtrlCEndsIt) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string terminal = ptsname(master);
  WriteImage("image.bin", Pattern(4096));
  const std::vector<std::string> args = {"program", "--simulator", "--type", "2732", "--speed", "50",
                                         "--load", Path("image.bin")};
  std::unique_ptr<Child> cli = StartCli(args, terminal);
  ASSERT_TRUE(WaitForText(cli->StderrPath(), "[y/n]", kPatienceMs)) << ReadText(cli->StderrPath());
  const std::string answers = "perhaps\ny\n";
  ASSERT_EQ(write(master, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
  const CliResult program = Finish(*cli, kPatienceMs);
  EXPECT_EQ(program.code, 0) << program.err;
  EXPECT_NE(program.err.find("Please answer y or n"), std::string::npos) << program.err;

  cli = StartCli(args, terminal);
  ASSERT_TRUE(WaitForText(cli->StderrPath(), "[y/n]", kPatienceMs)) << ReadText(cli->StderrPath());
  kill(cli->Pid(), SIGINT);
  const CliResult interrupted = Finish(*cli, kPatienceMs);
  close(master);
  EXPECT_EQ(interrupted.code, 130) << interrupted.err;
  EXPECT_NE(interrupted.err.find("[y/n] \ntalverine-cli: interrupted: the operation was cancelled\n"),
            std::string::npos)
      << interrupted.err;
  EXPECT_EQ(interrupted.err.find("all 4096 bytes match"), std::string::npos) << interrupted.err;
}

}  // namespace
}  // namespace integration
