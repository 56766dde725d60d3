// talverine-cli driving kilnbox-sim over a pseudo-terminal: whole EPROMs
// read, programmed and verified, at a high speed factor and at the true wire
// rate, and what happens when the simulator dies or its reply is damaged.
#include <signal.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "tests/integration/integration_fixture.h"

namespace integration {
namespace {

// The bytes of the longest line of a traffic log whose text contains `start`.
size_t LongestLoggedMessage(const std::string& log, const std::string& start) {
  size_t longest = 0;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(start);
    if (at == std::string::npos) continue;
    // "F0 10 05 ...": three characters a byte but the last.
    const size_t bytes = (line.size() - (at + start.find("F0")) + 1) / 3;
    longest = std::max(longest, bytes);
  }
  return longest;
}

TEST_F(Integration, A27512ReadAtFiftyTimesTheWireRateComesBackWholeAndBothSidesLogIt) {
  const auto eprom = Pattern(65536, 5);
  WriteImage("eprom.bin", eprom);
  const std::string pty = StartSim({"--speed", "50", "--socket", Path("eprom.bin"), "--midi-log", Path("sim.log")});
  ASSERT_FALSE(pty.empty());

  const CliResult read = Cli({"--midi-log", Path("cli.log"), "read", "--midi-device", pty, "--type", "27512", "-o",
                              Path("read.bin")});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_NE(read.err.find("Received Block 1:  65536 bytes - Read OK."), std::string::npos) << read.err;
  EXPECT_EQ(FileBytes("read.bin"), eprom);
  EXPECT_TRUE(SimShowed("display: Reading 27512 | Block 1"));

  // Each side logs the 131,118-byte reply as one message, with its own
  // direction, and the request that asked for it.
  const std::string cliLog = ReadText(Path("cli.log"));
  EXPECT_NE(cliLog.find(" out F0 10 05 00 00 F7"), std::string::npos);
  EXPECT_EQ(LongestLoggedMessage(cliLog, " in  F0 10 05 01 00"), 131118u);
  sim_->Stop(SIGTERM);
  const std::string simLog = ReadText(Path("sim.log"));
  EXPECT_NE(simLog.find(" in  F0 10 05 00 00 F7"), std::string::npos);
  EXPECT_EQ(LongestLoggedMessage(simLog, " out F0 10 05 01 00"), 131118u);
}

TEST_F(Integration, A27512IsProgrammedSavedAndVerifiedAtFiftyTimesTheWireRate) {
  const auto image = Pattern(65536, 11);
  WriteImage("image.bin", image);
  const std::string pty =
      StartSim({"--speed", "50", "--socket-type", "27512", "--save-socket", Path("socket.bin")});
  ASSERT_FALSE(pty.empty());

  // The block goes over at once, but the program waits out its own estimate
  // of the wire time (about 42 s) before it starts the programming.
  const CliResult program =
      Cli({"program", "--midi-device", pty, "--type", "27512", "--load", Path("image.bin"), "--yes"});
  ASSERT_EQ(program.code, 0) << program.err;
  EXPECT_NE(program.err.find("Was the EPROM programmed OK? yes"), std::string::npos) << program.err;
  // Then it reads the EPROM back and compares every byte.
  EXPECT_NE(program.err.find("Received Block 1:  65536 bytes - Verify OK.\nall 65536 bytes match\n"),
            std::string::npos)
      << program.err;
  EXPECT_EQ(FileBytes("socket.bin"), image);

  const CliResult verify = Cli({"verify", "--midi-device", pty, "--type", "27512", "--load", Path("image.bin")});
  EXPECT_EQ(verify.code, 0) << verify.err;
  EXPECT_NE(verify.err.find("Received Block 1:  65536 bytes - Verify OK."), std::string::npos) << verify.err;

  // Against an image off in two bytes, the first difference is reported,
  // both are counted, and it fails.
  auto other = image;
  other[0x1234] ^= 0x01;
  other[0xFFFF] ^= 0x80;
  WriteImage("other.bin", other);
  const CliResult differs = Cli({"verify", "--midi-device", pty, "--type", "27512", "--load", Path("other.bin")});
  EXPECT_EQ(differs.code, 1);
  char expected[80];
  std::snprintf(expected, sizeof expected, "Verify error at address 0x1234 (0x%02X vs 0x%02X)", image[0x1234],
                other[0x1234]);
  EXPECT_NE(differs.err.find(expected), std::string::npos) << differs.err;
  EXPECT_NE(differs.err.find("\n2 of 65536 bytes differ, from 0x1234 to 0xFFFF\n"), std::string::npos) << differs.err;
}

TEST_F(Integration, ProgrammingAnEpromThatWasNotBlankFailsItsVerify) {
  // Cells only go from 1 to 0: an EPROM holding other bytes keeps some.
  std::vector<uint8_t> old(8192);
  for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  WriteImage("old.bin", old);
  const auto image = Pattern(8192, 1);
  WriteImage("image.bin", image);
  size_t differing = 0;
  for (size_t i = 0; i < image.size(); ++i) differing += (old[i] & image[i]) != image[i];
  ASSERT_GT(differing, 0u);
  const std::string pty = StartSim({"--speed", "20", "--socket", Path("old.bin")});
  ASSERT_FALSE(pty.empty());

  const CliResult notBlank = Cli({"blank", "--read", "--midi-device", pty});
  EXPECT_EQ(notBlank.code, 1) << notBlank.err;
  EXPECT_NE(notBlank.err.find(" of 8192 bytes are programmed, from 0x"), std::string::npos) << notBlank.err;

  const CliResult program = Cli({"program", "--midi-device", pty, "--load", Path("image.bin"), "--yes"});
  EXPECT_EQ(program.code, 1) << program.err;
  EXPECT_NE(program.err.find("\n" + std::to_string(differing) + " of 8192 bytes differ, from 0x"), std::string::npos)
      << program.err;

  // Trusting the answer, it says what it was told.
  const CliResult trusted = Cli({"program", "--midi-device", pty, "--load", Path("image.bin"), "--yes", "--no-verify"});
  EXPECT_EQ(trusted.code, 0) << trusted.err;
  EXPECT_EQ(trusted.err.find("bytes differ"), std::string::npos) << trusted.err;
}

TEST_F(Integration, A2732AtTheTrueWireRateIsProgrammedReadAndVerified) {
  const auto image = Pattern(4096, 2);
  WriteImage("image.bin", image);
  const std::string pty = StartSim({"--socket-type", "2732", "--save-socket", Path("socket.bin")});
  ASSERT_FALSE(pty.empty());

  const CliResult program =
      Cli({"program", "--midi-device", pty, "--type", "2732", "--load", Path("image.bin"), "--yes"});
  // Programmed and verified: the simulator wrote the file before it sent
  // the verify's reply.
  ASSERT_EQ(program.code, 0) << program.err;
  EXPECT_EQ(FileBytes("socket.bin"), image);

  const CliResult read = Cli({"read", "--midi-device", pty, "--type", "2732", "-o", Path("read.bin")});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_EQ(FileBytes("read.bin"), image);

  const CliResult verify = Cli({"verify", "--midi-device", pty, "--type", "2732", "--load", Path("image.bin")});
  EXPECT_EQ(verify.code, 0) << verify.err;
}

TEST_F(Integration, SendThenGetBringsTheImageBackFromTheKilnboxMemory) {
  const auto image = Pattern(8192, 7);
  WriteImage("image.bin", image);
  const std::string pty = StartSim({"--speed", "50"});
  ASSERT_FALSE(pty.empty());
  const CliResult send = Cli({"send", "--midi-device", pty, "--load", Path("image.bin")});
  ASSERT_EQ(send.code, 0) << send.err;
  EXPECT_TRUE(SimShowed("Block 1 received"));
  const CliResult get = Cli({"get", "--midi-device", pty, "-o", Path("got.bin")});
  ASSERT_EQ(get.code, 0) << get.err;
  EXPECT_EQ(FileBytes("got.bin"), image);
}

TEST_F(Integration, SimulatorKilledInMidTransferEndsInTheTimeOutWithNothingSaved) {
  WriteImage("eprom.bin", Pattern(4096, 3));
  // The reply of block 1 (the second reply, after the presence check's)
  // stops after 3000 of its 8237 bytes, so it is cut whenever the kill
  // comes.
  const std::string pty =
      StartSim({"--socket", Path("eprom.bin"), "--fault-reply", "2", "--truncate-reply", "3000"});
  ASSERT_FALSE(pty.empty());
  std::unique_ptr<Child> cli = StartCli({"read", "--midi-device", pty, "--type", "2732", "-o", Path("read.bin")});
  ASSERT_TRUE(SimShowed("display: Sending block 1 |"));
  sim_->Stop(SIGKILL);

  const CliResult read = Finish(*cli, kPatienceMs);
  EXPECT_EQ(read.code, 1);
  EXPECT_NE(read.err.find("Kilnbox not responding!"), std::string::npos) << read.err;
  EXPECT_EQ(read.err.find("Read OK"), std::string::npos) << read.err;
  EXPECT_FALSE(Exists("read.bin"));
}

TEST_F(Integration, HostKilledInMidReplyDoesNotKeepTheNextHostWaiting) {
  const auto eprom = Pattern(8192, 6);
  WriteImage("eprom.bin", eprom);
  const std::string pty = StartSim({"--speed", "5", "--socket", Path("eprom.bin")});
  ASSERT_FALSE(pty.empty());
  std::unique_ptr<Child> first = StartCli({"read", "--midi-device", pty});
  ASSERT_TRUE(SimShowed("display: Sending block 1 |"));
  first->Stop(SIGKILL);

  // The simulator drops the rest of that reply and serves the next host,
  // whose presence check waits only for the old reply's wire time.
  const CliResult second = Cli({"read", "--midi-device", pty, "-o", Path("read.bin")});
  ASSERT_EQ(second.code, 0) << second.err;
  EXPECT_EQ(FileBytes("read.bin"), eprom);
}

TEST_F(Integration, CorruptedReplyIsReportedAndNeverStoredAsGood) {
  const auto eprom = Pattern(8192, 9);
  WriteImage("eprom.bin", eprom);
  // Reply 2, the block read after the presence check: one data byte loses
  // its codec mark.
  const std::string pty =
      StartSim({"--speed", "20", "--socket", Path("eprom.bin"), "--fault-reply", "2", "--corrupt-reply", "1001:0x30"});
  ASSERT_FALSE(pty.empty());
  const CliResult damaged = Cli({"read", "--midi-device", pty, "-o", Path("read.bin")});
  EXPECT_EQ(damaged.code, 1);
  EXPECT_NE(damaged.err.find("Received Block 1:  8192 bytes - Error!"), std::string::npos) << damaged.err;
  EXPECT_FALSE(Exists("read.bin"));

  const CliResult verify = Cli({"verify", "--midi-device", pty, "--load", Path("eprom.bin")});
  EXPECT_EQ(verify.code, 0) << "the fault was for one reply only: " << verify.err;
  const CliResult again = Cli({"read", "--midi-device", pty, "-o", Path("read.bin")});
  EXPECT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(FileBytes("read.bin"), eprom);
}

TEST_F(Integration, SilentKilnboxTimesOutAndTheSimulatorWaitsForTheNextHostWithoutSpinning) {
  const std::string pty = StartSim({"--no-reply", "--all-replies"});
  ASSERT_FALSE(pty.empty());
  const CliResult read = Cli({"read", "--midi-device", pty});
  EXPECT_EQ(read.code, 1);
  EXPECT_NE(read.err.find("Kilnbox not responding!"), std::string::npos) << read.err;

  // The host has closed its end: the simulator sleeps until the next one.
  const long before = sim_->CpuTicks();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_LT(sim_->CpuTicks() - before, 10) << "kilnbox-sim busy while nobody is connected";
  EXPECT_FALSE(sim_->WaitFor(0).has_value());
  const CliResult blank = Cli({"blank", "--midi-device", pty});
  EXPECT_EQ(blank.code, 0) << blank.err;
  EXPECT_TRUE(SimShowed("EPROM blank"));
}

TEST_F(Integration, SimulatorEndsWhenTheHostClosesWithExitOnClose) {
  const std::string pty = StartSim({"--exit-on-close", "--save-socket", Path("socket.bin")});
  ASSERT_FALSE(pty.empty());
  const CliResult blank = Cli({"blank", "--midi-device", pty});
  EXPECT_EQ(blank.code, 0) << blank.err;
  EXPECT_NE(blank.err.find("See Kilnbox display for result"), std::string::npos);
  const auto code = sim_->WaitFor(kPatienceMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0);
  // Saved at exit: the blank EPROM it held.
  EXPECT_EQ(FileBytes("socket.bin"), std::vector<uint8_t>(8192, 0xFF));
}

}  // namespace
}  // namespace integration
